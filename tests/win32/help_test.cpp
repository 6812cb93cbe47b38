// Context help: the help file as Wine's help viewer shows it (each control's
// topic opens by the control's id and holds that topic's text from the help
// source; a number without a topic opens nothing), and F1 in the unmodified
// locstr.exe: the program's own pop-up, or in Windows 98 mode the help file's.
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/help_popup.h"
#include <windows.h>
#include <cstring>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#ifndef WM_KEYF1
#define WM_KEYF1 0x004D // what the system makes of F1; MinGW's headers lack it
#endif

namespace {

const int ControlIds[] = {1000, 1001, 1002, 1003, 1004, 1006, 1007, 1009, 1010, 1012, 1013};

// Wine maps the Unix root to drive Z:; a Windows path stays as it is.
std::string WindowsPath(std::string path) {
    if (!path.empty() && path[0] == '/') {
        path = "Z:" + path;
    }
    for (char& c : path) {
        c = c == '/' ? '\\' : c;
    }
    return path;
}

const std::string HelpFile = WindowsPath(LOCSTR_HELP_FILE);

// Runs of white space, line ends included, count as one space.
std::string Words(const std::string& text) {
    std::istringstream in(text);
    std::string word, words;
    while (in >> word) {
        words += (words.empty() ? "" : " ") + word;
    }
    return words;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r");
    return begin == std::string::npos
               ? ""
               : text.substr(begin, text.find_last_not_of(" \t\r") - begin + 1);
}

struct Topic {
    std::string title;
    std::string text; // a paragraph's lines joined by a space, paragraphs by an empty line
};

// Each topic's title and text from the help source ("[id] Title", its lines,
// blank lines between paragraphs, # comments).
std::map<int, Topic> ReadTopics() {
    std::ifstream in(WindowsPath(LOCSTR_HELP_SOURCE));
    std::map<int, Topic> topics;
    std::string line;
    int id = 0;
    bool paragraphEnded = false;
    while (std::getline(in, line)) {
        line = Trim(line);
        if (line.rfind('#', 0) == 0) {
            continue;
        }
        if (line.rfind('[', 0) == 0) {
            id = std::stoi(line.substr(1));
            topics[id].title = Trim(line.substr(line.find(']') + 1));
            paragraphEnded = false;
        } else if (id != 0 && line.empty()) {
            paragraphEnded = !topics[id].text.empty();
        } else if (id != 0) {
            std::string& text = topics[id].text;
            text += (text.empty() ? "" : paragraphEnded ? "\n\n" : " ") + line;
            paragraphEnded = false;
        }
    }
    return topics;
}

// Every window of the viewer's class: the main window, hidden or shown.
std::vector<HWND> ViewerWindows() {
    std::vector<HWND> windows;
    EnumWindows(
        [](HWND window, LPARAM list) {
            char name[32];
            GetClassNameA(window, name, sizeof name);
            if (std::strcmp(name, "MS_WINHELP") == 0) {
                reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&windows));
    return windows;
}

// Ends every viewer process.
void EndViewers() {
    for (HWND window : ViewerWindows()) {
        DWORD id = 0;
        GetWindowThreadProcessId(window, &id);
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (process != nullptr) {
            TerminateProcess(process, 1);
            WaitForSingleObject(process, 5000);
            CloseHandle(process);
        }
    }
}

struct HelpCall {
    UINT command;
    ULONG_PTR data;
    BOOL result;
};

// WinHelpA waits until the viewer has handled the request. A viewer stuck in
// a message box of its own would hold the caller for ever, so the call runs
// on a thread of its own and the viewer is ended when it takes over 10 s.
BOOL CallHelp(UINT command, ULONG_PTR data) {
    HelpCall call = {command, data, FALSE};
    HANDLE thread = CreateThread(
        nullptr, 0,
        [](void* p) -> DWORD {
            HelpCall* c = static_cast<HelpCall*>(p);
            c->result = WinHelpA(nullptr, HelpFile.c_str(), c->command, c->data);
            return 0;
        },
        &call, 0, nullptr);
    bool answered = WaitForSingleObject(thread, 10000) == WAIT_OBJECT_0;
    if (!answered) {
        EndViewers();
        WaitForSingleObject(thread, 5000);
    }
    CloseHandle(thread);
    EXPECT_TRUE(answered) << "the help viewer did not answer";
    return answered && call.result;
}

// The text in the shown viewer window, after at most 5 s; empty when none shows.
std::string ShownTopic() {
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(20)) {
        for (HWND window : ViewerWindows()) {
            HWND text = FindWindowExA(window, nullptr, "RichEdit20A", nullptr);
            char buffer[2048] = "";
            if (IsWindowVisible(window) && text != nullptr &&
                SendMessageA(text, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer)) >
                    0) {
                return buffer;
            }
        }
    }
    return "";
}

