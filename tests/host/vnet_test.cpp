// Tests of the virtual network and the in-memory registry through the seams.
#include "test_thread.h"
#include "platform/device.h"
#include "platform/registry.h"
#include "platform/sync.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

typedef std::vector<uint8_t> Bytes;

const uint8_t nodeA[6] = {0x05, 0x01, 0x8A, 0x3C, 0x1F, 0x00};
const uint8_t nodeB[6] = {0x04, 0xB7, 0x21, 0x6E, 0x0D, 0x00};
const uint8_t unknownId[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const uint8_t programA[8] = {0x9F, 0xFF, 0xFF, 0x05, 0x00, 0x01, 0x04, 0x01};
const uint8_t programB[8] = {0x80, 0x00, 0x0C, 0x50, 0x3C, 0x03, 0x04, 0x10};

// The four templates, completed as the program completes them.
void Put(Bytes& m, size_t at, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        m[at + i] = bytes[i];
}

Bytes ReadRequest(const uint8_t id[6], uint8_t timer = 12) {
    Bytes m = {0x12, 0x13, 0x60, 0x08, 0x05, 0x02, 0x00, 0x02, timer, 0x00, 0,
               0,    0,    0,    0,    0,    0x6D, 0x02, 0x00, 0x02,  0x06};
    Put(m, 10, id, 6);
    return m;
}

Bytes WriteRequest(const uint8_t id[6], const char* text, uint8_t timer = 12) {
    Bytes m = {0x12, 0x1A, 0x60, 0x08, 0x0C, 0x02, 0x00, 0x02, timer, 0x00, 0, 0, 0, 0,
               0,    0,    0x6E, 0x02, 0x00, 0x02, 0x06, 0x01, 0,     0,    0, 0, 0, 0};
    Put(m, 10, id, 6);
    for (size_t i = 0; i < 6 && i < std::strlen(text); ++i)
        m[22 + i] = static_cast<uint8_t>(text[i]);
    return m;
}

Bytes UpdateDomain() {
    Bytes m(33, 0x00);
    const uint8_t head[] = {0x24, 0x1F, 0x60, 0x00, 0x11};
    const uint8_t data[] = {0x63, 0,    0,    0,    0,    0,    0,    0,   0x01,
                            0xFE, 0x00, 0x5A, 0xC3, 0x17, 0xE8, 0x2B, 0x94};
    Put(m, 0, head, sizeof head);
    Put(m, 16, data, sizeof data);
    return m;
}

Bytes SetNodeMode() {
    Bytes m(19, 0x00);
    const uint8_t head[] = {0x24, 0x11, 0x60, 0x00, 0x03};
    const uint8_t data[] = {0x6C, 0x03, 0x04};
    Put(m, 0, head, sizeof head);
    Put(m, 16, data, sizeof data);
    return m;
}

// A fresh network: one interface "VNI1" and two nodes.
class VnetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VnetReset();
        VnetSetArrivalHook(nullptr);
        ASSERT_EQ(0, VnetAddInterface("VNI1", 0));
        ASSERT_EQ(0, VnetAddNode(nodeA, programA, "HALL 1"));
        ASSERT_EQ(1, VnetAddNode(nodeB, programB, "AB"));
    }
    void TearDown() override {
        VnetSetArrivalHook(nullptr);
        VnetReset();
    }

    PlatHandle Open(bool overlapped = false) {
        PlatHandle h = PlatOpenDevice("\\\\.\\VNI1", overlapped);
        EXPECT_NE(PlatInvalidHandle(), h);
        return h;
    }

    static bool Write(PlatHandle h, const Bytes& m) {
        uint32_t count = 0;
        bool ok = PlatWriteDevice(h, m.data(), uint32_t(m.size()), &count);
        return ok && count == m.size();
    }

    // The next waiting message, or an empty one.
    static Bytes Read(PlatHandle h) {
        uint8_t buffer[VnetMessageSize] = {};
        uint32_t count = 0;
        EXPECT_TRUE(PlatReadDevice(h, buffer, sizeof buffer, &count));
        return Bytes(buffer, buffer + count);
    }

    // Asks the node for its location and returns the answer.
    Bytes Transact(PlatHandle h, const Bytes& request) {
        EXPECT_TRUE(Write(h, request));
        return Read(h);
    }

    static Bytes Inject(int iface, Bytes m) {
        EXPECT_TRUE(VnetInjectMessage(iface, m.data(), m.size()));
        return m;
    }
};

Bytes Sample(uint8_t tag) {
    return {0x18, 0x0F, 0x60, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, tag};
}

// ---- Opening, handles and transfers (NT family) ----

