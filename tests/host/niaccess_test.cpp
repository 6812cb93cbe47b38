// Interface driver access against the virtual network and its in-memory
// registry, on both platform families (also built for Windows and run under Wine).
#include "test_thread.h"
#include "niaccess/niaccess.h"
#include "platform/sync.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <atomic>
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <thread>
#include <vector>

static_assert(sizeof(InterfaceSlot::arrivalLink) >= sizeof(PlatHandle),
              "an arrival handle must not be cut");

namespace {

const char interfacesKey[] = "SOFTWARE\\Quorvane\\DeviceDrivers\\";

std::string Key(const char* name) {
    return std::string(interfacesKey) + name;
}

class NiAccessBase : public ::testing::Test {
  protected:
    virtual bool Older() const = 0;
    void SetUp() override { Restart(); }
    void TearDown() override {
        CloseAll();
        EXPECT_EQ(VnetMisuseCount(), 0u) << "a call the real system faults on";
        if (event)
            PlatCloseEvent(event);
        VnetReset();
        VregClear();
    }
    // A fresh network with no interfaces, on this test's platform family.
    void Restart() {
        CloseAll();
        VnetReset();
        VregClear();
        std::memset(InterfaceTable, 0, sizeof InterfaceTable);
        VnetFaultControls()->olderFamily = Older();
    }
    static void CloseAll() {
        for (int i = 0; i < NiSlotCount; i++)
            if (InterfaceTable[i].state != NiSlotFree)
                NiClose(NiHandle(i));
    }
    NiHandle Open(const char* name) {
        NiHandle handle = -1;
        EXPECT_EQ(NiOpen(name, &handle), NiOk) << name;
        return handle;
    }
    PlatEvent Event() {
        if (!event)
            event = PlatCreateEvent(nullptr);
        return event;
    }
    static void Inject(int iface, uint8_t first, uint8_t fill, uint8_t dataLength) {
        uint8_t message[VnetMessageSize] = {first, dataLength};
        std::memset(message + 2, fill, dataLength);
        ASSERT_TRUE(VnetInjectMessage(iface, message, size_t(dataLength) + 2));
    }
    PlatEvent event = nullptr;
};

// Every case that both families share runs once on each.
class NiAccess : public NiAccessBase, public ::testing::WithParamInterface<bool> {
  protected:
    bool Older() const override { return GetParam(); }
};

// Control requests are the older family's own.
class NiAccessOlder : public NiAccessBase {
  protected:
    bool Older() const override { return true; }
};

// The arrival read is the NT family's own.
class NiAccessNt : public NiAccessBase {
  protected:
    bool Older() const override { return false; }
};

INSTANTIATE_TEST_SUITE_P(Families, NiAccess, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& family) {
                             return family.param ? std::string("Older") : std::string("Nt");
                         });

TEST_P(NiAccess, FamilyIsTakenFromThePlatformAtEachOpen) {
    VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    EXPECT_EQ(InterfaceTable[handle].ntFamily, Older() ? 0 : 1);
    EXPECT_EQ(InterfaceTable[handle].state, NiSlotOpen);
    EXPECT_STREQ(InterfaceTable[handle].devicePath, "\\\\.\\NIC1");
}

TEST_P(NiAccess, LowestFreeSlotAndThirtyTwoSlotLimit) {
    VnetAddInterface("NIC1", 0);
    for (int i = 0; i < NiSlotCount; i++)
        ASSERT_EQ(Open("NIC1"), i);
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen("NIC1", &handle), NiNoResource);
    EXPECT_EQ(handle, 77) << "the handle is stored only on success";

    EXPECT_EQ(NiClose(5), NiOk);
    EXPECT_EQ(NiClose(9), NiOk);
    EXPECT_EQ(Open("NIC1"), 5);
    EXPECT_EQ(Open("NIC1"), 9);
    EXPECT_EQ(NiOpen("NIC1", &handle), NiNoResource);
}

