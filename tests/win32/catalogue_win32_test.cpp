// The catalogue tests' registry in Wine's own registry, and the interface list
// of a real FRONTAL dialog filled from it.
#include "../host/catalogue_registry.h"
#include "niaccess/catalogue.h"
#include "tests/support/output_recorder.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/interface_list.h"
#include <windows.h>
#include <commctrl.h>
#include <aclapi.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

static std::vector<std::string> deniedKeys;

// A key of the other view is made as a 32-bit installer makes it.
static HKEY CreateKey(const std::string& path) {
    const std::string other = "SOFTWARE\\Wow6432Node\\";
    bool inOther = path.compare(0, other.size(), other) == 0;
    std::string viewPath = inOther ? "SOFTWARE\\" + path.substr(other.size()) : path;
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, viewPath.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | (inOther ? KEY_WOW64_32KEY : 0), nullptr, &key,
                              nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
}

// Replaces the key's access list: empty denies every access, null allows all.
static bool SetKeyAccess(const std::string& path, bool deny) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, WRITE_DAC, &key) != ERROR_SUCCESS)
        return false;
    ACL empty;
    InitializeAcl(&empty, sizeof empty, ACL_REVISION);
    DWORD rc = SetSecurityInfo(key, SE_REGISTRY_KEY, DACL_SECURITY_INFORMATION, nullptr, nullptr,
                               deny ? &empty : nullptr, nullptr);
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
}

void testreg::Clear() {
    for (const std::string& path : deniedKeys)
        SetKeyAccess(path, false);
    deniedKeys.clear();
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Quorvane");
}
bool testreg::UseBothViews() {
    return sizeof(void*) == 8; // Wine's 64-bit prefix has both views
}
void testreg::AddKey(const std::string& path) {
    RegCloseKey(CreateKey(path));
}
void testreg::SetValue(const std::string& path, const char* valueName, uint32_t type,
                       const void* data, uint32_t size) {
    HKEY key = CreateKey(path);
    EXPECT_EQ(RegSetValueExA(key, valueName, 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}
bool testreg::DenyOpen(const std::string& path) {
    if (!SetKeyAccess(path, true))
        return false;
    deniedKeys.push_back(path);
    HKEY probe = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &probe) != ERROR_SUCCESS)
        return true;
    RegCloseKey(probe); // access lists are not enforced here
    return false;
}
int testreg::OpenKeys() {
    return -1;
}

namespace {

using testreg::AddInterface;
using testreg::Interfaces;

// A FRONTAL dialog under a plain parent window, with a procedure of the test's own.
INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class InterfaceList : public ::testing::Test {
  protected:
    void SetUp() override {
        testreg::Clear();
        InitCommonControls();
        parent = CreateWindowExA(0, "STATIC", "catalogue test", WS_OVERLAPPEDWINDOW, 0, 0, 600, 400,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(parent, nullptr);
        dialog = CreateDialogParamA(GetModuleHandleA(nullptr), DLG_FRONTAL, parent, QuietDialog, 0);
        ASSERT_NE(dialog, nullptr);
        RecorderClear();
    }
    void TearDown() override {
        if (dialog)
            DestroyWindow(dialog);
        if (parent)
            DestroyWindow(parent);
        testreg::Clear();
    }

    LRESULT List(UINT message, WPARAM w = 0, LPARAM l = 0) {
        return SendDlgItemMessageA(dialog, IDC_INTERFACE_LIST, message, w, l);
    }

    std::vector<std::string> Items() {
        std::vector<std::string> items;
        for (LRESULT i = 0; i < List(CB_GETCOUNT); ++i) {
            char text[128] = {};
            List(CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
            items.push_back(text);
        }
        return items;
    }

    static bool OnlyErrorBox(int stringId) {
        return RecorderCount() == 1 && RecorderEvent(0).kind == OutputKind::ErrorBox &&
               RecorderEvent(0).stringId == stringId;
    }

    HWND parent = nullptr;
    HWND dialog = nullptr;
};

TEST_F(InterfaceList, ListsTenSortedWithEntriesAsItemDataAndSelectsTheFirst) {
    const char* names[12] = {"Kappa", "alpha", "Delta", "Beta", "Lambda", "Mu",
                             "Gamma", "Eta",   "Zeta",  "Iota", "Theta",  "Epsilon"};
    for (int i = 0; i < 12; ++i)
        AddInterface(names[i], "NIC." + std::to_string(i));
    ASSERT_EQ(FillInterfaceList(dialog), 1);
    EXPECT_EQ(RecorderCount(), 0u) << "nothing is shown when interfaces were found";

    std::vector<std::string> items = Items();
    ASSERT_EQ(items.size(), 10u);
    std::vector<std::string> order = testreg::EnumerationOrder();
    auto firstTen = order.begin() + 10;
    for (size_t i = 1; i < items.size(); ++i)
        EXPECT_LT(lstrcmpiA(items[i - 1].c_str(), items[i].c_str()), 0) << "not sorted at " << i;
    for (size_t i = 0; i < items.size(); ++i) {
        auto* entry = reinterpret_cast<InterfaceEntry*>(List(CB_GETITEMDATA, i));
        ASSERT_GE(entry, &InterfaceCatalogue[0]);
        ASSERT_LT(entry, &InterfaceCatalogue[CatalogueSize]);
        EXPECT_EQ(items[i], entry->name);
        EXPECT_NE(std::find(order.begin(), firstTen, items[i]), firstTen) << items[i];
    }
    EXPECT_EQ(List(CB_GETCURSEL), 0);

    // A second fill starts from an empty list.
    ASSERT_EQ(FillInterfaceList(dialog), 1);
    EXPECT_EQ(List(CB_GETCOUNT), 10);
}

TEST_F(InterfaceList, EmptyKeyShowsErrorBoxTwo) {
    testreg::AddKey(Interfaces);
    EXPECT_EQ(FillInterfaceList(dialog), 0);
    EXPECT_TRUE(OnlyErrorBox(IDS_NO_INTERFACES));
    EXPECT_EQ(List(CB_GETCOUNT), 0);
    EXPECT_EQ(List(CB_GETCURSEL), CB_ERR);
}

TEST_F(InterfaceList, OnlyUnusableSubkeysShowErrorBoxTwo) {
    const char expand[] = "NIC.1";
    testreg::SetValue(Interfaces + "\\Expand", "device name", REG_EXPAND_SZ, expand, sizeof expand);
    EXPECT_EQ(FillInterfaceList(dialog), 0);
    EXPECT_TRUE(OnlyErrorBox(IDS_NO_INTERFACES));
    EXPECT_EQ(List(CB_GETCOUNT), 0);
}

TEST_F(InterfaceList, MissingKeyIsSilent) {
    AddInterface("Stale", "NIC.1");
    ASSERT_EQ(FillInterfaceList(dialog), 1);
    testreg::Clear();
    RecorderClear();
    EXPECT_EQ(FillInterfaceList(dialog), 0);
    EXPECT_EQ(RecorderCount(), 0u);
    EXPECT_EQ(List(CB_GETCOUNT), 0) << "the list is emptied even when the key is missing";
    EXPECT_EQ(List(CB_GETCURSEL), CB_ERR);
}

} // namespace
