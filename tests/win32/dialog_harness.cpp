// The dialog tests' harness: see dialog_harness.h.
#include "dialog_harness.h"
#include "messaging/entry_state.h"
#include "messaging/link.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/fields.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <atomic>
#include <cstring>
#include <mutex>
#include <thread>

std::vector<CueRecord> recordedCues;
std::vector<UINT> recordedBeeps;
void (*boxHook)(HWND box);

void UiBeep(UINT type) {
    recordedBeeps.push_back(type);
}
void UiPlaySound(const char* name, HMODULE module, DWORD flags) {
    recordedCues.push_back({name, module, flags});
}

const uint8_t TestNodeId[6] = {0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00};
const char* const TestNodeIdText = "00 D0 71 2A 01 00";

namespace {

bool PumpOne() {
    MSG message;
    if (!PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        return false;
    }
    if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam)); // for RunMessageLoop
        return false;
    }
    if (windowState.dialog != nullptr && IsDialogMessageA(windowState.dialog, &message)) {
        return true;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
    return true;
}

// Finds this thread's message boxes from a second thread, records them and
// presses OK, as an operator would.
struct BoxWatcher {
    DWORD uiThread = 0;
    std::atomic<bool> stop{false};
    std::thread thread;
    mutable std::mutex lock;
    std::vector<BoxRecord> boxes;
};
BoxWatcher watcher;

BOOL CALLBACK FindBox(HWND window, LPARAM found) {
    char className[16];
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, "#32770") == 0 && IsWindowVisible(window)) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

void WatchBoxes() {
    while (!watcher.stop) {
        HWND box = nullptr;
        EnumThreadWindows(watcher.uiThread, FindBox, reinterpret_cast<LPARAM>(&box));
        if (box == nullptr) {
            Sleep(5);
            continue;
        }
        BoxRecord record;
        char text[600];
        GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
        record.text = text;
        GetWindowTextA(box, text, sizeof text);
        record.caption = text;
        record.owner = GetWindow(box, GW_OWNER);
        {
            std::lock_guard<std::mutex> guard(watcher.lock);
            watcher.boxes.push_back(record);
        }
        if (boxHook != nullptr) {
            boxHook(box);
        }
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        for (int i = 0; i < 400 && IsWindow(box); ++i) {
            Sleep(5);
        }
    }
}

} // namespace

void Settle(DWORD quietMs, DWORD maxMs) {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < maxMs) {
        while (PumpOne()) {
        }
        if (MsgWaitForMultipleObjects(0, nullptr, FALSE, quietMs, QS_ALLINPUT) == WAIT_TIMEOUT) {
            return;
        }
        MSG peek;
        if (PeekMessageA(&peek, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE)) {
            return;
        }
    }
}

bool SettleUntil(const std::function<bool()>& condition, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > timeoutMs) {
            return false;
        }
        while (PumpOne()) {
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

void DialogTest::PrepareNetwork() {
    VnetAddInterface("VNI1", 0);
    VregSetString("SOFTWARE\\Quorvane\\DeviceDrivers\\Test network", "device name", "VNI1");
    const uint8_t programId[8] = {0x90, 0x00, 0x01, 0x0A, 0x05, 0x04, 0x01, 0x00};
    node = VnetAddNode(TestNodeId, programId, "OLD 1");
}

void DialogTest::SetUp() {
    VnetReset();
    VregClear();
    entryState = EntryState{{0, 0, 0, 0, 0, 0}, {0}, DefaultTxTimerIndex, 0};
    asciiFieldActive = 0;
    recordedCues.clear();
    recordedBeeps.clear();
    PrepareNetwork();

    watcher.uiThread = GetCurrentThreadId();
    watcher.stop = false;
    watcher.boxes.clear();
    watcher.thread = std::thread(WatchBoxes);

    frame = CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOW);
    ASSERT_NE(frame, nullptr) << "another copy of the program is running";
    dialog = windowState.dialog;
    ASSERT_NE(dialog, nullptr);
    Settle();
}

void DialogTest::TearDown() {
    if (!ended && frame != nullptr) {
        if (IsWindow(frame)) {
            DestroyWindow(frame);
        }
        EndProgram();
    }
    watcher.stop = true;
    if (watcher.thread.joinable()) {
        watcher.thread.join();
    }
    boxHook = nullptr;
    VnetReset();
}

int DialogTest::EndProgram() {
    ended = true;
    return RunMessageLoop();
}

std::string DialogTest::Text(HWND window) const {
    char text[600];
    GetWindowTextA(window, text, sizeof text);
    return text;
}

std::string DialogTest::Text(int id) const {
    return Text(Item(id));
}

bool DialogTest::Checked(int id) const {
    return SendMessageA(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void DialogTest::Click(int id) {
    SendMessageA(Item(id), BM_CLICK, 0, 0);
    Settle();
}

void DialogTest::SetText(int id, const char* text) {
    SetDlgItemTextA(dialog, id, text);
    Settle();
}

void DialogTest::Focus(int id) {
    SetFocus(Item(id));
    Settle();
}

void DialogTest::Type(int id, const char* text) {
    Focus(id);
    for (const char* c = text; *c != '\0'; ++c) {
        SendMessageA(Item(id), WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
    Settle();
}

void DialogTest::Replace(int id, const char* text) {
    Focus(id);
    SendMessageA(Item(id), EM_SETSEL, 0, -1);
    Type(id, text);
}

void DialogTest::Open() {
    Click(IDC_OPEN);
    ASSERT_EQ(Text(IDC_STATUS), STR_STATUS_READY);
}

std::string DialogTest::NodeLocation() const {
    uint8_t location[6];
    VnetNodeLocation(node, location);
    return std::string(reinterpret_cast<char*>(location),
                       strnlen(reinterpret_cast<char*>(location), 6));
}

std::vector<BoxRecord> DialogTest::Boxes() const {
    std::lock_guard<std::mutex> guard(watcher.lock);
    return watcher.boxes;
}