TEST_P(NiAccess, BadHandlesAreRejectedAndTouchNothing) {
    VnetAddInterface("NIC1", 0);
    NiHandle open = Open("NIC1");
    NiHandle closed = Open("NIC1");
    ASSERT_EQ(NiClose(closed), NiOk);
    size_t controls = VnetControlCount();

    for (NiHandle bad : {NiHandle(-1), NiHandle(32), NiHandle(-32768), NiHandle(7), closed}) {
        uint8_t buffer[8];
        std::memset(buffer, 0xAA, sizeof buffer);
        EXPECT_EQ(NiRead(bad, buffer, sizeof buffer), NiBadHandle) << bad;
        EXPECT_EQ(buffer[0], 0xAA) << "a rejected read must not zero the buffer";
        EXPECT_EQ(NiWrite(bad, buffer, sizeof buffer), NiBadHandle) << bad;
        EXPECT_EQ(NiSetArrivalEvent(bad, Event()), NiBadHandle) << bad;
        EXPECT_EQ(NiSetArrivalEvent(bad, nullptr), NiBadHandle) << bad;
        EXPECT_EQ(NiClose(bad), NiBadHandle) << bad;
    }
    EXPECT_EQ(VnetControlCount(), controls);
    EXPECT_EQ(VnetWrittenCount(), 0u);
    EXPECT_EQ(NiClose(open), NiOk);
    EXPECT_EQ(NiClose(open), NiBadHandle);
}

TEST_P(NiAccess, DeviceNameGivesPathAndIndex) {
    struct Case {
        const char* name;
        const char* device; // as the network knows it
        uint16_t index;
    } cases[] = {
        {"NIC1", "NIC1", 0},           {"NIC1.2", "NIC1", 2},       {"\\\\.\\NIC1.2", "NIC1", 2},
        {"NIC1.x7", "NIC1", 0},        {"NIC1.12ab", "NIC1", 12},   {"NIC1.65537", "NIC1", 1},
        {"NIC1.", "NIC1", 0},          {"..NIC2.3.4", "..NIC2", 3}, {"\\\\.\\NIC1", "NIC1", 0},
        {"NIC1.65535", "NIC1", 65535},
    };
    for (const Case& c : cases) {
        Restart();
        VnetAddInterface(c.device, c.index);
        NiHandle handle = -1;
        ASSERT_EQ(NiOpen(c.name, &handle), NiOk) << c.name;
        EXPECT_EQ(InterfaceTable[handle].deviceIndex, c.index) << c.name;
        EXPECT_EQ(std::string(InterfaceTable[handle].devicePath), std::string("\\\\.\\") + c.device)
            << c.name;
        uint8_t message[4] = {0x70, 2, 1, 2};
        EXPECT_EQ(NiWrite(handle, message, sizeof message), NiOk) << c.name;
        EXPECT_EQ(NiClose(handle), NiOk) << c.name;
        // Every control request carries the index in its high half.
        for (size_t i = 0; i < VnetControlCount(); i++)
            EXPECT_EQ(VnetControlCode(i) >> 16, c.index) << c.name;
        EXPECT_EQ(VnetControlCount(), Older() ? 3u : 0u) << c.name;
    }
}

TEST_F(NiAccessOlder, ControlCodesOfEveryRequest) {
    int iface = VnetAddInterface("NIC1", 2);
    NiHandle handle = Open("NIC1.2");
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    uint8_t message[4] = {0x70, 2, 1, 2};
    ASSERT_EQ(NiWrite(handle, message, sizeof message), NiOk);
    Inject(iface, 0x18, 0x55, 10);
    uint8_t buffer[VnetMessageSize];
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    ASSERT_EQ(NiClose(handle), NiOk);
    std::vector<uint32_t> codes;
    for (size_t i = 0; i < VnetControlCount(); i++)
        codes.push_back(VnetControlCode(i));
    std::vector<uint32_t> expected = {0x20001, 0x20007, 0x2000B, 0x2000A, 0x20007, 0x20002};
    EXPECT_EQ(codes, expected);
}

TEST_P(NiAccess, NameLengthLimits) {
    char buffer[NiDeviceNameSize];
    std::string name39(39, 'N');
    std::string name40(40, 'N');
    EXPECT_EQ(LookupDeviceName(name39.c_str(), buffer, sizeof buffer), NiOk);
    EXPECT_EQ(std::string(buffer), name39);
    EXPECT_EQ(LookupDeviceName(name40.c_str(), buffer, sizeof buffer), NiNameTooLong);

    NiHandle handle = 77;
    EXPECT_EQ(NiOpen(name40.c_str(), &handle), NiNameTooLong);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);
}

