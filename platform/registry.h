// Registry seam, read only: the interface catalogue and the device-name lookup.
// Linked from platform/win32/registry.cpp (the system registry) or from the
// in-memory registry of the virtual network.
#pragma once
#include <cstdint>

typedef void* PlatKey;

// Result codes and value types, with the Win32 values.
const long PlatRegOk = 0;
const long PlatRegNotFound = 2;      // ERROR_FILE_NOT_FOUND
const long PlatRegAccessDenied = 5;  // ERROR_ACCESS_DENIED
const long PlatRegMoreData = 234;    // ERROR_MORE_DATA
const long PlatRegNoMoreItems = 259; // ERROR_NO_MORE_ITEMS

const uint32_t PlatRegSz = 1;       // REG_SZ
const uint32_t PlatRegExpandSz = 2; // REG_EXPAND_SZ
const uint32_t PlatRegBinary = 3;   // REG_BINARY
const uint32_t PlatRegDword = 4;    // REG_DWORD

const uint32_t PlatKeyRead = 0x20019;      // KEY_READ
const uint32_t PlatKeyReadWrite = 0x2001F; // KEY_READ | KEY_WRITE
// The two views of 64-bit Windows' registry, as access flags
// (KEY_WOW64_64KEY, KEY_WOW64_32KEY). Only where the system has WOW64.
const uint32_t PlatKeyView64 = 0x100;
const uint32_t PlatKeyView32 = 0x200;

// HKEY_LOCAL_MACHINE as a parent key.
PlatKey PlatLocalMachine();

long PlatRegOpenKey(PlatKey parent, const char* path, uint32_t access, PlatKey* key);
// RegEnumKeyA: the name of subkey `index` into a buffer of `size` bytes.
long PlatRegEnumKey(PlatKey key, uint32_t index, char* name, uint32_t size);
// RegQueryValueExA: type may be null; *size is the buffer size in, the data size out.
long PlatRegQueryValue(PlatKey key, const char* valueName, uint32_t* type, void* data,
                       uint32_t* size);
void PlatRegCloseKey(PlatKey key);

// Whether the system has two views (niaccess/interfaces_registry.cpp decides).
// The program's own view: PlatKeyView64 in a 64-bit build, else PlatKeyView32.
uint32_t PlatRegOwnView();
// IsWow64Process is looked up at run time: Windows 95 does not export it, so
// the 32-bit build must not import it. An entry point of the loaded kernel32
// (null when absent), and the call for this process (false when it fails).
void* PlatRegKernel32Entry(const char* name);
bool PlatRegCallIsWow64Process(void* isWow64Process, bool* wow64);

// Key names as the registry compares them: `length` bytes of the name
// upper-cased in place, every letter of the system's character set (not
// only A to Z), as CharUpperBuffA does.
void PlatRegUpperCaseName(char* name, uint32_t length);
