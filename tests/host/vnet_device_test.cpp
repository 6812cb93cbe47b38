// Tests of the virtual network's device side: handles, transfers, the arrival
// read and the older family's control requests, through the device seam.
#include "test_thread.h"
#include "vnet_support.h"
#include "platform/device.h"
#include "platform/sync.h"
#include "virtualnet/vnet.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>

using namespace vnet_test;

namespace {

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
    EXPECT_FALSE(PlatControlDevice(closed, 1, nullptr, 0, nullptr, 0, &count));
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
    uint32_t count = 0;
    EXPECT_TRUE(PlatControlDevice(h, Code(1), nullptr, 0, nullptr, 0, &count));
    EXPECT_FALSE(PlatControlDevice(h, 1, nullptr, 0, nullptr, 0, &count)); // index 0, not 2
    EXPECT_FALSE(PlatControlDevice(h, Code(3), nullptr, 0, nullptr, 0, &count));
    VnetFaultControls()->refuseControl[2] = true;
    EXPECT_FALSE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, &count));
    VnetFaultControls()->refuseControl[2] = false;
    EXPECT_EQ(0u, VnetMisuseCount());
    // Without an OVERLAPPED record the system stores the byte count: a
    // request with no place for it faults there.
    EXPECT_FALSE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, nullptr));
    EXPECT_EQ(1u, VnetMisuseCount());
    EXPECT_TRUE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, &count));

    // Every code is logged, refused or not, in order.
    uint32_t expected[] = {Code(1), 1, Code(3), Code(2), Code(2), Code(2)};
    ASSERT_EQ(6u, VnetControlCount());
    for (size_t i = 0; i < 6; ++i)
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
    EXPECT_TRUE(PlatControlDevice(h, Code(2), nullptr, 0, nullptr, 0, &count));
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

} // namespace
