// The location change and the service-pin capture against the virtual
// network: what the operator sees and hears, and what goes on the wire.
#include "test_thread.h"
#include "messaging_support.h"
#include <thread>

using namespace messaging_test;

namespace {

using Out = std::pair<OutputKind, std::string>;

std::vector<uint8_t> ReadRequestFor(const uint8_t id[6]) {
    std::vector<uint8_t> m = {0x12, 0x13, 0x60, 0x08, 0x05, 0x02, 0x00, 0x02, 0x0C, 0x00};
    m.insert(m.end(), id, id + 6);
    m.insert(m.end(), {0x6D, 0x02, 0x00, 0x02, 0x06});
    return m;
}

std::vector<uint8_t> NodeLocation(int node) {
    uint8_t location[6];
    VnetNodeLocation(node, location);
    return Bytes(location, 6);
}

std::vector<uint8_t> ReadAnswer(const std::vector<uint8_t>& location) {
    return Crafted(MsgResponse, 0x00, CodeReadMemoryOk, location);
}

class LocationTest : public MessagingTest {
  protected:
    void ExpectFailed() {
        EXPECT_EQ(RecorderLast(OutputKind::Status), STR_STATUS_FAILED);
        EXPECT_EQ(RecorderLast(OutputKind::Cue), CUE_FAILED);
        EXPECT_EQ(CueCount(), 1);
    }
};

} // namespace

TEST_F(LocationTest, ServicePinWithAutoExecuteChangesTheNode) {
    OpenLink();
    entryState.autoExecute = 1;
    SetLocation("NEWLOC");
    VnetPressServicePin(node);
    ASSERT_TRUE(Pump([] { return CueCount() > 0; }, 3000));

    const std::vector<Out> expected = {
        {OutputKind::Status, STR_STATUS_RECEIVED},
        {OutputKind::PellionId, "01 02 03 04 05 06"},
        {OutputKind::Status, STR_STATUS_QUERY},
        {OutputKind::Message, ""},
        {OutputKind::Message, "Changing location string from:\n OLD\nto:\n NEWLOC"},
        {OutputKind::Status, STR_STATUS_COMPLETE},
        {OutputKind::Cue, CUE_DONE},
    };
    EXPECT_EQ(Outputs(), expected);
    EXPECT_EQ(Bytes(entryState.pellionId, 6), Bytes(nodeId, 6));

    std::vector<uint8_t> write = {0x12, 0x1A, 0x60, 0x08, 0x0C, 0x02, 0x00, 0x02, 0x0C, 0x00,
                                  0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x6E, 0x02, 0x00, 0x02,
                                  0x06, 0x01, 'N',  'E',  'W',  'L',  'O',  'C'};
    EXPECT_EQ(WrittenLog(), (std::vector<std::vector<uint8_t>>{ReadRequestFor(nodeId), write}));
    EXPECT_EQ(NodeLocation(node), (std::vector<uint8_t>{'N', 'E', 'W', 'L', 'O', 'C'}));
}

TEST_F(LocationTest, ServicePinWithoutAutoExecuteOnlyTakesTheId) {
    OpenLink();
    SetLocation("NEWLOC");
    VnetPressServicePin(node);
    ASSERT_TRUE(Pump([] { return RecorderCount() >= 3; }));
    PumpFor(100);
    const std::vector<Out> expected = {
        {OutputKind::Status, STR_STATUS_RECEIVED},
        {OutputKind::PellionId, "01 02 03 04 05 06"},
        {OutputKind::Message, STR_CLICK_EXECUTE},
    };
    EXPECT_EQ(Outputs(), expected);
    EXPECT_EQ(RecorderEvent(2).stringId, IDS_CLICK_EXECUTE);
    EXPECT_EQ(VnetWrittenCount(), 0u);
    EXPECT_EQ(Bytes(entryState.pellionId, 6), Bytes(nodeId, 6));
}

// Equal as strings over six characters: bytes after a zero do not count.
TEST_F(LocationTest, IdenticalStringIsReportedAndNotWritten) {
    const std::vector<std::vector<uint8_t>> nodeStrings = {{0x41, 0x42, 0, 0, 0, 0},
                                                           {0x41, 0x42, 0, 0x58, 0x59, 0x5A}};
    OpenLink();
    for (const std::vector<uint8_t>& stored : nodeStrings) {
        VnetSetNodeLocation(node, stored.data());
        VnetClearLog();
        RecorderClear();
        std::memcpy(entryState.pellionId, nodeId, 6);
        SetLocation("AB");
        EXPECT_EQ(ChangeLocation(), 1);
        const std::vector<Out> expected = {
            {OutputKind::Status, STR_STATUS_QUERY},
            {OutputKind::Message, ""},
            {OutputKind::Message, "Location string is identical:\n AB\nNo change made."},
            {OutputKind::Status, STR_STATUS_COMPLETE},
        };
        EXPECT_EQ(Outputs(), expected);
        EXPECT_EQ(WrittenLog(), (std::vector<std::vector<uint8_t>>{ReadRequestFor(nodeId)}));
        EXPECT_EQ(NodeLocation(node), stored);
    }
}

