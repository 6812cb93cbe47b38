// locstr.exe's start-up hooks: the real driver needs nothing before the dialog.
#include "ui/demo_hooks.h"

void DemoStartUp(HINSTANCE) {}
void DemoWindowsShown(HWND) {}
