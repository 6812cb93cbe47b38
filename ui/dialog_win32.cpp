// The FRONTAL dialog: its initialisation, one handler per message or command,
// opening the selected interface, the two window states and context help.
#include "messaging/entry_state.h"
#include "messaging/link.h"
#include "messaging/location.h"
#include "niaccess/catalogue.h"
#include "platform/output.h"
#include "platform/sync.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/dialog.h"
#include "ui/fields.h"
#include "ui/fields_win32.h"
#include "ui/help_popup.h"
#include "ui/interface_list.h"
#include "ui/window_state.h"
#include <commctrl.h>

bool DialogBusy() {
    return PlatInsideAnsweringWait();
}

void SetOpenState(bool open) {
    EnableWindow(GetDlgItem(windowState.dialog, IDC_EXECUTE), open);
    EnableWindow(GetDlgItem(windowState.dialog, IDC_INTERFACE_LIST), !open);
}

static void ClearOpenBox() {
    // BM_SETCHECK sends no WM_COMMAND, so this does not come back here.
    SendDlgItemMessageA(windowState.dialog, IDC_OPEN, BM_SETCHECK, BST_UNCHECKED, 0);
}

// Opens the interface selected in the list; true when it is open afterwards
// (with or without a running link).
static bool OpenSelectedInterface() {
    HWND dialog = windowState.dialog;
    LRESULT item = SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, CB_GETCURSEL, 0, 0);
    LRESULT data = item == CB_ERR
                       ? CB_ERR
                       : SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, CB_GETITEMDATA, item, 0);
    if (data == CB_ERR) {
        // Nothing to open (no interface is configured): a ticked box would
        // claim an open interface, so it is cleared again.
        ClearOpenBox();
        return false;
    }
    const InterfaceEntry* entry = reinterpret_cast<const InterfaceEntry*>(data);
    switch (OpenLink(entry->deviceName)) {
    case LinkOpened::NotOpened:
        ErrorBox(IDS_OPEN_FAILED);
        ClearOpenBox();
        return false;
    case LinkOpened::WithoutReader:
        ErrorBox(IDS_INIT_FAILED); // the interface stays open, without a reader
        return true;
    case LinkOpened::Running:
        ShowStatus(STR_STATUS_READY);
        return true;
    }
    return true;
}

// The help file lies beside the program. Its full path keeps the help system
// from searching the current folder and the path for it.
static void HelpFilePath(char (&path)[MAX_PATH]) {
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length + sizeof HELP_FILE > MAX_PATH) {
        length = 0; // no room for the name: the bare name it is
    }
    while (length > 0 && path[length - 1] != '\\' && path[length - 1] != '/') {
        --length;
    }
    lstrcpynA(path + length, HELP_FILE, MAX_PATH - length);
}

// The dialog manager's standard button ids, IDOK (1) to IDHELP (9), Close
// (IDCANCEL, 2) among them: no topics.
static const int LastStandardButtonId = 9;

// The help file's pop-up where a WinHelp viewer exists, the program's own
// (the same topics, from its resources) where none does.
static void ShowContextHelp(const HELPINFO* helpInfo) {
    if (helpInfo->iContextType != HELPINFO_WINDOW || helpInfo->iCtrlId == IDC_STATIC_ID ||
        helpInfo->iCtrlId <= LastStandardButtonId) {
        return;
    }
    HWND control = static_cast<HWND>(helpInfo->hItemHandle);
    if (UseOwnHelpPopup()) {
        ShowHelpPopup(control, helpInfo->iCtrlId);
        return;
    }
    char helpFile[MAX_PATH];
    HelpFilePath(helpFile);
    WinHelpA(control, helpFile, HELP_CONTEXTPOPUP, static_cast<ULONG_PTR>(helpInfo->iCtrlId));
}