TEST_P(NiAccess, DevicePathThatDoesNotFitIsRefused) {
    std::string fits(15, 'D'); // "\\.\" + 15 + terminator = 20 bytes
    std::string tooLong(16, 'D');
    VnetAddInterface(fits.c_str(), 0);
    VnetAddInterface(tooLong.c_str(), 0);

    // Slot 1 must come through a refused open of slot 0 byte for byte.
    NiHandle first = Open(fits.c_str());
    NiHandle second = Open(fits.c_str());
    ASSERT_EQ(second, 1);
    ASSERT_EQ(NiClose(first), NiOk);
    InterfaceSlot neighbour = InterfaceTable[1];

    NiHandle handle = 77;
    EXPECT_EQ(NiOpen(tooLong.c_str(), &handle), NiNameTooLong);
    EXPECT_EQ(NiOpen(("\\\\.\\" + tooLong).c_str(), &handle), NiNameTooLong);
    EXPECT_EQ(NiOpen((tooLong + ".3").c_str(), &handle), NiNameTooLong);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);
    EXPECT_EQ(std::memcmp(&neighbour, &InterfaceTable[1], sizeof neighbour), 0);

    // The cut at the full stop happens first, so a long index still fits.
    Restart();
    VnetAddInterface(fits.c_str(), 12345);
    handle = Open((fits + ".12345").c_str());
    EXPECT_EQ(handle, 0);
    EXPECT_EQ(InterfaceTable[0].deviceIndex, 12345);
    EXPECT_STREQ(InterfaceTable[0].devicePath, ("\\\\.\\" + fits).c_str());
    EXPECT_EQ(NiClose(handle), NiOk);
    handle = Open(("\\\\.\\" + fits + ".12345").c_str());
    EXPECT_STREQ(InterfaceTable[handle].devicePath, ("\\\\.\\" + fits).c_str());
}

