// Sync seam on Win32: one system call per function, but for the answering
// wait, which has to loop over the messages sent meanwhile.
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

// MsgWaitForMultipleObjects returns for sent messages and pending paints
// only; PeekMessage over WM_PAINT alone answers the sent ones on the way and
// takes nothing but the paint, which is not input. Looking at the queue at
// least once per wait also tells the system that the thread is alive.
static thread_local int answeringDepth;

bool PlatInsideAnsweringWait() {
    return answeringDepth > 0;
}

bool PlatWaitEventAnswering(PlatEvent event, uint32_t timeoutMs) {
    DWORD start = GetTickCount();
    for (;;) {
        MSG message;
        ++answeringDepth;
        while (PeekMessageA(&message, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        --answeringDepth;
        DWORD waited = GetTickCount() - start;
        DWORD left = waited < timeoutMs ? timeoutMs - waited : 0;
        HANDLE handle = event;
        DWORD result =
            MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_SENDMESSAGE | QS_PAINT);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result != WAIT_OBJECT_0 + 1) {
            return false; // timed out (or the handle is bad)
        }
    }
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
bool PlatWaitThread(PlatThread thread, uint32_t timeoutMs) {
    return WaitForSingleObject(thread, timeoutMs) == WAIT_OBJECT_0;
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

PlatLock PlatCreateLock() {
    auto* section = new CRITICAL_SECTION;
    InitializeCriticalSection(section);
    return section;
}
void PlatEnterLock(PlatLock lock) {
    EnterCriticalSection(static_cast<CRITICAL_SECTION*>(lock));
}
void PlatLeaveLock(PlatLock lock) {
    LeaveCriticalSection(static_cast<CRITICAL_SECTION*>(lock));
}
void PlatDestroyLock(PlatLock lock) {
    DeleteCriticalSection(static_cast<CRITICAL_SECTION*>(lock));
    delete static_cast<CRITICAL_SECTION*>(lock);
}
