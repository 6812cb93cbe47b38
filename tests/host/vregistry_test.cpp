// Tests of the in-memory registry through the registry seam.
#include "platform/registry.h"
#include "virtualnet/vregistry.h"
#include <gtest/gtest.h>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

class VregTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VregClear();
        VregAddKey("SOFTWARE\\Quorvane\\DeviceDrivers\\Zeta");
        VregSetString("SOFTWARE\\Quorvane\\DeviceDrivers\\Zeta", "device name", "NIC1.2");
        VregAddKey("SOFTWARE\\Quorvane\\DeviceDrivers\\Alpha");
        VregAddKey("SOFTWARE\\Quorvane\\DeviceDrivers\\Middle");
    }
    void TearDown() override {
        EXPECT_EQ(0, VregOpenKeyCount());
        VregClear();
    }
    static PlatKey OpenDrivers() {
        PlatKey key = nullptr;
        EXPECT_EQ(PlatRegOk, PlatRegOpenKey(PlatLocalMachine(), "Software\\QUORVANE\\devicedrivers",
                                            PlatKeyRead, &key));
        return key;
    }
};

TEST_F(VregTest, EnumeratesSubkeysInCreationOrder) {
    PlatKey key = OpenDrivers();
    EXPECT_EQ(1, VregOpenKeyCount());
    char name[64];
    std::vector<std::string> names;
    for (uint32_t i = 0; PlatRegEnumKey(key, i, name, sizeof name) == PlatRegOk; ++i)
        names.push_back(name);
    EXPECT_EQ((std::vector<std::string>{"Zeta", "Alpha", "Middle"}), names);
    EXPECT_EQ(PlatRegNoMoreItems, PlatRegEnumKey(key, 3, name, sizeof name));

    // "Middle" needs 7 bytes with its terminator.
    EXPECT_EQ(PlatRegMoreData, PlatRegEnumKey(key, 2, name, 6));
    EXPECT_EQ(PlatRegOk, PlatRegEnumKey(key, 2, name, 7));
    EXPECT_STREQ("Middle", name);
    PlatRegCloseKey(key);
    EXPECT_NE(PlatRegOk, PlatRegEnumKey(key, 0, name, sizeof name)); // closed
}

TEST_F(VregTest, OpeningReportsMissingAndDeniedKeys) {
    PlatKey key = reinterpret_cast<PlatKey>(uintptr_t(1234));
    EXPECT_EQ(PlatRegNotFound,
              PlatRegOpenKey(PlatLocalMachine(), "SOFTWARE\\Quorvane\\Nothing", PlatKeyRead, &key));
    EXPECT_EQ(reinterpret_cast<PlatKey>(uintptr_t(1234)), key);
    VregDenyOpen("SOFTWARE\\Quorvane\\DeviceDrivers\\Alpha");
    EXPECT_EQ(PlatRegAccessDenied,
              PlatRegOpenKey(PlatLocalMachine(), "software\\quorvane\\devicedrivers\\ALPHA",
                             PlatKeyReadWrite, &key));
    EXPECT_EQ(0, VregOpenKeyCount());

    // Relative to an open key; a denied key still enumerates under its parent.
    PlatKey drivers = OpenDrivers();
    PlatKey zeta = nullptr;
    EXPECT_EQ(PlatRegOk, PlatRegOpenKey(drivers, "zeta", PlatKeyRead, &zeta));
    EXPECT_EQ(PlatRegAccessDenied, PlatRegOpenKey(drivers, "Alpha", PlatKeyRead, &key));
    char name[64];
    EXPECT_EQ(PlatRegOk, PlatRegEnumKey(drivers, 1, name, sizeof name));
    EXPECT_STREQ("Alpha", name);
    EXPECT_EQ(2, VregOpenKeyCount());
    PlatRegCloseKey(zeta);
    PlatRegCloseKey(drivers);
}

TEST_F(VregTest, QueryValueReportsSizesTypesAndShortBuffers) {
    const uint32_t word = 0x12345678;
    VregSetValue("SOFTWARE\\Quorvane\\DeviceDrivers\\Zeta", "Index", PlatRegDword, &word, 4);
    PlatKey key = nullptr;
    ASSERT_EQ(PlatRegOk,
              PlatRegOpenKey(PlatLocalMachine(), "SOFTWARE\\Quorvane\\DeviceDrivers\\Zeta",
                             PlatKeyReadWrite, &key));
    uint32_t type = 0;
    uint32_t size = 0;
    EXPECT_EQ(PlatRegOk, PlatRegQueryValue(key, "DEVICE NAME", &type, nullptr, &size));
    EXPECT_EQ(PlatRegSz, type);
    EXPECT_EQ(7u, size); // "NIC1.2" and its terminator

    char text[8];
    std::memset(text, 'x', sizeof text);
    size = 6;
    EXPECT_EQ(PlatRegMoreData, PlatRegQueryValue(key, "device name", nullptr, text, &size));
    EXPECT_EQ(7u, size);
    size = sizeof text;
    EXPECT_EQ(PlatRegOk, PlatRegQueryValue(key, "device name", nullptr, text, &size));
    EXPECT_EQ(7u, size);
    EXPECT_STREQ("NIC1.2", text);

    uint32_t read = 0;
    size = 4;
    EXPECT_EQ(PlatRegOk, PlatRegQueryValue(key, "index", &type, &read, &size));
    EXPECT_EQ(PlatRegDword, type);
    EXPECT_EQ(word, read);

    // Setting a value again replaces it.
    VregSetString("SOFTWARE\\Quorvane\\DeviceDrivers\\Zeta", "Device Name", "VNI3");
    size = sizeof text;
    EXPECT_EQ(PlatRegOk, PlatRegQueryValue(key, "device name", nullptr, text, &size));
    EXPECT_STREQ("VNI3", text);

    size = sizeof text;
    EXPECT_EQ(PlatRegNotFound, PlatRegQueryValue(key, "missing", &type, text, &size));
    PlatRegCloseKey(key);
    EXPECT_NE(PlatRegOk, PlatRegQueryValue(key, "device name", nullptr, text, &size));
}

} // namespace