TEST_F(VnetTest, OpensOnlyAddedDevicePathsAndHonoursOpenFaults) {
    EXPECT_EQ(PlatPlatformNt, PlatGetPlatformId());
    PlatHandle first = PlatOpenDevice("\\\\.\\vni1", false);
    EXPECT_NE(PlatInvalidHandle(), first);
    PlatHandle second = PlatOpenDevice("\\\\.\\VnI1", true);
    EXPECT_NE(PlatInvalidHandle(), second);
    EXPECT_NE(first, second);
    EXPECT_EQ(PlatInvalidHandle(), PlatOpenDevice("VNI1", false));
    EXPECT_EQ(PlatInvalidHandle(), PlatOpenDevice("\\\\.\\VNI2", false));
    EXPECT_EQ(PlatInvalidHandle(), PlatOpenDevice("\\\\.\\VNI1.0", false));

    VnetFaultControls()->failSecondOpen = true;
    EXPECT_EQ(PlatInvalidHandle(), PlatOpenDevice("\\\\.\\VNI1", true));
    PlatCloseDevice(first);
    PlatCloseDevice(second);
    PlatHandle again = PlatOpenDevice("\\\\.\\VNI1", false);
    EXPECT_NE(PlatInvalidHandle(), again);
    EXPECT_EQ(PlatInvalidHandle(), PlatOpenDevice("\\\\.\\VNI1", true));
    PlatCloseDevice(again);

    VnetFaultControls()->failSecondOpen = false;
    VnetFaultControls()->failOpen = true;
    EXPECT_EQ(PlatInvalidHandle(), PlatOpenDevice("\\\\.\\VNI1", false));
}

