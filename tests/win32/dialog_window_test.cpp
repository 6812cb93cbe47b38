// The window and dialog: start-up state, the two window states with Open,
// failed opens, the ways out, the frame's size, the hidden TX timer, and help
// (in the real locstr.exe too, also in Windows 98 mode).
#include "dialog_harness.h"
#include "messaging/entry_state.h"
#include "messaging/link_internal.h"
#include "niaccess/niaccess.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/help_popup.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <commctrl.h>
#include <algorithm>
#include <fstream>
#include <map>

#ifndef WM_KEYF1
#define WM_KEYF1 0x004D // what the system makes of F1; MinGW's headers lack it
#endif

namespace {

void ExpectClosedState(HWND dialog) {
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_EXECUTE)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_INTERFACE_LIST)));
    EXPECT_EQ(linkState.interfaceOpen, 0);
}

bool SlotOpen(NiHandle handle) {
    return handle >= 0 && handle < NiSlotCount && InterfaceTable[handle].state == NiSlotOpen;
}

using WindowTest = DialogTest;

TEST_F(WindowTest, StartsClosedWithTheGreetingAndTheFirstInterfaceSelected) {
    EXPECT_EQ(Text(frame), STR_CAPTION);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    EXPECT_EQ(Text(IDC_MESSAGE), STR_GREETING);
    ExpectClosedState(dialog);
    EXPECT_FALSE(Checked(IDC_OPEN));
    EXPECT_FALSE(Checked(IDC_AUTO_EXECUTE));
    EXPECT_EQ(SendMessageA(Item(IDC_INTERFACE_LIST), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Text(IDC_INTERFACE_LIST), "Test network");
    EXPECT_TRUE(Boxes().empty());
    // Typing honours the field limits that the dialog sets.
    Type(IDC_ASCII, "ABCDEFGH");
    EXPECT_EQ(Text(IDC_ASCII), "ABCDEF");
    Type(IDC_PELLION_ID, "00 D0 71 2A 01 00 77 88");
    EXPECT_EQ(Text(IDC_PELLION_ID), "00 D0 71 2A 01 00 ");
    Type(IDC_HEX, "41 42 43 44 45 46 47");
    EXPECT_EQ(Text(IDC_HEX), "41 42 43 44 45 46");
}

TEST_F(WindowTest, OpenAndCloseSwitchTheTwoWindowStates) {
    Open();
    EXPECT_TRUE(Checked(IDC_OPEN));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_EXECUTE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_INTERFACE_LIST)));
    EXPECT_EQ(linkState.interfaceOpen, 1);
    NiHandle handle = linkState.handle;
    EXPECT_TRUE(SlotOpen(handle));
    EXPECT_GE(VnetWrittenCount(), 2u) << "the start-up exchange went to the interface";

    Click(IDC_OPEN);
    EXPECT_FALSE(Checked(IDC_OPEN));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    EXPECT_EQ(Text(IDC_MESSAGE), "") << "closing clears the message area";
    ExpectClosedState(dialog);
    EXPECT_FALSE(SlotOpen(handle));

    // SetOpenState alone sets exactly the two controls.
    SetOpenState(true);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_EXECUTE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_INTERFACE_LIST)));
    SetOpenState(false);
    ExpectClosedState(dialog);
}

TEST_F(WindowTest, FailedOpenShowsBox3AndClearsTheOpenBox) {
    VnetFaultControls()->failOpen = true;
    Click(IDC_OPEN);
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_OPEN_FAILED);
    EXPECT_EQ(boxes[0].caption, STR_CAPTION);
    EXPECT_EQ(boxes[0].owner, frame);
    EXPECT_FALSE(Checked(IDC_OPEN));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    ExpectClosedState(dialog);
}