TEST_F(LocationTest, AutoExecuteOnAnAlreadyEqualNodeIsSilent) {
    OpenLink();
    entryState.autoExecute = 1;
    SetLocation("OLD");
    VnetPressServicePin(node);
    ASSERT_TRUE(Pump([] { return RecorderLast(OutputKind::Status) == STR_STATUS_COMPLETE; }));
    PumpFor(100);
    EXPECT_EQ(CueCount(), 0);
    EXPECT_EQ(VnetWrittenCount(), 1u);
}

TEST_F(LocationTest, EmptyLocationIsRefusedBeforeAnythingIsSent) {
    OpenLink();
    std::memcpy(entryState.pellionId, nodeId, 6);
    EXPECT_EQ(ChangeLocation(), 0);
    const std::vector<Out> expected = {{OutputKind::Message, STR_LOCATION_EMPTY}};
    EXPECT_EQ(Outputs(), expected);
    EXPECT_EQ(VnetWrittenCount(), 0u);
}

// The quick failure roads: each ends in "Status: Failed" and "FAILED".
TEST_F(LocationTest, FailuresAreReportedAndLeaveTheNodeAlone) {
    OpenLink();
    SetLocation("NEWLOC");

    // Nobody has this ID: the interface reports a failed transaction.
    std::memcpy(entryState.pellionId, otherId, 6);
    EXPECT_EQ(ChangeLocation(), 0);
    ExpectFailed();
    EXPECT_EQ(WrittenLog(), (std::vector<std::vector<uint8_t>>{ReadRequestFor(otherId)}));

    // The node refuses the write.
    std::memcpy(entryState.pellionId, nodeId, 6);
    VnetFaultControls()->writeMemoryFailureCode = true;
    RecorderClear();
    EXPECT_EQ(ChangeLocation(), 0);
    ExpectFailed();
    EXPECT_EQ(NodeLocation(node), (std::vector<uint8_t>{'O', 'L', 'D', 0, 0, 0}));
    VnetFaultControls()->writeMemoryFailureCode = false;

    // The request cannot be sent at all: reported, not left at Query Node.
    VnetFaultControls()->failWrites = true;
    RecorderClear();
    EXPECT_EQ(ChangeLocation(), 0);
    const std::vector<Out> expected = {
        {OutputKind::Status, STR_STATUS_QUERY},
        {OutputKind::Message, ""},
        {OutputKind::Status, STR_STATUS_FAILED},
        {OutputKind::Cue, CUE_FAILED},
    };
    EXPECT_EQ(Outputs(), expected);
    VnetFaultControls()->failWrites = false;

    // A failed transaction while waiting for the write's answer. Both answers
    // are planted: the read's, then the failure.
    VnetFaultControls()->dropResponses = true;
    Inject(ReadAnswer({'X', 0, 0, 0, 0, 0}));
    Inject(Crafted(MsgResponse, 0x2C, 0x00));
    RecorderClear();
    EXPECT_EQ(ChangeLocation(), 0);
    ExpectFailed();
    EXPECT_EQ(linkState.transactionActive.load(), 0);
}

// The node answers Read Memory with its failure code: that does not end the
// wait; the phase runs to its limit.
TEST_F(LocationTest, ReadFailureCodeDoesNotEndTheWaitEarly) {
    OpenLink();
    VnetFaultControls()->readMemoryFailureCode = true;
    std::memcpy(entryState.pellionId, nodeId, 6);
    SetLocation("NEWLOC");
    uint32_t start = PlatTickCount();
    EXPECT_EQ(ChangeLocation(), 0);
    EXPECT_GE(PlatTickCount() - start, 4900u);
    ExpectFailed();
    EXPECT_EQ(VnetWrittenCount(), 1u);
}

