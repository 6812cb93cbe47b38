// How a catalogue test lays out the registry (paths below HKEY_LOCAL_MACHINE):
// in memory on the host (catalogue_registry_memory.cpp), in Wine's own registry
// under Wine (../win32/catalogue_win32_test.cpp).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testreg {
// Written out here, not taken from the program: a wrong key in the program
// must fail these tests, not move them along with it.
const std::string Interfaces = "SOFTWARE\\Quorvane\\DeviceDrivers";
// The same key in the 32-bit view, where 64-bit Windows keeps it.
const std::string OtherInterfaces = "SOFTWARE\\Wow6432Node\\Quorvane\\DeviceDrivers";
// The registry of a 64-bit program on 64-bit Windows, whose other view is the
// 32-bit one; false where it cannot be had.
bool UseBothViews();
void Clear(); // removes "SOFTWARE\Quorvane" with everything below it, in both views
void AddKey(const std::string& path);
void SetValue(const std::string& path, const char* valueName, uint32_t type, const void* data,
              uint32_t size);
bool DenyOpen(const std::string& path); // false when this registry cannot refuse an open
int OpenKeys(); // keys opened through the registry seam and not closed; -1: unknown
// In catalogue_test.cpp: the interfaces key's subkeys in the registry's own
// order, and a subkey with a REG_SZ "device name".
std::vector<std::string> EnumerationOrder(const std::string& key = Interfaces);
void AddInterface(const std::string& name, const std::string& device,
                  const std::string& key = Interfaces);
} // namespace testreg