TEST_P(NiAccess, RegistryKeyNameIsReplacedByItsDeviceName) {
    VnetAddInterface("NIC3", 4);
    VregSetString(Key("Card A").c_str(), "device name", "NIC3.4");
    char buffer[NiDeviceNameSize];
    EXPECT_EQ(LookupDeviceName("Card A", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "NIC3.4");
    EXPECT_EQ(LookupDeviceName("card a", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "NIC3.4");

    NiHandle handle = Open("Card A");
    EXPECT_STREQ(InterfaceTable[handle].devicePath, "\\\\.\\NIC3");
    EXPECT_EQ(InterfaceTable[handle].deviceIndex, 4);

    std::string value39(39, 'V');
    VregSetString(Key("Card B").c_str(), "device name", value39.c_str());
    EXPECT_EQ(LookupDeviceName("Card B", buffer, sizeof buffer), NiOk);
    EXPECT_EQ(std::string(buffer), value39);

    std::string value40(40, 'V');
    VregSetString(Key("Card C").c_str(), "device name", value40.c_str());
    EXPECT_EQ(LookupDeviceName("Card C", buffer, sizeof buffer), NiNameTooLong);
    handle = 77;
    EXPECT_EQ(NiOpen("Card C", &handle), NiNameTooLong);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[1].state, NiSlotFree);
}

// On 64-bit Windows the own registry view first, then the other (the 32-bit
// view's keys lie under SOFTWARE\Wow6432Node).
TEST_P(NiAccess, NamesAreLookedUpInTheOwnViewThenTheOther) {
    VnetAddInterface("NIC3", 4);
    const std::string view32 = "SOFTWARE\\Wow6432Node\\Quorvane\\DeviceDrivers\\Card A";
    for (bool own64 : {true, false}) {
        VregClear();
        VregSetSystem(own64 ? VregSystem::Wow64Program64 : VregSystem::Wow64Program32);
        VregSetString((own64 ? view32 : Key("Card A")).c_str(), "device name", "NIC3.4");
        NiHandle handle = Open("card a");
        EXPECT_STREQ(InterfaceTable[handle].devicePath, "\\\\.\\NIC3") << own64;
        EXPECT_EQ(NiClose(handle), NiOk);
        VregSetString((own64 ? Key("Card A") : view32).c_str(), "device name", "NIC7");
        char buffer[NiDeviceNameSize];
        EXPECT_EQ(LookupDeviceName("Card A", buffer, sizeof buffer), NiOk);
        EXPECT_STREQ(buffer, "NIC7") << own64;
    }
}

TEST_P(NiAccess, KeyWithoutUsableValueFallsBackToTheName) {
    VnetAddInterface("NIC5", 0);
    char buffer[NiDeviceNameSize];
    VregAddKey(Key("NIC5").c_str());
    EXPECT_EQ(LookupDeviceName("NIC5", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "NIC5");
    EXPECT_EQ(InterfaceTable[Open("NIC5")].state, NiSlotOpen);

    VregSetString(Key("Empty").c_str(), "device name", "");
    EXPECT_EQ(LookupDeviceName("Empty", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "Empty");

    VregSetString(Key("Locked").c_str(), "device name", "NIC5");
    VregDenyOpen(Key("Locked").c_str());
    EXPECT_EQ(LookupDeviceName("Locked", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "Locked");
}

TEST_P(NiAccess, UnterminatedValueIsNeverReadPastTheBuffer) {
    char full[NiDeviceNameSize];
    std::memset(full, 'W', sizeof full);
    VregSetValue(Key("Full").c_str(), "device name", PlatRegBinary, full, sizeof full);
    char buffer[NiDeviceNameSize + 8];
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(LookupDeviceName("Full", buffer, NiDeviceNameSize), NiNameTooLong);
    EXPECT_EQ(buffer[NiDeviceNameSize], 'Z');

    VregSetValue(Key("Short").c_str(), "device name", PlatRegBinary, "NIC6", 4);
    std::memset(buffer, 'Z', sizeof buffer);
    EXPECT_EQ(LookupDeviceName("Short", buffer, NiDeviceNameSize), NiOk);
    EXPECT_STREQ(buffer, "NIC6");
}

TEST_P(NiAccess, DevicePathThatCannotBeOpened) {
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen("NOSUCH", &handle), NiOpenFailed);
    VnetAddInterface("NIC1", 0);
    VnetFaultControls()->failOpen = true;
    EXPECT_EQ(NiOpen("NIC1", &handle), NiOpenFailed);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);
    VnetFaultControls()->failOpen = false;
    EXPECT_EQ(Open("NIC1"), 0);
}

TEST_P(NiAccess, ReadWithNothingWaitingZeroesTheWholeBuffer) {
    VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    uint8_t buffer[VnetMessageSize + 4];
    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(NiRead(handle, buffer, VnetMessageSize), NiNoMessage);
    for (int i = 0; i < VnetMessageSize; i++)
        ASSERT_EQ(buffer[i], 0) << i;
    EXPECT_EQ(buffer[VnetMessageSize], 0xAA) << "only the given length is zeroed";

    std::memset(buffer, 0xAA, sizeof buffer);
    EXPECT_EQ(NiRead(handle, buffer, 0), NiNoMessage);
    EXPECT_EQ(NiRead(handle, buffer, -1), NiNoMessage);
    EXPECT_EQ(buffer[0], 0xAA);
}

TEST_P(NiAccess, ReadDeliversOneWholeMessageAtATime) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    Inject(iface, 0x18, 0x11, 20);
    Inject(iface, 0x1A, 0x22, 3);
    uint8_t buffer[VnetMessageSize];
    std::memset(buffer, 0xAA, sizeof buffer);
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    EXPECT_EQ(buffer[0], 0x18);
    EXPECT_EQ(buffer[1], 20);
    EXPECT_EQ(buffer[21], 0x11);
    EXPECT_EQ(buffer[22], 0) << "the rest of the buffer is zero";
    EXPECT_EQ(buffer[VnetMessageSize - 1], 0);
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    EXPECT_EQ(buffer[0], 0x1A);
    EXPECT_EQ(buffer[4], 0x22);
    EXPECT_EQ(buffer[5], 0) << "nothing of the longer first message is left";
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiNoMessage);
}

TEST_F(NiAccessOlder, ReadStatuses) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    uint8_t buffer[VnetMessageSize];

    VnetFaultControls()->zeroCountReads = true;
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiNoMessage);
    Inject(iface, 0x18, 0x33, 5);
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk) << "a non-zero first byte is a message";
    EXPECT_EQ(buffer[0], 0x18);
    VnetFaultControls()->zeroCountReads = false;

    Inject(iface, 0x18, 0x33, 5);
    VnetFaultControls()->refuseControl[NiCtlRead] = true;
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiDriverFailed);
    VnetFaultControls()->refuseControl[NiCtlRead] = false;
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
}

