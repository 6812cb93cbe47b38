// Interface driver access over the real Win32 device and registry seams: a
// device that does not exist, and the device-name lookup in the system registry.
#include "niaccess/niaccess.h"
#include <windows.h>
#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

const char interfacesKey[] = "SOFTWARE\\Quorvane\\DeviceDrivers";
const char testKeyName[] = "locstr niaccess test";

class NiAccessWin32 : public ::testing::Test {
  protected:
    void SetUp() override {
        std::memset(InterfaceTable, 0, sizeof InterfaceTable);
        ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, KeyPath().c_str(), 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
    }
    void TearDown() override {
        if (key)
            RegCloseKey(key);
        // The keys made here go with their parents: every program the other
        // tests start reads them, and an empty interfaces key makes it say
        // that no interface is installed.
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Quorvane");
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\Quorvane");
    }
    static std::string KeyPath() { return std::string(interfacesKey) + "\\" + testKeyName; }
    void SetValue(const std::string& text) {
        ASSERT_EQ(RegSetValueExA(key, "device name", 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(text.c_str()),
                                 DWORD(text.size() + 1)),
                  ERROR_SUCCESS);
    }
    HKEY key = nullptr;
};

TEST_F(NiAccessWin32, DeviceThatDoesNotExistCannotBeOpened) {
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen("LOCSTRNODEVICE", &handle), NiOpenFailed);
    EXPECT_EQ(NiOpen("\\\\.\\LOCSTRNOSUCH.3", &handle), NiOpenFailed);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);
}

TEST_F(NiAccessWin32, LookupInTheSystemRegistry) {
    char buffer[NiDeviceNameSize];
    // The key without its value: the name itself.
    EXPECT_EQ(LookupDeviceName(testKeyName, buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, testKeyName);

    SetValue("NIC7.3");
    EXPECT_EQ(LookupDeviceName(testKeyName, buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "NIC7.3");

    std::string value39(39, 'V');
    SetValue(value39);
    EXPECT_EQ(LookupDeviceName(testKeyName, buffer, sizeof buffer), NiOk);
    EXPECT_EQ(std::string(buffer), value39);

    SetValue(std::string(40, 'V'));
    EXPECT_EQ(LookupDeviceName(testKeyName, buffer, sizeof buffer), NiNameTooLong);
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen(testKeyName, &handle), NiNameTooLong);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);

    char full[NiDeviceNameSize];
    std::memset(full, 'W', sizeof full);
    ASSERT_EQ(RegSetValueExA(key, "device name", 0, REG_BINARY, reinterpret_cast<BYTE*>(full),
                             sizeof full),
              ERROR_SUCCESS);
    EXPECT_EQ(LookupDeviceName(testKeyName, buffer, sizeof buffer), NiNameTooLong);

    // A key name that is not there is the device name itself.
    EXPECT_EQ(LookupDeviceName("locstr no such key", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "locstr no such key");
}

// A 32-bit installer registers in the 32-bit view, which 64-bit Windows keeps
// under SOFTWARE\Wow6432Node: the 64-bit program looks the name up there too.
TEST_F(NiAccessWin32, KeyOfTheOtherViewResolvesToADeviceThatOpens) {
    const std::string name = "locstr other view test";
    const std::string path = std::string(interfacesKey) + "\\" + name;
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                              KEY_ALL_ACCESS | KEY_WOW64_32KEY, nullptr, &other, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(
        RegSetValueExA(other, "device name", 0, REG_SZ, reinterpret_cast<const BYTE*>("NUL"), 4),
        ERROR_SUCCESS);
    RegCloseKey(other);
    std::string kept = "SOFTWARE\\Wow6432Node\\Quorvane\\DeviceDrivers\\" + name;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kept.c_str(), 0, KEY_READ, &other), ERROR_SUCCESS);
    RegCloseKey(other);
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen(name.c_str(), &handle), NiOk);
    EXPECT_STREQ(InterfaceTable[0].devicePath, "\\\\.\\NUL");
    EXPECT_EQ(NiClose(handle), NiOk);
}

TEST_F(NiAccessWin32, KeyNameResolvesToADeviceThatIsThenOpened) {
    SetValue("LOCSTRNOSUCH.5");
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen(testKeyName, &handle), NiOpenFailed);
    EXPECT_STREQ(InterfaceTable[0].devicePath, "\\\\.\\LOCSTRNOSUCH");
    EXPECT_EQ(InterfaceTable[0].deviceIndex, 5);
}

} // namespace
