// Sync seam on the host, with a test clock: time stands still while any
// thread that uses the clock is working, and jumps to the nearest time-out as
// soon as every one of them waits. A 5000 ms limit then costs no real time,
// and no outcome depends on how busy the machine is.
//
// A thread uses the clock from its first tick count, sleep or wait on, or from
// its start when PlatStartThread started it; it stops using it when it ends.
// Such a thread must not block on anything else (a join, a lock held for
// long) while the others wait for time to pass: the clock would stand still.
#include "platform/sync.h"
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

namespace {

struct HostEvent {
    bool signalled = false;
};

struct HostThread {
    bool ended = false;
    int references = 2; // the starter's and the thread's own
};

// A thread inside a wait: on an event, on a thread's end, or on time alone.
struct Waiter {
    HostEvent* event;
    HostThread* thread;
    uint64_t deadline; // UINT64_MAX: none
    bool released = false;
    bool signalled = false;
    Waiter* next = nullptr;
};

struct Clock {
    std::mutex lock;
    std::condition_variable changed;
    // Starts shortly before the 32-bit tick count wraps, so every wait in the
    // tests also crosses the wrap.
    uint64_t now = 0xFFFFF000u;
    int working = 0; // threads using the clock that are not inside a wait
    Waiter* waiters = nullptr;
};

// Never destroyed: detached threads may still use it while the process ends.
Clock& TheClock() {
    static Clock* clock = new Clock;
    return *clock;
}

void Release(Clock& c, Waiter* w, bool signalled) {
    w->released = true;
    w->signalled = signalled;
    ++c.working;
}

void Unlink(Clock& c, Waiter* w) {
    for (Waiter** at = &c.waiters; *at != nullptr; at = &(*at)->next) {
        if (*at == w) {
            *at = w->next;
            return;
        }
    }
}

// With every participant waiting, time moves to the nearest deadline and
// releases whoever waited for it.
void Advance(Clock& c) {
    if (c.working > 0) {
        return;
    }
    uint64_t nearest = UINT64_MAX;
    for (Waiter* w = c.waiters; w != nullptr; w = w->next) {
        if (w->deadline < nearest) {
            nearest = w->deadline;
        }
    }
    if (nearest == UINT64_MAX) {
        return; // all wait without a limit: only an outside thread can help
    }
    if (nearest > c.now) {
        c.now = nearest;
    }
    for (Waiter** at = &c.waiters; *at != nullptr;) {
        Waiter* w = *at;
        if (w->deadline <= c.now) {
            *at = w->next;
            Release(c, w, false);
        } else {
            at = &w->next;
        }
    }
    c.changed.notify_all();
}

// Registration of the calling thread with the clock.
struct Participant {
    bool registered = false;
    ~Participant() {
        if (registered) {
            Clock& c = TheClock();
            std::lock_guard<std::mutex> guard(c.lock);
            --c.working;
            registered = false;
            Advance(c);
        }
    }
};
thread_local Participant participant;

void Register(Clock& c) {
    if (!participant.registered) {
        participant.registered = true;
        ++c.working;
    }
}

// The common wait: true when released by its event or thread, false on time.
bool Wait(HostEvent* event, HostThread* thread, uint32_t timeoutMs) {
    Clock& c = TheClock();
    std::unique_lock<std::mutex> guard(c.lock);
    Register(c);
    if (event != nullptr && event->signalled) {
        event->signalled = false;
        return true;
    }
    if (thread != nullptr && thread->ended) {
        return true;
    }
    if (timeoutMs == 0) {
        return false;
    }
    Waiter self{event, thread, timeoutMs == PlatWaitForever ? UINT64_MAX : c.now + timeoutMs};
    self.next = c.waiters;
    c.waiters = &self;
    --c.working;
    Advance(c);
    c.changed.wait(guard, [&self] { return self.released; });
    return self.signalled;
}

void ThreadEnded(HostThread* t) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> guard(c.lock);
    t->ended = true;
    for (Waiter** at = &c.waiters; *at != nullptr;) {
        Waiter* w = *at;
        if (w->thread == t) {
            *at = w->next;
            Release(c, w, true);
        } else {
            at = &w->next;
        }
    }
    --c.working;
    participant.registered = false;
    if (--t->references == 0) {
        delete t;
    }
    Advance(c);
    c.changed.notify_all();
}

} // namespace

PlatEvent PlatCreateEvent(const char* /*name*/) {
    return new HostEvent;
}

void PlatSetEvent(PlatEvent event) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> guard(c.lock);
    HostEvent* e = static_cast<HostEvent*>(event);
    // Auto-reset: the longest waiter takes the signal, or it stays set.
    Waiter* first = nullptr;
    for (Waiter* w = c.waiters; w != nullptr; w = w->next) {
        if (w->event == e) {
            first = w; // the list is newest first
        }
    }
    if (first == nullptr) {
        e->signalled = true;
        return;
    }
    Unlink(c, first);
    Release(c, first, true);
    c.changed.notify_all();
}

void PlatResetEvent(PlatEvent event) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> guard(c.lock);
    static_cast<HostEvent*>(event)->signalled = false;
}

bool PlatWaitEvent(PlatEvent event, uint32_t timeoutMs) {
    return Wait(static_cast<HostEvent*>(event), nullptr, timeoutMs);
}

// No window system here: the same wait.
bool PlatWaitEventAnswering(PlatEvent event, uint32_t timeoutMs) {
    return PlatWaitEvent(event, timeoutMs);
}

bool PlatInsideAnsweringWait() {
    return false;
}

void PlatCloseEvent(PlatEvent event) {
    delete static_cast<HostEvent*>(event);
}

PlatThread PlatStartThread(void (*body)(void*), void* argument) {
    Clock& c = TheClock();
    auto* t = new HostThread;
    {
        // Counted from now: the clock must not run ahead before it starts.
        std::lock_guard<std::mutex> guard(c.lock);
        ++c.working;
    }
    try {
        std::thread([body, argument, t] {
            participant.registered = true;
            body(argument);
            ThreadEnded(t);
        }).detach();
    } catch (const std::system_error&) {
        std::lock_guard<std::mutex> guard(c.lock);
        --c.working;
        Advance(c);
        delete t;
        return nullptr;
    }
    return t;
}

bool PlatWaitThread(PlatThread thread, uint32_t timeoutMs) {
    return Wait(nullptr, static_cast<HostThread*>(thread), timeoutMs);
}

void PlatReleaseThread(PlatThread thread) {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> guard(c.lock);
    auto* t = static_cast<HostThread*>(thread);
    if (--t->references == 0) {
        delete t;
    }
}

uint32_t PlatTickCount() {
    Clock& c = TheClock();
    std::lock_guard<std::mutex> guard(c.lock);
    Register(c);
    return static_cast<uint32_t>(c.now);
}

void PlatSleep(uint32_t ms) {
    Wait(nullptr, nullptr, ms);
}

// A lock is not a wait on the clock: held only briefly, it never holds the
// clock up.
PlatLock PlatCreateLock() {
    return new std::mutex;
}
void PlatEnterLock(PlatLock lock) {
    static_cast<std::mutex*>(lock)->lock();
}
void PlatLeaveLock(PlatLock lock) {
    static_cast<std::mutex*>(lock)->unlock();
}
void PlatDestroyLock(PlatLock lock) {
    delete static_cast<std::mutex*>(lock);
}
