// The interface catalogue against Wine's real registry, and the interface list
// of a real FRONTAL dialog filled from it.
#include "niaccess/catalogue.h"
#include "platform/host/output_recorder.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <windows.h>
#include <commctrl.h>
#include <aclapi.h>
#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

const char QuorvaneKey[] = "SOFTWARE\\Quorvane";
const std::string Interfaces = "SOFTWARE\\Quorvane\\DeviceDrivers";

void DeleteQuorvane() {
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, QuorvaneKey);
}

HKEY CreateKey(const std::string& path) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS)
        << path;
    return key;
}

void SetValue(const std::string& name, DWORD type, const void* data, DWORD size) {
    HKEY key = CreateKey(Interfaces + "\\" + name);
    EXPECT_EQ(RegSetValueExA(key, "device name", 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

void AddInterface(const std::string& name, const std::string& device) {
    SetValue(name, REG_SZ, device.c_str(), static_cast<DWORD>(device.size() + 1));
}

std::vector<std::string> EnumerationOrder() {
    std::vector<std::string> names;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, Interfaces.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return names;
    char name[512];
    for (DWORD i = 0; RegEnumKeyA(key, i, name, sizeof name) == ERROR_SUCCESS; ++i)
        names.push_back(name);
    RegCloseKey(key);
    return names;
}

std::vector<std::string> CatalogueNames(int count) {
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i)
        names.push_back(InterfaceCatalogue[i].name);
    return names;
}

// Replaces the key's access list: empty denies every access, null allows all.
bool SetKeyAccess(const std::string& path, bool deny) {
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

class RegistryCatalogue : public ::testing::Test {
  protected:
    void SetUp() override { DeleteQuorvane(); }
    void TearDown() override { DeleteQuorvane(); }
};

TEST_F(RegistryCatalogue, MissingAndEmptyKeys) {
    bool opened = true;
    EXPECT_EQ(ReadInterfaceCatalogue(&opened), 0);
    EXPECT_FALSE(opened);

    RegCloseKey(CreateKey(Interfaces));
    EXPECT_EQ(ReadInterfaceCatalogue(&opened), 0);
    EXPECT_TRUE(opened);
}

TEST_F(RegistryCatalogue, TwelveInterfacesGiveTheFirstTenEnumerated) {
    for (int i = 0; i < 12; ++i)
        AddInterface("Card " + std::string(1, static_cast<char>('L' - i)),
                     "NIC." + std::to_string(i));
    std::vector<std::string> order = EnumerationOrder();
    ASSERT_EQ(order.size(), 12u);
    bool opened = false;
    ASSERT_EQ(ReadInterfaceCatalogue(&opened), 10);
    EXPECT_EQ(CatalogueNames(10), std::vector<std::string>(order.begin(), order.begin() + 10));
    for (int i = 0; i < 10; ++i) {
        int number = 'L' - InterfaceCatalogue[i].name[5];
        EXPECT_EQ(std::string(InterfaceCatalogue[i].deviceName), "NIC." + std::to_string(number));
    }
}

TEST_F(RegistryCatalogue, ValuesPassedOver) {
    // The first three in enumeration order ("A".."C") lack a usable value.
    RegCloseKey(CreateKey(Interfaces + "\\A missing"));
    const char expand[] = "NIC.1";
    SetValue("B expand", REG_EXPAND_SZ, expand, sizeof expand);
    AddInterface("C 64 characters", std::string(64, 'c'));
    std::string full(64, 'x');
    SetValue("D unterminated", REG_SZ, full.data(), 64);
    std::string long63(63, 'e');
    AddInterface("E 63 characters", long63);
    AddInterface("F duplicate", "NIC.9");
    AddInterface("G duplicate", "NIC.9");
    bool opened = false;
    int count = ReadInterfaceCatalogue(&opened);
    ASSERT_EQ(count, 3);
    EXPECT_EQ(CatalogueNames(3),
              (std::vector<std::string>{"E 63 characters", "F duplicate", "G duplicate"}));
    EXPECT_EQ(std::string(InterfaceCatalogue[0].deviceName), long63);
    EXPECT_STREQ(InterfaceCatalogue[1].deviceName, "NIC.9");
    EXPECT_STREQ(InterfaceCatalogue[2].deviceName, "NIC.9");
}

TEST_F(RegistryCatalogue, AnUnopenableSubkeyHidesTheRest) {
    for (const char* name : {"P", "Q", "R", "S"})
        AddInterface(name, std::string("dev") + name);
    if (!SetKeyAccess(Interfaces + "\\R", true))
        GTEST_SKIP() << "this registry does not take an access list";
    HKEY probe = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, (Interfaces + "\\R").c_str(), 0, KEY_READ, &probe);
    if (rc == ERROR_SUCCESS) {
        RegCloseKey(probe);
        SetKeyAccess(Interfaces + "\\R", false);
        GTEST_SKIP() << "this registry does not enforce access lists";
    }
    bool opened = false;
    int count = ReadInterfaceCatalogue(&opened);
    SetKeyAccess(Interfaces + "\\R", false);
    EXPECT_TRUE(opened);
    EXPECT_EQ(CatalogueNames(count), (std::vector<std::string>{"P", "Q"}));
}

// A FRONTAL dialog under a plain parent window, with a procedure of the test's own.
INT_PTR CALLBACK QuietDialog(HWND, UINT message, WPARAM, LPARAM) {
    return message == WM_INITDIALOG ? TRUE : FALSE;
}

class InterfaceList : public RegistryCatalogue {
  protected:
    void SetUp() override {
        RegistryCatalogue::SetUp();
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
        RegistryCatalogue::TearDown();
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

    int ErrorBoxes(int stringId) {
        int n = 0;
        for (size_t i = 0; i < RecorderCount(); ++i) {
            OutputEvent e = RecorderEvent(i);
            if (e.kind == OutputKind::ErrorBox && e.stringId == stringId)
                ++n;
        }
        return n;
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
    std::vector<std::string> order = EnumerationOrder();
    std::vector<std::string> listed(order.begin(), order.begin() + 10);
    for (size_t i = 1; i < items.size(); ++i)
        EXPECT_LT(lstrcmpiA(items[i - 1].c_str(), items[i].c_str()), 0) << "not sorted at " << i;
    for (size_t i = 0; i < items.size(); ++i) {
        auto* entry = reinterpret_cast<InterfaceEntry*>(List(CB_GETITEMDATA, i));
        ASSERT_GE(entry, &InterfaceCatalogue[0]);
        ASSERT_LT(entry, &InterfaceCatalogue[CatalogueSize]);
        EXPECT_EQ(items[i], entry->name);
        EXPECT_NE(std::find(listed.begin(), listed.end(), items[i]), listed.end()) << items[i];
    }
    EXPECT_EQ(List(CB_GETCURSEL), 0);

    // A second fill starts from an empty list.
    ASSERT_EQ(FillInterfaceList(dialog), 1);
    EXPECT_EQ(List(CB_GETCOUNT), 10);
}

TEST_F(InterfaceList, EmptyKeyShowsErrorBoxTwo) {
    RegCloseKey(CreateKey(Interfaces));
    EXPECT_EQ(FillInterfaceList(dialog), 0);
    EXPECT_EQ(ErrorBoxes(IDS_NO_INTERFACES), 1);
    EXPECT_EQ(RecorderCount(), 1u);
    EXPECT_EQ(List(CB_GETCOUNT), 0);
    EXPECT_EQ(List(CB_GETCURSEL), CB_ERR);
}

TEST_F(InterfaceList, OnlyUnusableSubkeysShowErrorBoxTwo) {
    const char expand[] = "NIC.1";
    SetValue("Expand", REG_EXPAND_SZ, expand, sizeof expand);
    EXPECT_EQ(FillInterfaceList(dialog), 0);
    EXPECT_EQ(ErrorBoxes(IDS_NO_INTERFACES), 1);
    EXPECT_EQ(List(CB_GETCOUNT), 0);
}

TEST_F(InterfaceList, MissingKeyIsSilent) {
    AddInterface("Stale", "NIC.1");
    ASSERT_EQ(FillInterfaceList(dialog), 1);
    DeleteQuorvane();
    RecorderClear();
    EXPECT_EQ(FillInterfaceList(dialog), 0);
    EXPECT_EQ(RecorderCount(), 0u);
    EXPECT_EQ(List(CB_GETCOUNT), 0) << "the list is emptied even when the key is missing";
    EXPECT_EQ(List(CB_GETCURSEL), CB_ERR);
}

} // namespace
