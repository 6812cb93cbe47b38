// The link against the virtual network: the start-up exchange, the reader
// thread and its mailbox, the stop, and a reader that outlives the stop limit.
#include "test_thread.h"
#include "messaging_support.h"
#include <atomic>
#include <thread>

using namespace messaging_test;

namespace {

const std::vector<uint8_t> updateDomainBytes(UpdateDomainCommand,
                                             UpdateDomainCommand + sizeof UpdateDomainCommand);
const std::vector<uint8_t> setNodeModeBytes(SetNodeModeCommand,
                                            SetNodeModeCommand + sizeof SetNodeModeCommand);
const std::vector<std::vector<uint8_t>> startUpBytes = {updateDomainBytes, setNodeModeBytes};

// Not a response of any kind: what other nodes' traffic looks like here.
std::vector<uint8_t> Traffic(uint8_t tag) {
    return Crafted(MsgIncoming, 0x00, 0x41, {tag});
}

using LinkTest = MessagingTest;

} // namespace

TEST_F(LinkTest, StartUpSendsUpdateDomainThenSetNodeModeAndStartsTheReader) {
    EXPECT_EQ(OpenLink("VNI1"), LinkOpened::Running);
    EXPECT_EQ(WrittenLog(), startUpBytes);
    EXPECT_NE(linkState.readerRunning.load(), nullptr);
    EXPECT_EQ(RecorderCount(), 0u) << "a good start shows nothing";
}

TEST_F(LinkTest, UpdateDomainFailureCodeStopsTheStart) {
    VnetFaultControls()->updateDomainFails = true;
    uint32_t start = PlatTickCount();
    EXPECT_EQ(OpenLink("VNI1"), LinkOpened::WithoutReader);
    ExpectTook(start, 0); // the failure answer ends the wait at once
    NiHandle handle = linkState.handle;
    EXPECT_EQ(WrittenLog(), (std::vector<std::vector<uint8_t>>{updateDomainBytes}))
        << "no Set Node Mode after a refused Update Domain";
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);
    EXPECT_EQ(InterfaceTable[handle].state, NiSlotOpen) << "the interface stays open";
    // With no reader, nothing picks up arriving messages.
    Inject(ServicePin(otherId));
    PlatSleep(150);
    EXPECT_EQ(VnetPendingCount(iface), 1u);
    CloseLink();
    EXPECT_EQ(InterfaceTable[handle].state, NiSlotFree);
}

// Without its arrival event the reader would spin: the link does not start.
// One that cannot be attached (no second handle) is looked past: the start-up
// exchange waits out its limit, and the reader looks every 50 ms.
TEST_F(LinkTest, NoArrivalEventNoStartAndAnUnattachedOneIsLookedPast) {
    PlatEvent arrival = linkState.arrivalEvent;
    linkState.arrivalEvent = nullptr;
    EXPECT_EQ(OpenLink("VNI1"), LinkOpened::WithoutReader);
    linkState.arrivalEvent = arrival;
    EXPECT_EQ(VnetWrittenCount(), 0u);
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);

    VnetFaultControls()->failSecondOpen = true;
    uint32_t start = PlatTickCount();
    ASSERT_EQ(OpenLink("VNI1"), LinkOpened::Running);
    ExpectTook(start, 5000);
    start = PlatTickCount();
    Inject(ServicePin(otherId));
    EXPECT_TRUE(WaitForMailbox(1000));
    ExpectTook(start, 50);
}

TEST_F(LinkTest, SilenceAfterUpdateDomainFailsTheStartAfterTheLimit) {
    VnetFaultControls()->dropResponses = true;
    uint32_t start = PlatTickCount();
    EXPECT_EQ(OpenLink("VNI1"), LinkOpened::WithoutReader);
    ExpectTook(start, 5000); // the full wait, not an early give-up
    EXPECT_EQ(WrittenLog().size(), 1u);
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);
}

// The arrival event can be signalled for a message that is no longer there
// (one the drain took, say). Such a wake-up is not the end of the wait: the
// answer that comes after it still confirms the start.
TEST_F(LinkTest, WakeUpWithoutAMessageDoesNotEndTheWait) {
    VnetFaultControls()->responseDelayMs = 400;
    uint32_t start = PlatTickCount(); // first: the test clock then waits for this thread too
    TestThread spurious([] {
        PlatSleep(100);
        PlatSetEvent(linkState.arrivalEvent);
    });
    EXPECT_EQ(OpenLink("VNI1"), LinkOpened::Running);
    ExpectTook(start, 400); // decided by the delayed answer
    spurious.Join();
    EXPECT_EQ(WrittenLog(), startUpBytes);
}

