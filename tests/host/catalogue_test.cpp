// The interface catalogue: which subkeys are listed, in which order, and what
// ends or skips the enumeration. The same cases run against the in-memory
// registry and, under Wine, against Wine's registry (catalogue_registry.h).
#include "catalogue_registry.h"
#include "niaccess/catalogue.h"
#include "platform/registry.h"
#include <cstdio>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

using Names = std::vector<std::string>;
using testreg::AddInterface;
using testreg::Interfaces;
using testreg::OtherInterfaces;

static std::string Subkey(const std::string& name) {
    return Interfaces + "\\" + name;
}

static void SetDeviceName(const std::string& name, uint32_t type, const void* data, uint32_t size) {
    testreg::SetValue(Subkey(name), "device name", type, data, size);
}

void testreg::AddInterface(const std::string& name, const std::string& device,
                           const std::string& key) {
    testreg::SetValue(key + "\\" + name, "device name", PlatRegSz, device.c_str(),
                      static_cast<uint32_t>(device.size() + 1));
}

Names testreg::EnumerationOrder(const std::string& path) {
    Names names;
    PlatKey key = nullptr;
    if (PlatRegOpenKey(PlatLocalMachine(), path.c_str(), PlatKeyRead, &key) != PlatRegOk)
        return names;
    char name[512];
    for (uint32_t i = 0; PlatRegEnumKey(key, i, name, sizeof name) == PlatRegOk; ++i)
        names.push_back(name);
    PlatRegCloseKey(key);
    return names;
}

namespace {

class Catalogue : public ::testing::Test {
  protected:
    void SetUp() override {
        testreg::Clear();
        std::memset(InterfaceCatalogue, 0, sizeof InterfaceCatalogue);
    }
    void TearDown() override {
        EXPECT_LE(testreg::OpenKeys(), 0) << "a registry key was left open";
        testreg::Clear();
    }

    struct Result {
        CatalogueOutcome outcome;
        int count;
        Names names;
        Names devices;
    };

    static Result Read() {
        CatalogueFound found = ReadInterfaceCatalogue();
        Result r{found.outcome, found.count, {}, {}};
        for (int i = 0; i < r.count && i < CatalogueSize; ++i) {
            r.names.push_back(InterfaceCatalogue[i].name);
            r.devices.push_back(InterfaceCatalogue[i].deviceName);
        }
        return r;
    }
};

TEST_F(Catalogue, MissingKeyListsNothingAndSaysSo) {
    testreg::AddKey("SOFTWARE\\Quorvane");
    Result r = Read();
    EXPECT_EQ(r.outcome, CatalogueOutcome::NothingConfigured);
    EXPECT_EQ(r.count, 0);
}

TEST_F(Catalogue, EmptyKeyOpensAndListsNothing) {
    testreg::AddKey(Interfaces);
    Result r = Read();
    EXPECT_EQ(r.outcome, CatalogueOutcome::NothingListed);
    EXPECT_EQ(r.count, 0);
}

TEST_F(Catalogue, TwelveInterfacesGiveTheFirstTenInEnumerationOrder) {
    for (int i = 0; i < 12; ++i) {
        char name[16], device[16];
        std::snprintf(name, sizeof name, "Card %c", 'L' - i); // added out of order
        std::snprintf(device, sizeof device, "NIC.%d", i);
        AddInterface(name, device);
    }
    Names order = testreg::EnumerationOrder();
    ASSERT_EQ(order.size(), 12u);
    Result r = Read();
    EXPECT_EQ(r.outcome, CatalogueOutcome::Listed);
    ASSERT_EQ(r.count, 10);
    EXPECT_EQ(r.names, Names(order.begin(), order.begin() + 10));
    for (int i = 0; i < 10; ++i) {
        int number = 'L' - r.names[i].back();
        EXPECT_EQ(r.devices[i], "NIC." + std::to_string(number)) << r.names[i];
    }
}

TEST_F(Catalogue, SubkeysWithoutADeviceNameArePassedOver) {
    for (int i = 0; i < 12; ++i)
        testreg::SetValue(Subkey("If" + std::to_string(10 + i)), "other value", PlatRegSz, "NIC",
                          4);
    Names order = testreg::EnumerationOrder();
    ASSERT_EQ(order.size(), 12u);
    // All but the first three in enumeration order get a device name.
    for (size_t i = 3; i < order.size(); ++i)
        AddInterface(order[i], "NIC" + order[i]);
    Result r = Read();
    ASSERT_EQ(r.count, 9);
    EXPECT_EQ(r.names, Names(order.begin() + 3, order.end()));
}

TEST_F(Catalogue, OnlyRegSzValuesThatFitSixtyFourBytesAreListed) {
    std::string long63(63, 'a');
    std::string long64(64, 'b');
    AddInterface("A 63 characters", long63);
    AddInterface("B 64 characters", long64);
    const char expand[] = "NIC.1";
    SetDeviceName("C expand", PlatRegExpandSz, expand, sizeof expand);
    const char binary[] = "NIC.2";
    SetDeviceName("D binary", PlatRegBinary, binary, sizeof binary);
    uint32_t dword = 7;
    SetDeviceName("E dword", PlatRegDword, &dword, sizeof dword);
    AddInterface("F forty", std::string(40, 'f'));
    Result r = Read();
    EXPECT_EQ(r.count, 2);
    ASSERT_EQ(r.names.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        if (r.names[i] == "A 63 characters")
            EXPECT_EQ(r.devices[i], long63);
        else
            EXPECT_EQ(r.devices[i], std::string(40, 'f')) << r.names[i];
    }
}

TEST_F(Catalogue, UnterminatedValuesNeverReadPastTheBuffer) {
    // 64 bytes of data without a terminator: too long, passed over.
    std::string full(64, 'x');
    SetDeviceName("Full", PlatRegSz, full.data(), 64);
    // Shorter data without a terminator ends where the data ends.
    SetDeviceName("Short", PlatRegSz, "NIC.7", 5);
    Result r = Read();
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.names[0], "Short");
    EXPECT_EQ(r.devices[0], "NIC.7");
}

