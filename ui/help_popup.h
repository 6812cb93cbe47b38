// The context-help pop-up of the program's own, for Windows without a WinHelp viewer.
#pragma once
#include <windows.h>

// The pop-up's window class. Its window text is the topic's text, so a screen
// reader reads it out; the title is drawn above it.
const char HelpPopupClass[] = "VARNOK_HELP";

// True where F1 shows the program's own pop-up: the NT family from version 6
// on ships no viewer for KALDUR.HLP, also while it runs the program in the
// compatibility mode of an older Windows. Elsewhere WinHelpA shows the help
// file.
bool UseOwnHelpPopup();

// Shows the topic of control id `topic` just below `control`, inside the work
// area of its monitor, in place of a pop-up shown before. Any key, any click
// or the loss of activation closes it; the frame then gives the focus back.
// A control without a topic shows nothing.
void ShowHelpPopup(HWND control, int topic);
