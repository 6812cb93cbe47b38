// The operator window's data, filled once at start-up and read by the output
// operations, and the Win32 operations of the window, dialog and fields.
#pragma once
#include "ui/dialog.h"
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

// Start-up up to the greeting: the single-copy test, the frame and the
// dialog. Returns the frame, or null when another copy was found (and raised)
// and this one must end with exit code 0.
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
// The message loop, then the orderly stop of the link; returns the exit code.
int RunMessageLoop();
LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Field glue over ui/fields.h, on the controls of windowState.dialog.
int ParsePellionId();
int AsciiToHex(HWND dialog);
int HexToAscii(HWND dialog);
void UpdateTxTimerLabel(HWND dialog);

// Beeps and sound cues: the only two calls into the sound system, kept apart
// so that a test can link a recording variant in their place.
void UiBeep(UINT type);
void UiPlaySound(const char* name, HMODULE module, DWORD flags);

// Start-up hooks of the executables: nothing in locstr.exe; in the demo the
// virtual network is installed before the dialog lists the interfaces, and its
// panel is opened beside the frame once that is shown.
void DemoStartUp(HINSTANCE instance);
void DemoWindowsShown(HWND frame);
