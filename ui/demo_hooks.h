// Start-up hooks of the executables: nothing in locstr.exe; in the demo the
// virtual network is installed before the dialog lists the interfaces, and its
// panel is opened beside the frame once that is shown.
#pragma once
#include <windows.h>

void DemoStartUp(HINSTANCE instance);
void DemoWindowsShown(HWND frame);
