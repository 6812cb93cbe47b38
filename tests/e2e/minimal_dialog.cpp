// The least a dialog program can be: one modal dialog from a template built
// in memory, with one static control reading "Status: Idle". The benchmark
// starts it beside locstr.exe, to tell how much of locstr.exe's start-up time
// is its own and how much any dialog program pays on the same system.
#include <windows.h>
#include <cstring>

namespace {

// A DLGTEMPLATE is followed by WORD fields (menu, class, title and, with
// DS_SETFONT, the font), then each DWORD-aligned DLGITEMTEMPLATE by its class,
// title and creation-data fields. Both structures are 18 bytes: whole WORDs.
struct TemplateWriter {
    alignas(DWORD) WORD words[256] = {};
    size_t used = 0;
    void Raw(const void* data, size_t size) {
        std::memcpy(words + used, data, size);
        used += size / sizeof(WORD);
    }
    void Word(WORD value) { words[used++] = value; }
    void Text(const char* text) { // ASCII as UTF-16
        for (; *text; ++text)
            Word(static_cast<WORD>(static_cast<unsigned char>(*text)));
        Word(0);
    }
    void AlignToDword() {
        if (used % 2 != 0)
            Word(0);
    }
};

INT_PTR CALLBACK DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message == WM_CLOSE || (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return FALSE;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    static_assert(sizeof(DLGTEMPLATE) % sizeof(WORD) == 0, "DLGTEMPLATE is whole WORDs");
    static_assert(sizeof(DLGITEMTEMPLATE) % sizeof(WORD) == 0, "DLGITEMTEMPLATE is whole WORDs");
    TemplateWriter writer;
    DLGTEMPLATE dialog = {};
    dialog.style = DS_SETFONT | DS_MODALFRAME | WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    dialog.cdit = 1;
    dialog.cx = 160;
    dialog.cy = 40;
    writer.Raw(&dialog, sizeof dialog);
    writer.Word(0); // no menu
    writer.Word(0); // the dialog class
    writer.Text("Minimal dialog");
    writer.Word(8);
    writer.Text("MS Shell Dlg");

    writer.AlignToDword();
    DLGITEMTEMPLATE item = {};
    item.style = WS_CHILD | WS_VISIBLE | SS_LEFT;
    item.x = 8;
    item.y = 12;
    item.cx = 144;
    item.cy = 10;
    item.id = 100; // the benchmark reads this control's text
    writer.Raw(&item, sizeof item);
    writer.Word(0xFFFF);
    writer.Word(0x0082); // the static class
    writer.Text("Status: Idle");
    writer.Word(0); // no creation data

    const auto* dialogTemplate = reinterpret_cast<const DLGTEMPLATE*>(writer.words);
    return int(DialogBoxIndirectParamA(instance, dialogTemplate, nullptr, DialogProc, 0));
}