TEST_F(WindowTest, FailedLinkStartShowsBox4AndStaysOpen) {
    VnetFaultControls()->updateDomainFails = true;
    Click(IDC_OPEN);
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_INIT_FAILED);
    EXPECT_TRUE(Checked(IDC_OPEN));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_EXECUTE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_INTERFACE_LIST)));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE) << "the status line keeps its text";
    NiHandle handle = linkState.handle;
    EXPECT_TRUE(SlotOpen(handle));

    Click(IDC_OPEN);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    ExpectClosedState(dialog);
    EXPECT_FALSE(SlotOpen(handle));
}

TEST_F(WindowTest, EscEndsTheProgramWithTheLinkStopped) {
    Open();
    NiHandle handle = linkState.handle;
    Focus(IDC_ASCII);
    PostMessageA(Item(IDC_ASCII), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(linkState.interfaceOpen, 0);
    EXPECT_FALSE(SlotOpen(handle));
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);
    EXPECT_EQ(linkState.arrivalEvent, nullptr);
}

TEST_F(WindowTest, CloseButtonAndCloseBoxEndTheProgram) {
    Open();
    NiHandle handle = linkState.handle;
    PostMessageA(Item(IDC_CLOSE), BM_CLICK, 0, 0);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(SlotOpen(handle));

    // A second run in the same process, ended by the caption's close box.
    ended = false;
    frame = CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOW);
    ASSERT_NE(frame, nullptr);
    dialog = windowState.dialog;
    Settle();
    Open();
    handle = linkState.handle;
    PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(SlotOpen(handle));
}

TEST_F(WindowTest, FrameIsTheDialogPlusCaptionAndCannotBeResized) {
    RECT dialogRect;
    GetWindowRect(dialog, &dialogRect);
    RECT units = {0, 0, 272, 176};
    MapDialogRect(dialog, &units);
    EXPECT_EQ(dialogRect.right - dialogRect.left, units.right);
    EXPECT_EQ(dialogRect.bottom - dialogRect.top, units.bottom);

    // The dialog covers the whole client area, from its origin.
    RECT client;
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    POINT origin = {0, 0};
    ClientToScreen(frame, &origin);
    EXPECT_EQ(origin.x, dialogRect.left);
    EXPECT_EQ(origin.y, dialogRect.top);

    RECT frameRect;
    GetWindowRect(frame, &frameRect);
    EXPECT_GT(frameRect.bottom - frameRect.top, units.bottom) << "a caption above the dialog";
    LONG style = GetWindowLongA(frame, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_NE(GetWindowLongA(frame, GWL_EXSTYLE) & WS_EX_CONTEXTHELP, 0);
}

BOOL CALLBACK FindTxTimerCaption(HWND child, LPARAM found) {
    char text[32];
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpA(text, "&TX Timer:") == 0) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

TEST_F(WindowTest, TxTimerIsNeverShownAndItsLabelFollowsTheTrackbar) {
    HWND caption = nullptr;
    EnumChildWindows(dialog, FindTxTimerCaption, reinterpret_cast<LPARAM>(&caption));
    ASSERT_NE(caption, nullptr);
    Open();
    Click(IDC_OPEN);
    for (HWND control : {caption, Item(IDC_TX_TIMER), Item(IDC_TX_TIMER_LABEL)}) {
        EXPECT_FALSE(IsWindowVisible(control));
        EXPECT_FALSE(IsWindowEnabled(control));
    }
    EXPECT_EQ(Text(IDC_TX_TIMER_LABEL), "1024 MS");
    EXPECT_EQ(SendMessageA(Item(IDC_TX_TIMER), TBM_GETPOS, 0, 0), 12);
    EXPECT_EQ(entryState.txTimerIndex, 12);

    SendMessageA(Item(IDC_TX_TIMER), TBM_SETPOS, TRUE, 13);
    SendMessageA(dialog, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(Item(IDC_STATUS)));
    EXPECT_EQ(Text(IDC_TX_TIMER_LABEL), "1024 MS") << "a scroll from another control is ignored";
    SendMessageA(dialog, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(Item(IDC_TX_TIMER)));
    EXPECT_EQ(Text(IDC_TX_TIMER_LABEL), "1536 MS");
    EXPECT_EQ(entryState.txTimerIndex, 13);
}

TEST_F(WindowTest, WakeUpWithAnEmptyMailboxChangesNothing) {
    Open();
    size_t written = VnetWrittenCount();
    std::string message = Text(IDC_MESSAGE);
    PostMessageA(dialog, ReaderWakeUpMessage, 0, 0);
    Settle();
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_READY);
    EXPECT_EQ(Text(IDC_MESSAGE), message);
    EXPECT_EQ(VnetWrittenCount(), written);
}

