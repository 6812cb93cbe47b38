// Field entry on the dialog's controls, over the portable rules of ui/fields.h.
#pragma once
#include <windows.h>

// The ID field's text into pellionId, then the location change: 1 for an
// empty field, 0 for a malformed one (error box 6), else the change's result.
int ParseIdAndChangeLocation();
// The ASCII and HEX location fields follow each other (asciiFieldActive says
// which one leads) and keep `location` equal to the ASCII text.
int AsciiToHex(HWND dialog);
int HexToAscii(HWND dialog);
// The TX timer label follows its trackbar; the position becomes txTimerIndex.
void UpdateTxTimerLabel(HWND dialog);
