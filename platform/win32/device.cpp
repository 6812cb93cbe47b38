// Device seam on Win32: the card's kernel driver, one system call per function.
#include "platform/device.h"
#include "platform/win32/os_version.h"
#include "platform/win32/system_entry.h"
#include <windows.h>
#include <cstddef>

static_assert(sizeof(PlatOverlapped) == sizeof(OVERLAPPED), "PlatOverlapped must match OVERLAPPED");
static_assert(offsetof(PlatOverlapped, event) == offsetof(OVERLAPPED, hEvent),
              "PlatOverlapped::event must match OVERLAPPED::hEvent");

// A compatibility mode can make NT report the older family: the program then
// takes the control-request route (platform/device.h).
uint32_t PlatGetPlatformId() {
    OSVERSIONINFOA info;
    PlatOsVersion(&info);
    return info.dwPlatformId;
}

PlatHandle PlatOpenDevice(const char* path, bool overlapped) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING,
                       overlapped ? FILE_FLAG_OVERLAPPED : FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool PlatReadDevice(PlatHandle device, void* buffer, uint32_t length, uint32_t* transferred) {
    DWORD count = 0;
    BOOL ok = ReadFile(device, buffer, length, &count, nullptr);
    *transferred = count;
    return ok != FALSE;
}

bool PlatWriteDevice(PlatHandle device, const void* buffer, uint32_t length,
                     uint32_t* transferred) {
    DWORD count = 0;
    BOOL ok = WriteFile(device, buffer, length, &count, nullptr);
    *transferred = count;
    return ok != FALSE;
}

void PlatStartArrivalRead(PlatHandle arrival, PlatOverlapped* overlapped, uint32_t* byteCount) {
    static_assert(sizeof(DWORD) == sizeof(uint32_t), "DWORD is 32 bits");
    // The count an overlapped read writes here is not to be trusted (the API
    // asks for none; the real one comes from GetOverlappedResult), and nothing
    // reads it. The read stays pending: the record and count must outlive it.
    // ReadFile marks the record pending before it asks the driver; a read
    // refused at once is never completed, so it must not look pending.
    if (!ReadFile(arrival, nullptr, 0, reinterpret_cast<DWORD*>(byteCount),
                  reinterpret_cast<OVERLAPPED*>(overlapped)) &&
        GetLastError() != ERROR_IO_PENDING)
        overlapped->internal = 0xC0000001; // STATUS_UNSUCCESSFUL
}

bool PlatArrivalReadPending(const PlatOverlapped* overlapped) {
    return !HasOverlappedIoCompleted(reinterpret_cast<const OVERLAPPED*>(overlapped));
}

bool PlatControlDevice(PlatHandle device, uint32_t code, void* input, uint32_t inputLength,
                       void* output, uint32_t outputLength, uint32_t* byteCount) {
    return DeviceIoControl(device, code, input, inputLength, output, outputLength,
                           reinterpret_cast<DWORD*>(byteCount), nullptr) != FALSE;
}

void PlatCloseDevice(PlatHandle device) {
    CloseHandle(device);
}

uint32_t PlatGetSystemDirectory(char* buffer, uint32_t size) {
    return GetSystemDirectoryA(buffer, size);
}
PlatLibrary PlatLoadLibrary(const char* path) {
    return LoadLibraryA(path);
}
PlatProc PlatGetProcAddress(PlatLibrary library, const char* name) {
    return PlatEntryPoint(static_cast<HMODULE>(library), name);
}

uint32_t PlatCallOpenVxDHandle(PlatProc openVxDHandle, PlatEvent event) {
    typedef DWORD(WINAPI * OpenVxDHandleProc)(HANDLE);
    return reinterpret_cast<OpenVxDHandleProc>(openVxDHandle)(event);
}
