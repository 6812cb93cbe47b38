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

// The widest texts that a node's box and the log's lines hold (no hex digit
// is wider than M), and the usual ones that place the columns: a name with
// escapes in its string pushes its bytes one tab further.
static const char WidestId[] = "MM MM MM MM MM MM";
static const char WidestLocation[] = "\"\\xMM\\xMM\\xMM\\xMM\\xMM\\xMM\"";
static const char WidestName[] =
    "Write Memory MM MM MM MM MM MM \"\\xMM\\xMM\\xMM\\xMM\\xMM\\xMM\"";
static const char UsualId[] = "00 00 00 00 00 00";
static const char UsualName[] = "Write Memory 00 00 00 00 00 00 \"ROOM12\"";
static const char NodeGap[] = "    "; // between a node's ID and its string
static const char WidestDirection[] = "net -> program";
static const char ServicePinText[] = "Service pin";

static HWND panelWindow;
static int panelNodes;
static size_t trafficNext; // the order of the next message the log shows
// The panel shows the first nodes only: a network of a whole floor would not fit.
static const int PanelNodeRows = 16;
static char nodeTexts[PanelNodeRows][64];
static int logColumns[2]; // NetworkPanelLogColumns

// The panel's places and sizes in pixels. They come from the font's
// metrics as a dialog's come from dialog units (a horizontal unit is a
// quarter of the average character width, a vertical one an eighth of the
// character height), so the panel grows with the system DPI and its font as
// the program's dialog does; widths that hold a text are that text's width.
struct PanelLayout {
    int unitX4; // the average character width: 4 horizontal units
    int unitY8; // the character height: 8 vertical units
    int X(int units) const { return MulDiv(units, unitX4, 4); }
    int Y(int units) const { return MulDiv(units, unitY8, 8); }

    int margin, labelHeight, nodeX, nodeWidth, locationX, pinX, pinWidth;
    int rowsY, rowPitch, rowHeight, trafficLabelY, listY, listWidth, listHeight;
    int directionColumn, nameColumn, lineWidth; // the log's, in pixels
    int clientWidth, clientHeight;
    int nodes;
};

static int TextWidth(HDC dc, const char* text) {
    SIZE extent = {};
    GetTextExtentPoint32A(dc, text, static_cast<int>(std::strlen(text)), &extent);
    return extent.cx;
}

// The one layout of the panel, for nodes rows, with the panel's font.
static PanelLayout LayOut(HFONT font, int nodes) {
    PanelLayout l = {};
    l.nodes = nodes < PanelNodeRows ? nodes : PanelNodeRows;
    HDC dc = GetDC(nullptr);
    HGDIOBJ oldFont = SelectObject(dc, font);
    TEXTMETRICA metrics = {};
    GetTextMetricsA(dc, &metrics);
    // The average width as the system takes it for dialog units.
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    l.unitX4 = (TextWidth(dc, alphabet) / 26 + 1) / 2;
    l.unitY8 = metrics.tmHeight;
    if (l.unitX4 <= 0 || l.unitY8 <= 0) { // no font: the system's dialog units
        LONG units = GetDialogBaseUnits();
        l.unitX4 = LOWORD(units);
        l.unitY8 = HIWORD(units);
    }
    int edge = GetSystemMetrics(SM_CXEDGE); // a sunken box's border, each side
    int idWidth = TextWidth(dc, UsualId);
    int nodeText = TextWidth(dc, WidestId) + TextWidth(dc, NodeGap) + TextWidth(dc, WidestLocation);
    int pinText = TextWidth(dc, ServicePinText);
    int gap = TextWidth(dc, NodeGap);
    l.directionColumn = TextWidth(dc, WidestDirection) + gap;
    l.nameColumn = TextWidth(dc, UsualName) + gap;
    char bytes[VnetMessageSize * 3 + 1] = {};
    for (int i = 0; i < VnetMessageSize; ++i)
        std::memcpy(bytes + i * 3, "MM ", 3);
    // Past the last tab stop a tab moves to the next multiple of eight
    // average characters.
    int widestName = TextWidth(dc, WidestName) + 8 * metrics.tmAveCharWidth;
    l.lineWidth = l.directionColumn + (widestName > l.nameColumn ? widestName : l.nameColumn) +
                  TextWidth(dc, bytes);
    SelectObject(dc, oldFont);
    ReleaseDC(nullptr, dc);

    l.margin = l.X(7);
    l.labelHeight = l.Y(10);
    l.nodeX = l.margin;
    l.nodeWidth = nodeText + l.X(4) + 2 * edge;
    l.locationX = l.nodeX + edge + idWidth + gap;
    l.pinX = l.nodeX + l.nodeWidth + l.X(4);
    l.pinWidth = pinText + l.X(12) > l.X(50) ? pinText + l.X(12) : l.X(50);
    l.rowsY = l.margin + l.labelHeight + l.Y(2);
    l.rowPitch = l.Y(17);
    l.rowHeight = l.Y(14);
    l.trafficLabelY = l.rowsY + l.nodes * l.rowPitch + l.Y(5);
    l.listY = l.trafficLabelY + l.labelHeight + l.Y(2);
    int rowsWidth = l.pinX + l.pinWidth - l.margin;
    l.listWidth = rowsWidth > l.X(380) ? rowsWidth : l.X(380);
    l.listHeight = l.Y(148);
    l.clientWidth = l.listWidth + 2 * l.margin;
    l.clientHeight = l.listY + l.listHeight + l.margin;
    return l;
}

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

