// Operator output seam: everything the program shows or sounds, and the
// reader thread's wake-up post to the dialog. ui/feedback_win32.cpp puts it on
// the dialog's controls; tests/support/output_recorder.cpp records it for tests.
#pragma once

void ShowStatus(const char* text);      // status line, control 1002
void ShowMessage(const char* text);     // message area, control 1003; "" clears it
void ShowMessageResource(int stringId); // a string-table text into the message area
void ShowPellionId(const char* text);   // ID field, control 1004
void ErrorBox(int stringId);            // modal error box with a string-table text
void PlayCue(const char* waveResource); // "LAZER" or "FAILED", asynchronous
// Posts the reader's wake-up message to the dialog. The only operation here
// that the reader thread calls.
void PostWakeUp();
