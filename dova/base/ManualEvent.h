#pragma once
// A manual-reset event: stays signalled until reset; waits may have a time limit.

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace dova {

class CManualEvent {
public:
    explicit CManualEvent(bool signalled = false) : Signalled(signalled) {}
    CManualEvent(const CManualEvent&) = delete;
    CManualEvent& operator=(const CManualEvent&) = delete;

    void Set() {
        {
            std::lock_guard<std::mutex> hold(Mutex);
            Signalled = true;
        }
        Changed.notify_all();
    }
    void Reset() {
        std::lock_guard<std::mutex> hold(Mutex);
        Signalled = false;
    }
    bool IsSet() const {
        std::lock_guard<std::mutex> hold(Mutex);
        return Signalled;
    }
    void Wait() {
        std::unique_lock<std::mutex> hold(Mutex);
        Changed.wait(hold, [this] { return Signalled; });
    }
    // Returns true when the event was signalled within the time.
    bool WaitFor(std::chrono::milliseconds limit) {
        std::unique_lock<std::mutex> hold(Mutex);
        return Changed.wait_for(hold, limit, [this] { return Signalled; });
    }

private:
    mutable std::mutex Mutex;
    std::condition_variable Changed;
    bool Signalled;
};

} // namespace dova