// Wine's WinHelpA hands its request to the window of class MS_WINHELP.
struct HelpRequest {
    int command;
    long context;
    std::string file;
};
std::vector<HelpRequest> helpRequests;

LRESULT CALLBACK HelpWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COPYDATA) {
        const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        const BYTE* bytes = static_cast<const BYTE*>(data->lpData);
        HelpRequest request;
        request.command = *reinterpret_cast<const WORD*>(bytes + 2);
        request.context = *reinterpret_cast<const LONG*>(bytes + 4);
        WORD fileOffset = *reinterpret_cast<const WORD*>(bytes + 12);
        request.file = fileOffset != 0 ? reinterpret_cast<const char*>(bytes + fileOffset) : "";
        helpRequests.push_back(request);
        return TRUE;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// The shown help pop-up, or null.
HWND HelpPopup() {
    HWND popup = FindWindowA(HelpPopupClass, nullptr);
    return popup != nullptr && IsWindowVisible(popup) ? popup : nullptr;
}

// A Windows path for a path the build gives: Wine maps the Unix root to Z:.
std::string WindowsPath(std::string path) {
    path = path[0] == '/' ? "Z:" + path : path;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Each control's topic text from the help source as the program shows it: a
// paragraph's lines joined by a space, paragraphs by an empty line.
std::map<int, std::string> ReadTopicTexts() {
    std::ifstream in(WindowsPath(LOCSTR_HELP_SOURCE));
    std::map<int, std::string> texts;
    std::string line, gap;
    int id = 0;
    while (std::getline(in, line)) {
        size_t begin = line.find_first_not_of(" \t\r");
        line = begin == std::string::npos
                   ? ""
                   : line.substr(begin, line.find_last_not_of(" \t\r") + 1 - begin);
        if (line.rfind('[', 0) == 0) {
            id = std::stoi(line.substr(1));
            gap = "";
        } else if (line.empty()) {
            gap = texts[id].empty() ? "" : "\n\n";
        } else if (id != 0 && line[0] != '#') {
            texts[id] += (texts[id].empty() ? "" : gap.empty() ? " " : gap) + line;
            gap = "";
        }
    }
    return texts;
}

void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = key;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

const char AppDefaultsKey[] = "Software\\Wine\\AppDefaults\\locstr.exe";

// The unmodified locstr.exe, operated from this process. Its Windows version
// key is removed before and after each test, so no other test runs in it. No
// interface is installed: its list is empty, with no box before its window.
class ProgramTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaultsKey);
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Quorvane");
    }
    void TearDown() override {
        PostMessageA(frame, WM_CLOSE, 0, 0);
        if (process.hProcess != nullptr &&
            WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
        }
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
        process = {};
        RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaultsKey);
    }
    // Starts it and brings its frame to the front.
    bool Start() {
        STARTUPINFOA startup = {sizeof startup};
        std::string line = "\"" + WindowsPath(LOCSTR_EXE) + "\"";
        if (FindWindowA(STR_CLASS_NAME, nullptr) != nullptr ||
            !CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process) ||
            !SettleUntil(
                [this] {
                    return (frame = FindWindowA(STR_CLASS_NAME, nullptr)) != nullptr &&
                           IsWindowVisible(frame);
                },
                20000)) {
            return false;
        }
        dialog = GetWindow(frame, GW_CHILD);
        SetForegroundWindow(frame);
        return SettleUntil([this] { return GetForegroundWindow() == frame; }, 5000);
    }
    HWND Control(int id) const { return GetDlgItem(dialog, id); }
    HWND Focus() const {
        GUITHREADINFO info = {sizeof info};
        GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &info);
        return info.hwndFocus;
    }
    void FocusOn(int id) { // as Tab would
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE);
    }
    PROCESS_INFORMATION process = {};
    HWND frame = nullptr;
    HWND dialog = nullptr;
};

