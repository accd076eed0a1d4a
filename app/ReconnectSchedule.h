#pragma once
// Automatic reconnection of failed tiles: the growing pause before each tile's next attempt, and one
// clock for all waiting tiles. A wall of computers that are all gone costs one timer event a second
// in the whole program, and each tile tries at most about every two minutes.

#include <QObject>

#include <chrono>
#include <functional>
#include <map>

// The pauses of one tile: 5 s, doubling up to 2 min, each spread by up to a fifth either way so that
// tiles that failed together do not all try again in the same second.
class TReconnectSchedule {
public:
    static constexpr std::chrono::seconds FirstPause{5};
    static constexpr std::chrono::seconds LongestPause{120};
    static constexpr int SpreadPercent = 20;

    // The pause before the next attempt; the one after it is twice as long, up to LongestPause.
    std::chrono::milliseconds NextPause();
    // After a connection that worked: the next failure starts again with the first pause.
    void Reset() { FFailures = 0; }

private:
    int FFailures = 0;
};

// One coarse one-second tick for every tile that waits to reconnect; the timer runs only while one
// does. User-interface thread only.
class TRetryClock : public QObject {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds TickInterval{1000};

    static TRetryClock& Instance();
    // Calls tick with the current time every second until Unsubscribe(owner).
    void Subscribe(const QObject* owner, std::function<void(Clock::time_point)> tick);
    void Unsubscribe(const QObject* owner);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    TRetryClock() = default;
    std::map<const QObject*, std::function<void(Clock::time_point)>> FSubscribers;
    int FTimerId = 0;
};