TEST_P(NiAccess, WriteStatuses) {
    VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    uint8_t message[6] = {0x70, 4, 9, 8, 7, 6};
    VnetClearLog();
    ASSERT_EQ(NiWrite(handle, message, sizeof message), NiOk);
    ASSERT_EQ(VnetWrittenCount(), 1u);
    VnetLogEntry entry;
    ASSERT_TRUE(VnetWritten(0, &entry));
    ASSERT_EQ(entry.length, sizeof message);
    EXPECT_EQ(std::memcmp(entry.bytes, message, sizeof message), 0);

    VnetFaultControls()->zeroByteWrites = true;
    EXPECT_EQ(NiWrite(handle, message, sizeof message), NiWriteFailed);
    VnetFaultControls()->zeroByteWrites = false;
    VnetFaultControls()->failWrites = true;
    EXPECT_EQ(NiWrite(handle, message, sizeof message), NiWriteFailed);
    VnetFaultControls()->failWrites = false;
    if (Older()) {
        // A refused write request is a failed write, not a refused request.
        VnetFaultControls()->refuseControl[NiCtlWrite] = true;
        EXPECT_EQ(NiWrite(handle, message, sizeof message), NiWriteFailed);
        VnetFaultControls()->refuseControl[NiCtlWrite] = false;
    }
    EXPECT_EQ(NiWrite(handle, message, 0), NiWriteFailed);
    EXPECT_EQ(NiWrite(handle, message, -2), NiWriteFailed);
    EXPECT_EQ(NiWrite(handle, message, sizeof message), NiOk);
}

TEST_F(NiAccessOlder, RefusedOpenAndClose) {
    VnetAddInterface("NIC1", 0);
    VnetFaultControls()->refuseControl[NiCtlOpen] = true;
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen("NIC1", &handle), NiDriverFailed);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);
    VnetFaultControls()->refuseControl[NiCtlOpen] = false;

    handle = Open("NIC1");
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    VnetFaultControls()->refuseControl[NiCtlClose] = true;
    EXPECT_EQ(NiClose(handle), NiDriverFailed);
    EXPECT_EQ(InterfaceTable[handle].state, NiSlotFree);
    EXPECT_EQ(NiClose(handle), NiBadHandle);
    uint8_t buffer[4];
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiBadHandle);
    VnetFaultControls()->refuseControl[NiCtlClose] = false;
    EXPECT_EQ(Open("NIC1"), handle) << "the freed slot is given out again";
}

TEST_P(NiAccess, ArrivalEventSignalledForEveryMessage) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    EXPECT_NE(InterfaceTable[handle].arrivalLink, 0u);
    EXPECT_FALSE(PlatWaitEvent(event, 30));
    uint8_t buffer[VnetMessageSize];
    for (int round = 0; round < 3; round++) {
        Inject(iface, 0x18, uint8_t(round), 8);
        ASSERT_TRUE(PlatWaitEvent(event, 2000)) << "round " << round;
        ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
        EXPECT_EQ(buffer[2], round);
    }
    // Attaching again keeps the arrival handle in use.
    uintptr_t link = InterfaceTable[handle].arrivalLink;
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    if (!Older()) {
        EXPECT_EQ(InterfaceTable[handle].arrivalLink, link);
    }

    ASSERT_EQ(NiSetArrivalEvent(handle, nullptr), NiOk);
    EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);
    PlatResetEvent(event);
    Inject(iface, 0x18, 9, 8);
    EXPECT_FALSE(PlatWaitEvent(event, 100)) << "a detached event is not signalled";
}

// The system writes a pending read's outcome into its record: a read that
// finds a message before the pending arrival read has completed must leave
// that read (and its record) alone, and attaching again too.
TEST_F(NiAccessNt, ArrivalReadIsIssuedAgainOnlyOnceThePreviousCompleted) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    VnetFaultControls()->lateArrivalReads = true;
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    Inject(iface, 0x18, 1, 8);
    Inject(iface, 0x18, 2, 8);
    uint8_t buffer[VnetMessageSize];
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk); // issues it again: stays pending
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    EXPECT_EQ(VnetMisuseCount(), 0u) << "a pending arrival read was issued again";

    PlatResetEvent(event);
    Inject(iface, 0x18, 3, 8);
    EXPECT_TRUE(PlatWaitEvent(event, 2000)) << "the pending read signals the next arrival";
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    EXPECT_EQ(buffer[2], 3);
    Inject(iface, 0x18, 4, 8);
    EXPECT_TRUE(PlatWaitEvent(event, 2000)) << "issued again once it had completed";
}