// F1 asks WinHelpA only on a system older than NT 6, whatever the version calls
// report: Wine's per-program version changes those calls only, as a
// compatibility mode does; its version of the whole prefix is CurrentVersion.
TEST_F(ProgramTest, F1AsksWinHelpOnlyOnASystemOlderThanNT6) {
    const char systemKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
    struct Mode {
        const char* program; // per-program version
        const char* system;  // CurrentVersion: nullptr keeps 6.1, "" removes it
        bool winHelp;
    };
    // XP and 98 modes of Windows 7; Windows XP; Windows 98, which keeps no NT version.
    const Mode modes[] = {{"winxp", nullptr, false},
                          {"win98", nullptr, false},
                          {nullptr, "5.1", true},
                          {"win98", "", true}};
    WNDCLASSA helpClass = {};
    helpClass.lpfnWndProc = HelpWindowProc;
    helpClass.hInstance = GetModuleHandleA(nullptr);
    helpClass.lpszClassName = "MS_WINHELP";
    RegisterClassA(&helpClass);
    HWND help = CreateWindowExA(0, "MS_WINHELP", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(help, nullptr);
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.system != nullptr ? mode.system : mode.program);
        if (mode.program != nullptr)
            RegSetKeyValueA(HKEY_CURRENT_USER, AppDefaultsKey, "Version", REG_SZ, mode.program, 6);
        if (mode.system != nullptr) {
            *mode.system ? RegSetKeyValueA(HKEY_LOCAL_MACHINE, systemKey, "CurrentVersion", REG_SZ,
                                           mode.system, 4)
                         : RegDeleteKeyValueA(HKEY_LOCAL_MACHINE, systemKey, "CurrentVersion");
        }
        helpRequests.clear();
        bool started = Start();
        if (started) {
            FocusOn(IDC_PELLION_ID);
            PressKey(VK_F1);
            SettleUntil([] { return !helpRequests.empty() || HelpPopup() != nullptr; }, 5000);
        }
        // Put back at once: other tests start programs meanwhile.
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, systemKey, "CurrentVersion", REG_SZ, "6.1", 4);
        ASSERT_TRUE(started);
        ASSERT_EQ(helpRequests.size(), mode.winHelp ? 1u : 0u);
        EXPECT_EQ(HelpPopup() == nullptr, mode.winHelp);
        if (mode.winHelp) {
            EXPECT_EQ(helpRequests[0].command, HELP_CONTEXTPOPUP);
            EXPECT_EQ(helpRequests[0].context, IDC_PELLION_ID);
            std::string path = WindowsPath(LOCSTR_EXE);
            EXPECT_EQ(helpRequests[0].file, path.substr(0, path.rfind('\\') + 1) + HELP_FILE);
        }
        TearDown();
    }
    DestroyWindow(help);
}

