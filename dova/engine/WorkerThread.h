#pragma once
// CWorkerThread: a thread object with start, stop, suspend, resume, priority, a stop event and an
// optional message loop. Threads are always joined; nothing is ever terminated from outside.

#include "../base/Lockable.h"
#include "../base/ManualEvent.h"
#include "ThreadMessage.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace dova {

class CWorkerThread : public CLockable {
public:
    static constexpr int PriorityNormal = 0;
    static constexpr int PriorityLowest = -2;

    CWorkerThread();
    ~CWorkerThread() override;

    virtual void Start();
    // Stopping without joining is not offered: Terminate is Stop.
    virtual void Terminate() { Stop(); }
    virtual void Suspend();
    virtual void Resume();
    // Posts quit, signals the stop event and waits until the thread has ended.
    virtual void Stop();
    // The first half of Stop, without the wait: many threads asked first end together, and each
    // Stop after that finds its thread already gone.
    virtual void RequestStop();
    virtual void SetPriority(int priority);

    // Queues a message for RunMessageLoop; false when the thread is not started.
    bool PostToThread(uint32_t message, uint64_t wParam = 0, int64_t lParam = 0, MessagePayload payload = {});
    bool IsStarted() const { return StartedEvent.IsSet(); }
    bool StopRequested() const { return StopEvent.IsSet(); }
    CManualEvent& StopSignal() { return StopEvent; }

protected:
    virtual void Run() = 0;
    // Non-zero when the message was consumed.
    virtual int OnThreadMessage(ThreadMessage& message);
    // Takes messages until quit; call from Run.
    void RunMessageLoop();
    // Waits while suspended; threads call it at safe points.
    void HonourSuspend();

    CManualEvent StopEvent;
    CManualEvent QueueReadyEvent;
    CManualEvent StartedEvent;

private:
    void ThreadProcedure();

    std::thread Thread;
    std::mutex QueueMutex;
    std::condition_variable QueueChanged;
    std::deque<ThreadMessage> Queue;
    std::atomic<bool> Suspended{false};
    CManualEvent ResumeEvent{true};
    std::atomic<int> Priority{PriorityNormal};
    std::atomic<int> NativeThreadId{0};
};

} // namespace dova
