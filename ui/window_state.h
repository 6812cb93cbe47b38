// The operator window's data, filled once at start-up and read by the output
// operations.
#pragma once
#include <windows.h>

struct WindowState {
    HINSTANCE instance; // strings, icon and dialog template come from here
    HMODULE module;     // the sounds are played from here
    char className[12]; // string 1: frame class, single-copy key, icon group name
    char caption[64];   // string 9: frame and error-box title
    HICON icon;
    HWND dialog; // the FRONTAL dialog; every output addresses its controls
};

extern WindowState windowState;
