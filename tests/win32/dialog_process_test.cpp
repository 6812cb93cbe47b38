// The program among other programs: a second copy raises the first (or its
// start-up box) and ends, an error box never belongs to another program's
// window, and the operator's place in the dialog is kept while another window
// is in front.
#include "dialog_harness.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <string>

namespace {

// The build passes the demo's path as the build system knows it; under Wine
// a Unix path is reached through drive Z:.
std::string DemoExePath() {
    std::string path = LOCSTR_DEMO_EXE;
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

bool Start(const std::string& commandLine, PROCESS_INFORMATION* process) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = commandLine;
    return CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                          process) != FALSE;
}

HWND WaitForWindow(const char* className, DWORD timeoutMs) {
    for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
        HWND window = FindWindowA(className, nullptr);
        if (window != nullptr) {
            return window;
        }
        Sleep(50);
    }
    return nullptr;
}

BOOL CALLBACK CountFrames(HWND window, LPARAM count) {
    char className[16];
    GetClassNameA(window, className, sizeof className);
    if (lstrcmpA(className, STR_CLASS_NAME) == 0) {
        ++*reinterpret_cast<int*>(count);
    }
    return TRUE;
}

DWORD WaitForExit(const PROCESS_INFORMATION& process, DWORD timeoutMs) {
    DWORD code = 259;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &code);
    }
    return code;
}

TEST(SecondCopy, RaisesTheRunningCopyAndExitsWithZero) {
    ASSERT_EQ(FindWindowA(STR_CLASS_NAME, nullptr), nullptr) << "a copy is running already";
    PROCESS_INFORMATION first = {};
    ASSERT_TRUE(Start("\"" + DemoExePath() + "\"", &first)) << DemoExePath();
    HWND running = WaitForWindow(STR_CLASS_NAME, 20000);
    ASSERT_NE(running, nullptr);
    char listed[64] = ""; // the demo registers its interface as an installer would
    for (int i = 0; i < 100 && listed[0] == '\0'; ++i, Sleep(50))
        SendMessageA(GetDlgItem(GetWindow(running, GW_CHILD), IDC_INTERFACE_LIST), WM_GETTEXT,
                     sizeof listed, reinterpret_cast<LPARAM>(listed));
    EXPECT_STREQ(listed, "Virtual network");
    ShowWindow(running, SW_MINIMIZE);
    ASSERT_TRUE(IsIconic(running));

    PROCESS_INFORMATION second = {};
    ASSERT_TRUE(Start("\"" + DemoExePath() + "\"", &second));
    EXPECT_EQ(WaitForExit(second, 20000), 0u);
    EXPECT_FALSE(IsIconic(running)) << "the running copy is restored";
    EXPECT_EQ(GetForegroundWindow(), running) << "and in the foreground";
    int frames = 0;
    EnumWindows(CountFrames, reinterpret_cast<LPARAM>(&frames));
    EXPECT_EQ(frames, 1);

    PostMessageA(running, WM_CLOSE, 0, 0);
    EXPECT_EQ(WaitForExit(first, 20000), 0u);
    for (PROCESS_INFORMATION* p : {&first, &second}) {
        CloseHandle(p->hThread);
        CloseHandle(p->hProcess);
    }
}

BOOL CALLBACK FindProcessWindow(HWND window, LPARAM found) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    HWND* result = reinterpret_cast<HWND*>(found);
    if (process == static_cast<DWORD>(reinterpret_cast<uintptr_t>(result[1])) &&
        IsWindowVisible(window) && GetWindow(window, GW_OWNER) == nullptr) {
        result[0] = window;
        return FALSE;
    }
    return TRUE;
}

HWND OtherWindow() {
    return CreateWindowExA(0, "Static", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr,
                           nullptr, GetModuleHandleA(nullptr), nullptr);
}

