// The program among other programs: the demo starts with the keyboard in
// its window beside the network panel, a second copy raises the first (or
// its start-up box) and ends, an error box never belongs to another program's
// window, and the operator's place in the dialog is kept while another window
// is in front. And the demo's windows at the display's scale.
#include "dialog_harness.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "virtualnet/panel.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <algorithm>
#include <cstdlib>
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

TEST(SecondCopy, DemoStartsWithTheKeyboardAndASecondCopyRaisesItAndExitsWithZero) {
    ASSERT_EQ(FindWindowA(STR_CLASS_NAME, nullptr), nullptr) << "a copy is running already";
    PROCESS_INFORMATION first = {};
    ASSERT_TRUE(Start("\"" + DemoExePath() + "\"", &first)) << DemoExePath();
    HWND running = WaitForWindow(STR_CLASS_NAME, 20000);
    ASSERT_NE(running, nullptr);
    // Started, the main window has the keyboard on its first control, as
    // locstr.exe does; the panel is beside it, shown but not active.
    WaitForInputIdle(first.hProcess, 20000);
    HWND panel = FindWindowA(NETWORK_PANEL_CLASS, nullptr);
    RECT frameRect = {};
    RECT panelRect = {};
    GetWindowRect(running, &frameRect);
    EXPECT_TRUE(GetWindowRect(panel, &panelRect) && IsWindowVisible(panel));
    EXPECT_GE(panelRect.left, frameRect.right);
    GUITHREADINFO gui = {sizeof gui};
    GetGUIThreadInfo(GetWindowThreadProcessId(running, nullptr), &gui);
    EXPECT_EQ(GetForegroundWindow(), running);
    EXPECT_EQ(gui.hwndFocus, GetDlgItem(GetWindow(running, GW_CHILD), IDC_INTERFACE_LIST));
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
            // Seen as soon as it is visible, the box may still be on its way
            // to the front; the other window goes in front of it once it is.
            for (int i = 0; i < 400 && GetForegroundWindow() != box; ++i)
                Sleep(5);
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

// The demo's windows at the display's scale (the build runs this at 96 DPI
// and, with LOCSTR_TEST_DPI set, at 192): each text of the program's labels,
// buttons and check boxes and of the panel, measured with its control's own
// font, fits inside the control, and so do the lines of the traffic log.
class ScaleTest : public DialogTest {
    void PrepareNetwork() override {
        VnetInstallDemo();
        VregSetString("SOFTWARE\\Quorvane\\DeviceDrivers\\Virtual network", "device name", "VNI1");
    }
};

// A text's size in a control's font (every control here has one), and the font's metrics.
SIZE TextSize(HWND control, const std::string& text, TEXTMETRICA* metrics) {
    HDC dc = GetDC(control);
    HGDIOBJ old =
        SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)));
    GetTextMetricsA(dc, metrics);
    SIZE size = {};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
    return size;
}

// Labels, group boxes and buttons, less the message area (it wraps its texts
// by design): the text without its mnemonic marks within the client area,
// less a push button's edges and focus frame or a check box's box and the
// gap after it. The number of texts checked.
int ExpectTextsFit(HWND parent, int dpi) {
    int checked = 0;
    for (HWND c = GetWindow(parent, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
        char className[16];
        char text[200];
        GetClassNameA(c, className, sizeof className);
        std::string shown(text, GetWindowTextA(c, text, sizeof text));
        shown.erase(std::remove(shown.begin(), shown.end(), '&'), shown.end());
        bool button = lstrcmpiA(className, "Button") == 0;
        if ((!button && lstrcmpiA(className, "Static") != 0) || !IsWindowVisible(c) ||
            GetDlgCtrlID(c) == IDC_MESSAGE || shown.empty()) {
            continue;
        }
        TEXTMETRICA m;
        SIZE size = TextSize(c, shown, &m);
        RECT room;
        GetClientRect(c, &room);
        LONG type = button ? GetWindowLongA(c, GWL_STYLE) & BS_TYPEMASK : -1;
        if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX) {
            room.left += GetSystemMetrics(SM_CXMENUCHECK) + m.tmAveCharWidth / 2;
        } else if (button && type != BS_GROUPBOX) {
            InflateRect(&room, -GetSystemMetrics(SM_CXEDGE) - 1, -GetSystemMetrics(SM_CYEDGE) - 1);
        }
        EXPECT_LE(size.cx, room.right - room.left) << '"' << shown << "\" at " << dpi << " DPI";
        EXPECT_LE(size.cy, room.bottom - room.top) << '"' << shown << "\" at " << dpi << " DPI";
        ++checked;
    }
    return checked;
}

TEST_F(ScaleTest, EveryTextFitsItsControl) {
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    const char* wanted = std::getenv("LOCSTR_TEST_DPI");
    ASSERT_EQ(dpi, wanted != nullptr ? std::atoi(wanted) : dpi);
    HWND panel = CreateNetworkPanel(GetModuleHandleA(nullptr), 0, 0);
    // A change fills the traffic log and the message area.
    Open();
    Type(IDC_ASCII, "Roof 7");
    Click(IDC_AUTO_EXECUTE);
    SendDlgItemMessageA(panel, IDC_PANEL_SERVICE_PIN, BM_CLICK, 0, 0);
    HWND list = GetDlgItem(panel, IDC_PANEL_TRAFFIC);
    ASSERT_TRUE(SettleUntil([&] { return SendMessageA(list, LB_GETCOUNT, 0, 0) >= 8; }, 5000));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_COMPLETE);
    // Its string as it is: no zero byte shown as a space.
    EXPECT_EQ(Text(GetDlgItem(panel, IDC_PANEL_NODE_TEXT + 2)), "04 B7 21 6E 0D 00    \"LAB 3\"");
    EXPECT_GE(ExpectTextsFit(dialog, dpi), 8);
    EXPECT_GE(ExpectTextsFit(panel, dpi), 11);

    // Each log line's direction, name and bytes end before the next column
    // begins and before the width that the list scrolls to ends.
    int ends[3] = {0, 0, int(SendMessageA(list, LB_GETHORIZONTALEXTENT, 0, 0))};
    NetworkPanelLogColumns(&ends[0], &ends[1]);
    TEXTMETRICA m;
    for (LRESULT i = 0; i < SendMessageA(list, LB_GETCOUNT, 0, 0); ++i) {
        char line[320] = "";
        std::string text(line, SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line)));
        for (int column = 0, from = 0, at = 0; column < 3; ++column, from = at + 1) {
            at = std::min(text.find('\t', from), text.size());
            int start = column > 0 ? ends[column - 1] : 0;
            EXPECT_LE(start + TextSize(list, text.substr(from, at - from), &m).cx, ends[column])
                << text << " at " << dpi << " DPI";
        }
    }
    EXPECT_GE(SendMessageA(list, LB_GETITEMHEIGHT, 0, 0), m.tmHeight);
    DestroyWindow(panel);
}

} // namespace