TEST_F(Catalogue, AnUnopenableSubkeyHidesEverythingAfterIt) {
    for (const char* name : {"P", "Q", "R", "S", "T"})
        AddInterface(name, std::string("dev") + name);
    Names order = testreg::EnumerationOrder();
    ASSERT_EQ(order.size(), 5u);
    if (!testreg::DenyOpen(Subkey(order[2])))
        GTEST_SKIP() << "this registry opens every key";
    Result r = Read();
    EXPECT_EQ(r.outcome, CatalogueOutcome::Listed);
    EXPECT_EQ(r.names, Names(order.begin(), order.begin() + 2));

    ASSERT_TRUE(testreg::DenyOpen(Subkey(order[0])));
    r = Read();
    EXPECT_EQ(r.outcome, CatalogueOutcome::NothingListed);
    EXPECT_EQ(r.count, 0);
}

TEST_F(Catalogue, ASubkeyNameTooLongForTheBufferEndsTheEnumeration) {
    std::string tooLong(64, 'Z'); // needs 65 bytes with its terminator
    std::string fits(63, 'Y');
    AddInterface("A", "devA");
    AddInterface(fits, "devY");
    AddInterface(tooLong, "devZ");
    AddInterface("a-after", "devAfter");
    Names order = testreg::EnumerationOrder();
    ASSERT_EQ(order.size(), 4u);
    size_t stop = 0;
    while (order[stop] != tooLong)
        ++stop;
    Result r = Read();
    EXPECT_EQ(r.names, Names(order.begin(), order.begin() + stop));
}

TEST_F(Catalogue, DuplicateDeviceNamesAreListedUnderEachName) {
    AddInterface("First", "NIC.1");
    AddInterface("Second", "NIC.1");
    Result r = Read();
    ASSERT_EQ(r.count, 2);
    EXPECT_EQ(r.devices, Names({"NIC.1", "NIC.1"}));
    EXPECT_NE(r.names[0], r.names[1]);
}

TEST_F(Catalogue, EachReadRefillsFromTheFirstEntry) {
    AddInterface("One", "NIC.1");
    AddInterface("Two", "NIC.2");
    ASSERT_EQ(Read().count, 2);
    testreg::Clear();
    AddInterface("Three", "NIC.3");
    Result r = Read();
    ASSERT_EQ(r.count, 1);
    EXPECT_STREQ(InterfaceCatalogue[0].name, "Three");
    EXPECT_STREQ(InterfaceCatalogue[0].deviceName, "NIC.3");
}

// A 64-bit program on 64-bit Windows: an installer of the other bitness
// registers its interfaces in the other registry view.
class CatalogueViews : public Catalogue {
  protected:
    void SetUp() override {
        Catalogue::SetUp();
        if (!testreg::UseBothViews())
            GTEST_SKIP() << "no second registry view here";
    }
};

TEST_F(CatalogueViews, TheOtherViewIsReadAfterTheOwnAndAKeyInBothIsListedOnce) {
    AddInterface("Far", "NIC.2", OtherInterfaces);
    Result r = Read();
    EXPECT_EQ(r.outcome, CatalogueOutcome::Listed) << "the own view has no interfaces key";
    EXPECT_EQ(r.names, Names({"Far"}));
    AddInterface("N\xE4he", "NIC.1"); // the same key, in the registry's eyes, in both views
    AddInterface("N\xC4HE", "NIC.9", OtherInterfaces);
    r = Read();
    EXPECT_EQ(r.names, Names({"N\xE4he", "Far"}));
    EXPECT_EQ(r.devices, Names({"NIC.1", "NIC.2"}));
}

TEST_F(CatalogueViews, TenAtMostOverBothViews) {
    for (int i = 0; i < 6; ++i) {
        AddInterface("Own " + std::to_string(i), "NIC.1");
        AddInterface("Other " + std::to_string(i), "NIC.2", OtherInterfaces);
    }
    Names expected = testreg::EnumerationOrder(),
          other = testreg::EnumerationOrder(OtherInterfaces);
    ASSERT_EQ(other.size(), 6u);
    expected.insert(expected.end(), other.begin(), other.begin() + 4);
    EXPECT_EQ(Read().names, expected);
}

TEST_F(CatalogueViews, EachViewKeepsItsOwnRules) {
    testreg::AddKey(OtherInterfaces);
    EXPECT_EQ(Read().outcome, CatalogueOutcome::NothingListed) << "a key, empty, in one view";
    testreg::SetValue(Interfaces + "\\Broken", "other value", PlatRegSz, "NIC", 4);
    AddInterface("broken", "NIC.4", OtherInterfaces);
    AddInterface("Locked", "NIC.5");
    AddInterface("Zed", "NIC.6");
    EXPECT_EQ(Read().names, Names({"Locked", "Zed", "broken"})) << "passed over in the own view";
    if (!testreg::DenyOpen(Interfaces + "\\Locked"))
        GTEST_SKIP() << "this registry opens every key";
    EXPECT_EQ(Read().names, Names({"broken"})) << "the own view ends, the other is read";
}

} // namespace
