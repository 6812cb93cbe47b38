// The context-help file as Wine's help viewer shows it: each control's topic
// opens by the control's id and holds that topic's text from the help source;
// a number without a topic opens nothing.
#include <windows.h>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

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

// Each topic's title and text from the help source ("[id] Title", its lines,
// # comments), as the words that the viewer should show.
std::map<int, std::string> ReadTopics() {
    std::ifstream in(WindowsPath(LOCSTR_HELP_SOURCE));
    std::map<int, std::string> topics;
    std::string line;
    int id = 0;
    while (std::getline(in, line)) {
        if (line.rfind('[', 0) == 0) {
            id = std::stoi(line.substr(1));
            line = line.substr(line.find(']') + 1);
        }
        if (id != 0 && line.rfind('#', 0) != 0) {
            topics[id] = Words(topics[id] + " " + line);
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
    std::map<int, std::string> topics = ReadTopics();
    ASSERT_EQ(topics.size(), std::size(ControlIds));
    for (int id : ControlIds) {
        SCOPED_TRACE(id);
        ASSERT_EQ(topics.count(id), 1u);
        ASSERT_TRUE(CallHelp(HELP_CONTEXT, static_cast<ULONG_PTR>(id)));
        EXPECT_EQ(Words(ShownTopic()), topics[id]);
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

} // namespace
