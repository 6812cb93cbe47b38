// Where the installed interfaces are configured: below HKEY_LOCAL_MACHINE, one
// subkey per interface under the interfaces key, each with a "device name"
// string. The catalogue lists them; NiOpen looks a name up among them.
#pragma once
#include "platform/registry.h"
#include <cstdint>

// Registry key names ignore case. The catalogue and the name lookup have always
// spelt the key differently ("SOFTWARE" against "Software"); both spellings are
// kept byte for byte and built from this one tail, which tools/vnic.sh
// repeats for the driver's interface (a host test compares the two).
#define NI_INTERFACES_KEY_TAIL "Quorvane\\DeviceDrivers"

// The interfaces key as the catalogue opens it.
const char InterfacesKey[] = "SOFTWARE\\" NI_INTERFACES_KEY_TAIL;
// NiOpen's lookup opens this followed by the interface's name.
const char InterfaceKeyPrefix[] = "Software\\" NI_INTERFACES_KEY_TAIL "\\";
const char DeviceNameValue[] = "device name";

// Installers write the interfaces key into their own registry view, so on
// 64-bit Windows (WOW64) both views are read: the program's own first, then
// the other. Elsewhere there is one registry and no view flag is passed.
struct RegistryViews {
    int count;         // 1 or 2
    uint32_t flags[2]; // ORed into the access of each open from HKEY_LOCAL_MACHINE down
};
RegistryViews InterfaceRegistryViews();

enum class RegString {
    Read,    // the buffer holds the value, terminated
    TooLong, // the value, with its terminator, does not fit the buffer
    Absent,  // no value of that name could be read
};

// Reads a string value into buffer (capacity bytes); type may be null. Data
// stored without a terminator is ended right after it, and never read past the
// buffer: data that fills the whole buffer without one is too long.
RegString ReadRegistryString(PlatKey key, const char* valueName, uint32_t* type, char* buffer,
                             uint32_t capacity);