TEST_F(WindowTest, HelpPopUpStaysInTheWorkAreaAndLabelsAndMenusHaveNone) {
    // The ID field in the work area's bottom right corner: the pop-up goes
    // above it, inside the area; a click ends it.
    RECT area, field, frameRect, shown;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    GetWindowRect(Item(IDC_PELLION_ID), &field);
    GetWindowRect(frame, &frameRect);
    SetWindowPos(frame, nullptr, area.right - 60 - (field.left - frameRect.left),
                 area.bottom - 2 - (field.bottom - frameRect.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    Focus(IDC_PELLION_ID);
    SendMessageA(Item(IDC_PELLION_ID), WM_KEYF1, 0, 0);
    Settle();
    ASSERT_NE(HelpPopup(), nullptr);
    GetWindowRect(Item(IDC_PELLION_ID), &field);
    GetWindowRect(HelpPopup(), &shown);
    EXPECT_LE(shown.bottom, field.top);
    EXPECT_TRUE(shown.left >= area.left && shown.top >= area.top && shown.right <= area.right);
    PostMessageA(HelpPopup(), WM_LBUTTONDOWN, MK_LBUTTON, 0);
    Settle();
    EXPECT_EQ(HelpPopup(), nullptr);

    // The help pointer on a label or group box (id 65535).
    HELPINFO label = {sizeof(HELPINFO), HELPINFO_WINDOW, IDC_STATIC_ID, nullptr, 0, {0, 0}};
    label.hItemHandle = GetWindow(dialog, GW_CHILD); // the "Network Interface" group box
    ASSERT_EQ(GetDlgCtrlID(static_cast<HWND>(label.hItemHandle)), IDC_STATIC_ID);
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&label));
    // Help on a menu item is not for a control.
    HELPINFO menu = {sizeof(HELPINFO), HELPINFO_MENUITEM, IDC_PELLION_ID, nullptr, 0, {0, 0}};
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&menu));
    Settle();
    EXPECT_EQ(HelpPopup(), nullptr);
}

TEST_F(ProgramTest, F1ShowsEachControlsTopicBelowItAndEscEndsIt) {
    std::map<int, std::string> texts = ReadTopicTexts();
    ASSERT_TRUE(Start());
    for (int id : {1000, 1001, 1002, 1003, 1004, 1006, 1007, 1009, 1010, 1012, 1013}) {
        SCOPED_TRACE(id);
        HWND control = Control(id);
        // A key for a control that can take the focus; the others (status
        // line, message area, the hidden timer, Execute while disabled) get
        // what Wine makes of the key.
        bool focusable = IsWindowVisible(control) && IsWindowEnabled(control) &&
                         (GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) != 0;
        if (focusable) {
            FocusOn(id);
            PressKey(VK_F1);
        } else {
            PostMessageA(control, WM_KEYF1, 0, 0);
        }
        ASSERT_TRUE(SettleUntil([] { return HelpPopup() != nullptr; }, 5000));
        char text[2048] = "";
        SendMessageA(HelpPopup(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(text, texts[id]);
        RECT place, shown;
        GetWindowRect(control, &place);
        GetWindowRect(HelpPopup(), &shown);
        EXPECT_TRUE(shown.left == place.left && shown.top >= place.bottom);
        PressKey(VK_ESCAPE);
        ASSERT_TRUE(SettleUntil([] { return HelpPopup() == nullptr; }, 5000));
        EXPECT_TRUE(!focusable || SettleUntil([&] { return Focus() == control; }, 5000));
    }
    // None on Close: the Tab after F1 leaves Close only when no pop-up took it.
    FocusOn(IDC_CLOSE);
    PressKey(VK_F1);
    PressKey(VK_TAB);
    EXPECT_TRUE(SettleUntil([this] { return Focus() == Control(IDC_INTERFACE_LIST); }, 5000));
    EXPECT_EQ(HelpPopup(), nullptr);
}

// The interfaces key exists but lists nothing.
class EmptyCatalogueTest : public DialogTest {
    void PrepareNetwork() override { VregAddKey("SOFTWARE\\Quorvane\\DeviceDrivers"); }
};

TEST_F(EmptyCatalogueTest, Box2AtStartUpAndOpenWithNothingSelectedOpensNothing) {
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_NO_INTERFACES);
    EXPECT_EQ(boxes[0].caption, STR_CAPTION);
    EXPECT_EQ(boxes[0].owner, frame) << "the box is owned by the frame, never by another program";
    EXPECT_EQ(SendMessageA(Item(IDC_INTERFACE_LIST), CB_GETCOUNT, 0, 0), 0);

    Click(IDC_OPEN);
    EXPECT_EQ(Boxes().size(), 1u) << "nothing is shown";
    EXPECT_FALSE(Checked(IDC_OPEN)) << "the box does not claim an open interface";
    ExpectClosedState(dialog);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
}

} // namespace
