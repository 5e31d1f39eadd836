// Threads for the device layer: a cancel flag a wait can sleep on, a lock,
// running one function per item on threads of its own, and a worker that
// runs one job off the caller's thread (the package manager window's UI
// thread) and reports back through callbacks.
#pragma once

#include <windows.h>
#include <atomic>
#include <functional>

namespace dev {

// Set once, seen by every thread; waits on Event() wake at once when set.
class Cancel {
public:
    Cancel();
    ~Cancel();
    Cancel(const Cancel&) = delete;
    Cancel& operator=(const Cancel&) = delete;
    void Request();
    void Reset();
    bool Requested() const { return requested_.load(); }
    HANDLE Event() const { return event_; }

private:
    HANDLE event_;
    std::atomic<bool> requested_{false};
};

class Lock {
public:
    Lock() { InitializeCriticalSection(&cs_); }
    ~Lock() { DeleteCriticalSection(&cs_); }
    Lock(const Lock&) = delete;
    Lock& operator=(const Lock&) = delete;
    void Enter() { EnterCriticalSection(&cs_); }
    void Leave() { LeaveCriticalSection(&cs_); }

private:
    CRITICAL_SECTION cs_;
};

class Hold {
public:
    explicit Hold(Lock& l) : lock_(l) { lock_.Enter(); }
    ~Hold() { lock_.Leave(); }
    Hold(const Hold&) = delete;
    Hold& operator=(const Hold&) = delete;

private:
    Lock& lock_;
};

// Calls fn(0) ... fn(count - 1), each on a thread of its own, and returns
// when all have returned.
void RunEach(size_t count, const std::function<void(size_t)>& fn);

// Runs one job at a time on a thread of its own. The job gets the worker's
// cancel flag; `done` runs on the worker thread after the job (a window
// posts itself a message from there; `done` never calls Start). Start, Wait
// and the destructor belong to the owner's thread. The destructor cancels and waits.
class Worker {
public:
    Worker() = default;
    ~Worker();
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // False, and nothing started, while an earlier job still runs.
    bool Start(std::function<void(const Cancel&)> job, std::function<void()> done = nullptr);
    void RequestCancel() { cancel_.Request(); }
    bool Running() const { return running_.load(); }
    // Waits for the job (and its `done`) to have returned.
    void Wait();

private:
    static unsigned __stdcall Main(void* self);

    HANDLE thread_ = nullptr;
    Cancel cancel_;
    std::atomic<bool> running_{false};
    std::function<void(const Cancel&)> job_;
    std::function<void()> done_;
};

} // namespace dev