// 600 stale messages: the first 500 are drained before Update Domain goes
// out, the other 100 are read while waiting for its answer. A failure answer
// planted among them shows which side of the drain it fell on.
TEST_F(LinkTest, DrainDiscardsFiveHundredStaleMessagesAndReadsTheRestWhileWaiting) {
    const std::vector<uint8_t> refusal = Crafted(MsgResponse, 0x00, 0x03);
    for (int planted : {450, 550}) {
        SCOPED_TRACE(planted);
        VnetReset();
        iface = VnetAddInterface("VNI1", 0);
        for (int i = 0; i < 600; ++i)
            Inject(i == planted ? refusal : Traffic(static_cast<uint8_t>(i)));
        uint32_t start = PlatTickCount();
        LinkOpened opened = OpenLink("VNI1");
        EXPECT_EQ(opened, planted < 500 ? LinkOpened::Running : LinkOpened::WithoutReader);
        ExpectTook(start, 0); // decided by an answer, not by the limit
        if (opened == LinkOpened::Running) {
            EXPECT_EQ(WrittenLog().back(), setNodeModeBytes);
        }
        CloseLink();
    }
}

// Messages keep coming but none answers Update Domain: after 5000 ms of
// traffic the start counts as done.
TEST_F(LinkTest, OtherTrafficBeyondTheLimitCountsAsSuccess) {
    VnetFaultControls()->dropResponses = true;
    std::atomic<bool> stop{false};
    uint32_t start = PlatTickCount(); // before the chatter starts, as above
    TestThread chatter([this, &stop] {
        for (uint8_t i = 0; !stop.load(); ++i) {
            std::vector<uint8_t> m = Traffic(i);
            VnetInjectMessage(iface, m.data(), m.size());
            PlatSleep(200);
        }
    });
    EXPECT_EQ(OpenLink("VNI1"), LinkOpened::Running);
    ExpectTook(start, 5000);
    stop.store(true);
    chatter.Join();
    EXPECT_EQ(WrittenLog(), startUpBytes);
}

TEST_F(LinkTest, ReaderHandsOverOneMessageAndNeverOverwritesAFullMailbox) {
    OpenTestLink();
    linkState.transactionActive.store(1);
    const std::vector<uint8_t> first = ServicePin(otherId);
    const std::vector<uint8_t> second = Traffic(0x55);
    Inject(first);
    ASSERT_TRUE(WaitForMailbox(1000));
    Inject(second);
    PlatSleep(175); // the reader waits for room, between its 50-ms steps
    EXPECT_EQ(RecorderWakeUps(), 0) << "no wake-up while a transaction is on";
    EXPECT_EQ(Bytes(linkState.mailbox, first.size()), first);
    EXPECT_EQ(linkState.mailbox[first.size()], 0) << "a read zero-fills the rest";
    EXPECT_EQ(VnetPendingCount(iface), 1u) << "the second message waits with the driver";

    // Emptying the mailbox lets the second one in at once, with its wake-up.
    linkState.transactionActive.store(0);
    uint32_t start = PlatTickCount();
    EmptyMailbox();
    ASSERT_TRUE(WaitForMailbox(1000));
    ExpectTook(start, 0);
    EXPECT_EQ(Bytes(linkState.mailbox, second.size()), second);
    EXPECT_EQ(VnetPendingCount(iface), 0u);
    EXPECT_TRUE(WaitUntil([] { return RecorderWakeUps() == 1; }));

    // Left there when the link closes, it is no answer for the next open.
    OpenTestLink();
    EXPECT_EQ(linkState.mailboxFull.load(), 0);
}

TEST_F(LinkTest, NonServicePinMessagesAreHandedToTheDialogAndIgnored) {
    VnetFaultControls()->answerSetNodeMode = true;
    ASSERT_EQ(OpenLink("VNI1"), LinkOpened::Running);
    // The answer to Set Node Mode comes through the reader like any message.
    ASSERT_TRUE(Pump([] { return RecorderWakeUps() > 0; }));
    Inject(Crafted(MsgResponse, 0x00, 0x2D, {'X', 'Y', 'Z', 0, 0, 0}));
    ASSERT_TRUE(Pump([this] { return wakeUpsSeen >= 2 && linkState.mailboxFull.load() == 0; }));
    EXPECT_EQ(RecorderCount(), 0u);
    EXPECT_EQ(Bytes(entryState.pellionId, 6), std::vector<uint8_t>(6, 0));
}

