// The program's resources as they land in the binary: the FRONTAL template
// byte for byte, the dialog built from it, the string table, sounds, icon,
// version and manifest.
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <windows.h>
#include <commctrl.h>
#include <cstring>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

const WORD English = MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);

struct Row {
    int id;
    const char* className;
    const char* text;
    DWORD style; // exactly, WS_CHILD included
    short x, y, cx, cy;
};

const DWORD Child = WS_CHILD;
const DWORD Shown = WS_CHILD | WS_VISIBLE;
const DWORD Hidden = WS_CHILD | WS_DISABLED;

const Row Rows[17] = {
    {65535, "Button", "&Network Interface", Shown | BS_GROUPBOX, 5, 5, 120, 55},
    {1000, "ComboBox", "", Shown | CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP, 15, 20,
     100, 55},
    {1001, "Button", "&Open (do first)", Shown | BS_AUTOCHECKBOX | WS_TABSTOP, 15, 40, 65, 10},
    {65535, "Button", "Pellion &ID:", Shown | BS_GROUPBOX, 5, 65, 125, 30},
    {1004, "Edit", "", Shown | ES_AUTOHSCROLL | ES_UPPERCASE | WS_BORDER | WS_TABSTOP, 10, 75, 115,
     14},
    {65535, "Static", "&TX Timer:", Hidden | SS_CENTER | SS_SUNKEN | WS_GROUP, 130, 60, 15, 10},
    {1006, "msctls_trackbar32", "Slider1", Hidden | TBS_AUTOTICKS | TBS_TOP | WS_TABSTOP, 5, 50,
     130, 20},
    {1007, "Static", "0 MS", Hidden | SS_CENTER | SS_SUNKEN | WS_GROUP, 130, 75, 15, 10},
    {65535, "Button", "AS&CII Location String", Shown | BS_GROUPBOX, 5, 105, 125, 30},
    {1012, "Edit", "", Shown | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP, 10, 115, 115, 14},
    {65535, "Button", "&HEX Location String", Shown | BS_GROUPBOX, 5, 140, 125, 30},
    {1013, "Edit", "", Shown | ES_AUTOHSCROLL | ES_UPPERCASE | WS_BORDER | WS_TABSTOP, 10, 150, 115,
     14},
    {1002, "Static", "Status: Idle", Shown | SS_CENTER | SS_SUNKEN | WS_GROUP, 150, 5, 115, 10},
    {1003, "Static", "", Shown | SS_LEFT | SS_SUNKEN | WS_GROUP, 150, 20, 115, 95},
    {1009, "Button", "&Auto-execute", Shown | BS_AUTOCHECKBOX | WS_TABSTOP, 150, 120, 60, 10},
    {1010, "Button", "Execute", Shown | BS_DEFPUSHBUTTON | WS_TABSTOP, 150, 150, 50, 14},
    {2, "Button", "Close", Shown | BS_PUSHBUTTON | WS_TABSTOP, 215, 150, 50, 14},
};

const void* Resource(const char* type, const char* name, DWORD* size, WORD language = English) {
    HRSRC found = FindResourceExA(nullptr, type, name, language);
    if (!found)
        return nullptr;
    *size = SizeofResource(nullptr, found);
    return LockResource(LoadResource(nullptr, found));
}

// Reads the template's variable-length fields: a WCHAR string, or 0xFFFF and an ordinal.
struct Reader {
    const BYTE* p;
    WORD Word() {
        WORD w;
        std::memcpy(&w, p, 2);
        p += 2;
        return w;
    }
    DWORD Dword() {
        DWORD d;
        std::memcpy(&d, p, 4);
        p += 4;
        return d;
    }
    std::string SzOrOrd() {
        WORD first = Word();
        if (first == 0xFFFF)
            return "#" + std::to_string(Word());
        std::string s;
        for (WORD c = first; c != 0; c = Word())
            s += static_cast<char>(c < 0x100 ? c : '?');
        return s;
    }
    void AlignDword(const BYTE* base) { p = base + ((p - base + 3) & ~3); }
};

std::string AtomClass(const std::string& raw) {
    // Predefined classes are stored as atoms 0x80.. in a DIALOG template.
    if (raw == "#128")
        return "Button";
    if (raw == "#129")
        return "Edit";
    if (raw == "#130")
        return "Static";
    if (raw == "#133")
        return "ComboBox";
    return raw;
}

