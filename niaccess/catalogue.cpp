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

// A key name (at most 63 characters) upper-cased as the registry compares
// names: every letter without regard to case, by the system's own rule.
struct KeyName {
    char text[sizeof InterfaceCatalogue[0].name];
};

static KeyName UpperCaseKeyName(const char* name) {
    KeyName upper = {};
    uint32_t length = 0;
    for (; length + 1 < sizeof upper.text && name[length] != '\0'; ++length)
        upper.text[length] = name[length];
    PlatRegUpperCaseName(upper.text, length);
    return upper;
}

bool SameInterfaceName(const char* a, const char* b) {
    return std::strcmp(UpperCaseKeyName(a).text, UpperCaseKeyName(b).text) == 0;
}

static bool AlreadyListed(const CatalogueFound* found, const char* name) {
    for (int i = 0; i < found->count; ++i)
        if (SameInterfaceName(InterfaceCatalogue[i].name, name))
            return true;
    return false;
}

// Adds the interfaces of one view's interfaces key after those found so far.
// A key that an earlier view listed keeps that view's entry.
static void ReadView(PlatKey interfaces, uint32_t view, CatalogueFound* found) {
    char name[sizeof InterfaceCatalogue[0].name];
    // RegEnumKey fails for the end of the list and for a name that does not
    // fit the buffer alike; either ends the enumeration.
    for (uint32_t index = 0; found->count < CatalogueSize &&
                             PlatRegEnumKey(interfaces, index, name, sizeof name) == PlatRegOk;
         ++index) {
        name[sizeof name - 1] = '\0';
        PlatKey subkey = nullptr;
        if (PlatRegOpenKey(interfaces, name, PlatKeyRead | view, &subkey) != PlatRegOk)
            break; // the subkeys after an unreadable one are not visited
        InterfaceEntry* entry = &InterfaceCatalogue[found->count];
        if (!AlreadyListed(found, name) && ReadDeviceName(subkey, entry)) {
            std::memcpy(entry->name, name, sizeof name);
            ++found->count;
        }
        PlatRegCloseKey(subkey);
    }
}

CatalogueFound ReadInterfaceCatalogue() {
    CatalogueFound found = {CatalogueOutcome::NothingConfigured, 0};
    RegistryViews views = InterfaceRegistryViews();
    bool opened = false;
    for (int v = 0; v < views.count && found.count < CatalogueSize; ++v) {
        PlatKey interfaces = nullptr;
        if (PlatRegOpenKey(PlatLocalMachine(), InterfacesKey, PlatKeyRead | views.flags[v],
                           &interfaces) != PlatRegOk)
            continue;
        opened = true;
        ReadView(interfaces, views.flags[v], &found);
        PlatRegCloseKey(interfaces);
    }
    if (opened)
        found.outcome =
            found.count > 0 ? CatalogueOutcome::Listed : CatalogueOutcome::NothingListed;
    return found;
}
