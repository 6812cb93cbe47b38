// Tests of the virtual network's network side: the interface's commands, the
// nodes, service pins and injected messages, delayed answers, a network
// process without the device seam, and the demo network.
#include "test_thread.h"
#include "vnet_support.h"
#include "platform/device.h"
#include "platform/sync.h"
#include "virtualnet/vnet.h"
#include <gtest/gtest.h>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

using namespace vnet_test;

namespace {

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

// A log past its size keeps the newest messages and still counts every one,
// so a reader that follows it by number never stalls. The demo's panel reads
// both directions as one list in the wire's order: each answer right after
// its request, though the clock stands still (both have one tick).
TEST_F(VnetTest, TrafficLogCountsEveryMessageAndKeepsTheNewest) {
    const size_t total = VnetLogSize + 3;
    for (size_t i = 0; i < total; ++i) {
        Bytes m = Sample(static_cast<uint8_t>(i));
        VnetSubmit(0, m.data(), m.size());
    }
    ASSERT_EQ(total, VnetWrittenCount());
    VnetLogEntry entry;
    EXPECT_FALSE(VnetWritten(2, &entry)); // dropped
    ASSERT_TRUE(VnetWritten(3, &entry));
    EXPECT_EQ(3, entry.bytes[16]);
    ASSERT_TRUE(VnetWritten(total - 1, &entry));
    EXPECT_EQ(static_cast<uint8_t>(total - 1), entry.bytes[16]);
    EXPECT_FALSE(VnetWritten(total, &entry));
    size_t next = 0;
    bool fromProgram = false;
    ASSERT_TRUE(VnetNextTraffic(&next, &entry, &fromProgram)); // the dropped passed over
    EXPECT_EQ(3, entry.bytes[16]);
    next = total;
    EXPECT_FALSE(VnetNextTraffic(&next, &entry, &fromProgram));
    VnetClearLog();
    EXPECT_EQ(0u, VnetWrittenCount());

    Bytes read = ReadRequest(nodeA), pin = Sample(0x7F), write = WriteRequest(nodeA, "Roof 7");
    VnetSubmit(0, read.data(), read.size());
    VnetInjectMessage(0, pin.data(), pin.size());
    VnetSubmit(0, write.data(), write.size());
    std::string order;
    while (VnetNextTraffic(&next, &entry, &fromProgram)) // from the first after the clear
        order += (fromProgram ? ">" : "<") + std::to_string(entry.order);
    EXPECT_EQ(">0<1<2>3<4", order);
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

// ---- The demo network ----

// A command loop (vnet.exe's) changes faults while the program's threads use
// the network (meant for ThreadSanitizer).
TEST_F(VnetTest, FaultsChangeUnderTheLockWhileTheNetworkWorks) {
    PlatHandle h = Open();
    std::atomic<bool> stop{false};
    TestThread changer([&] {
        for (unsigned i = 0; !stop; ++i) {
            VnetFaults faults = VnetGetFaults();
            faults.dropResponses = i % 2 != 0;
            VnetSetFaults(faults);
        }
    });
    for (int i = 0; i < 100; ++i) {
        ASSERT_TRUE(Write(h, ReadRequest(nodeA)));
        Read(h);
    }
    stop = true;
    changer.Join();

    VnetFaults faults = VnetGetFaults();
    faults.dropResponses = true;
    VnetSetFaults(faults);
    EXPECT_TRUE(Transact(h, ReadRequest(nodeA)).empty());
    faults.dropResponses = false;
    VnetSetFaults(faults);
    EXPECT_FALSE(VnetGetFaults().dropResponses);
    EXPECT_FALSE(Transact(h, ReadRequest(nodeA)).empty());
    PlatCloseDevice(h);
}

TEST(VnetDemo, InstallsAnInterfaceWithNodes) {
    VnetInstallDemo();
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
}

} // namespace
