// The "Virtual network" panel window: the virtual nodes, a "Service pin"
// button for each, and the traffic log of the messages on the wire.
#include "virtualnet/panel.h"
#include "messaging/hextext.h"
#include "virtualnet/decode.h"
#include "virtualnet/vnet.h"
#include <cstdio>
#include <cstring>

static const UINT_PTR RefreshTimer = 1;
static const UINT RefreshMs = 100;
static const int TrafficLines = 1000; // the oldest lines go beyond this
static const int PanelWidth = 580;
static const int DirectionColumn = 90; // pixels of the log's first column
static const int NameColumn = 235;     // and of its second, the names
static const int RowHeight = 28;
static const int TrafficHeight = 240;

static HWND panelWindow;
static int panelNodes;
static size_t writtenSeen;
static size_t deliveredSeen;
static char nodeTexts[VnetMaxNodes][64];

static HWND AddControl(HWND parent, const char* className, const char* text, DWORD style, int x,
                       int y, int width, int height, int id) {
    HWND control = CreateWindowExA(
        0, className, text, WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    SendMessageA(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                 FALSE);
    return control;
}

// The direction, the message's name and its hexadecimal pairs (as many as
// its length byte says), in the log's three columns.
static void FormatMessageLine(char* line, size_t size, const char* direction,
                              const VnetLogEntry& entry) {
    size_t length = entry.length;
    if (length >= 2 && static_cast<size_t>(entry.bytes[1]) + 2 < length) {
        length = static_cast<size_t>(entry.bytes[1]) + 2;
    }
    char name[VnetDescriptionSize];
    VnetDescribeMessage(entry.bytes, length, name, sizeof name);
    if (length > static_cast<size_t>(VnetMessageSize)) {
        length = VnetMessageSize;
    }
    char hex[VnetMessageSize * 3];
    FormatHexPairs(hex, entry.bytes, length);
    std::snprintf(line, size, "%s\t%s\t%s", direction, name, hex);
}

static void AddTrafficLine(HWND list, const char* line) {
    while (SendMessageA(list, LB_GETCOUNT, 0, 0) >= TrafficLines) {
        SendMessageA(list, LB_DELETESTRING, 0, 0);
    }
    SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
}

// New messages of both directions, merged in the order they happened, added
// with the list's drawing off and shown in one repaint. A list box that
// redraws itself and its scroll bars for every line added takes tens of
// milliseconds a line under Wine on a busy machine: a burst of traffic then
// keeps this thread busy for seconds, and the process answers "quit" only
// after that.
static void RefreshTraffic() {
    size_t written = VnetWrittenCount();
    size_t delivered = VnetDeliveredCount();
    if (written < writtenSeen || delivered < deliveredSeen) {
        writtenSeen = 0; // the network was reset
        deliveredSeen = 0;
    }
    // Messages the network no longer keeps are passed over, not waited for.
    if (written - writtenSeen > size_t(VnetLogSize))
        writtenSeen = written - VnetLogSize;
    if (delivered - deliveredSeen > size_t(VnetLogSize))
        deliveredSeen = delivered - VnetLogSize;
    VnetLogEntry out;
    VnetLogEntry in;
    bool haveOut = writtenSeen < written && VnetWritten(writtenSeen, &out);
    bool haveIn = deliveredSeen < delivered && VnetDelivered(deliveredSeen, &in);
    if (!haveOut && !haveIn)
        return;
    HWND list = GetDlgItem(panelWindow, IDC_PANEL_TRAFFIC);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    char line[320];
    while (haveOut || haveIn) {
        if (haveOut && (!haveIn || static_cast<int32_t>(out.tick - in.tick) <= 0)) {
            FormatMessageLine(line, sizeof line, "program -> net", out);
            ++writtenSeen;
            haveOut = writtenSeen < written && VnetWritten(writtenSeen, &out);
        } else {
            FormatMessageLine(line, sizeof line, "net -> program", in);
            ++deliveredSeen;
            haveIn = deliveredSeen < delivered && VnetDelivered(deliveredSeen, &in);
        }
        AddTrafficLine(list, line);
    }
    SendMessageA(list, LB_SETTOPINDEX, SendMessageA(list, LB_GETCOUNT, 0, 0) - 1, 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

static void RefreshNodes() {
    for (int node = 0; node < panelNodes; ++node) {
        uint8_t id[6];
        uint8_t location[6];
        VnetNodeId(node, id);
        VnetNodeLocation(node, location);
        char shown[7];
        for (int i = 0; i < 6; ++i) {
            shown[i] = location[i] >= 0x20 && location[i] < 0x7F ? static_cast<char>(location[i])
                       : location[i] == 0                        ? ' '
                                                                 : '.';
        }
        shown[6] = '\0';
        char idText[6 * 3];
        FormatHexPairs(idText, id, 6);
        char text[64];
        std::snprintf(text, sizeof text, "%s    \"%s\"", idText, shown);
        if (std::strcmp(text, nodeTexts[node]) != 0) {
            std::memcpy(nodeTexts[node], text, sizeof text);
            SetDlgItemTextA(panelWindow, IDC_PANEL_NODE_TEXT + node, text);
        }
    }
}

// Tab stops count quarters of the list's average character width.
static void SetLogColumns(HWND list) {
    HDC dc = GetDC(list);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    SIZE extent = {};
    GetTextExtentPoint32A(dc, alphabet, 52, &extent);
    SelectObject(dc, oldFont);
    ReleaseDC(list, dc);
    int average = (extent.cx / 26 + 1) / 2;
    if (average <= 0)
        average = 6;
    int stops[2] = {DirectionColumn * 4 / average, (DirectionColumn + NameColumn) * 4 / average};
    SendMessageA(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops));
    SendMessageA(list, LB_SETHORIZONTALEXTENT, DirectionColumn + NameColumn + VnetMessageSize * 18,
                 0);
}

static void BuildControls(HWND window) {
    panelNodes = VnetNodeCount();
    AddControl(window, "Static", "Node ID               Location string", 0, 10, 8, 300, 16, -1);
    for (int node = 0; node < panelNodes; ++node) {
        int y = 28 + node * RowHeight;
        nodeTexts[node][0] = '\0';
        AddControl(window, "Static", "", SS_SUNKEN | SS_CENTERIMAGE, 10, y, 300, 22,
                   IDC_PANEL_NODE_TEXT + node);
        AddControl(window, "Button", "Service pin", BS_PUSHBUTTON | WS_TABSTOP, 320, y, 100, 22,
                   IDC_PANEL_SERVICE_PIN + node);
    }
    int y = 36 + panelNodes * RowHeight;
    AddControl(window, "Static", "Traffic on the wire (newest last)", 0, 10, y, 300, 16, -1);
    HWND list = AddControl(window, "ListBox", "",
                           WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL |
                               LBS_USETABSTOPS,
                           10, y + 20, PanelWidth - 20, TrafficHeight, IDC_PANEL_TRAFFIC);
    SetLogColumns(list);
}

static LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        panelWindow = window;
        writtenSeen = 0;
        deliveredSeen = 0;
        BuildControls(window);
        RefreshNodes();
        SetTimer(window, RefreshTimer, RefreshMs, nullptr);
        return 0;
    case WM_TIMER:
        RefreshNodes();
        RefreshTraffic();
        return 0;
    case WM_COMMAND: {
        int id = LOWORD(wParam);
        if (id >= IDC_PANEL_SERVICE_PIN && id < IDC_PANEL_SERVICE_PIN + panelNodes) {
            VnetPressServicePin(id - IDC_PANEL_SERVICE_PIN);
        }
        return 0;
    }
    case WM_DESTROY:
        KillTimer(window, RefreshTimer);
        panelWindow = nullptr;
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}

HWND CreateNetworkPanel(HINSTANCE instance, int x, int y) {
    WNDCLASSA panelClass = {};
    panelClass.lpfnWndProc = PanelWindowProc;
    panelClass.hInstance = instance;
    panelClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    panelClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    panelClass.lpszClassName = NETWORK_PANEL_CLASS;
    RegisterClassA(&panelClass);

    int nodes = VnetNodeCount();
    RECT rect = {0, 0, PanelWidth, 36 + nodes * RowHeight + 20 + TrafficHeight + 12};
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&rect, style, FALSE);
    HWND window = CreateWindowExA(0, NETWORK_PANEL_CLASS, "Virtual network", style, x, y,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  instance, nullptr);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
}
