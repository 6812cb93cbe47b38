// Start-up, the frame window and the message loop of the utility, and the
// wait pointer over the window while a location change runs.
#include "messaging/link.h"
#include "platform/output.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/demo_hooks.h"
#include "ui/dialog.h"
#include "ui/frame.h"
#include "ui/window_state.h"
#include <commctrl.h>

// The dialog control that had the focus when the frame last lost it.
static HWND focusKept;

// Asks the window under the pointer for its pointer, as a mouse move would,
// when it is one of this thread's windows.
static void AskForPointer() {
    POINT at;
    if (!GetCursorPos(&at)) {
        return;
    }
    HWND window = WindowFromPoint(at);
    if (window == nullptr || GetWindowThreadProcessId(window, nullptr) != GetCurrentThreadId()) {
        return;
    }
    LRESULT hit = SendMessageA(window, WM_NCHITTEST, 0, MAKELPARAM(at.x, at.y));
    SendMessageA(window, WM_SETCURSOR, reinterpret_cast<WPARAM>(window),
                 MAKELPARAM(hit, WM_MOUSEMOVE));
}

// The system asks a window for its pointer (WM_SETCURSOR) only while its
// thread takes mouse input, which it does not during a change: the shape set
// when the change starts stays until it ends. The system keeps it for this
// thread, so it also shows when the pointer comes over the window meanwhile.
// At the end the window under the pointer is asked, not the old shape put
// back: the pointer may have moved meanwhile.
// Each status text comes here: only the change's start and end touch the
// pointer, so the statuses in between (a service pin received) cost nothing
// on the way to the node's Read Memory.
void ShowWaitPointer(bool waiting) {
    static HCURSOR wait;
    static bool shown;
    if (waiting) {
        if (wait == nullptr) {
            wait = LoadCursorA(nullptr, IDC_WAIT);
        }
        SetCursor(wait);
        shown = true;
    } else if (shown) {
        shown = false;
        AskForPointer();
    }
}

static void KeepFocus() {
    HWND focus = GetFocus();
    if (focus != nullptr && windowState.dialog != nullptr && IsChild(windowState.dialog, focus)) {
        focusKept = focus;
    }
}

// The dialog is a child: it never sees the frame's activation, and left to
// itself would start again at its first tab stop. The frame gives the focus
// back to the control that had it, or to the first enabled tab stop when
// that control cannot take it now.
static void GiveFocusBack() {
    HWND dialog = windowState.dialog;
    if (dialog == nullptr) {
        return;
    }
    HWND control = focusKept;
    if (control == nullptr || !IsChild(dialog, control) || !IsWindowEnabled(control) ||
        !IsWindowVisible(control)) {
        control = GetNextDlgTabItem(dialog, nullptr, FALSE);
    }
    SetFocus(control != nullptr ? control : dialog);
}

LRESULT CALLBACK FrameWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            KeepFocus();
        } else if (HIWORD(wParam) == 0) { // not minimised
            GiveFocusBack();
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_CLOSE:
        if (DialogBusy()) {
            // Sent by another program during a change: closed once it ends.
            PostMessageA(window, WM_CLOSE, 0, 0);
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SETFOCUS:
        GiveFocusBack();
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

static void FitFrameToDialog(HWND frame) {
    RECT rect;
    GetWindowRect(windowState.dialog, &rect);
    AdjustWindowRect(&rect, WS_CAPTION, FALSE);
    SetWindowPos(frame, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top, SWP_NOMOVE);
}

// The running copy to the front: its frame, or the box or pop-up it shows.
// The frame stays hidden until its start-up is done (an error box can come
// first), and a hidden frame is never shown from here.
static void BringForward(HWND frame) {
    bool shown = IsWindowVisible(frame) != FALSE;
    if (shown) {
        ShowWindow(frame, SW_RESTORE);
    }
    HWND last = GetLastActivePopup(frame);
    if (last != nullptr && last != frame && IsWindowVisible(last)) {
        SetForegroundWindow(last);
    } else if (shown) {
        SetForegroundWindow(frame);
    }
}

HWND CreateMainWindow(HINSTANCE instance, int showCommand) {
    windowState.instance = instance;
    focusKept = nullptr;
    windowState.module = GetModuleHandleA(nullptr);
    windowState.dialog = nullptr;
    LoadStringA(instance, IDS_CLASS_NAME, windowState.className, sizeof windowState.className);

    // Two copies started at the same moment can both find no window yet and
    // both go on: the check and the frame's creation are not one step.
    HWND running = FindWindowA(windowState.className, nullptr);
    if (running != nullptr) {
        BringForward(running);
        return nullptr;
    }
    DemoStartUp(instance);

    windowState.icon = LoadIconA(instance, windowState.className);
    LoadStringA(instance, IDS_CAPTION, windowState.caption, sizeof windowState.caption);
    InitCommonControls(); // the trackbar class must exist before the dialog

    WNDCLASSA frameClass = {};
    frameClass.lpfnWndProc = FrameWindowProc;
    frameClass.hInstance = instance;
    frameClass.hIcon = windowState.icon;
    frameClass.lpszClassName = windowState.className;
    RegisterClassA(&frameClass);

    HWND frame = CreateWindowExA(WS_EX_CONTEXTHELP, windowState.className, windowState.caption,
                                 WS_CAPTION | WS_SYSMENU, CW_USEDEFAULT, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
    // WM_INITDIALOG runs inside this call and stores the dialog in windowState.
    windowState.dialog = CreateDialogParamA(instance, DLG_FRONTAL, frame, DialogProc, 0);
    FitFrameToDialog(frame);

    ShowWindow(windowState.dialog, SW_SHOW);
    ShowWindow(frame, showCommand);
    UpdateWindow(frame);
    SetForegroundWindow(frame);
    DemoWindowsShown(frame);
    ShowMessageResource(IDS_GREETING);
    return frame;
}

int RunMessageLoop() {
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        if (windowState.dialog != nullptr && IsDialogMessageA(windowState.dialog, &message)) {
            continue;
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    CloseLinkEvent(); // the link first, if one is still open
    return static_cast<int>(message.wParam);
}
