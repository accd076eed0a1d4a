#include "ConnectPacer.h"

#include <QTimerEvent>

#include <algorithm>

TConnectPacer& TConnectPacer::Instance() {
    // Never destroyed: tiles may cancel while the program ends.
    static TConnectPacer* pacer = new TConnectPacer;
    return *pacer;
}

void TConnectPacer::Request(const QObject* owner, std::function<void()> start) {
    const auto waiting = std::find_if(FWaiting.begin(), FWaiting.end(),
                                      [owner](const auto& entry) { return entry.first == owner; });
    if (waiting != FWaiting.end()) {
        waiting->second = std::move(start);
        return;
    }
    if (FWaiting.empty() && Clock::now() - FLastStart >= FGap) {
        StartNow(std::move(start));
        return;
    }
    FWaiting.emplace_back(owner, std::move(start));
    if (!FTimer.isActive())
        FTimer.start(int(std::max<long long>(FGap.count(), 1)), Qt::PreciseTimer, this);
}

void TConnectPacer::Cancel(const QObject* owner) {
    FWaiting.erase(std::remove_if(FWaiting.begin(), FWaiting.end(),
                                  [owner](const auto& entry) { return entry.first == owner; }),
                   FWaiting.end());
    if (FWaiting.empty())
        FTimer.stop();
}

bool TConnectPacer::Waiting(const QObject* owner) const {
    return std::any_of(FWaiting.begin(), FWaiting.end(),
                       [owner](const auto& entry) { return entry.first == owner; });
}

void TConnectPacer::StartNow(std::function<void()> start) {
    FLastStart = Clock::now();
    start(); // may request or cancel again: the queue is consistent before the call
}

void TConnectPacer::timerEvent(QTimerEvent* event) {
    if (event->timerId() != FTimer.timerId())
        return QObject::timerEvent(event);
    if (FWaiting.empty()) {
        FTimer.stop();
        return;
    }
    auto start = std::move(FWaiting.front().second);
    FWaiting.pop_front();
    if (FWaiting.empty())
        FTimer.stop();
    StartNow(std::move(start));
}
