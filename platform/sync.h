// Sync seam: the named arrival event, one extra thread, tick count and sleep.
// platform/win32/sync.cpp on Windows, platform/host/sync.cpp on the host.
#pragma once
#include <cstdint>

typedef void* PlatEvent;
typedef void* PlatThread;

// Auto-reset, initially not signalled; the name may be null. Null on failure.
PlatEvent PlatCreateEvent(const char* name);
void PlatSetEvent(PlatEvent event);
void PlatResetEvent(PlatEvent event);
// True when the event was signalled within timeoutMs.
bool PlatWaitEvent(PlatEvent event, uint32_t timeoutMs);
void PlatCloseEvent(PlatEvent event);

// Starts `body(argument)` on a new thread. Null when it cannot be started.
PlatThread PlatStartThread(void (*body)(void*), void* argument);
// Gives up the caller's reference to a started thread without waiting for it.
void PlatReleaseThread(PlatThread thread);

uint32_t PlatTickCount();
void PlatSleep(uint32_t ms);
