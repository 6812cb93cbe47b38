// An in-memory registry behind the registry seam (platform/registry.h): the
// virtual network's own interfaces in the demo, and any layout a test needs.
// Key paths are below HKEY_LOCAL_MACHINE and compared without regard to case.
#pragma once
#include <cstdint>

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
