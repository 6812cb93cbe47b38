// locstr-demo.exe's start-up hooks: the virtual network with its interface
// and nodes, registered as an installer registers an interface, and its
// panel beside the program's window.
#include "niaccess/interfaces_registry.h"
#include "ui/demo_hooks.h"
#include "virtualnet/panel.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <string>

static HINSTANCE demoInstance;

void DemoStartUp(HINSTANCE instance) {
    demoInstance = instance;
    VnetInstallDemo();
    const std::string key = std::string(InterfacesKey) + "\\Virtual network";
    VregAddKey(key.c_str());
    VregSetString(key.c_str(), DeviceNameValue, "VNI1");
}

void DemoWindowsShown(HWND frame) {
    RECT rect;
    GetWindowRect(frame, &rect);
    HDC screen = GetDC(nullptr);
    int gap = MulDiv(8, GetDeviceCaps(screen, LOGPIXELSX), 96); // 8 pixels at 100 %
    ReleaseDC(nullptr, screen);
    CreateNetworkPanel(demoInstance, rect.right + gap, rect.top);
    SetForegroundWindow(frame);
}
