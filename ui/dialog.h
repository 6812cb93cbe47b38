// The FRONTAL dialog: its procedure, the two window states, opening the
// selected interface, context help, and the reader's wake-up message.
#pragma once
#include <windows.h>

// The reader's wake-up, posted to the dialog with both parameters 0. A private
// message of the application range: WM_USER has the value of DM_GETDEFID,
// which the dialog manager sends to the dialog on every Enter.
const UINT ReaderWakeUpMessage = WM_APP + 1;

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Execute enabled and the interface list disabled while an interface is
// open, and the reverse while none is.
void SetOpenState(bool open);

// True while the program waits inside an operation (a location change, the
// start-up exchange). It then still answers what is sent to its windows, but
// a command sent to start or end another operation is put back in the queue
// and carried out when this one has ended.
bool DialogBusy();
