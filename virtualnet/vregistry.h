// An in-memory registry behind the registry seam (platform/registry.h): the
// virtual network's own interfaces in the demo, and any layout a test needs.
// Key paths are below HKEY_LOCAL_MACHINE and compared without regard to case.
#pragma once
#include <cstdint>

// The system the registry stands for. With WOW64 there are two views, and
// opens from HKEY_LOCAL_MACHINE are redirected as there: the 32-bit view's
// HKLM\SOFTWARE is kept under HKLM\SOFTWARE\Wow6432Node, the path that sets
// up keys of the 32-bit view here. A key opened relative to an open key stays
// in that key's view, whatever view flag is passed (as Wine 8 does).
enum class VregSystem {
    Single,         // 32-bit Windows without IsWow64Process (95 to 2000): a view flag is refused
    SingleAsked,    // 32-bit Windows whose IsWow64Process answers no: view flags are ignored
    Wow64Program32, // 64-bit Windows and a 32-bit program: its own view is the 32-bit one
    Wow64Program64, // 64-bit Windows and a 64-bit program
};
void VregSetSystem(VregSystem system);

// An empty registry of a VregSystem::Single system.
void VregClear();
// Creates the key and every key above it.
void VregAddKey(const char* path);
void VregSetValue(const char* path, const char* valueName, uint32_t type, const void* data,
                  uint32_t size);
// A REG_SZ value with its terminating zero.
void VregSetString(const char* path, const char* valueName, const char* text);
// Opening this key fails with access denied from now on.
void VregDenyOpen(const char* path);
// Keys opened through the registry seam and not closed yet.
int VregOpenKeyCount();