// A pending arrival read keeps the event it was issued with: attaching
// another one must not leave the next arrival to the old event, nor issue the
// new read into the record before the old read's late outcome has landed.
TEST_F(NiAccessNt, AnotherEventTakesOverFromAPendingArrivalRead) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    PlatEvent old = PlatCreateEvent(nullptr);
    ASSERT_EQ(NiSetArrivalEvent(handle, old), NiOk);
    VnetFaultControls()->lateCancelMs = 20;
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    EXPECT_EQ(VnetMisuseCount(), 0u) << "issued into a record not yet written";
    PlatResetEvent(old); // ending the old read may signal it once
    Inject(iface, 0x18, 1, 8);
    EXPECT_TRUE(PlatWaitEvent(event, 2000)) << "the new event is signalled";
    EXPECT_FALSE(PlatWaitEvent(old, 0)) << "the old event is not";
    PlatCloseEvent(old);
}

TEST_P(NiAccess, DetachWithoutAttachmentSendsNothing) {
    VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    size_t controls = VnetControlCount();
    EXPECT_EQ(NiSetArrivalEvent(handle, nullptr), NiOk);
    EXPECT_EQ(VnetControlCount(), controls);
    EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);
}

TEST_P(NiAccess, ArrivalAttachmentThatCannotBeMade) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    VnetFaults* faults = VnetFaultControls();
    if (Older()) {
        faults->hideOpenVxDHandle = true;
        EXPECT_EQ(NiSetArrivalEvent(handle, Event()), NiNoResource);
        faults->hideOpenVxDHandle = false;
        faults->openVxDHandleFails = true;
        EXPECT_EQ(NiSetArrivalEvent(handle, Event()), NiNoResource);
        faults->openVxDHandleFails = false;
        EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);

        // A refused set-event request leaves the attachment as it was.
        faults->refuseControl[NiCtlSetEvent] = true;
        EXPECT_EQ(NiSetArrivalEvent(handle, Event()), NiDriverFailed);
        EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);
        faults->refuseControl[NiCtlSetEvent] = false;
        ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
        uintptr_t link = InterfaceTable[handle].arrivalLink;
        ASSERT_NE(link, 0u);
        faults->refuseControl[NiCtlSetEvent] = true;
        EXPECT_EQ(NiSetArrivalEvent(handle, nullptr), NiDriverFailed);
        EXPECT_EQ(InterfaceTable[handle].arrivalLink, link);
        faults->refuseControl[NiCtlSetEvent] = false;
    } else {
        faults->failSecondOpen = true;
        EXPECT_EQ(NiSetArrivalEvent(handle, Event()), NiNoResource);
        faults->failSecondOpen = false;
        EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);
        // Reads go on without an arrival handle to re-arm.
        Inject(iface, 0x18, 1, 8);
        uint8_t buffer[VnetMessageSize];
        EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
        EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);
        EXPECT_FALSE(PlatWaitEvent(event, 50));
    }
}

TEST_P(NiAccess, CloseDetachesTheArrivalEvent) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    ASSERT_EQ(NiClose(handle), NiOk);
    Inject(iface, 0x18, 1, 8);
    EXPECT_FALSE(PlatWaitEvent(event, 100));
    if (Older()) {
        size_t n = VnetControlCount();
        ASSERT_GE(n, 2u);
        EXPECT_EQ(VnetControlCode(n - 2), NiCtlSetEvent);
        EXPECT_EQ(VnetControlCode(n - 1), NiCtlClose);
    }
}

TEST_P(NiAccess, ReadAndWriteMayRunAtOnceOnOneHandle) {
    int iface = VnetAddInterface("NIC1", 0);
    NiHandle handle = Open("NIC1");
    ASSERT_EQ(NiSetArrivalEvent(handle, Event()), NiOk);
    const int rounds = 200;
    std::atomic<int> received{0};
    TestThread reader([&] {
        uint8_t buffer[VnetMessageSize];
        while (received.load() < rounds) {
            if (NiRead(handle, buffer, sizeof buffer) == NiOk)
                received++;
            else
                PlatWaitEvent(event, 20);
        }
    });
    int written = 0;
    uint8_t message[4] = {0x70, 2, 1, 2};
    for (int i = 0; i < rounds; i++) {
        uint8_t incoming[6] = {0x18, 4, uint8_t(i), 0, 0, 0};
        while (!VnetInjectMessage(iface, incoming, sizeof incoming))
            PlatSleep(1);
        if (NiWrite(handle, message, sizeof message) == NiOk)
            written++;
    }
    reader.Join();
    EXPECT_EQ(received.load(), rounds);
    EXPECT_EQ(written, rounds);
}

} // namespace