TEST(FrontalTemplate, HeaderAndEveryControlAsTheBinaryHoldsThem) {
    DWORD size = 0;
    auto base = static_cast<const BYTE*>(Resource(RT_DIALOG, DLG_FRONTAL, &size));
    ASSERT_NE(base, nullptr) << "no FRONTAL dialog in language 1033";
    Reader r{base};
    EXPECT_EQ(r.Dword(), static_cast<DWORD>(WS_CHILD | DS_SETFONT));
    EXPECT_EQ(r.Dword(), 0u) << "extended style";
    ASSERT_EQ(r.Word(), 17);
    EXPECT_EQ(r.Word(), 0); // x
    EXPECT_EQ(r.Word(), 0); // y
    EXPECT_EQ(r.Word(), 272);
    EXPECT_EQ(r.Word(), 176);
    EXPECT_EQ(r.SzOrOrd(), "") << "menu";
    EXPECT_EQ(r.SzOrOrd(), "") << "class: the standard dialog class";
    EXPECT_EQ(r.SzOrOrd(), "") << "title";
    EXPECT_EQ(r.Word(), 8) << "point size";
    EXPECT_EQ(r.SzOrOrd(), "MS Sans Serif");
    for (const Row& row : Rows) {
        SCOPED_TRACE("control " + std::to_string(&row - Rows + 1));
        r.AlignDword(base);
        EXPECT_EQ(r.Dword(), row.style);
        EXPECT_EQ(r.Dword(), 0u) << "extended style";
        EXPECT_EQ(static_cast<short>(r.Word()), row.x);
        EXPECT_EQ(static_cast<short>(r.Word()), row.y);
        EXPECT_EQ(static_cast<short>(r.Word()), row.cx);
        EXPECT_EQ(static_cast<short>(r.Word()), row.cy);
        EXPECT_EQ(r.Word(), row.id);
        EXPECT_EQ(lstrcmpiA(AtomClass(r.SzOrOrd()).c_str(), row.className), 0);
        EXPECT_EQ(r.SzOrOrd(), row.text);
        r.p += r.Word(); // creation data
    }
    EXPECT_LE(static_cast<DWORD>(r.p - base), size);
}

INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

TEST(FrontalDialog, ControlsInTabOrderWithTheirPlacesAndStates) {
    InitCommonControls();
    HWND parent = CreateWindowExA(0, "STATIC", "resources test", WS_OVERLAPPEDWINDOW, 0, 0, 700,
                                  500, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(parent, nullptr);
    HWND dialog =
        CreateDialogParamA(GetModuleHandleA(nullptr), DLG_FRONTAL, parent, QuietDialog, 0);
    ASSERT_NE(dialog, nullptr);

    EXPECT_EQ(GetWindowLongA(dialog, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD)
        << "created as a hidden child";
    RECT size = {0, 0, 272, 176};
    MapDialogRect(dialog, &size);
    RECT client;
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, size.right);
    EXPECT_EQ(client.bottom, size.bottom);

    int n = 0;
    for (HWND control = GetWindow(dialog, GW_CHILD); control;
         control = GetWindow(control, GW_HWNDNEXT), ++n) {
        ASSERT_LT(n, 17) << "more than 17 controls";
        const Row& row = Rows[n];
        SCOPED_TRACE("control " + std::to_string(n + 1));
        EXPECT_EQ(GetDlgCtrlID(control), row.id);
        char name[64] = {};
        GetClassNameA(control, name, sizeof name);
        EXPECT_EQ(lstrcmpiA(name, row.className), 0) << name;
        if (row.id != IDC_INTERFACE_LIST) {
            char text[64] = {};
            GetWindowTextA(control, text, sizeof text);
            EXPECT_STREQ(text, row.text);
        }
        bool shown = (row.style & WS_VISIBLE) != 0;
        EXPECT_EQ((GetWindowLongA(control, GWL_STYLE) & WS_VISIBLE) != 0, shown);
        EXPECT_EQ(IsWindowEnabled(control) != FALSE, (row.style & WS_DISABLED) == 0);

        // Origin and size are mapped separately, as the dialog manager does.
        RECT expected = {row.x, row.y, row.cx, row.cy};
        MapDialogRect(dialog, &expected);
        RECT actual;
        GetWindowRect(control, &actual);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, expected.left);
        EXPECT_EQ(actual.top, expected.top);
        EXPECT_EQ(actual.right - actual.left, expected.right);
        if (row.id != IDC_INTERFACE_LIST) { // a closed drop-down list is one line high
            EXPECT_EQ(actual.bottom - actual.top, expected.bottom);
        }
    }
    EXPECT_EQ(n, 17);
    DestroyWindow(dialog);
    DestroyWindow(parent);
}

