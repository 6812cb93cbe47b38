// Registry seam on Win32, read only: one system call per function.
#include "platform/registry.h"
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