// The read is answered, the write never is.
TEST_F(LocationTest, UnansweredWriteFailsAtTheLimit) {
    OpenLink();
    VnetFaultControls()->dropResponses = true;
    Inject(ReadAnswer({'X', 'Y', 0, 0, 0, 0}));
    std::memcpy(entryState.pellionId, nodeId, 6);
    SetLocation("NEWLOC");
    uint32_t start = PlatTickCount();
    EXPECT_EQ(ChangeLocation(), 0);
    EXPECT_GE(PlatTickCount() - start, 4900u);
    ExpectFailed();
    ASSERT_EQ(VnetWrittenCount(), 2u);
    EXPECT_EQ(WrittenMessage(1)[16], CodeWriteMemory);
    EXPECT_EQ(RecorderLast(OutputKind::Message),
              "Changing location string from:\n XY\nto:\n NEWLOC");
}

// Another node's service pin while the change waits for the read: discarded,
// the target stays, and nothing of it reaches the dialog afterwards.
TEST_F(LocationTest, ServicePinDuringAChangeIsDiscarded) {
    OpenLink();
    int other = VnetAddNode(otherId, programId, "ELSE");
    VnetFaultControls()->responseDelayMs = 300;
    std::memcpy(entryState.pellionId, nodeId, 6);
    SetLocation("NEWLOC");
    TestThread presser([other] {
        PlatSleep(100);
        VnetPressServicePin(other);
    });
    EXPECT_EQ(ChangeLocation(), 1);
    presser.Join();
    EXPECT_EQ(Bytes(entryState.pellionId, 6), Bytes(nodeId, 6));
    PumpFor(200);
    EXPECT_EQ(RecorderLast(OutputKind::Status), STR_STATUS_COMPLETE);
    EXPECT_EQ(RecorderLast(OutputKind::PellionId), "");
    EXPECT_EQ(NodeLocation(node), (std::vector<uint8_t>{'N', 'E', 'W', 'L', 'O', 'C'}));
    EXPECT_EQ(NodeLocation(other), (std::vector<uint8_t>{'E', 'L', 'S', 'E', 0, 0}));
}

// A message handed over while the write is on gets no wake-up of its own; the
// wake-up left from the read phase brings it to the dialog after the change,
// so the link does not stall. Here a service pin follows the node's answer to
// the write at once; it lands before or after the write phase ends, so the
// change is run a number of times.
namespace {
void PinAfterWriteAnswer(int iface) {
    VnetLogEntry last;
    if (VnetDelivered(VnetDeliveredCount() - 1, &last) && last.bytes[0] == MsgResponse &&
        last.bytes[16] == CodeWriteMemoryOk) {
        std::vector<uint8_t> pin = ServicePin(otherId);
        VnetInjectMessage(iface, pin.data(), pin.size());
    }
}
} // namespace

TEST_F(LocationTest, MessageArrivingDuringTheWriteIsNotStranded) {
    OpenLink();
    VnetSetArrivalHook(PinAfterWriteAnswer);
    SetLocation("NEWLOC");
    const uint8_t old[6] = {'O', 'L', 'D', 0, 0, 0};
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        RecorderClear();
        wakeUpsSeen = 0;
        VnetSetNodeLocation(node, old);
        std::memcpy(entryState.pellionId, nodeId, 6);
        ASSERT_EQ(ChangeLocation(), 1);
        ASSERT_TRUE(Pump([] { return RecorderLast(OutputKind::Status) == STR_STATUS_RECEIVED; }));
        EXPECT_EQ(RecorderLast(OutputKind::PellionId), "00 D0 71 2A 01 00");
    }
    VnetSetArrivalHook(nullptr);
}

// With Auto-execute, a service pin that lands in the mailbox just as the
// change ends is the next one to handle: the dialog's own emptying after
// OnServicePin must not throw it away. Repeated like the case above.
TEST_F(LocationTest, NextServicePinAfterAnAutoExecutedChangeIsHandled) {
    OpenLink();
    entryState.autoExecute = 1;
    SetLocation("NEWLOC");
    VnetFaultControls()->dropResponses = true;
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        RecorderClear();
        wakeUpsSeen = 0;
        Inject(ServicePin(nodeId));
        Inject(ReadAnswer({'X', 0, 0, 0, 0, 0}));
        Inject(Crafted(MsgResponse, 0x00, CodeWriteMemoryOk));
        Inject(ServicePin(otherId));
        Inject(ReadAnswer({'N', 'E', 'W', 'L', 'O', 'C'}));
        ASSERT_TRUE(Pump([] {
            return RecorderLast(OutputKind::Message) ==
                   "Location string is identical:\n NEWLOC\nNo change made.";
        }));
        EXPECT_EQ(RecorderLast(OutputKind::PellionId), "00 D0 71 2A 01 00");
        EXPECT_EQ(CueCount(), 1);
        EXPECT_EQ(RecorderLast(OutputKind::Cue), CUE_DONE);
        EXPECT_EQ(Bytes(entryState.pellionId, 6), Bytes(otherId, 6));
    }
}