static INT_PTR OnInitDialog(HWND dialog) {
    windowState.dialog = dialog; // first: everything below addresses controls through it
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(windowState.icon));
    SendMessageA(dialog, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(windowState.icon));
    FillInterfaceList(dialog);
    SendDlgItemMessageA(dialog, IDC_PELLION_ID, EM_LIMITTEXT, 18, 0);
    SendDlgItemMessageA(dialog, IDC_TX_TIMER, TBM_SETRANGE, TRUE, MAKELPARAM(0, 15));
    SendDlgItemMessageA(dialog, IDC_TX_TIMER, TBM_SETPOS, TRUE, entryState.txTimerIndex);
    SendDlgItemMessageA(dialog, IDC_AUTO_EXECUTE, BM_SETCHECK,
                        entryState.autoExecute ? BST_CHECKED : BST_UNCHECKED, 0);
    SendDlgItemMessageA(dialog, IDC_ASCII, EM_LIMITTEXT, 6, 0);
    SendDlgItemMessageA(dialog, IDC_HEX, EM_LIMITTEXT, 17, 0);
    UpdateTxTimerLabel(dialog);
    ShowStatus(STR_STATUS_IDLE);
    SetOpenState(false);
    CreateLinkEvent(ARRIVAL_EVENT_NAME); // its result is not looked at
    return TRUE;
}

static INT_PTR OnOpenBox(HWND dialog) {
    bool open = false;
    if (SendDlgItemMessageA(dialog, IDC_OPEN, BM_GETCHECK, 0, 0) == BST_CHECKED) {
        open = OpenSelectedInterface();
    } else {
        CloseLink();
        ShowStatus(STR_STATUS_IDLE);
    }
    SetOpenState(open);
    return TRUE;
}

static INT_PTR OnLocationField(HWND dialog, int control, int notification) {
    bool ascii = control == IDC_ASCII;
    if (notification == EN_SETFOCUS) {
        asciiFieldActive = ascii ? 1 : 0;
        return FALSE;
    }
    if (notification == EN_UPDATE) {
        return ascii ? AsciiToHex(dialog) : HexToAscii(dialog);
    }
    return FALSE;
}

static INT_PTR OnCommand(HWND dialog, int control, int notification) {
    switch (control) {
    case IDC_CLOSE: // also Esc, as IDCANCEL
        DestroyWindow(GetParent(dialog));
        return TRUE;
    case IDC_OPEN:
        return OnOpenBox(dialog);
    case IDC_AUTO_EXECUTE:
        entryState.autoExecute =
            SendDlgItemMessageA(dialog, IDC_AUTO_EXECUTE, BM_GETCHECK, 0, 0) == BST_CHECKED;
        return FALSE;
    case IDC_EXECUTE:
        ParseIdAndChangeLocation();
        return TRUE;
    case IDC_ASCII:
    case IDC_HEX:
        return OnLocationField(dialog, control, notification);
    default:
        return FALSE;
    }
}

// Only another program (or a test) can send these while an operation waits;
// real clicks and keys stay in the queue by themselves.
static bool Deferred(UINT message, WPARAM wParam) {
    if (message == ReaderWakeUpMessage) {
        return true;
    }
    if (message != WM_COMMAND) {
        return false;
    }
    int control = LOWORD(wParam);
    return control == IDC_CLOSE || control == IDC_OPEN || control == IDC_EXECUTE;
}

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (DialogBusy() && Deferred(message, wParam)) {
        PostMessageA(dialog, message, wParam, lParam);
        return TRUE;
    }
    switch (message) {
    case WM_INITDIALOG:
        return OnInitDialog(dialog);
    case WM_COMMAND:
        return OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_HSCROLL:
        if (reinterpret_cast<HWND>(lParam) == GetDlgItem(dialog, IDC_TX_TIMER)) {
            UpdateTxTimerLabel(dialog);
            return TRUE;
        }
        return FALSE;
    case WM_HELP:
        ShowContextHelp(reinterpret_cast<const HELPINFO*>(lParam));
        return TRUE;
    case ReaderWakeUpMessage:
        OnReaderWakeUp();
        return FALSE;
    default:
        return FALSE;
    }
}
