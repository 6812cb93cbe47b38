// locstr-demo.exe's start-up hooks: the virtual network with its interface
// and nodes, and its panel beside the program's window.
#include "ui/demo_hooks.h"
#include "virtualnet/panel.h"
#include "virtualnet/vnet.h"

static HINSTANCE demoInstance;

void DemoStartUp(HINSTANCE instance) {
    demoInstance = instance;
    VnetInstallDemo();
}

void DemoWindowsShown(HWND frame) {
    RECT rect;
    GetWindowRect(frame, &rect);
    CreateNetworkPanel(demoInstance, rect.right + 8, rect.top);
    SetForegroundWindow(frame);
}
