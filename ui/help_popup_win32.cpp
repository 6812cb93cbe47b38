// The context-help pop-up: a topic's title and text in the tooltip colours, below its control.
#include "ui/help_popup.h"
#include "platform/win32/os_version.h"
#include "resources/strings.h"
#include "ui/window_state.h"
#include "platform/win32/system_entry.h"

// Sizes at 96 dots per inch, scaled to the system's: the text wraps at about
// 50 average characters of the tooltip font.
static const int WrapWidth = 300;
static const int Margin = 6;
static const int TitleGap = 4;
static const int ControlGap = 2;
static const int TitleSize = 128;
static const int TextSize = 2048;
static const DWORD PopupStyle = WS_POPUP | WS_BORDER;
static const DWORD PopupExStyle = WS_EX_TOOLWINDOW;

static HWND popup;
static HFONT titleFont;
static HFONT textFont;
static char topicTitle[TitleSize];
static RECT titleRect; // client coordinates
static RECT textRect;

// What the system is, not what a compatibility mode makes the version calls
// report: in an XP mode Windows 10 still ships no viewer.
bool UseOwnHelpPopup() {
    int system = PlatNtSystemMajorVersion();
    if (system != 0) {
        return system >= 6;
    }
    OSVERSIONINFOA version;
    return PlatOsVersion(&version) && version.dwPlatformId == VER_PLATFORM_WIN32_NT &&
           version.dwMajorVersion >= 6;
}

static void PaintPopup(HWND window) {
    char text[TextSize];
    GetWindowTextA(window, text, sizeof text);
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(COLOR_INFOTEXT));
    HGDIOBJ previous = SelectObject(dc, titleFont);
    DrawTextA(dc, topicTitle, -1, &titleRect, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, textFont);
    DrawTextA(dc, text, -1, &textRect, DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
    EndPaint(window, &paint);
}

static void FreeFonts() {
    if (titleFont != nullptr) {
        DeleteObject(titleFont);
        titleFont = nullptr;
    }
    if (textFont != nullptr) {
        DeleteObject(textFont);
        textFont = nullptr;
    }
}

// Once: destroying the pop-up deactivates it, which would close it again.
static void ClosePopup() {
    HWND window = popup;
    if (window != nullptr) {
        popup = nullptr;
        DestroyWindow(window);
        FreeFonts();
    }
}

static LRESULT CALLBACK HelpPopupProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT:
        PaintPopup(window);
        return 0;
    // The key or click that closes the pop-up does nothing else: its
    // character goes to the destroyed window.
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
    case WM_MBUTTONDOWN:
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
        ClosePopup();
        return 0;
    case WM_ACTIVATE:
        if (LOWORD(wParam) == WA_INACTIVE) {
            ClosePopup(); // a click elsewhere, or another program
            return 0;
        }
        break;
    case WM_NCDESTROY:
        if (window == popup) { // with its owner, the frame
            popup = nullptr;
            FreeFonts();
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

static bool RegisterPopupClass() {
    WNDCLASSA existing;
    if (GetClassInfoA(windowState.instance, HelpPopupClass, &existing)) {
        return true;
    }
    WNDCLASSA popupClass = {};
    popupClass.style = CS_SAVEBITS;
    popupClass.lpfnWndProc = HelpPopupProc;
    popupClass.hInstance = windowState.instance;
    popupClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    popupClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_INFOBK + 1);
    popupClass.lpszClassName = HelpPopupClass;
    return RegisterClassA(&popupClass) != 0;
}