// The .rc script expands strings.h's list too; this checks what the resource
// compiler made of it.
TEST(StringTable, EveryEntryWordForWordAndNoOthers) {
    struct Entry {
        int id;
        const char* text;
    };
#define LOCSTR_STRING_ROW(id, text) {id, text},
    const Entry entries[] = {LOCSTR_STRING_TABLE(LOCSTR_STRING_ROW)};
#undef LOCSTR_STRING_ROW
    EXPECT_EQ(std::size(entries), 9u);
    for (const Entry& e : entries) {
        char text[512] = {};
        int length = LoadStringA(GetModuleHandleA(nullptr), e.id, text, sizeof text);
        EXPECT_EQ(length, static_cast<int>(std::strlen(e.text))) << "string " << e.id;
        EXPECT_STREQ(text, e.text) << "string " << e.id;
    }
    char greeting[512] = {};
    LoadStringA(GetModuleHandleA(nullptr), IDS_GREETING, greeting, sizeof greeting);
    EXPECT_NE(std::strchr(greeting, '\xAE'), nullptr) << "the registered sign in code page 1252";
    for (int id : {0, 7, 10, 12}) {
        char text[16] = {};
        EXPECT_EQ(LoadStringA(GetModuleHandleA(nullptr), id, text, sizeof text), 0) << id;
    }
    DWORD size = 0;
    EXPECT_NE(Resource(RT_STRING, MAKEINTRESOURCEA(1), &size), nullptr)
        << "strings 0..15 in language 1033";
}

TEST(Sounds, MonoPcmAt22050HzEightBitsUnderOneSecond) {
    for (const char* name : {CUE_DONE, CUE_FAILED}) {
        SCOPED_TRACE(name);
        DWORD size = 0;
        auto wave = static_cast<const BYTE*>(Resource("WAVE", name, &size));
        ASSERT_NE(wave, nullptr);
        ASSERT_GE(size, 44u);
        EXPECT_EQ(std::memcmp(wave, "RIFF", 4), 0);
        EXPECT_EQ(std::memcmp(wave + 8, "WAVEfmt ", 8), 0);
        Reader r{wave + 20};
        EXPECT_EQ(r.Word(), 1) << "PCM";
        EXPECT_EQ(r.Word(), 1) << "channels";
        EXPECT_EQ(r.Dword(), 22050u);
        EXPECT_EQ(r.Dword(), 22050u) << "bytes per second";
        EXPECT_EQ(r.Word(), 1) << "block align";
        EXPECT_EQ(r.Word(), 8) << "bits per sample";
        EXPECT_EQ(std::memcmp(r.p, "data", 4), 0);
        r.p += 4;
        DWORD samples = r.Dword();
        EXPECT_LE(44 + samples, size);
        EXPECT_GT(samples, 22050u / 2) << "somewhat under one second, not a click";
        EXPECT_LT(samples, 22050u);
    }
}

TEST(Icon, GroupVarnokHoldsSixteenAndThirtyTwoAtFourAndEightBits) {
    DWORD size = 0;
    auto group = static_cast<const BYTE*>(Resource(RT_GROUP_ICON, ICON_VARNOK, &size));
    ASSERT_NE(group, nullptr);
    Reader r{group};
    EXPECT_EQ(r.Word(), 0);
    EXPECT_EQ(r.Word(), 1);
    int count = r.Word();
    ASSERT_EQ(count, 4);
    std::vector<std::pair<int, int>> formats;
    for (int i = 0; i < count; ++i) {
        int width = r.p[0];
        int height = r.p[1];
        EXPECT_EQ(width, height);
        r.p += 4;
        r.Word(); // planes
        int bits = r.Word();
        r.Dword(); // bytes
        WORD id = r.Word();
        formats.push_back({width, bits});
        DWORD imageSize = 0;
        EXPECT_NE(Resource(RT_ICON, MAKEINTRESOURCEA(id), &imageSize), nullptr);
    }
    EXPECT_EQ(formats, (std::vector<std::pair<int, int>>{{16, 4}, {16, 8}, {32, 4}, {32, 8}}));
    EXPECT_NE(LoadIconA(GetModuleHandleA(nullptr), ICON_VARNOK), nullptr);
}

TEST(VersionAndManifest, ArePresent) {
    DWORD size = 0;
    auto version = static_cast<const wchar_t*>(Resource(RT_VERSION, MAKEINTRESOURCEA(1), &size));
    ASSERT_NE(version, nullptr);
    // The version block holds its keys and values as UTF-16 texts.
    std::wstring block(version, size / sizeof(wchar_t));
    const char* copyright = STR_LEGAL_COPYRIGHT;
    size_t key = block.find(L"LegalCopyright");
    ASSERT_NE(key, std::wstring::npos);
    EXPECT_NE(block.find(std::wstring(copyright, copyright + std::strlen(copyright)), key),
              std::wstring::npos);
    auto manifest = static_cast<const char*>(Resource(RT_MANIFEST, MAKEINTRESOURCEA(1), &size));
    ASSERT_NE(manifest, nullptr);
    std::string text(manifest, size);
    EXPECT_NE(text.find("Microsoft.Windows.Common-Controls"), std::string::npos);
    EXPECT_NE(text.find("version=\"6.0.0.0\""), std::string::npos);
    EXPECT_NE(text.find("asInvoker"), std::string::npos);
    EXPECT_NE(text.find("<dpiAware"), std::string::npos);
}

} // namespace
