// The interface catalogue: the interfaces installed in the registry, each with
// the device name that opening it needs.
#pragma once

struct InterfaceEntry {
    char name[64];
    char deviceName[64];
};

const int CatalogueSize = 10;
extern InterfaceEntry InterfaceCatalogue[CatalogueSize];

enum class CatalogueOutcome {
    NothingConfigured, // the interfaces key is missing or cannot be opened (in either view)
    NothingListed,     // the key opens (in some view), but no subkey gave an entry
    Listed,            // at least one entry
};

struct CatalogueFound {
    CatalogueOutcome outcome;
    int count; // InterfaceCatalogue's entries filled, from the first on
};

// Fills InterfaceCatalogue from the interfaces key, in the registry's
// enumeration order (on 64-bit Windows the own view's, then the other's),
// and tells what it found.
CatalogueFound ReadInterfaceCatalogue();

// True when the registry holds the two names for one key: every letter
// compared without regard to case, by the system's own rule.
bool SameInterfaceName(const char* a, const char* b);
