// The interface catalogue: the interfaces installed in the registry, each with
// the device name that opening it needs.
#pragma once

struct InterfaceEntry {
    char name[64];
    char deviceName[64];
};

const int CatalogueSize = 10;
extern InterfaceEntry InterfaceCatalogue[CatalogueSize];

// Fills InterfaceCatalogue from "SOFTWARE\Quorvane\DeviceDrivers" (in the
// registry's enumeration order) and returns how many entries were filled;
// *keyOpened tells whether the interfaces key itself could be opened.
int ReadInterfaceCatalogue(bool* keyOpened);

// Win32: fills the dialog's interface list (control 1000) from the registry,
// selects the first item, and shows error box 2 when the key exists but lists
// nothing. 1 when at least one interface was listed.
int FillInterfaceList(void* dialog);
