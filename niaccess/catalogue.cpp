// The interface catalogue: the installed interfaces read from the registry.
#include "niaccess/catalogue.h"
#include "platform/registry.h"
#include <cstring>

InterfaceEntry InterfaceCatalogue[CatalogueSize];

static const char InterfacesKey[] = "SOFTWARE\\Quorvane\\DeviceDrivers";
static const char DeviceNameValue[] = "device name";
static const uint32_t NameBufferSize = 64;

// Reads the subkey's "device name" into entry->deviceName. False when the value
// is missing, not REG_SZ, or does not fit 64 bytes with its terminator.
static bool ReadDeviceName(PlatKey subkey, InterfaceEntry* entry) {
    char value[NameBufferSize];
    uint32_t type = 0;
    uint32_t size = sizeof value;
    if (PlatRegQueryValue(subkey, DeviceNameValue, &type, value, &size) != PlatRegOk) {
        return false;
    }
    if (type != PlatRegSz || size > sizeof value) {
        return false;
    }
    // Data stored without its terminator: a full buffer means the name is too
    // long; a shorter one is ended just after the data.
    if (std::memchr(value, '\0', size) == nullptr) {
        if (size == sizeof value) {
            return false;
        }
        value[size] = '\0';
    }
    std::memcpy(entry->deviceName, value, sizeof value);
    entry->deviceName[sizeof entry->deviceName - 1] = '\0';
    return true;
}

int ReadInterfaceCatalogue(bool* keyOpened) {
    PlatKey interfaces = nullptr;
    if (PlatRegOpenKey(PlatLocalMachine(), InterfacesKey, PlatKeyRead, &interfaces) != PlatRegOk) {
        *keyOpened = false;
        return 0;
    }
    *keyOpened = true;

    int count = 0;
    char name[NameBufferSize];
    // RegEnumKey fails for the end of the list and for a name that does not
    // fit the buffer alike; either ends the enumeration.
    for (uint32_t index = 0;
         count < CatalogueSize && PlatRegEnumKey(interfaces, index, name, sizeof name) == PlatRegOk;
         ++index) {
        name[sizeof name - 1] = '\0';
        PlatKey subkey = nullptr;
        if (PlatRegOpenKey(interfaces, name, PlatKeyRead, &subkey) != PlatRegOk) {
            break; // the subkeys after an unreadable one are not visited
        }
        InterfaceEntry* entry = &InterfaceCatalogue[count];
        if (ReadDeviceName(subkey, entry)) {
            std::memcpy(entry->name, name, sizeof name);
            ++count;
        }
        PlatRegCloseKey(subkey);
    }
    PlatRegCloseKey(interfaces);
    return count;
}
