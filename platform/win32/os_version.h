// The running system's version (GetVersionExA), for the Win32 code that must
// tell the older family from NT, or NT 6 from earlier, and the NT version the
// system itself keeps. Header-only: the demo links no device seam of the
// system's own.
#pragma once
#include <windows.h>

// GetVersionExA is deprecated, but nothing else reports the platform id.
// Under Windows 95/98 compatibility modes the NT family reports 1, the older
// family. False when the call fails (the record is then all zero).
inline bool PlatOsVersion(OSVERSIONINFOA* version) {
    *version = OSVERSIONINFOA{};
    version->dwOSVersionInfoSize = sizeof *version;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#elif defined(_MSC_VER)
#pragma warning(push)
#pragma warning(disable : 4996)
#endif
    BOOL known = GetVersionExA(version);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#elif defined(_MSC_VER)
#pragma warning(pop)
#endif
    return known != FALSE;
}

// The major version of the NT system itself, from its registry's
// CurrentVersion ("5.1" on XP, "6.0" on Vista, "6.3" from 8.1 on). A
// compatibility mode changes what the version calls report, not this value.
// 0 where there is none: the older family keeps no NT version.
inline int PlatNtSystemMajorVersion() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion", 0,
                      KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return 0;
    }
    char text[16] = {};
    DWORD size = sizeof text - 1;
    DWORD type = 0;
    LONG read = RegQueryValueExA(key, "CurrentVersion", nullptr, &type,
                                 reinterpret_cast<BYTE*>(text), &size);
    RegCloseKey(key);
    if (read != ERROR_SUCCESS || type != REG_SZ) {
        return 0;
    }
    int major = 0;
    for (const char* c = text; *c >= '0' && *c <= '9' && major < 1000; ++c) {
        major = major * 10 + (*c - '0');
    }
    return major;
}