// Asks the viewer to quit and waits at most 5 s for its windows to go; true
// when it went by itself.
bool QuitViewer() {
    CallHelp(HELP_QUIT, 0);
    for (DWORD start = GetTickCount(); GetTickCount() - start < 5000; Sleep(20)) {
        if (ViewerWindows().empty()) {
            return true;
        }
    }
    EndViewers();
    return false;
}

class HelpFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_NE(GetFileAttributesA(HelpFile.c_str()), INVALID_FILE_ATTRIBUTES) << HelpFile;
        EndViewers();
    }
    void TearDown() override { EndViewers(); }
};

TEST_F(HelpFileTest, EachControlsNumberOpensItsTopic) {
    std::map<int, Topic> topics = ReadTopics();
    ASSERT_EQ(topics.size(), std::size(ControlIds));
    for (int id : ControlIds) {
        SCOPED_TRACE(id);
        ASSERT_EQ(topics.count(id), 1u);
        ASSERT_TRUE(CallHelp(HELP_CONTEXT, static_cast<ULONG_PTR>(id)));
        EXPECT_EQ(Words(ShownTopic()), Words(topics[id].title + " " + topics[id].text));
        EXPECT_TRUE(QuitViewer()) << "the viewer did not quit";
    }
}

TEST_F(HelpFileTest, ANumberWithoutATopicOpensNothing) {
    // The viewer takes the request (WinHelpA is FALSE when none can start),
    // finds no topic and ends without showing a window.
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 1005));
    bool shown = false, gone = false;
    for (DWORD start = GetTickCount(); !gone && GetTickCount() - start < 5000; Sleep(20)) {
        std::vector<HWND> windows = ViewerWindows();
        for (HWND window : windows) {
            shown = shown || IsWindowVisible(window);
        }
        gone = windows.empty();
    }
    EXPECT_FALSE(shown);
    EXPECT_TRUE(gone) << "the viewer stayed";
    // The file itself is sound: its neighbour's number opens a topic.
    EXPECT_TRUE(CallHelp(HELP_CONTEXT, 1004));
    EXPECT_NE(ShownTopic(), "");
    EXPECT_TRUE(QuitViewer());
}

// Wine's WinHelpA hands its request to a window of class MS_WINHELP: this
// one, in the test, records what the program asked for.
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

const char AppDefaultsKey[] = "Software\\Wine\\AppDefaults\\locstr.exe";

// Presses and releases a key, as the keyboard does, for the foreground window.
void PressKey(WORD key) {
    INPUT input[2] = {};
    input[0].type = INPUT_KEYBOARD;
    input[0].ki.wVk = key;
    input[1] = input[0];
    input[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, input, sizeof(INPUT));
}

// Pumps this thread's messages until the condition holds; false after 5 s.
bool AwaitPumping(const std::function<bool()>& condition) {
    for (DWORD start = GetTickCount(); !condition();) {
        if (GetTickCount() - start > 5000) {
            return false;
        }
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

// The shown help pop-up, or null.
HWND Popup() {
    HWND popup = FindWindowA(HelpPopupClass, nullptr);
    return popup != nullptr && IsWindowVisible(popup) ? popup : nullptr;
}

// The unmodified locstr.exe, started by a test and ended after it. The
// Windows 98 mode key is removed before and after each test, so no other
// test runs the program in that mode.
class ProgramHelpTest : public ::testing::Test {
  protected:
    void SetUp() override {
        RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaultsKey);
        ASSERT_EQ(FindWindowA(STR_CLASS_NAME, nullptr), nullptr) << "a copy is running already";
    }
    void TearDown() override {
        if (process.hProcess != nullptr) {
            PostMessageA(frame, WM_CLOSE, 0, 0);
            if (WaitForSingleObject(process.hProcess, 10000) != WAIT_OBJECT_0) {
                TerminateProcess(process.hProcess, 1);
            }
            CloseHandle(process.hThread);
            CloseHandle(process.hProcess);
        }
        RegDeleteKeyA(HKEY_CURRENT_USER, AppDefaultsKey);
    }

    // Starts the program and brings its frame to the front.
    bool Start() {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string line = "\"" + WindowsPath(LOCSTR_EXE) + "\"";
        if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                            &startup, &process)) {
            return false;
        }
        for (DWORD start = GetTickCount(); GetTickCount() - start < 20000; Sleep(20)) {
            frame = FindWindowA(STR_CLASS_NAME, nullptr);
            dialog = frame != nullptr ? GetWindow(frame, GW_CHILD) : nullptr;
            if (dialog != nullptr && IsWindowVisible(dialog)) {
                thread = GetWindowThreadProcessId(frame, nullptr);
                SetForegroundWindow(frame);
                return AwaitPumping([this] { return GetForegroundWindow() == frame; });
            }
        }
        return false;
    }
    HWND Control(int id) const { return GetDlgItem(dialog, id); }
    // The program's focus, from outside.
    HWND Focus() const {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(thread, &info);
        return info.hwndFocus;
    }
    // Moves the focus as Tab would.
    void FocusOn(int id) {
        SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Control(id)), TRUE);
    }

    PROCESS_INFORMATION process = {};
    HWND frame = nullptr;
    HWND dialog = nullptr;
    DWORD thread = 0;
};

