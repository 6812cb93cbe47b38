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
    uint32_t changeStart = 0;

    int Change() {
        changeStart = PlatTickCount();
        return ChangeLocation();
    }
    void ExpectFailed(uint32_t ms) { // reported once, `ms` after Change() began
        EXPECT_EQ(RecorderLast(OutputKind::Status), STR_STATUS_FAILED);
        EXPECT_EQ(RecorderLast(OutputKind::Cue), CUE_FAILED);
        EXPECT_EQ(CueCount(), 1);
        ExpectTook(changeStart, ms);
    }
};

} // namespace

TEST_F(LocationTest, ServicePinWithAutoExecuteChangesTheNode) {
    OpenTestLink();
    entryState.autoExecute = 1;
    SetLocation("NEWLOC");
    VnetPressServicePin(node);
    ASSERT_TRUE(Pump([] { return CueCount() > 0; }));

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
    OpenTestLink();
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
    OpenTestLink();
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
    OpenTestLink();
    entryState.autoExecute = 1;
    SetLocation("OLD");
    VnetPressServicePin(node);
    ASSERT_TRUE(Pump([] { return RecorderLast(OutputKind::Status) == STR_STATUS_COMPLETE; }));
    PumpFor(100);
    EXPECT_EQ(CueCount(), 0);
    EXPECT_EQ(VnetWrittenCount(), 1u);
}

TEST_F(LocationTest, EmptyLocationIsRefusedBeforeAnythingIsSent) {
    OpenTestLink();
    std::memcpy(entryState.pellionId, nodeId, 6);
    EXPECT_EQ(ChangeLocation(), 0);
    const std::vector<Out> expected = {{OutputKind::Message, STR_LOCATION_EMPTY}};
    EXPECT_EQ(Outputs(), expected);
    EXPECT_EQ(VnetWrittenCount(), 0u);
}

// The quick failure roads: each ends in "Status: Failed" and "FAILED".
TEST_F(LocationTest, FailuresAreReportedAndLeaveTheNodeAlone) {
    OpenTestLink();
    SetLocation("NEWLOC");

    // Nobody has this ID: the interface reports a failed transaction.
    std::memcpy(entryState.pellionId, otherId, 6);
    EXPECT_EQ(Change(), 0);
    ExpectFailed(0);
    EXPECT_EQ(WrittenLog(), (std::vector<std::vector<uint8_t>>{ReadRequestFor(otherId)}));

    // The node refuses the write.
    std::memcpy(entryState.pellionId, nodeId, 6);
    VnetFaultControls()->writeMemoryFailureCode = true;
    RecorderClear();
    EXPECT_EQ(Change(), 0);
    ExpectFailed(0);
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
    EXPECT_EQ(Change(), 0);
    ExpectFailed(0);
    EXPECT_EQ(linkState.transactionActive.load(), 0);

    // On a read-only link the node is read, and the write is not sent.
    VnetFaultControls()->dropResponses = false;
    ASSERT_EQ(OpenLink("VNI1", LinkUse::ReadOnly), LinkOpened::Running);
    VnetClearLog();
    RecorderClear();
    EXPECT_EQ(Change(), 0);
    ExpectFailed(0);
    EXPECT_EQ(WrittenLog(), (std::vector<std::vector<uint8_t>>{ReadRequestFor(nodeId)}));
}

// The node answers Read Memory with its failure code: that does not end the
// wait; the phase runs to its limit (the first 25-ms look after 5000 ms).
TEST_F(LocationTest, ReadFailureCodeDoesNotEndTheWaitEarly) {
    OpenTestLink();
    VnetFaultControls()->readMemoryFailureCode = true;
    std::memcpy(entryState.pellionId, nodeId, 6);
    SetLocation("NEWLOC");
    EXPECT_EQ(Change(), 0);
    ExpectFailed(5025);
    EXPECT_EQ(VnetWrittenCount(), 1u);
}

// The read is answered, the write never is. The node's string differs from
// the new one in its sixth byte only: that is a difference.
TEST_F(LocationTest, UnansweredWriteFailsAtTheLimit) {
    OpenTestLink();
    VnetFaultControls()->dropResponses = true;
    Inject(ReadAnswer({'N', 'E', 'W', 'L', 'O', 'X'}));
    std::memcpy(entryState.pellionId, nodeId, 6);
    SetLocation("NEWLOC");
    EXPECT_EQ(Change(), 0);
    ExpectFailed(5025);
    ASSERT_EQ(VnetWrittenCount(), 2u);
    EXPECT_EQ(WrittenMessage(1)[16], CodeWriteMemory);
    EXPECT_EQ(RecorderLast(OutputKind::Message),
              "Changing location string from:\n NEWLOX\nto:\n NEWLOC");
}

// Another node's service pin while the change waits for the read: discarded,
// the target stays, and nothing of it reaches the dialog afterwards.
TEST_F(LocationTest, ServicePinDuringAChangeIsDiscarded) {
    OpenTestLink();
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

// A service pin handed over during an auto-executed change's write gets no
// wake-up of its own; the one held back comes as the write ends, and the
// dialog leaves the pin in the mailbox for it: the next change follows. On the
// test clock the pin comes after the unanswered write's limit, and a thread
// waiting since the write takes the reader's signal for it (the longest waiter
// does): the change looks at its next step. Under Wine it comes after the write.
TEST_F(LocationTest, ServicePinDuringTheWriteGetsTheHeldBackWakeUpAndTheNextChange) {
    OpenTestLink();
    entryState.autoExecute = 1;
    SetLocation("NEWLOC");
    VnetFaultControls()->dropResponses = true;
    Inject(ServicePin(nodeId));
    Inject(ReadAnswer({'X', 0, 0, 0, 0, 0}));
    int beforePin = -1, duringWrite = -1;
    TestThread late([this, &beforePin, &duringWrite] {
        WaitUntil([] { return VnetWrittenCount() == 2; }); // the write is out
        beforePin = RecorderWakeUps();
        TestThread pin([this] {
            if (testClock)
                PlatSleep(5010);
            else
                WaitUntil([] { return linkState.transactionActive.load() == 0; });
            for (const std::vector<uint8_t>& m :
                 {ServicePin(otherId), ReadAnswer({'N', 'E', 'W', 'L', 'O', 'C'})})
                VnetInjectMessage(iface, m.data(), m.size());
        });
        WaitForMailbox(6000);
        PlatSleep(10); // the reader is done with the pin; the change still waits
        duringWrite = RecorderWakeUps();
    });
    ASSERT_TRUE(Pump([] {
        return RecorderLast(OutputKind::Message) ==
               "Location string is identical:\n NEWLOC\nNo change made.";
    }));
    late.Join();
    PumpFor(100); // the reader has posted all it would
    if (testClock) {
        EXPECT_EQ(duringWrite, beforePin) << "a wake-up of its own during the write";
        EXPECT_EQ(RecorderWakeUps(), beforePin + 2) << "the held-back one, the next answer's";
    }
    EXPECT_EQ(RecorderLast(OutputKind::PellionId), "00 D0 71 2A 01 00");
    EXPECT_EQ(Bytes(entryState.pellionId, 6), Bytes(otherId, 6));
    EXPECT_EQ(CueCount(), 1) << "the unanswered write's";
}
