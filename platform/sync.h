// Sync seam: events, threads and a wait for their end (the link's reader,
// and a reader given up by a stop until it has ended), a lock, tick count and
// sleep. platform/win32/sync.cpp on Windows; platform/host/sync.cpp on the
// host, where time is a test clock (see there).
#pragma once
#include <cstdint>

typedef void* PlatEvent;
typedef void* PlatThread;

// A time-out that never ends.
const uint32_t PlatWaitForever = 0xFFFFFFFFu;

// Auto-reset, initially not signalled; the name may be null. Null on failure.
PlatEvent PlatCreateEvent(const char* name);
void PlatSetEvent(PlatEvent event);
void PlatResetEvent(PlatEvent event);
// True when the event was signalled within timeoutMs.
bool PlatWaitEvent(PlatEvent event, uint32_t timeoutMs);
// The same wait for the user-interface thread: meanwhile it answers messages
// sent to its windows and repaints them, so the system never counts it as
// hung, but it removes no posted message (input stays queued).
bool PlatWaitEventAnswering(PlatEvent event, uint32_t timeoutMs);
// True while the calling thread's messages are answered from inside such a wait.
bool PlatInsideAnsweringWait();
void PlatCloseEvent(PlatEvent event);

// Starts `body(argument)` on a new thread. Null when it cannot be started.
PlatThread PlatStartThread(void (*body)(void*), void* argument);
// True when the thread has ended within timeoutMs.
bool PlatWaitThread(PlatThread thread, uint32_t timeoutMs);
// Gives up the caller's reference to a started thread without waiting for it.
void PlatReleaseThread(PlatThread thread);

uint32_t PlatTickCount();
void PlatSleep(uint32_t ms);

// A mutual-exclusion lock, not recursive. The 32-bit build's runtime (the
// win32 thread model, which imports nothing that Windows 95 lacks) has no
// std::mutex, so code in the executables locks through here.
typedef void* PlatLock;
PlatLock PlatCreateLock();
void PlatEnterLock(PlatLock lock);
void PlatLeaveLock(PlatLock lock);
void PlatDestroyLock(PlatLock lock);

// PlatLock for std::lock_guard and std::unique_lock.
class PlatMutex {
  public:
    PlatMutex() : lock_(PlatCreateLock()) {}
    ~PlatMutex() { PlatDestroyLock(lock_); }
    PlatMutex(const PlatMutex&) = delete;
    PlatMutex& operator=(const PlatMutex&) = delete;
    void lock() { PlatEnterLock(lock_); }
    void unlock() { PlatLeaveLock(lock_); }

  private:
    PlatLock lock_;
};
