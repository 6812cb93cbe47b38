// Operator output on the dialog's controls: status line (and with it the
// wait pointer), message area, ID field, error box, sound cues and the
// reader's wake-up post.
#include "platform/output.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/cues.h"
#include "ui/dialog.h"
#include "ui/frame.h"
#include "ui/window_state.h"
#include <mmsystem.h>
#include <cstring>

WindowState windowState;

static const UINT StringBufferSize = 512;

// A location change runs from "Query Node" until its result replaces it on
// the status line; the window shows the wait pointer meanwhile.
void ShowStatus(const char* text) {
    SetDlgItemTextA(windowState.dialog, IDC_STATUS, text);
    ShowWaitPointer(std::strcmp(text, STR_STATUS_QUERY) == 0);
}

void ShowMessage(const char* text) {
    SetDlgItemTextA(windowState.dialog, IDC_MESSAGE, text);
}

void ShowPellionId(const char* text) {
    SetDlgItemTextA(windowState.dialog, IDC_PELLION_ID, text);
}

void ShowMessageResource(int stringId) {
    char* buffer = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, StringBufferSize));
    if (buffer == nullptr) {
        return;
    }
    LoadStringA(windowState.instance, stringId, buffer, StringBufferSize);
    ShowMessage(buffer);
    LocalFree(buffer);
}

// A modal box disables its owner. At start-up the foreground window can still
// belong to another program, which must not be disabled: then the frame owns
// the box (or nothing, before the frame exists).
static HWND ErrorBoxOwner() {
    HWND foreground = GetForegroundWindow();
    DWORD process = 0;
    if (foreground != nullptr && GetWindowThreadProcessId(foreground, &process) != 0 &&
        process == GetCurrentProcessId()) {
        return foreground;
    }
    return windowState.dialog != nullptr ? GetParent(windowState.dialog) : nullptr;
}

void ErrorBox(int stringId) {
    char* buffer = static_cast<char*>(LocalAlloc(LMEM_ZEROINIT, StringBufferSize));
    if (buffer == nullptr) {
        UiBeep(MB_ICONHAND);
        return;
    }
    LoadStringA(windowState.instance, stringId, buffer, StringBufferSize);
    // When the box goes, the frame gives the focus back to where the caller
    // left it (the ID field after a bad ID).
    MessageBoxA(ErrorBoxOwner(), buffer, windowState.caption, MB_OK | MB_ICONHAND);
    LocalFree(buffer);
}

void PlayCue(const char* waveResource) {
    UiPlaySound(waveResource, windowState.module,
                SND_RESOURCE | SND_ASYNC | SND_NODEFAULT | SND_NOWAIT);
}

void PostWakeUp() {
    PostMessageA(windowState.dialog, ReaderWakeUpMessage, 0, 0);
}