// The tooltip font, which the system already sizes for its DPI, and its bold
// form for the title.
static void CreateFonts() {
    NONCLIENTMETRICSA metrics = {};
    metrics.cbSize = sizeof metrics;
    LOGFONTA font;
    if (SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfStatusFont;
    } else {
        GetObjectA(GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    }
    textFont = CreateFontIndirectA(&font);
    font.lfWeight = FW_BOLD;
    titleFont = CreateFontIndirectA(&font);
}

typedef HMONITOR(WINAPI* MonitorFromWindowProc)(HWND, DWORD);
typedef BOOL(WINAPI* GetMonitorInfoProc)(HMONITOR, MONITORINFO*);

// The work area of the control's monitor. Windows 95 and NT 4 know one
// monitor only and lack the monitor calls, so those are looked up at run time.
static RECT WorkArea(HWND control) {
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    auto monitorFromWindow =
        reinterpret_cast<MonitorFromWindowProc>(PlatSystemEntry("user32.dll", "MonitorFromWindow"));
    auto getMonitorInfo =
        reinterpret_cast<GetMonitorInfoProc>(PlatSystemEntry("user32.dll", "GetMonitorInfoA"));
    if (monitorFromWindow != nullptr && getMonitorInfo != nullptr) {
        MONITORINFO info = {};
        info.cbSize = sizeof info;
        HMONITOR monitor = monitorFromWindow(control, MONITOR_DEFAULTTONEAREST);
        if (monitor != nullptr && getMonitorInfo(monitor, &info)) {
            area = info.rcWork;
        }
    }
    return area;
}

static int Clamp(int value, int low, int high) {
    return value > high ? (high > low ? high : low) : (value < low ? low : value);
}

// Lays out the title and the wrapped text; the pop-up's outer size.
static SIZE Layout(const char* text, int dpi, int widthLimit) {
    int margin = MulDiv(Margin, dpi, 96);
    int wrap = MulDiv(WrapWidth, dpi, 96);
    if (wrap > widthLimit - 2 * margin) {
        wrap = widthLimit - 2 * margin;
    }
    HDC dc = GetDC(nullptr);
    RECT title = {0, 0, wrap, 0};
    RECT body = {0, 0, wrap, 0};
    HGDIOBJ previous = SelectObject(dc, titleFont);
    DrawTextA(dc, topicTitle, -1, &title, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, textFont);
    DrawTextA(dc, text, -1, &body, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    SelectObject(dc, previous);
    ReleaseDC(nullptr, dc);

    int width = title.right > body.right ? title.right : body.right;
    SetRect(&titleRect, margin, margin, margin + width, margin + title.bottom);
    int top = titleRect.bottom + MulDiv(TitleGap, dpi, 96);
    SetRect(&textRect, margin, top, margin + width, top + body.bottom);
    RECT outer = {0, 0, width + 2 * margin, textRect.bottom + margin};
    AdjustWindowRectEx(&outer, PopupStyle, FALSE, PopupExStyle);
    SIZE size = {outer.right - outer.left, outer.bottom - outer.top};
    return size;
}

// The frame around a control: the pop-up belongs to it and goes with it.
static HWND TopLevel(HWND window) {
    while (window != nullptr && (GetWindowLongA(window, GWL_STYLE) & WS_CHILD) != 0) {
        window = GetParent(window);
    }
    return window;
}

void ShowHelpPopup(HWND control, int topic) {
    ClosePopup();
    char text[TextSize];
    if (LoadStringA(windowState.instance, topic, text, sizeof text) == 0 || !RegisterPopupClass()) {
        return;
    }
    if (LoadStringA(windowState.instance, topic + IDS_HELP_TITLE_OFFSET, topicTitle,
                    sizeof topicTitle) == 0) {
        topicTitle[0] = '\0';
    }
    HDC screen = GetDC(nullptr);
    int dpi = GetDeviceCaps(screen, LOGPIXELSY);
    ReleaseDC(nullptr, screen);
    RECT area = WorkArea(control);
    CreateFonts();
    SIZE size = Layout(text, dpi, area.right - area.left);

    // Just below the control; above it when the work area ends first.
    RECT place;
    GetWindowRect(control, &place);
    int gap = MulDiv(ControlGap, dpi, 96);
    int y = place.bottom + gap;
    if (y + size.cy > area.bottom) {
        y = place.top - gap - size.cy;
    }
    y = Clamp(y, area.top, area.bottom - size.cy);
    int x = Clamp(place.left, area.left, area.right - size.cx);

    popup = CreateWindowExA(PopupExStyle, HelpPopupClass, text, PopupStyle, x, y, size.cx, size.cy,
                            TopLevel(control), nullptr, windowState.instance, nullptr);
    if (popup == nullptr) {
        FreeFonts();
        return;
    }
    // Shown active, so that it takes the next key.
    ShowWindow(popup, SW_SHOW);
    UpdateWindow(popup);
}
