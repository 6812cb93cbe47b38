// Sync seam on the host: auto-reset events over a mutex and condition
// variable, std::thread, and the steady clock as the tick count.
#include "platform/sync.h"
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {
struct HostEvent {
    std::mutex lock;
    std::condition_variable changed;
    bool signalled = false;
};
HostEvent* AsEvent(PlatEvent event) {
    return static_cast<HostEvent*>(event);
}

struct HostThread {
    void (*body)(void*);
    void* argument;
};
} // namespace

PlatEvent PlatCreateEvent(const char* /*name*/) {
    return new HostEvent;
}

void PlatSetEvent(PlatEvent event) {
    HostEvent* e = AsEvent(event);
    {
        std::lock_guard<std::mutex> guard(e->lock);
        e->signalled = true;
    }
    e->changed.notify_one();
}

void PlatResetEvent(PlatEvent event) {
    HostEvent* e = AsEvent(event);
    std::lock_guard<std::mutex> guard(e->lock);
    e->signalled = false;
}

bool PlatWaitEvent(PlatEvent event, uint32_t timeoutMs) {
    HostEvent* e = AsEvent(event);
    std::unique_lock<std::mutex> guard(e->lock);
    if (!e->changed.wait_for(guard, std::chrono::milliseconds(timeoutMs),
                             [e] { return e->signalled; })) {
        return false;
    }
    e->signalled = false; // auto-reset: one waiter is released
    return true;
}

void PlatCloseEvent(PlatEvent event) {
    delete AsEvent(event);
}

PlatThread PlatStartThread(void (*body)(void*), void* argument) {
    auto* token = new HostThread{body, argument};
    try {
        std::thread([body, argument] { body(argument); }).detach();
    } catch (const std::system_error&) {
        delete token;
        return nullptr;
    }
    return token;
}

// The thread runs detached; the token only identifies it while it runs.
void PlatReleaseThread(PlatThread thread) {
    delete static_cast<HostThread*>(thread);
}

uint32_t PlatTickCount() {
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void PlatSleep(uint32_t ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