TEST_F(ProgramHelpTest, F1ShowsEachControlsTopicInThePopUpAndEscClosesIt) {
    std::map<int, Topic> topics = ReadTopics();
    ASSERT_TRUE(Start());
    for (int id : ControlIds) {
        SCOPED_TRACE(id);
        HWND control = Control(id);
        // A key for a control that can take the focus. The others (labels,
        // the hidden timer, Execute while it is disabled) get what Wine makes
        // of the key, as the help pointer would reach them.
        bool focusable = IsWindowVisible(control) && IsWindowEnabled(control) &&
                         (GetWindowLongA(control, GWL_STYLE) & WS_TABSTOP) != 0;
        if (focusable) {
            FocusOn(id);
            ASSERT_EQ(Focus(), control);
            PressKey(VK_F1);
        } else {
            PostMessageA(control, WM_KEYF1, 0, 0);
        }
        ASSERT_TRUE(AwaitPumping([] { return Popup() != nullptr; })) << "no pop-up";
        char text[2048] = "";
        SendMessageA(Popup(), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(text, topics[id].text);
        PressKey(VK_ESCAPE);
        ASSERT_TRUE(AwaitPumping([] { return Popup() == nullptr; })) << "Esc left it";
        if (focusable) {
            EXPECT_TRUE(AwaitPumping([&] { return Focus() == control; })) << "focus elsewhere";
        }
    }
    EXPECT_TRUE(IsWindow(frame)) << "Esc went to the pop-up, not to the dialog";

    // None on Close: the Tab after F1 moves on from Close only when no pop-up
    // took it.
    FocusOn(IDC_CLOSE);
    PressKey(VK_F1);
    PressKey(VK_TAB);
    EXPECT_TRUE(AwaitPumping([this] { return Focus() == Control(IDC_INTERFACE_LIST); }));
    EXPECT_EQ(Popup(), nullptr);
}

TEST_F(ProgramHelpTest, InWindows98ModeF1AsksWinHelpForThePopUpByNumber) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, AppDefaultsKey, 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>("win98"), 6);
    RegCloseKey(key);
    WNDCLASSA helpClass = {};
    helpClass.lpfnWndProc = HelpWindowProc;
    helpClass.hInstance = GetModuleHandleA(nullptr);
    helpClass.lpszClassName = "MS_WINHELP";
    RegisterClassA(&helpClass);
    HWND help = CreateWindowExA(0, "MS_WINHELP", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(help, nullptr);
    helpRequests.clear();

    ASSERT_TRUE(Start());
    FocusOn(IDC_PELLION_ID);
    PressKey(VK_F1);
    ASSERT_TRUE(AwaitPumping([] { return !helpRequests.empty(); }));
    EXPECT_EQ(helpRequests[0].command, HELP_CONTEXTPOPUP);
    EXPECT_EQ(helpRequests[0].context, IDC_PELLION_ID);
    // The help file beside the program, by its full path.
    std::string program = WindowsPath(LOCSTR_EXE);
    EXPECT_EQ(helpRequests[0].file, program.substr(0, program.rfind('\\') + 1) + HELP_FILE);
    EXPECT_EQ(Popup(), nullptr);
    DestroyWindow(help);
}

} // namespace
