// The dialog's interface list, filled from the interface catalogue.
#include "niaccess/catalogue.h"
#include "platform/output.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <windows.h>

int FillInterfaceList(void* dialog) {
    HWND window = static_cast<HWND>(dialog);
    SendDlgItemMessageA(window, IDC_INTERFACE_LIST, CB_RESETCONTENT, 0, 0);

    bool keyOpened = false;
    int count = ReadInterfaceCatalogue(&keyOpened);
    if (!keyOpened) {
        return 0; // no interfaces key: an empty list and no message
    }
    for (int i = 0; i < count; ++i) {
        InterfaceEntry* entry = &InterfaceCatalogue[i];
        LRESULT position = SendDlgItemMessageA(window, IDC_INTERFACE_LIST, CB_ADDSTRING, 0,
                                               reinterpret_cast<LPARAM>(entry->name));
        if (position >= 0) {
            SendDlgItemMessageA(window, IDC_INTERFACE_LIST, CB_SETITEMDATA,
                                static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(entry));
        }
    }
    // The list keeps its items sorted: position 0 is the first name in order,
    // not the first one enumerated.
    SendDlgItemMessageA(window, IDC_INTERFACE_LIST, CB_SETCURSEL, 0, 0);
    if (count > 0) {
        return 1;
    }
    ErrorBox(IDS_NO_INTERFACES);
    return 0;
}
