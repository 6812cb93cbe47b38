// Field entry on the dialog: the ID field starts a change, the ASCII and HEX
// location fields follow each other, and the TX timer label follows its
// trackbar. The texts' meaning is in ui/fields.h; this only moves texts.
#include "messaging/entry_state.h"
#include "messaging/hextext.h"
#include "messaging/location.h"
#include "platform/output.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/cues.h"
#include "ui/fields.h"
#include "ui/fields_win32.h"
#include "ui/window_state.h"
#include <commctrl.h>
#include <cstring>

static const int FieldBufferSize = 64;

int ParseIdAndChangeLocation() {
    HWND dialog = windowState.dialog;
    char text[32];
    GetDlgItemTextA(dialog, IDC_PELLION_ID, text, sizeof text);
    int failPosition = 0;
    switch (ParsePellionIdText(text, entryState.pellionId, &failPosition)) {
    case IdTextResult::Empty:
        return 1;
    case IdTextResult::Bad:
        SetFocus(GetDlgItem(dialog, IDC_PELLION_ID));
        SendDlgItemMessageA(dialog, IDC_PELLION_ID, EM_SETSEL, 0, -1);
        ErrorBox(IDS_BAD_PELLION_ID);
        return 0;
    case IdTextResult::Complete:
        break;
    }
    return ChangeLocation();
}

// `location` always holds exactly what the ASCII field shows, so emptying a
// field empties it too, and Execute never writes a string the operator no
// longer sees.
int AsciiToHex(HWND dialog) {
    if (asciiFieldActive == 0) {
        return 1; // the ASCII text was set by HexToAscii
    }
    char text[FieldBufferSize];
    GetDlgItemTextA(dialog, IDC_ASCII, text, sizeof text);
    char hex[3 * FieldBufferSize];
    FormatHexPairs(hex, reinterpret_cast<const uint8_t*>(text), std::strlen(text));
    SetDlgItemTextA(dialog, IDC_HEX, hex);
    StoreLocation(text);
    return 1;
}

int HexToAscii(HWND dialog) {
    if (asciiFieldActive == 1) {
        return 1; // the HEX text was set by AsciiToHex
    }
    char text[FieldBufferSize];
    GetDlgItemTextA(dialog, IDC_HEX, text, sizeof text);
    char ascii[8] = {};
    int pairs = 0;
    int failPosition = 0;
    bool whole = ParseHexLocationText(text, ascii, &pairs, &failPosition);
    // An empty field, or one without a complete pair, empties the ASCII field
    // and `location` as well.
    SetDlgItemTextA(dialog, IDC_ASCII, ascii);
    StoreLocation(ascii);
    if (!whole) {
        UiBeep(MB_ICONHAND);
        text[failPosition] = '\0';
        // Runs HexToAscii again on the cut text, which rebuilds the same ASCII text.
        SetDlgItemTextA(dialog, IDC_HEX, text);
        SetFocus(GetDlgItem(dialog, IDC_HEX));
        SendDlgItemMessageA(dialog, IDC_HEX, EM_SETSEL, failPosition, failPosition);
    }
    return 1;
}

void UpdateTxTimerLabel(HWND dialog) {
    int position = static_cast<int>(SendDlgItemMessageA(dialog, IDC_TX_TIMER, TBM_GETPOS, 0, 0));
    char label[16];
    wsprintfA(label, "%d MS", TxTimerMilliseconds(position));
    SetDlgItemTextA(dialog, IDC_TX_TIMER_LABEL, label);
    entryState.txTimerIndex = position;
}
