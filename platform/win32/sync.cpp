// Sync seam on Win32: one system call per function.
#include "platform/sync.h"
#include <windows.h>

PlatEvent PlatCreateEvent(const char* name) {
    return CreateEventA(nullptr, FALSE, FALSE, name);
}
void PlatSetEvent(PlatEvent event) {
    SetEvent(event);
}
void PlatResetEvent(PlatEvent event) {
    ResetEvent(event);
}
bool PlatWaitEvent(PlatEvent event, uint32_t timeoutMs) {
    return WaitForSingleObject(event, timeoutMs) == WAIT_OBJECT_0;
}
void PlatCloseEvent(PlatEvent event) {
    CloseHandle(event);
}

namespace {
struct ThreadStart {
    void (*body)(void*);
    void* argument;
};
DWORD WINAPI ThreadEntry(LPVOID parameter) {
    ThreadStart start = *static_cast<ThreadStart*>(parameter);
    delete static_cast<ThreadStart*>(parameter);
    start.body(start.argument);
    return 0;
}
} // namespace

PlatThread PlatStartThread(void (*body)(void*), void* argument) {
    auto* start = new ThreadStart{body, argument};
    HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, start, 0, nullptr);
    if (thread == nullptr) {
        delete start;
    }
    return thread;
}
void PlatReleaseThread(PlatThread thread) {
    CloseHandle(thread);
}

uint32_t PlatTickCount() {
    return GetTickCount();
}
void PlatSleep(uint32_t ms) {
    Sleep(ms);
}
