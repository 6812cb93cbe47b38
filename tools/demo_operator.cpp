// The demo's operator: finds locstr-demo.exe's window and the virtual network
// panel, and changes a node's location string through them as a person would.
//   demo-operator drive [LOCATION] [CHANGES]
//       one whole change, shown step by step, then CHANGES - 1 more (each
//       node in turn, a new string each time); then checks that the panel's
//       traffic log lists every answer after its request. Exit 0 when every
//       change completed and the log is in order.
//   demo-operator close              closes the program's window
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "virtualnet/panel.h"
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static HWND frame;
static HWND dialog;
static HWND panel;

static void Text(HWND window, char* buffer, int size) {
    buffer[0] = '\0';
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(window, WM_GETTEXT, size, reinterpret_cast<LPARAM>(buffer), SMTO_BLOCK,
                        20000, &ignored);
}

static void PrintField(const char* name, int control) {
    char text[256];
    Text(GetDlgItem(dialog, control), text, sizeof text);
    for (char* c = text; *c != '\0'; ++c) {
        if (*c == '\n') {
            *c = ' ';
        }
    }
    std::printf("    %-14s %s\n", name, text);
    std::fflush(stdout);
}

static void Step(const char* what) {
    std::printf("%s\n", what);
    PrintField("status line:", IDC_STATUS);
}

static bool FindWindows(int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += 100) {
        frame = FindWindowA(STR_CLASS_NAME, nullptr);
        panel = FindWindowA(NETWORK_PANEL_CLASS, nullptr);
        dialog = frame != nullptr ? GetWindow(frame, GW_CHILD) : nullptr;
        if (dialog != nullptr && panel != nullptr && IsWindowVisible(dialog)) {
            return true;
        }
        Sleep(100);
    }
    return false;
}

static void Click(HWND button) {
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_BLOCK, 30000, &ignored);
}

// Follows the status line until the change has ended; prints every new text
// with the time since the press. The window answers WM_GETTEXT while it waits
// for the node, so "Query Node" shows for as long as the node is asked.
static bool AwaitOutcome(int timeoutMs) {
    char last[128] = "";
    DWORD pressed = GetTickCount();
    for (DWORD waited = 0; waited < DWORD(timeoutMs); waited = GetTickCount() - pressed) {
        char status[128];
        Text(GetDlgItem(dialog, IDC_STATUS), status, sizeof status);
        if (std::strcmp(status, last) != 0) {
            std::printf("    status line:   %-26s (%lu ms)\n", status, GetTickCount() - pressed);
            std::fflush(stdout);
            std::snprintf(last, sizeof last, "%s", status);
        }
        if (std::strcmp(status, STR_STATUS_COMPLETE) == 0) {
            return true;
        }
        if (std::strcmp(status, STR_STATUS_FAILED) == 0) {
            return false;
        }
        Sleep(5);
    }
    return false;
}

