// Entry points looked up at run time, for the calls that not every Windows
// exports (Windows 95 has no IsWow64Process and no monitor calls; only the
// older family's kernel32 has OpenVxDHandle): a program that imported them
// would not load there. Header-only, like os_version.h.
#pragma once
#include <windows.h>

// The entry point `name` of a loaded module; null when it has none.
inline void* PlatEntryPoint(HMODULE module, const char* name) {
    return module != nullptr ? reinterpret_cast<void*>(GetProcAddress(module, name)) : nullptr;
}

// The entry point `name` of a system DLL that the program has loaded already
// (kernel32.dll, user32.dll); null when the DLL or the entry point is missing.
inline void* PlatSystemEntry(const char* dll, const char* name) {
    return PlatEntryPoint(GetModuleHandleA(dll), name);
}
