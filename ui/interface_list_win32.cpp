// The dialog's interface list, filled from the interface catalogue.
#include "ui/interface_list.h"
#include "niaccess/catalogue.h"
#include "platform/output.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"

int FillInterfaceList(HWND dialog) {
    SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, CB_RESETCONTENT, 0, 0);
    CatalogueFound found = ReadInterfaceCatalogue();
    if (found.outcome == CatalogueOutcome::NothingConfigured) {
        return 0; // an empty list and no message
    }
    for (int i = 0; i < found.count; ++i) {
        const InterfaceEntry* entry = &InterfaceCatalogue[i];
        LRESULT position = SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, CB_ADDSTRING, 0,
                                               reinterpret_cast<LPARAM>(entry->name));
        if (position >= 0) {
            SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, CB_SETITEMDATA,
                                static_cast<WPARAM>(position), reinterpret_cast<LPARAM>(entry));
        }
    }
    // The list keeps its items sorted: position 0 is the first name in order,
    // not the first one enumerated.
    SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, CB_SETCURSEL, 0, 0);
    if (found.outcome == CatalogueOutcome::Listed) {
        return 1;
    }
    ErrorBox(IDS_NO_INTERFACES);
    return 0;
}