TEST_F(VnetTest, ClosedAndResetHandlesFailEveryCall) {
    PlatHandle closed = Open();
    PlatCloseDevice(closed);
    PlatHandle live = Open(); // may reuse the record of the closed one
    Inject(0, Sample(1));
    uint8_t buffer[VnetMessageSize];
    uint32_t count = 99;
    EXPECT_FALSE(PlatReadDevice(closed, buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    Bytes m = Sample(2);
    EXPECT_FALSE(PlatWriteDevice(closed, m.data(), uint32_t(m.size()), &count));
    EXPECT_FALSE(PlatControlDevice(closed, 1, nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(1u, VnetPendingCount(0)); // the stale read took nothing
    EXPECT_EQ(0u, VnetWrittenCount());

    VnetReset();
    VnetAddInterface("VNI1", 0);
    Inject(0, Sample(3));
    EXPECT_FALSE(PlatReadDevice(live, buffer, sizeof buffer, &count));
    EXPECT_FALSE(PlatWriteDevice(live, m.data(), uint32_t(m.size()), &count));
    EXPECT_FALSE(PlatReadDevice(PlatInvalidHandle(), buffer, sizeof buffer, &count));
    EXPECT_FALSE(PlatReadDevice(nullptr, buffer, sizeof buffer, &count));
    EXPECT_EQ(1u, VnetPendingCount(0));
}

TEST_F(VnetTest, ReadDeliversOneWholeMessageOrCompletesEmpty) {
    PlatHandle h = Open();
    PlatHandle other = Open();
    EXPECT_TRUE(Read(h).empty());

    Bytes big(VnetMessageSize, 0x55);
    big[0] = 0x18;
    big[1] = 64;
    Inject(0, Sample(7));
    Inject(0, big);
    Bytes extra = Sample(8);
    extra.resize(extra.size() + 5, 0xEE); // past byte 1 + 2: not part of the message
    ASSERT_TRUE(VnetInjectMessage(0, extra.data(), extra.size()));
    EXPECT_EQ(3u, VnetPendingCount(0));

    EXPECT_EQ(Sample(7), Read(h));
    EXPECT_EQ(big, Read(other)); // one queue per interface, shared by its handles
    EXPECT_EQ(Sample(8), Read(h));
    EXPECT_TRUE(Read(h).empty());

    // A read shorter than the message gets only what fits.
    Inject(0, Sample(9));
    uint8_t small[4] = {};
    uint32_t count = 0;
    EXPECT_TRUE(PlatReadDevice(h, small, sizeof small, &count));
    EXPECT_EQ(4u, count);
    EXPECT_EQ(0x18, small[0]);
}

TEST_F(VnetTest, WritesAreLoggedAndCountedUnlessFaulted) {
    PlatHandle h = Open();
    Bytes m = SetNodeMode();
    uint32_t before = PlatTickCount();
    uint32_t count = 0;
    EXPECT_TRUE(PlatWriteDevice(h, m.data(), uint32_t(m.size()), &count));
    EXPECT_EQ(m.size(), count);
    ASSERT_EQ(1u, VnetWrittenCount());
    VnetLogEntry entry;
    ASSERT_TRUE(VnetWritten(0, &entry));
    EXPECT_EQ(0, entry.iface);
    EXPECT_EQ(m, Bytes(entry.bytes, entry.bytes + entry.length));
    EXPECT_LE(uint32_t(entry.tick - before), 1000u);
    EXPECT_FALSE(VnetWritten(1, &entry));

    VnetFaultControls()->zeroByteWrites = true;
    count = 99;
    EXPECT_TRUE(PlatWriteDevice(h, m.data(), uint32_t(m.size()), &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(2u, VnetWrittenCount());

    VnetFaultControls()->zeroByteWrites = false;
    VnetFaultControls()->failWrites = true;
    EXPECT_FALSE(PlatWriteDevice(h, m.data(), uint32_t(m.size()), &count));
    EXPECT_EQ(2u, VnetWrittenCount());

    // No message is longer than 66 bytes, and none is empty.
    VnetFaultControls()->failWrites = false;
    Bytes tooLong(VnetMessageSize + 1, 0x12);
    EXPECT_FALSE(PlatWriteDevice(h, tooLong.data(), uint32_t(tooLong.size()), &count));
    EXPECT_FALSE(PlatWriteDevice(h, m.data(), 0, &count));

    VnetClearLog();
    EXPECT_EQ(0u, VnetWrittenCount());
}

// ---- The arrival read (NT family) ----

TEST_F(VnetTest, ArrivalReadCompletesOncePerArmWhenAMessageWaits) {
    PlatHandle h = Open();
    PlatHandle arrival = Open(true);
    PlatEvent event = PlatCreateEvent(nullptr);
    PlatOverlapped ov = {};
    ov.event = event;
    uint32_t byteCount = 77;

    PlatStartArrivalRead(arrival, &ov, &byteCount);
    EXPECT_FALSE(PlatWaitEvent(event, 30)); // nothing waits: stays pending
    Inject(0, Sample(1));
    EXPECT_TRUE(PlatWaitEvent(event, 1000));
    EXPECT_EQ(0u, byteCount);
    Inject(0, Sample(2));
    EXPECT_FALSE(PlatWaitEvent(event, 30)); // the arm was used up

    // Messages still waiting: a new arm completes at once.
    PlatStartArrivalRead(arrival, &ov, &byteCount);
    EXPECT_TRUE(PlatWaitEvent(event, 0));
    Read(h);
    Read(h);
    PlatStartArrivalRead(arrival, &ov, &byteCount);
    EXPECT_FALSE(PlatWaitEvent(event, 30));

    // Closing the arrival handle drops its pending arm.
    PlatCloseDevice(arrival);
    Inject(0, Sample(3));
    EXPECT_FALSE(PlatWaitEvent(event, 30));

    // Only a handle opened overlapped can be armed.
    PlatStartArrivalRead(h, &ov, &byteCount);
    EXPECT_FALSE(PlatWaitEvent(event, 30));
    PlatCloseDevice(h);
    PlatCloseEvent(event);
}

// ---- The older platform family ----

class OlderFamilyTest : public VnetTest {
  protected:
    void SetUp() override {
        VnetTest::SetUp();
        ASSERT_EQ(1, VnetAddInterface("NIC1", 2));
        VnetFaultControls()->olderFamily = true;
    }
    static uint32_t Code(uint32_t function) { return (2u << 16) | function; }

    // The ring-0 handle of an event, found the way the access layer finds it.
    static uint32_t Ring0(PlatEvent event) {
        char directory[260];
        uint32_t length = PlatGetSystemDirectory(directory, sizeof directory);
        EXPECT_GT(length, 0u);
        std::string path = std::string(directory, length) + "\\kernel32.dll";
        PlatLibrary library = PlatLoadLibrary(path.c_str());
        PlatProc proc = library ? PlatGetProcAddress(library, "OpenVxDHandle") : nullptr;
        return proc ? PlatCallOpenVxDHandle(proc, event) : 0;
    }
};

TEST_F(OlderFamilyTest, ControlCodesCarryTheDeviceIndexAndCanBeRefused) {
    EXPECT_NE(PlatPlatformNt, PlatGetPlatformId());
    PlatHandle h = PlatOpenDevice("\\\\.\\NIC1", false);
    ASSERT_NE(PlatInvalidHandle(), h);
    EXPECT_TRUE(PlatControlDevice(h, Code(1), nullptr, 0, nullptr, 0, nullptr));
    EXPECT_FALSE(PlatControlDevice(h, 1, nullptr, 0, nullptr, 0, nullptr)); // index 0, not 2
    EXPECT_FALSE(PlatControlDevice(h, Code(3), nullptr, 0, nullptr, 0, nullptr));
    VnetFaultControls()->refuseControl[2] = true;
    EXPECT_FALSE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, nullptr));
    VnetFaultControls()->refuseControl[2] = false;
    EXPECT_TRUE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, nullptr));

    // Every code is logged, refused or not, in order.
    uint32_t expected[] = {Code(1), 1, Code(3), Code(2), Code(2)};
    ASSERT_EQ(5u, VnetControlCount());
    for (size_t i = 0; i < 5; ++i)
        EXPECT_EQ(expected[i], VnetControlCode(i)) << i;
    PlatCloseDevice(h);
}

TEST_F(OlderFamilyTest, ReadAndWriteRequestsUseTheCallersBuffer) {
    PlatHandle h = PlatOpenDevice("\\\\.\\nic1", false);
    uint8_t buffer[VnetMessageSize];
    std::memset(buffer, 0xAB, sizeof buffer);
    uint32_t count = 99;
    EXPECT_TRUE(
        PlatControlDevice(h, Code(10), buffer, sizeof buffer, buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(0xAB, buffer[0]); // untouched when nothing waits

    Inject(1, Sample(4));
    Inject(1, Sample(5));
    EXPECT_TRUE(
        PlatControlDevice(h, Code(10), buffer, sizeof buffer, buffer, sizeof buffer, &count));
    EXPECT_EQ(Sample(4).size(), count);
    EXPECT_EQ(Sample(4), Bytes(buffer, buffer + count));
    VnetFaultControls()->zeroCountReads = true;
    EXPECT_TRUE(
        PlatControlDevice(h, Code(10), buffer, sizeof buffer, buffer, sizeof buffer, &count));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(5, buffer[16]); // the message was copied all the same
    VnetFaultControls()->refuseControl[10] = true;
    Inject(1, Sample(6));
    EXPECT_FALSE(
        PlatControlDevice(h, Code(10), buffer, sizeof buffer, buffer, sizeof buffer, &count));
    EXPECT_EQ(1u, VnetPendingCount(1));

    Bytes m = UpdateDomain();
    EXPECT_TRUE(PlatControlDevice(h, Code(11), m.data(), uint32_t(m.size()), m.data(),
                                  uint32_t(m.size()), &count));
    EXPECT_EQ(m.size(), count);
    ASSERT_EQ(1u, VnetWrittenCount());
    VnetLogEntry entry;
    VnetWritten(0, &entry);
    EXPECT_EQ(1, entry.iface);
    EXPECT_EQ(2u, VnetPendingCount(1)); // the Update Domain answer joined the queue
    VnetFaultControls()->zeroByteWrites = true;
    EXPECT_TRUE(PlatControlDevice(h, Code(11), m.data(), uint32_t(m.size()), m.data(),
                                  uint32_t(m.size()), &count));
    EXPECT_EQ(0u, count);
    VnetFaultControls()->failWrites = true;
    EXPECT_FALSE(PlatControlDevice(h, Code(11), m.data(), uint32_t(m.size()), m.data(),
                                   uint32_t(m.size()), &count));
    EXPECT_EQ(2u, VnetWrittenCount());
    PlatCloseDevice(h);
}

TEST_F(OlderFamilyTest, Ring0EventIsSignalledOnEveryArrivalUntilDetached) {
    PlatHandle h = PlatOpenDevice("\\\\.\\NIC1", false);
    PlatEvent event = PlatCreateEvent(nullptr);
    uint32_t ring0 = Ring0(event);
    ASSERT_NE(0u, ring0);
    EXPECT_EQ(ring0, Ring0(event)) << "one ring-0 handle per event";
    PlatEvent other = PlatCreateEvent(nullptr);
    EXPECT_NE(ring0, Ring0(other));
    uint32_t count = 0;
    EXPECT_TRUE(PlatControlDevice(h, Code(7), &ring0, 4, nullptr, 0, &count));
    EXPECT_FALSE(PlatWaitEvent(event, 20));
    Inject(1, Sample(1));
    EXPECT_TRUE(PlatWaitEvent(event, 1000));
    Inject(1, Sample(2));
    EXPECT_TRUE(PlatWaitEvent(event, 1000));
    Inject(0, Sample(3)); // another interface
    EXPECT_FALSE(PlatWaitEvent(event, 20));

    uint32_t bogus = ring0 + 1000;
    EXPECT_FALSE(PlatControlDevice(h, Code(7), &bogus, 4, nullptr, 0, &count));
    uint32_t none = 0;
    EXPECT_TRUE(PlatControlDevice(h, Code(7), &none, 4, nullptr, 0, &count));
    Inject(1, Sample(4));
    EXPECT_FALSE(PlatWaitEvent(event, 20));

    // Close request detaches too.
    EXPECT_TRUE(PlatControlDevice(h, Code(7), &ring0, 4, nullptr, 0, &count));
    EXPECT_TRUE(PlatWaitEvent(event, 1000)); // messages were already waiting
    EXPECT_TRUE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, nullptr));
    Inject(1, Sample(5));
    EXPECT_FALSE(PlatWaitEvent(event, 20));
    PlatCloseDevice(h);
    PlatCloseEvent(other);
    PlatCloseEvent(event);
}

TEST_F(OlderFamilyTest, OpenVxDHandleIsFoundOnlyInKernel32) {
    char directory[260];
    EXPECT_EQ(19u, PlatGetSystemDirectory(directory, sizeof directory));
    EXPECT_STREQ("C:\\windows\\system32", directory);
    EXPECT_EQ(20u, PlatGetSystemDirectory(directory, 5)); // too small: the size needed
    EXPECT_EQ(nullptr, PlatLoadLibrary("C:\\windows\\system32\\user32.dll"));
    EXPECT_EQ(nullptr, PlatLoadLibrary("kernel32.dll.bak"));
    PlatLibrary kernel = PlatLoadLibrary("C:\\WINDOWS\\SYSTEM32\\KERNEL32.DLL");
    ASSERT_NE(nullptr, kernel);
    EXPECT_EQ(nullptr, PlatGetProcAddress(kernel, "OpenVxDHandleX"));
    PlatProc proc = PlatGetProcAddress(kernel, "OpenVxDHandle");
    ASSERT_NE(nullptr, proc);

    PlatEvent event = PlatCreateEvent(nullptr);
    uint32_t a = PlatCallOpenVxDHandle(proc, event);
    uint32_t b = PlatCallOpenVxDHandle(proc, event);
    EXPECT_NE(0u, a);
    EXPECT_NE(0u, b);
    VnetFaultControls()->openVxDHandleFails = true;
    EXPECT_EQ(0u, PlatCallOpenVxDHandle(proc, event));
    VnetFaultControls()->hideOpenVxDHandle = true;
    EXPECT_EQ(nullptr, PlatGetProcAddress(kernel, "OpenVxDHandle"));
    PlatCloseEvent(event);
}

// ---- The interface's local commands ----

TEST_F(VnetTest, InterfaceAnswersUpdateDomainAndOptionallySetNodeMode) {
    PlatHandle h = Open();
    Bytes answer = Transact(h, UpdateDomain());
    ASSERT_GE(answer.size(), 17u);
    EXPECT_EQ(0x16, answer[0]);
    EXPECT_GE(answer[1], 14);
    EXPECT_EQ(answer.size(), size_t(answer[1]) + 2);
    EXPECT_EQ(0x23, answer[16]);
    EXPECT_EQ(0x10, answer[3] & 0x30);

    VnetFaultControls()->updateDomainFails = true;
    answer = Transact(h, UpdateDomain());
    ASSERT_GE(answer.size(), 17u);
    EXPECT_EQ(0x03, answer[16]);

    EXPECT_TRUE(Transact(h, SetNodeMode()).empty());
    VnetFaultControls()->answerSetNodeMode = true;
    answer = Transact(h, SetNodeMode());
    ASSERT_GE(answer.size(), 17u);
    EXPECT_EQ(0x2C, answer[16]);

    VnetFaultControls()->dropResponses = true;
    EXPECT_TRUE(Transact(h, UpdateDomain()).empty());
    EXPECT_TRUE(Transact(h, ReadRequest(nodeA)).empty());
    EXPECT_TRUE(Transact(h, ReadRequest(unknownId)).empty());
    EXPECT_EQ(7u, VnetWrittenCount()); // logged all the same
    PlatCloseDevice(h);
}

// ---- Nodes ----

TEST_F(VnetTest, NodesReadAndWriteTheirLocationString) {
    PlatHandle h = Open();
    Bytes answer = Transact(h, ReadRequest(nodeA));
    ASSERT_EQ(23u, answer.size());
    EXPECT_EQ(0x16, answer[0]);
    EXPECT_EQ(21, answer[1]);
    EXPECT_EQ(0x10, answer[3] & 0x30);
    EXPECT_EQ(7, answer[4]);
    EXPECT_EQ(0x2D, answer[16]);
    EXPECT_EQ("HALL 1", std::string(answer.begin() + 17, answer.end()));

    answer = Transact(h, ReadRequest(nodeB));
    ASSERT_EQ(23u, answer.size());
    EXPECT_EQ(Bytes({'A', 'B', 0, 0, 0, 0}), Bytes(answer.begin() + 17, answer.end()));

    answer = Transact(h, WriteRequest(nodeB, "ROOM9"));
    ASSERT_EQ(17u, answer.size());
    EXPECT_EQ(0x2E, answer[16]);
    EXPECT_EQ(0x10, answer[3] & 0x30);
    uint8_t location[6];
    VnetNodeLocation(1, location);
    EXPECT_EQ(Bytes({'R', 'O', 'O', 'M', '9', 0}), Bytes(location, location + 6));
    VnetNodeLocation(0, location);
    EXPECT_EQ(0, std::memcmp(location, "HALL 1", 6)); // the other node is untouched

    const uint8_t set[6] = {'X', 'Y', 'Z', 0x7F, 0x20, 'Q'};
    VnetSetNodeLocation(0, set);
    answer = Transact(h, ReadRequest(nodeA));
    ASSERT_EQ(23u, answer.size());
    EXPECT_EQ(Bytes(set, set + 6), Bytes(answer.begin() + 17, answer.end()));
    PlatCloseDevice(h);
}

TEST_F(VnetTest, NodesAnswerFailureCodesAndLeaveMemoryAlone) {
    PlatHandle h = Open();
    VnetFaultControls()->readMemoryFailureCode = true;
    Bytes answer = Transact(h, ReadRequest(nodeA));
    ASSERT_GE(answer.size(), 17u);
    EXPECT_EQ(0x0D, answer[16]);
    EXPECT_NE(0x20, answer[3] & 0x30); // answered, not a failed transaction

    VnetFaultControls()->writeMemoryFailureCode = true;
    answer = Transact(h, WriteRequest(nodeA, "NEW"));
    ASSERT_GE(answer.size(), 17u);
    EXPECT_EQ(0x0E, answer[16]);
    uint8_t location[6];
    VnetNodeLocation(0, location);
    EXPECT_EQ(0, std::memcmp(location, "HALL 1", 6));

    // Requests outside the configuration structure, or not relative to it.
    VnetFaultControls()->readMemoryFailureCode = false;
    VnetFaultControls()->writeMemoryFailureCode = false;
    Bytes beyond = WriteRequest(nodeA, "NEW");
    beyond[19] = 30; // offset 30, 6 bytes: past the 32-byte structure
    EXPECT_EQ(0x0E, Transact(h, beyond).at(16));
    Bytes absolute = ReadRequest(nodeA);
    absolute[17] = 0x00;
    EXPECT_EQ(0x0D, Transact(h, absolute).at(16));
    // A write whose data bytes were not all sent.
    Bytes cut = WriteRequest(nodeA, "NEW");
    cut.resize(cut.size() - 2);
    EXPECT_EQ(0x0E, Transact(h, cut).at(16));
    VnetNodeLocation(0, location);
    EXPECT_EQ(0, std::memcmp(location, "HALL 1", 6));
    PlatCloseDevice(h);
}

TEST_F(VnetTest, UnknownIdEndsInFailedTransactionAfterRetries) {
    PlatHandle h = Open();
    Bytes answer = Transact(h, ReadRequest(unknownId));
    ASSERT_GE(answer.size(), 4u);
    EXPECT_EQ(0x16, answer[0]);
    EXPECT_EQ(0x20, answer[3] & 0x30);

    // Timer index 3 is 16 << 1 + 8 << 1 = 48 ms: four tries take 192 ms.
    VnetFaultControls()->realisticRetries = true;
    ASSERT_TRUE(Write(h, WriteRequest(unknownId, "X", 3)));
    uint32_t sent = PlatTickCount();
    EXPECT_TRUE(Read(h).empty());
    PlatSleep(100);
    EXPECT_EQ(0u, VnetPendingCount(0));
    while (VnetPendingCount(0) == 0 && PlatTickCount() - sent < 3000)
        PlatSleep(5);
    uint32_t elapsed = PlatTickCount() - sent;
    answer = Read(h);
    ASSERT_GE(answer.size(), 4u);
    EXPECT_EQ(0x20, answer[3] & 0x30);
    EXPECT_GE(elapsed, 180u);
    EXPECT_LT(elapsed, 3000u);
    // A known node still answers at once.
    EXPECT_EQ(0x2D, Transact(h, ReadRequest(nodeA)).at(16));
    PlatCloseDevice(h);
}

// ---- Service pin, injection and the delivered log ----

TEST_F(VnetTest, ServicePinReachesEveryOpenInterface) {
    ASSERT_EQ(1, VnetAddInterface("VNI2", 0));
    VnetPressServicePin(1);
    EXPECT_EQ(0u, VnetPendingCount(0)); // nobody has the interface open

    PlatHandle one = Open();
    PlatHandle two = PlatOpenDevice("\\\\.\\VNI2", false);
    VnetPressServicePin(1);
    VnetPressServicePin(7); // no such node
    EXPECT_EQ(1u, VnetPendingCount(0));
    EXPECT_EQ(1u, VnetPendingCount(1));
    Bytes pin = Read(one);
    ASSERT_EQ(31u, pin.size());
    EXPECT_EQ(0x18, pin[0]);
    EXPECT_EQ(29, pin[1]);
    EXPECT_EQ(15, pin[4]);
    EXPECT_EQ(0x7F, pin[16]);
    EXPECT_EQ(Bytes(nodeB, nodeB + 6), Bytes(pin.begin() + 17, pin.begin() + 23));
    EXPECT_EQ(Bytes(programB, programB + 8), Bytes(pin.begin() + 23, pin.end()));
    EXPECT_EQ(pin, Read(two));

    ASSERT_EQ(2u, VnetDeliveredCount());
    VnetLogEntry entry;
    ASSERT_TRUE(VnetDelivered(1, &entry));
    EXPECT_EQ(1, entry.iface);
    EXPECT_EQ(pin, Bytes(entry.bytes, entry.bytes + entry.length));
    PlatCloseDevice(one);
    PlatCloseDevice(two);
}

TEST_F(VnetTest, FullQueueDropsInjectedMessages) {
    Bytes m = Sample(1);
    int accepted = 0;
    while (accepted < 5000 && VnetInjectMessage(0, m.data(), m.size()))
        ++accepted;
    EXPECT_GE(accepted, 1024);
    EXPECT_LT(accepted, 5000);
    EXPECT_EQ(size_t(accepted), VnetPendingCount(0));
    EXPECT_FALSE(VnetInjectMessage(3, m.data(), m.size())); // no such interface
    PlatHandle h = Open();
    Read(h);
    EXPECT_TRUE(VnetInjectMessage(0, m.data(), m.size()));
    PlatCloseDevice(h);
}

// ---- Delayed answers ----

TEST_F(VnetTest, DelayedAnswersArriveLaterAndSignalTheArrivalRead) {
    VnetFaultControls()->responseDelayMs = 80;
    PlatHandle h = Open();
    PlatHandle arrival = Open(true);
    PlatEvent event = PlatCreateEvent(nullptr);
    PlatOverlapped ov = {};
    ov.event = event;
    uint32_t byteCount = 0;
    PlatStartArrivalRead(arrival, &ov, &byteCount);

    ASSERT_TRUE(Write(h, ReadRequest(nodeA)));
    ASSERT_TRUE(Write(h, UpdateDomain()));
    EXPECT_TRUE(Read(h).empty());
    EXPECT_TRUE(PlatWaitEvent(event, 3000));
    Bytes first = Read(h);
    ASSERT_GE(first.size(), 17u);
    EXPECT_EQ(0x2D, first[16]); // answers keep their order
    Bytes second = Read(h);
    if (second.empty()) { // the second may be due a tick later
        PlatSleep(50);
        second = Read(h);
    }
    ASSERT_GE(second.size(), 17u);
    EXPECT_EQ(0x23, second[16]);

    // A reset drops answers still on their way and stops the timer.
    ASSERT_TRUE(Write(h, ReadRequest(nodeA)));
    VnetReset();
    VnetAddInterface("VNI1", 0);
    PlatSleep(150);
    EXPECT_EQ(0u, VnetPendingCount(0));
    EXPECT_EQ(0u, VnetDeliveredCount());
    PlatCloseEvent(event);
}

// ---- Without the device seam ----

std::atomic<int> hookCalls{0};
std::vector<Bytes>* hookTaken = nullptr;

void TakeInHook(int iface) {
    uint8_t buffer[VnetMessageSize];
    size_t length = 0;
    // Calling back into the network from the hook must not deadlock.
    while (VnetTake(iface, buffer, &length))
        hookTaken->push_back(Bytes(buffer, buffer + length));
    ++hookCalls; // last: the test reads hookTaken once it sees the count
}

TEST_F(VnetTest, SubmitAndTakeServeANetworkProcess) {
    std::vector<Bytes> taken;
    hookTaken = &taken;
    hookCalls = 0;
    VnetSetArrivalHook(TakeInHook);
    Bytes request = ReadRequest(nodeA);
    VnetSubmit(0, request.data(), request.size());
    ASSERT_EQ(1u, VnetWrittenCount());
    EXPECT_EQ(1, hookCalls.load());
    ASSERT_EQ(1u, taken.size());
    EXPECT_EQ(0x2D, taken[0].at(16));

    VnetFaultControls()->responseDelayMs = 30;
    VnetSubmit(0, request.data(), request.size());
    for (int i = 0; i < 200 && hookCalls.load() < 2; ++i)
        PlatSleep(10);
    VnetSetArrivalHook(nullptr);
    EXPECT_EQ(2, hookCalls.load());
    EXPECT_EQ(2u, taken.size());

    uint8_t buffer[VnetMessageSize];
    size_t length = 0;
    EXPECT_FALSE(VnetTake(0, buffer, &length));
    EXPECT_FALSE(VnetTake(5, buffer, &length));
}

// The program's two threads at once: a reader polling and re-arming while the
// other thread writes requests (meant for ThreadSanitizer).
TEST_F(VnetTest, ReaderAndWriterThreadsShareAnInterface) {
    VnetFaultControls()->responseDelayMs = 1;
    PlatHandle h = Open();
    PlatHandle arrival = Open(true);
    PlatEvent event = PlatCreateEvent(nullptr);
    std::atomic<bool> stop{false};
    std::atomic<int> received{0};
    TestThread reader([&] {
        PlatOverlapped ov = {};
        ov.event = event;
        uint32_t byteCount = 0;
        PlatStartArrivalRead(arrival, &ov, &byteCount);
        uint8_t buffer[VnetMessageSize];
        while (!stop) {
            PlatWaitEvent(event, 20);
            uint32_t count = 0;
            while (PlatReadDevice(h, buffer, sizeof buffer, &count) && count > 0) {
                ++received;
                PlatStartArrivalRead(arrival, &ov, &byteCount);
            }
        }
    });
    const int requests = 200;
    for (int i = 0; i < requests; ++i) {
        ASSERT_TRUE(Write(h, i % 2 ? ReadRequest(nodeA) : WriteRequest(nodeB, "T")));
        if (i % 50 == 0)
            VnetPressServicePin(0);
    }
    for (int i = 0; i < 300 && received.load() < requests + 4; ++i)
        PlatSleep(10);
    stop = true;
    reader.Join();
    EXPECT_EQ(requests + 4, received.load());
    PlatCloseDevice(arrival);
    PlatCloseDevice(h);
    PlatCloseEvent(event);
}

// ---- The demo network ----

TEST(VnetDemo, InstallsARegisteredInterfaceWithNodes) {
    VregClear();
    VnetInstallDemo();
    PlatKey key = nullptr;
    ASSERT_EQ(PlatRegOk, PlatRegOpenKey(PlatLocalMachine(),
                                        "Software\\Quorvane\\DeviceDrivers\\Virtual network",
                                        PlatKeyReadWrite, &key));
    char name[40] = {};
    uint32_t size = sizeof name;
    EXPECT_EQ(PlatRegOk, PlatRegQueryValue(key, "device name", nullptr, name, &size));
    EXPECT_STREQ("VNI1", name);
    PlatRegCloseKey(key);

    ASSERT_GE(VnetNodeCount(), 4);
    for (int i = 0; i < VnetNodeCount(); ++i) {
        uint8_t id[6], other[6], location[6];
        VnetNodeId(i, id);
        VnetNodeLocation(i, location);
        EXPECT_NE(0, location[0]) << i;
        for (int j = 0; j < i; ++j) {
            VnetNodeId(j, other);
            EXPECT_NE(0, std::memcmp(id, other, 6)) << i << " " << j;
        }
    }

    // Answers take time on the demo's channel.
    PlatHandle h = PlatOpenDevice("\\\\.\\VNI1", false);
    ASSERT_NE(PlatInvalidHandle(), h);
    uint8_t id[6];
    VnetNodeId(2, id);
    Bytes request = ReadRequest(id);
    uint32_t count = 0;
    ASSERT_TRUE(PlatWriteDevice(h, request.data(), uint32_t(request.size()), &count));
    EXPECT_EQ(0u, VnetPendingCount(0));
    for (int i = 0; i < 200 && VnetPendingCount(0) == 0; ++i)
        PlatSleep(10);
    EXPECT_EQ(1u, VnetPendingCount(0));
    PlatCloseDevice(h);
    VnetReset();
    VregClear();
}

// ---- The in-memory registry ----

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
