// The demo's operator: finds locstr-demo.exe's window and the virtual network
// panel, and changes a node's location string through them as a person would.
//   demo-operator drive [LOCATION]   one whole change; exit 0 when it completed
//   demo-operator close              closes the program's window
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "virtualnet/panel.h"
#include <windows.h>
#include <cstdio>
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

static int Drive(const char* location) {
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

    // WM_NEXTDLGCTL moves the focus (and selects the field's text) as Tab would.
    HWND ascii = GetDlgItem(dialog, IDC_ASCII);
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ascii), TRUE);
    for (const char* c = location; *c != '\0'; ++c) {
        SendMessageA(ascii, WM_CHAR, static_cast<unsigned char>(*c), 1);
    }
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
    std::snprintf(expected, sizeof expected, "\"%-6s\"", location);
    bool stored = std::strstr(node, expected) != nullptr;
    std::printf(complete && stored ? "demo: the location change completed\n"
                                   : "demo: the location change did NOT complete\n");
    return complete && stored ? 0 : 1;
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
    return Drive(argc > 2 ? argv[2] : "Roof 7");
}
