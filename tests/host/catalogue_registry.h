// How a catalogue test lays out the registry. catalogue_registry_memory.cpp
// writes the in-memory registry; ../win32/catalogue_win32_test.cpp writes
// Wine's own under HKEY_LOCAL_MACHINE. Paths are below HKEY_LOCAL_MACHINE.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace testreg {

// Removes "SOFTWARE\Quorvane" with everything below it.
void Clear();
// Creates the key and every key above it.
void AddKey(const std::string& path);
void SetValue(const std::string& path, const char* valueName, uint32_t type, const void* data,
              uint32_t size);
// Opening the key fails from now on; false when this registry cannot do that.
bool DenyOpen(const std::string& path);
// Keys opened through the registry seam and not closed yet; -1 when unknown.
int OpenKeys();

// The subkey names of the key, read through the registry seam in the
// registry's own enumeration order (catalogue_test.cpp).
std::vector<std::string> EnumerationOrder(const std::string& path);

} // namespace testreg
