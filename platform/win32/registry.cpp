// Registry seam on Win32, read only: one system call per function.
#include "platform/registry.h"
#include "platform/win32/system_entry.h"
#include <windows.h>

PlatKey PlatLocalMachine() {
    return HKEY_LOCAL_MACHINE;
}

long PlatRegOpenKey(PlatKey parent, const char* path, uint32_t access, PlatKey* key) {
    return RegOpenKeyExA(static_cast<HKEY>(parent), path, 0, access, reinterpret_cast<HKEY*>(key));
}

long PlatRegEnumKey(PlatKey key, uint32_t index, char* name, uint32_t size) {
    return RegEnumKeyA(static_cast<HKEY>(key), index, name, size);
}

long PlatRegQueryValue(PlatKey key, const char* valueName, uint32_t* type, void* data,
                       uint32_t* size) {
    return RegQueryValueExA(static_cast<HKEY>(key), valueName, nullptr,
                            reinterpret_cast<DWORD*>(type), static_cast<BYTE*>(data),
                            reinterpret_cast<DWORD*>(size));
}

void PlatRegCloseKey(PlatKey key) {
    RegCloseKey(static_cast<HKEY>(key));
}

uint32_t PlatRegOwnView() {
    return sizeof(void*) == 8 ? PlatKeyView64 : PlatKeyView32;
}

void* PlatRegKernel32Entry(const char* name) {
    return PlatSystemEntry("kernel32.dll", name);
}

bool PlatRegCallIsWow64Process(void* isWow64Process, bool* wow64) {
    typedef BOOL(WINAPI * IsWow64ProcessProc)(HANDLE, BOOL*);
    BOOL answer = FALSE;
    BOOL ok = reinterpret_cast<IsWow64ProcessProc>(isWow64Process)(GetCurrentProcess(), &answer);
    *wow64 = answer != FALSE;
    return ok != FALSE;
}

void PlatRegUpperCaseName(char* name, uint32_t length) {
    CharUpperBuffA(name, length);
}
