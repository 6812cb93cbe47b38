// The interface catalogue: the installed interfaces read from the registry.
#include "niaccess/catalogue.h"
#include "niaccess/interfaces_registry.h"
#include <cstring>

InterfaceEntry InterfaceCatalogue[CatalogueSize];

// A usable "device name" is a REG_SZ that fits 64 bytes with its terminator.
static bool ReadDeviceName(PlatKey subkey, InterfaceEntry* entry) {
    uint32_t type = 0;
    return ReadRegistryString(subkey, DeviceNameValue, &type, entry->deviceName,
                              sizeof entry->deviceName) == RegString::Read &&
           type == PlatRegSz;
}

CatalogueFound ReadInterfaceCatalogue() {
    CatalogueFound found = {CatalogueOutcome::NothingConfigured, 0, InterfaceCatalogue};
    PlatKey interfaces = nullptr;
    if (PlatRegOpenKey(PlatLocalMachine(), InterfacesKey, PlatKeyRead, &interfaces) != PlatRegOk)
        return found;

    char name[sizeof InterfaceCatalogue[0].name];
    // RegEnumKey fails for the end of the list and for a name that does not
    // fit the buffer alike; either ends the enumeration.
    for (uint32_t index = 0; found.count < CatalogueSize &&
                             PlatRegEnumKey(interfaces, index, name, sizeof name) == PlatRegOk;
         ++index) {
        name[sizeof name - 1] = '\0';
        PlatKey subkey = nullptr;
        if (PlatRegOpenKey(interfaces, name, PlatKeyRead, &subkey) != PlatRegOk)
            break; // the subkeys after an unreadable one are not visited
        InterfaceEntry* entry = &InterfaceCatalogue[found.count];
        if (ReadDeviceName(subkey, entry)) {
            std::memcpy(entry->name, name, sizeof name);
            ++found.count;
        }
        PlatRegCloseKey(subkey);
    }
    PlatRegCloseKey(interfaces);
    found.outcome = found.count > 0 ? CatalogueOutcome::Listed : CatalogueOutcome::NothingListed;
    return found;
}
