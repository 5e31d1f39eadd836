#include "thread.h"

#include <process.h>
#include <vector>

namespace dev {

Cancel::Cancel() : event_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
Cancel::~Cancel() { CloseHandle(event_); }

void Cancel::Request() {
    requested_.store(true);
    SetEvent(event_);
}

void Cancel::Reset() {
    requested_.store(false);
    ResetEvent(event_);
}

namespace {

struct EachItem {
    const std::function<void(size_t)>* fn;
    size_t index;
};

unsigned __stdcall EachMain(void* p) {
    EachItem* item = static_cast<EachItem*>(p);
    (*item->fn)(item->index);
    return 0;
}

} // namespace

void RunEach(size_t count, const std::function<void(size_t)>& fn) {
    std::vector<EachItem> items(count);
    std::vector<HANDLE> threads;
    for (size_t i = 0; i < count; i++) {
        items[i] = EachItem{&fn, i};
        uintptr_t h = _beginthreadex(nullptr, 0, EachMain, &items[i], 0, nullptr);
        // Without a thread to spare, the item runs here; the others still overlap.
        if (h) threads.push_back(reinterpret_cast<HANDLE>(h));
        else fn(i);
    }
    for (HANDLE h : threads) {
        WaitForSingleObject(h, INFINITE);
        CloseHandle(h);
    }
}

Worker::~Worker() {
    cancel_.Request();
    Wait();
}

bool Worker::Start(std::function<void(const Cancel&)> job, std::function<void()> done) {
    if (running_.load()) return false;
    Wait();   // a finished job's thread handle
    cancel_.Reset();
    job_ = std::move(job);
    done_ = std::move(done);
    running_.store(true);
    uintptr_t h = _beginthreadex(nullptr, 0, Main, this, 0, nullptr);
    if (!h) {
        running_.store(false);
        return false;
    }
    thread_ = reinterpret_cast<HANDLE>(h);
    return true;
}

void Worker::Wait() {
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

unsigned __stdcall Worker::Main(void* p) {
    Worker* self = static_cast<Worker*>(p);
    self->job_(self->cancel_);
    // Running() turns false before `done` runs: the window that `done` notifies
    // finds the worker free (Start then waits for this thread's last lines).
    self->running_.store(false);
    if (self->done_) self->done_();
    return 0;
}

} // namespace dev