// Box 2 comes up before the frame is shown; a second copy started meanwhile
// (another window in front) brings the box forward, not the empty frame.
DWORD secondExit;
bool frameShown, boxInFront;
class StartUpBoxTest : public DialogTest {
    void PrepareNetwork() override {
        VregAddKey("SOFTWARE\\Quorvane\\DeviceDrivers"); // lists nothing
        boxHook = [](HWND box) {
            HWND other = OtherWindow();
            SetForegroundWindow(other);
            PROCESS_INFORMATION second = {};
            secondExit =
                Start("\"" + DemoExePath() + "\"", &second) ? WaitForExit(second, 20000) : 1;
            frameShown = IsWindowVisible(FindWindowA(STR_CLASS_NAME, nullptr)) != FALSE;
            boxInFront = GetForegroundWindow() == box;
            DestroyWindow(other);
        };
    }
};

TEST_F(StartUpBoxTest, SecondCopyRaisesTheBoxAndLeavesTheFrameHidden) {
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(secondExit, 0u);
    EXPECT_FALSE(frameShown);
    EXPECT_TRUE(boxInFront);
}

void BringToFront(HWND window) {
    SetForegroundWindow(window);
    Settle();
    ASSERT_EQ(GetForegroundWindow(), window);
}

// Under Wine's null display driver another program's window leaves the frame
// active in its own thread; a window of this thread deactivates it as another
// program does on Windows.
using FocusTest = DialogTest;
TEST_F(FocusTest, FrameGivesTheFocusBackAfterAnotherWindow) {
    HWND other = OtherWindow();
    Open();
    Type(IDC_ASCII, "ab");
    BringToFront(other);
    BringToFront(frame);
    // Typed where the focus is; outside a field, "o" would untick Open.
    PostMessageA(GetFocus(), WM_CHAR, 'o', 1);
    Settle();
    EXPECT_EQ(Text(IDC_ASCII), "abo");
    EXPECT_TRUE(Checked(IDC_OPEN));
    // Disabled meanwhile: the first enabled tab stop (the list is disabled).
    BringToFront(other);
    EnableWindow(Item(IDC_ASCII), FALSE);
    BringToFront(frame);
    EXPECT_EQ(GetFocus(), Item(IDC_OPEN));
    DestroyWindow(other);
}

using OwnerTest = DialogTest;

// A failed open shows box 3 without moving the focus, so the foreground
// window stays whatever the test made it.
void FailOpen(HWND dialog) {
    VnetFaultControls()->failOpen = true;
    SendDlgItemMessageA(dialog, IDC_OPEN, BM_SETCHECK, BST_CHECKED, 0);
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPEN, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_OPEN)));
    Settle();
}

TEST_F(OwnerTest, ErrorBoxIsOwnedByTheForegroundWindowOnlyWhenItIsThisPrograms) {
    PROCESS_INFORMATION other = {};
    ASSERT_TRUE(Start("notepad.exe", &other));
    WaitForInputIdle(other.hProcess, 10000);
    HWND found[2] = {nullptr, reinterpret_cast<HWND>(static_cast<uintptr_t>(other.dwProcessId))};
    for (int i = 0; i < 200 && found[0] == nullptr; ++i) {
        EnumWindows(FindProcessWindow, reinterpret_cast<LPARAM>(found));
        Sleep(50);
    }
    HWND otherWindow = found[0];
    ASSERT_NE(otherWindow, nullptr);
    SetForegroundWindow(otherWindow);
    Settle();
    ASSERT_EQ(GetForegroundWindow(), otherWindow);

    FailOpen(dialog);
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_OPEN_FAILED);
    EXPECT_EQ(boxes[0].owner, frame) << "not the other program's window";
    EXPECT_TRUE(IsWindowEnabled(otherWindow));
    TerminateProcess(other.hProcess, 0);
    WaitForSingleObject(other.hProcess, 5000);
    CloseHandle(other.hThread);
    CloseHandle(other.hProcess);

    // A window of this program in the foreground owns the box.
    HWND mine = OtherWindow();
    SetForegroundWindow(mine);
    Settle();
    ASSERT_EQ(GetForegroundWindow(), mine);
    FailOpen(dialog);
    boxes = Boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].owner, mine);
    DestroyWindow(mine);
}

} // namespace
