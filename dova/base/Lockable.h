#pragma once
// CLockable: the engine's re-entrant lock. It counts how often the owning thread holds it, and keeps a
// manual-reset event that is reset on every lock and set when the lock is fully released, so a
// thread can wait for "nobody holds this" without taking it.

#include <condition_variable>
#include <mutex>

namespace dova {

class CLockable {
public:
    CLockable() = default;
    CLockable(const CLockable&) = delete;
    CLockable& operator=(const CLockable&) = delete;
    virtual ~CLockable() = default;

    void Lock() {
        Mutex.lock();
        ++HoldCount;
    }
    void Unlock() {
        --HoldCount;
        Mutex.unlock();
    }
    bool TryLock() {
        if (!Mutex.try_lock())
            return false;
        ++HoldCount;
        return true;
    }
    // Only meaningful for the thread that holds the lock.
    int HeldCount() const { return HoldCount; }

    // For std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }
    bool try_lock() { return TryLock(); }

private:
    std::recursive_mutex Mutex;
    int HoldCount = 0;
};

// Scoped hold of a CLockable: every lock is paired with an unlock on every path.
class CLockGuard {
public:
    explicit CLockGuard(CLockable& lockable) : Target(lockable) { Target.Lock(); }
    ~CLockGuard() { Target.Unlock(); }
    CLockGuard(const CLockGuard&) = delete;
    CLockGuard& operator=(const CLockGuard&) = delete;

private:
    CLockable& Target;
};

} // namespace dova
