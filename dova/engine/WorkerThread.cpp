#include "WorkerThread.h"

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace dova {

namespace {
// Niceness for the platform's priority steps: lowest runs only when nothing else wants the core.
int NicenessFor(int priority) {
    if (priority <= CWorkerThread::PriorityLowest)
        return 19;
    if (priority < CWorkerThread::PriorityNormal)
        return 10;
    return 0;
}
} // namespace

CWorkerThread::CWorkerThread() = default;

CWorkerThread::~CWorkerThread() {
    // Derived classes stop in their own destructors so Run never outlives their fields; this is the
    // last guard for threads that were never stopped.
    Stop();
}

void CWorkerThread::Start() {
    CLockGuard hold(*this);
    StopEvent.Reset();
    if (!Thread.joinable()) {
        {
            std::lock_guard<std::mutex> queue(QueueMutex);
            Queue.clear();
        }
        Thread = std::thread(&CWorkerThread::ThreadProcedure, this);
        StartedEvent.Set();
    } else {
        Resume();
    }
}

void CWorkerThread::ThreadProcedure() {
    NativeThreadId = int(::syscall(SYS_gettid));
    if (Priority != PriorityNormal)
        ::setpriority(PRIO_PROCESS, id_t(NativeThreadId.load()), NicenessFor(Priority));
    QueueReadyEvent.Set();
    Run();
}

void CWorkerThread::RequestStop() {
    CLockGuard hold(*this);
    if (!StartedEvent.IsSet())
        return;
    PostToThread(thread_messages::Quit);
    StopEvent.Set();
    Resume();
}

void CWorkerThread::Stop() {
    CLockGuard hold(*this);
    if (!StartedEvent.IsSet())
        return;
    RequestStop();
    if (Thread.joinable())
        Thread.join();
    StartedEvent.Reset();
    QueueReadyEvent.Reset();
}

void CWorkerThread::Suspend() {
    ResumeEvent.Reset();
    Suspended = true;
}

void CWorkerThread::Resume() {
    Suspended = false;
    ResumeEvent.Set();
}

void CWorkerThread::HonourSuspend() {
    if (Suspended)
        ResumeEvent.Wait();
}

void CWorkerThread::SetPriority(int priority) {
    Priority = priority;
    const int tid = NativeThreadId.load();
    if (tid != 0)
        ::setpriority(PRIO_PROCESS, id_t(tid), NicenessFor(priority)); // best effort
}

bool CWorkerThread::PostToThread(uint32_t message, uint64_t wParam, int64_t lParam, MessagePayload payload) {
    if (!StartedEvent.IsSet() && message != thread_messages::Quit)
        return false;
    {
        std::lock_guard<std::mutex> hold(QueueMutex);
        Queue.push_back(ThreadMessage{message, wParam, lParam, std::move(payload)});
    }
    QueueChanged.notify_one();
    return true;
}

int CWorkerThread::OnThreadMessage(ThreadMessage&) {
    return 1;
}

void CWorkerThread::RunMessageLoop() {
    for (;;) {
        ThreadMessage message;
        {
            std::unique_lock<std::mutex> hold(QueueMutex);
            QueueChanged.wait(hold, [this] { return !Queue.empty(); });
            message = std::move(Queue.front());
            Queue.pop_front();
        }
        if (message.Message == thread_messages::Quit)
            return;
        if (message.Message == thread_messages::Skipped)
            continue;
        HonourSuspend();
        OnThreadMessage(message);
    }
}

} // namespace dova
