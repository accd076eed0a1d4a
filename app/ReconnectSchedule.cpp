#include "ReconnectSchedule.h"

#include <QRandomGenerator>
#include <QTimerEvent>

#include <algorithm>
#include <vector>

std::chrono::milliseconds TReconnectSchedule::NextPause() {
    using std::chrono::milliseconds;
    const milliseconds first = FirstPause;
    const milliseconds longest = LongestPause;
    milliseconds pause = first;
    for (int i = 0; i < FFailures && pause < longest; ++i)
        pause *= 2;
    pause = std::min(pause, longest);
    if (pause < longest)
        ++FFailures;
    const qint64 spread = qint64(pause.count()) * SpreadPercent / 100;
    const qint64 offset = QRandomGenerator::global()->bounded(2 * spread + 1) - spread;
    return milliseconds(pause.count() + offset);
}

TRetryClock& TRetryClock::Instance() {
    // Never destroyed: tiles may unsubscribe while the program ends.
    static TRetryClock* clock = new TRetryClock;
    return *clock;
}

void TRetryClock::Subscribe(const QObject* owner, std::function<void(Clock::time_point)> tick) {
    FSubscribers[owner] = std::move(tick);
    if (FTimerId == 0)
        FTimerId = startTimer(TickInterval, Qt::CoarseTimer);
}

void TRetryClock::Unsubscribe(const QObject* owner) {
    FSubscribers.erase(owner);
    if (FSubscribers.empty() && FTimerId != 0) {
        killTimer(FTimerId);
        FTimerId = 0;
    }
}

void TRetryClock::timerEvent(QTimerEvent* event) {
    if (event->timerId() != FTimerId)
        return QObject::timerEvent(event);
    const Clock::time_point now = Clock::now();
    // A tick may reconnect a tile, which unsubscribes it: walk a copy of the owners.
    std::vector<const QObject*> owners;
    owners.reserve(FSubscribers.size());
    for (const auto& subscriber : FSubscribers)
        owners.push_back(subscriber.first);
    for (const QObject* owner : owners) {
        const auto found = FSubscribers.find(owner);
        if (found != FSubscribers.end()) {
            auto tick = found->second; // the call may unsubscribe and so destroy the stored one
            tick(now);
        }
    }
}
