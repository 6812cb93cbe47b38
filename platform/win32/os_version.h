// The running system's version (GetVersionExA), for the Win32 code that must
// tell the older family from NT, or NT 6 from earlier. Header-only: the demo
// links no device seam of the system's own.
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
