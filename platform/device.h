// Device seam: the interface driver's device as the access layer sees it.
// Linked from platform/win32/device.cpp (the real driver) or from the virtual
// network (virtualnet/), never both.
#pragma once
#include <cstdint>

typedef void* PlatHandle;  // a device handle; PlatInvalidHandle() on failure
typedef void* PlatEvent;   // an event handle of the sync seam
typedef void* PlatLibrary; // a loaded library
typedef void* PlatProc;    // an entry point in a library

// Laid out like the Win32 OVERLAPPED record, so the Win32 side passes it
// straight to ReadFile (checked there with static_assert).
struct PlatOverlapped {
    uintptr_t internal;
    uintptr_t internalHigh;
    uint32_t offset;
    uint32_t offsetHigh;
    PlatEvent event;
};

const uint32_t PlatPlatformNt = 2; // VER_PLATFORM_WIN32_NT

inline PlatHandle PlatInvalidHandle() {
    return reinterpret_cast<PlatHandle>(~uintptr_t(0));
}

// Platform id of the running system (GetVersionExA).
uint32_t PlatGetPlatformId();

// Opens a device path for reading and writing, shared for reading and
// writing, OPEN_EXISTING; overlapped selects FILE_FLAG_OVERLAPPED instead of
// FILE_ATTRIBUTE_NORMAL. PlatInvalidHandle() on failure.
PlatHandle PlatOpenDevice(const char* path, bool overlapped);

// Synchronous transfer on a handle opened without overlapped; false when the
// call fails. *transferred receives the byte count.
bool PlatReadDevice(PlatHandle device, void* buffer, uint32_t length, uint32_t* transferred);
bool PlatWriteDevice(PlatHandle device, const void* buffer, uint32_t length, uint32_t* transferred);

// Zero-length overlapped read on an overlapped handle: completes (and signals
// overlapped->event) when a message can be read. The outcome is not reported;
// a read refused at once leaves the record not pending.
void PlatStartArrivalRead(PlatHandle arrival, PlatOverlapped* overlapped, uint32_t* byteCount);
// Whether the arrival read last issued with this record is still pending
// (HasOverlappedIoCompleted: reads the record's status, no system call).
// While it is, the system may still write into the record, so no other read
// may be issued with it.
bool PlatArrivalReadPending(const PlatOverlapped* overlapped);

// Synchronous control request (older platform family). False when the driver
// refuses. byteCount is required even when the caller does not look at it:
// without an OVERLAPPED record the system stores the count through it (a
// null pointer faults on the NT family, which a compatibility mode can make
// report the older family).
bool PlatControlDevice(PlatHandle device, uint32_t code, void* input, uint32_t inputLength,
                       void* output, uint32_t outputLength, uint32_t* byteCount);

void PlatCloseDevice(PlatHandle device);

// Locating OpenVxDHandle (older family): system directory, library by full
// path, entry point by name, and the call itself (0 on failure).
uint32_t PlatGetSystemDirectory(char* buffer, uint32_t size);
PlatLibrary PlatLoadLibrary(const char* path);
PlatProc PlatGetProcAddress(PlatLibrary library, const char* name);
uint32_t PlatCallOpenVxDHandle(PlatProc openVxDHandle, PlatEvent event);