// Types text into the ASCII field over what it holds.
static void TypeLocation(const char* text) {
    HWND ascii = GetDlgItem(dialog, IDC_ASCII);
    // WM_NEXTDLGCTL moves the focus (and selects the field's text) as Tab would.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ascii), TRUE);
    SendMessageA(ascii, EM_SETSEL, 0, -1);
    for (const char* c = text; *c != '\0'; ++c) {
        SendMessageA(ascii, WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
}

// One more change by a node's service pin, without the step-by-step output:
// done when the message area tells this change's new string and the status
// says Complete.
static bool ChangeAgain(int number) {
    int nodes = 0;
    while (GetDlgItem(panel, IDC_PANEL_SERVICE_PIN + nodes) != nullptr) {
        ++nodes;
    }
    char location[8];
    std::snprintf(location, sizeof location, "T%05d", number % 100000);
    TypeLocation(location);
    char done[32];
    std::snprintf(done, sizeof done, "to:\n %s", location);
    Click(GetDlgItem(panel, IDC_PANEL_SERVICE_PIN + number % (nodes > 0 ? nodes : 1)));
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000; Sleep(5)) {
        char status[128];
        char message[256];
        Text(GetDlgItem(dialog, IDC_STATUS), status, sizeof status);
        Text(GetDlgItem(dialog, IDC_MESSAGE), message, sizeof message);
        const char* end = std::strstr(message, done);
        if (std::strcmp(status, STR_STATUS_COMPLETE) == 0 && end != nullptr &&
            end[std::strlen(done)] == '\0') {
            return true;
        }
        if (std::strcmp(status, STR_STATUS_FAILED) == 0) {
            break;
        }
    }
    std::printf("demo: change %d (to \"%s\") did not complete\n", number + 1, location);
    return false;
}

// The panel's traffic log in the wire's order: the program has at most one
// request out at a time, so each answer follows its request with no other
// request between them (a service pin comes unasked; Set Node Mode gets no
// answer). Lines before the first request may belong to one the log has
// dropped already.
static bool TrafficInOrder() {
    HWND list = GetDlgItem(panel, IDC_PANEL_TRAFFIC);
    DWORD_PTR count = 0;
    SendMessageTimeoutA(list, LB_GETCOUNT, 0, 0, SMTO_BLOCK, 20000, &count);
    bool requestSeen = false;
    bool awaited = false; // a request waits for its answer
    int faults = 0;
    for (int i = 0; i < static_cast<int>(count); ++i) {
        // From another process Wine hands the list's text over as it keeps
        // it, in UTF-16, also to SendMessageA; the W call gets it alike everywhere.
        wchar_t wide[512] = L"";
        DWORD_PTR length = 0;
        if (SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_BLOCK, 20000, &length) == 0 ||
            length >= 512 ||
            SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide), SMTO_BLOCK,
                                20000, &length) == 0) {
            wide[0] = L'\0';
        }
        char line[512];
        WideCharToMultiByte(CP_ACP, 0, wide, -1, line, sizeof line, nullptr, nullptr);
        bool fromProgram = std::strncmp(line, "program -> net\t", 15) == 0;
        const char* name = std::strchr(line, '\t') != nullptr ? std::strchr(line, '\t') + 1 : "";
        const char* fault = nullptr;
        if (fromProgram) {
            fault = awaited ? "a request above the answer to the one before it" : nullptr;
            awaited = std::strncmp(name, "Set Node Mode", 13) != 0;
            requestSeen = true;
        } else if (std::strncmp(name, "service pin", 11) != 0) {
            fault = !awaited && requestSeen ? "an answer above its request" : nullptr;
            awaited = false;
        }
        if (fault != nullptr && ++faults <= 10) {
            std::printf("demo: traffic line %d is out of order (%s): %s\n", i + 1, fault, line);
        }
    }
    std::printf("demo: %d lines of the traffic log checked, %d out of order\n",
                static_cast<int>(count), faults);
    std::fflush(stdout);
    return faults == 0 && requestSeen;
}

static int Drive(const char* location, int changes) {
    if (!FindWindows(30000)) {
        std::printf("demo: the program's window or the network panel did not appear\n");
        return 1;
    }
    Step("The program is up.");

    HWND list = GetDlgItem(dialog, IDC_INTERFACE_LIST);
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    std::printf("Pick the interface:\n");
    PrintField("interface:", IDC_INTERFACE_LIST);

    Click(GetDlgItem(dialog, IDC_OPEN));
    Step("Tick Open:");

    TypeLocation(location);
    std::printf("Type the new location string:\n");
    PrintField("ASCII field:", IDC_ASCII);
    PrintField("HEX field:", IDC_HEX);

    Click(GetDlgItem(dialog, IDC_AUTO_EXECUTE));
    Step("Tick Auto-execute:");

    char node[64];
    Text(GetDlgItem(panel, IDC_PANEL_NODE_TEXT), node, sizeof node);
    std::printf("Press the service pin of node %s in the \"Virtual network\" panel:\n", node);
    Click(GetDlgItem(panel, IDC_PANEL_SERVICE_PIN));
    bool complete = AwaitOutcome(30000);
    PrintField("ID field:", IDC_PELLION_ID);
    PrintField("message area:", IDC_MESSAGE);

    Sleep(300); // the panel refreshes every 100 ms
    Text(GetDlgItem(panel, IDC_PANEL_NODE_TEXT), node, sizeof node);
    std::printf("The node now holds: %s\n", node);
    char expected[16];
    std::snprintf(expected, sizeof expected, "\"%.6s\"", location);
    bool stored = std::strstr(node, expected) != nullptr;
    std::printf(complete && stored ? "demo: the location change completed\n"
                                   : "demo: the location change did NOT complete\n");
    std::fflush(stdout);
    bool ok = complete && stored;
    for (int number = 1; number < changes && ok; ++number) {
        ok = ChangeAgain(number);
        // The log keeps its newest 1000 lines, about 200 changes.
        if (ok && number % 100 == 0) {
            ok = TrafficInOrder();
        }
    }
    if (changes > 1 && ok) {
        std::printf("demo: %d changes completed\n", changes);
    }
    Sleep(300); // the panel refreshes every 100 ms
    ok = ok && TrafficInOrder();
    return ok ? 0 : 1;
}

int main(int argc, char** argv) {
    const char* mode = argc > 1 ? argv[1] : "drive";
    if (std::strcmp(mode, "close") == 0) {
        HWND running = FindWindowA(STR_CLASS_NAME, nullptr);
        if (running != nullptr) {
            PostMessageA(running, WM_CLOSE, 0, 0);
        }
        return 0;
    }
    int changes = argc > 3 ? std::atoi(argv[3]) : 1;
    return Drive(argc > 2 ? argv[2] : "Roof 7", changes > 0 ? changes : 1);
}