// New messages of both directions, in the order the network saw them,
// added with the list's drawing off and shown in one repaint. A list box
// that redraws itself and its scroll bars for every line added takes tens of
// milliseconds a line under Wine on a busy machine: a burst of traffic then
// keeps this thread busy for seconds, and the process answers "quit" only
// after that.
static void RefreshTraffic() {
    VnetLogEntry entry;
    bool fromProgram = false;
    if (!VnetNextTraffic(&trafficNext, &entry, &fromProgram))
        return;
    HWND list = GetDlgItem(panelWindow, IDC_PANEL_TRAFFIC);
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    char line[320];
    do {
        FormatMessageLine(line, sizeof line, fromProgram ? "program -> net" : "net -> program",
                          entry);
        AddTrafficLine(list, line);
    } while (VnetNextTraffic(&trafficNext, &entry, &fromProgram));
    SendMessageA(list, LB_SETTOPINDEX, SendMessageA(list, LB_GETCOUNT, 0, 0) - 1, 0);
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

// Each node's ID and its string as the traffic log shows strings.
static void RefreshNodes() {
    for (int node = 0; node < panelNodes; ++node) {
        uint8_t id[6];
        uint8_t location[6];
        VnetNodeId(node, id);
        VnetNodeLocation(node, location);
        char shown[ShownLocationSize];
        FormatShownLocation(shown, sizeof shown, location);
        char idText[6 * 3];
        FormatHexPairs(idText, id, 6);
        char text[64];
        std::snprintf(text, sizeof text, "%s%s%s", idText, NodeGap, shown);
        if (std::strcmp(text, nodeTexts[node]) != 0) {
            std::memcpy(nodeTexts[node], text, sizeof text);
            SetDlgItemTextA(panelWindow, IDC_PANEL_NODE_TEXT + node, text);
        }
    }
}

// The log's columns. Tab stops count quarters of the list's average
// character width; rounded up, so that a column is never narrower than its
// text.
static void SetLogColumns(HWND list, const PanelLayout& l) {
    int average = l.unitX4; // the list's, with the same font
    int stops[2] = {(4 * l.directionColumn + average - 1) / average,
                    (4 * (l.directionColumn + l.nameColumn) + average - 1) / average};
    SendMessageA(list, LB_SETTABSTOPS, 2, reinterpret_cast<LPARAM>(stops));
    for (int i = 0; i < 2; ++i)
        logColumns[i] = MulDiv(stops[i], average, 4);
    SendMessageA(list, LB_SETHORIZONTALEXTENT, l.lineWidth + l.X(4), 0);
}

void NetworkPanelLogColumns(int* nameAt, int* bytesAt) {
    *nameAt = logColumns[0];
    *bytesAt = logColumns[1];
}

static void BuildControls(HWND window, const PanelLayout& l) {
    AddControl(window, "Static", "Node ID", SS_LEFTNOWORDWRAP, l.nodeX, l.margin,
               l.locationX - l.nodeX, l.labelHeight, -1);
    AddControl(window, "Static", "Location string", SS_LEFTNOWORDWRAP, l.locationX, l.margin,
               l.nodeX + l.nodeWidth - l.locationX, l.labelHeight, -1);
    for (int node = 0; node < l.nodes; ++node) {
        int y = l.rowsY + node * l.rowPitch;
        nodeTexts[node][0] = '\0';
        AddControl(window, "Static", "", SS_SUNKEN | SS_CENTERIMAGE | SS_LEFTNOWORDWRAP, l.nodeX, y,
                   l.nodeWidth, l.rowHeight, IDC_PANEL_NODE_TEXT + node);
        AddControl(window, "Button", ServicePinText, BS_PUSHBUTTON | WS_TABSTOP, l.pinX, y,
                   l.pinWidth, l.rowHeight, IDC_PANEL_SERVICE_PIN + node);
    }
    AddControl(window, "Static", "Traffic on the wire (newest last)", SS_LEFTNOWORDWRAP, l.margin,
               l.trafficLabelY, l.listWidth, l.labelHeight, -1);
    HWND list = AddControl(window, "ListBox", "",
                           WS_BORDER | WS_VSCROLL | WS_HSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOSEL |
                               LBS_USETABSTOPS,
                           l.margin, l.listY, l.listWidth, l.listHeight, IDC_PANEL_TRAFFIC);
    SetLogColumns(list, l);
}

static LRESULT CALLBACK PanelWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE: {
        const PanelLayout* layout = static_cast<const PanelLayout*>(
            reinterpret_cast<const CREATESTRUCTA*>(lParam)->lpCreateParams);
        panelWindow = window;
        trafficNext = 0;
        panelNodes = layout->nodes;
        BuildControls(window, *layout);
        RefreshNodes();
        SetTimer(window, RefreshTimer, RefreshMs, nullptr);
        return 0;
    }
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

    PanelLayout l = LayOut(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT)), VnetNodeCount());
    RECT rect = {0, 0, l.clientWidth, l.clientHeight};
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    AdjustWindowRect(&rect, style, FALSE);
    HWND window = CreateWindowExA(0, NETWORK_PANEL_CLASS, "Virtual network", style, x, y,
                                  rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                                  instance, &l);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    UpdateWindow(window);
    return window;
}
