#pragma once
// Tiles that start connecting together (the grid's build, a retry tick, reconnect presses in quick
// succession) finish their handshakes together, and the user-interface thread would then run every
// tile's Connected work (its session start, its first scaled picture) in one go: a wall of 40 stalled
// the interface for a tenth of a second. The pacer starts one attempt at once and lets the others
// follow a few milliseconds apart, so their Connected events arrive spread over many turns.

#include <QBasicTimer>
#include <QObject>

#include <chrono>
#include <deque>
#include <functional>
#include <utility>

// User-interface thread only.
class TConnectPacer : public QObject {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds DefaultGap{10};

    static TConnectPacer& Instance();

    // Runs start now when the last start is at least the gap ago and nothing waits; otherwise queues
    // it behind the waiting ones. A newer request of the same owner replaces its waiting one.
    void Request(const QObject* owner, std::function<void()> start);
    // Drops the owner's waiting request (a tile that goes away, or fails, before its turn).
    void Cancel(const QObject* owner);
    bool Waiting(const QObject* owner) const;

    // Zero starts every request at once (tests that drive a fake viewer step by step).
    void SetGap(std::chrono::milliseconds gap) { FGap = gap; }
    std::chrono::milliseconds Gap() const { return FGap; }

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    TConnectPacer() = default;
    void StartNow(std::function<void()> start);

    std::deque<std::pair<const QObject*, std::function<void()>>> FWaiting;
    std::chrono::milliseconds FGap = DefaultGap;
    Clock::time_point FLastStart{};
    QBasicTimer FTimer;
};