TEST_F(LinkTest, StopEndsTheReaderPromptlyClosesTheInterfaceAndOutdatesItsWakeUps) {
    OpenTestLink();
    NiHandle handle = linkState.handle;
    // A service pin whose wake-up is taken only after the stop: no output.
    Inject(ServicePin(otherId));
    ASSERT_TRUE(WaitUntil([] { return RecorderWakeUps() > 0; }));
    PlatSleep(75); // the reader now waits for room, between its 50-ms steps
    uint32_t start = PlatTickCount();
    CloseLink();
    ExpectTook(start, 0);
    OnReaderWakeUp();
    EXPECT_EQ(linkState.mailboxFull.load(), 0);
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);
    EXPECT_EQ(linkState.interfaceOpen, 0);
    EXPECT_EQ(InterfaceTable[handle].state, NiSlotFree);
    ASSERT_EQ(RecorderCount(), 1u);
    EXPECT_EQ(RecorderEvent(0).kind, OutputKind::Message);
    EXPECT_EQ(RecorderEvent(0).text, "");

    // Closed: a second stop changes nothing at all.
    RecorderClear();
    InterfaceSlot before[NiSlotCount];
    std::memcpy(before, InterfaceTable, sizeof before);
    CloseLink();
    EXPECT_EQ(RecorderCount(), 0u);
    EXPECT_EQ(std::memcmp(before, InterfaceTable, sizeof before), 0);

    // And the link starts again on a fresh open.
    OpenTestLink();
    Inject(ServicePin(otherId));
    EXPECT_TRUE(Pump([] { return RecorderLast(OutputKind::Status) == STR_STATUS_RECEIVED; }));
}

// 100,000 messages through an open link, fed in batches as the queue drains.
// Each carries its sequence number in every byte, so a message mixed from two
// reads, a lost one or a repeated one shows.
TEST_F(LinkTest, FloodKeepsTheMailboxContract) {
    OpenTestLink();
    const uint32_t total = 100000;
    std::atomic<bool> feederDone{false};
    std::atomic<bool> consumerGaveUp{false};
    TestThread feeder([this, &feederDone, &consumerGaveUp] {
        uint32_t next = 0;
        while (next < total && !consumerGaveUp.load()) {
            uint8_t m[VnetMessageSize];
            m[0] = MsgResponse;
            m[1] = VnetMessageSize - 2;
            for (int i = 2; i < VnetMessageSize; ++i)
                m[i] = static_cast<uint8_t>((next >> (8 * (i % 3))) + i);
            if (VnetInjectMessage(iface, m, sizeof m))
                ++next;
            else
                std::this_thread::yield();
        }
        feederDone.store(next == total);
    });
    uint32_t seen = 0;
    bool whole = true;
    uint32_t lastActivity = PlatTickCount();
    while (seen < total && PlatTickCount() - lastActivity < 3000) {
        if (linkState.mailboxFull.load(std::memory_order_acquire) == 0) {
            std::this_thread::yield();
            continue;
        }
        const uint8_t* m = linkState.mailbox;
        for (int i = 2; i < VnetMessageSize && whole; ++i)
            whole = m[i] == static_cast<uint8_t>((seen >> (8 * (i % 3))) + i);
        if (!whole || m[0] != MsgResponse || m[1] != VnetMessageSize - 2) {
            ADD_FAILURE() << "message " << seen << " is not the one sent, or not whole";
            break;
        }
        ++seen;
        lastActivity = PlatTickCount();
        EmptyMailbox();
    }
    consumerGaveUp.store(true); // a full queue must not hold the feeder forever
    feeder.Join();
    EXPECT_TRUE(feederDone.load());
    EXPECT_EQ(seen, total);
    // The reader fills the mailbox before it posts the wake-up: the last post
    // may still be on its way when the last message has been taken.
    WaitUntil([seen] { return RecorderWakeUps() >= static_cast<int>(seen); });
    EXPECT_EQ(RecorderWakeUps(), static_cast<int>(seen));
    PlatSleep(1); // the reader waits for an arrival now: the stop must wake it
    uint32_t start = PlatTickCount();
    CloseLink();
    ExpectTook(start, 0);
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);
}

