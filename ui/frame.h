// The frame window around the dialog, start-up, the message loop and the
// wait pointer.
#pragma once
#include <windows.h>

// Start-up up to the greeting: the single-copy test, the frame and the
// dialog. Returns the frame, or null when another copy was found (and raised)
// and this one must end with exit code 0.
HWND CreateMainWindow(HINSTANCE instance, int showCommand);
// The message loop, then the orderly stop of the link; returns the exit code.
int RunMessageLoop();
LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// True: the wait pointer over the frame, the dialog and its controls (and
// any other window of this thread: it waits as well) while a location change
// runs. False: the window under the pointer shows its own pointer at once.
void ShowWaitPointer(bool waiting);
