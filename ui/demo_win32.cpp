// locstr-demo.exe's start-up hooks: the virtual network with its interface
// and nodes, registered as an installer registers an interface, and its
// panel beside the program's window.
#include "ui/demo_hooks.h"
#include "virtualnet/demo_network.h"
#include "virtualnet/panel.h"

static HINSTANCE demoInstance;

void DemoStartUp(HINSTANCE instance) {
    demoInstance = instance;
    InstallDemoNetwork();
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