// A reader stalled past the stop limit is given up. These hooks stall it at
// the top of its turn (not reading) or just before a read (holding its claim).
namespace {
std::atomic<int> stallStage{-1};
std::atomic<bool> stalled{false};
std::atomic<bool> release{false};

void StallHook(int stage) {
    if (stage != stallStage.load())
        return;
    stalled.store(true);
    while (!release.load())
        PlatSleep(5);
    stallStage.store(-1); // once is enough
}

class LateReaderTest : public MessagingTest {
  protected:
    int second = -1;

    void SetUp() override {
        MessagingTest::SetUp();
        second = VnetAddInterface("VNI2", 0);
        stallStage.store(-1);
        stalled.store(false);
        release.store(false);
        linkReaderHook = StallHook; // before the reader starts; idle until a stage is set
    }
    void TearDown() override {
        release.store(true);
        PlatSleep(200); // the given-up reader ends before the network goes away
        MessagingTest::TearDown();
    }
    void StallAndStop(int stage) {
        OpenTestLink();
        stallStage.store(stage);
        ASSERT_TRUE(WaitUntil([] { return stalled.load(); }));
        uint32_t start = PlatTickCount();
        CloseLink();
        ExpectTook(start, 3000);
        EXPECT_EQ(linkState.readerRunning.load(), nullptr) << "no trace of the old reader";
        EXPECT_EQ(linkState.interfaceOpen, 0);
    }
};
} // namespace

TEST_F(LateReaderTest, IdleReaderNeverReadsTheSlotALaterOpenReuses) {
    StallAndStop(0);
    NiHandle old = linkState.handle;
    EXPECT_EQ(InterfaceTable[old].state, NiSlotFree) << "not reading: closed at once";

    // The same slot now serves another interface, open without a reader,
    // with a message waiting: the old reader must not take it.
    VnetFaultControls()->updateDomainFails = true;
    ASSERT_EQ(OpenLink("VNI2"), LinkOpened::WithoutReader);
    EXPECT_EQ(linkState.handle, old);
    const std::vector<uint8_t> waiting = ServicePin(otherId);
    ASSERT_TRUE(VnetInjectMessage(second, waiting.data(), waiting.size()));
    release.store(true);
    PlatSleep(300);
    EXPECT_EQ(VnetPendingCount(second), 1u) << "the old reader took the new interface's message";
    EXPECT_EQ(linkState.mailboxFull.load(), 0);
    EXPECT_EQ(RecorderWakeUps(), 0);

    // Opened again, it runs normally (its start drains that stale message).
    VnetFaultControls()->updateDomainFails = false;
    ASSERT_EQ(OpenLink("VNI2"), LinkOpened::Running);
    ASSERT_TRUE(VnetInjectMessage(second, waiting.data(), waiting.size()));
    EXPECT_TRUE(Pump([] { return RecorderLast(OutputKind::Status) == STR_STATUS_RECEIVED; }));
}

TEST_F(LateReaderTest, ReaderInsideAReadKeepsItsSlotUntilItLeaves) {
    StallAndStop(1);
    NiHandle old = linkState.handle;
    EXPECT_EQ(InterfaceTable[old].state, NiSlotOpen) << "it may still read it: kept";

    // The next start waits for the old reader to leave its read, then closes
    // its slot; a slot under a reader is never handed out.
    TestThread releaser([] {
        PlatSleep(100);
        release.store(true);
    });
    ASSERT_EQ(OpenLink("VNI2"), LinkOpened::Running);
    NiHandle fresh = linkState.handle;
    EXPECT_NE(fresh, old);
    EXPECT_EQ(InterfaceTable[old].state, NiSlotFree);
    const std::vector<uint8_t> pin = ServicePin(otherId);
    ASSERT_TRUE(VnetInjectMessage(second, pin.data(), pin.size()));
    EXPECT_TRUE(Pump([] { return RecorderLast(OutputKind::Status) == STR_STATUS_RECEIVED; }));
    CloseLink();
    EXPECT_EQ(InterfaceTable[fresh].state, NiSlotFree);
}

TEST_F(LateReaderTest, StartWaitsForAReaderStillInsideARead) {
    StallAndStop(1);
    // The old reader never leaves its read: the new start refuses rather than
    // share the read buffer and the mailbox with it.
    uint32_t start = PlatTickCount();
    EXPECT_EQ(OpenLink("VNI2"), LinkOpened::WithoutReader);
    ExpectTook(start, 3000);
    EXPECT_EQ(VnetWrittenCount(), 0u) << "nothing sent";
}
