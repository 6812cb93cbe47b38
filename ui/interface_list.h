// The dialog's interface list (control 1000), filled from the interface catalogue.
#pragma once
#include <windows.h>

// Empties the list, adds one item per catalogue entry (the entry is the item's
// data), selects the first item of the sorted list, and shows error box 2 when
// the interfaces key exists but lists nothing. 1 when an interface was listed.
int FillInterfaceList(HWND dialog);
