// Location changes through the real dialog on the virtual network: service
// pins with and without Auto-execute, the outcome on the node, and the cues.
#include "dialog_harness.h"
#include "messaging/entry_state.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "virtualnet/vnet.h"
#include <mmsystem.h>
#include <cstring>

namespace {

using NetworkTest = DialogTest;

const DWORD CueFlags = SND_RESOURCE | SND_ASYNC | SND_NODEFAULT | SND_NOWAIT;

TEST_F(NetworkTest, ServicePinWithAutoExecuteChangesTheNodeAndPlaysLazer) {
    Open();
    Type(IDC_ASCII, "NEW 1");
    Click(IDC_AUTO_EXECUTE);
    EXPECT_EQ(entryState.autoExecute, 1);
    VnetPressServicePin(node);
    ASSERT_TRUE(SettleUntil([&] { return Text(IDC_STATUS) == STR_STATUS_COMPLETE; }, 10000))
        << "status: " << Text(IDC_STATUS);
    EXPECT_EQ(NodeLocation(), "NEW 1");
    EXPECT_EQ(Text(IDC_PELLION_ID), TestNodeIdText);
    EXPECT_NE(Text(IDC_MESSAGE).find("NEW 1"), std::string::npos);
    ASSERT_EQ(recordedCues.size(), 1u);
    EXPECT_EQ(recordedCues[0].name, CUE_DONE);
    EXPECT_EQ(recordedCues[0].module, GetModuleHandleA(nullptr));
    EXPECT_EQ(recordedCues[0].flags, CueFlags);
    EXPECT_EQ(recordedCues[0].flags, 0x42007u);
    // The cue names a WAVE resource of the program's own module.
    EXPECT_NE(FindResourceA(recordedCues[0].module, CUE_DONE, "WAVE"), nullptr);

    // Auto-execute cleared: the next pin only fills the ID and asks for Execute.
    Click(IDC_AUTO_EXECUTE);
    EXPECT_EQ(entryState.autoExecute, 0);
    Replace(IDC_ASCII, "NEW 2");
    VnetPressServicePin(node);
    ASSERT_TRUE(SettleUntil([&] { return Text(IDC_STATUS) == STR_STATUS_RECEIVED; }, 10000));
    EXPECT_NE(Text(IDC_MESSAGE).find(STR_CLICK_EXECUTE), std::string::npos);
    EXPECT_EQ(NodeLocation(), "NEW 1");
    Click(IDC_EXECUTE);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_COMPLETE);
    EXPECT_EQ(NodeLocation(), "NEW 2");
    EXPECT_EQ(recordedCues.size(), 2u);
}

// The pointer on a control's centre.
void PointAt(HWND control) {
    RECT place;
    GetWindowRect(control, &place);
    SetCursorPos((place.left + place.right) / 2, (place.top + place.bottom) / 2);
}

TEST_F(NetworkTest, RefusedWriteEndsFailedWithTheFailedCueAndTheWaitPointerMeanwhile) {
    Open();
    Type(IDC_ASCII, "NEW 1");
    Click(IDC_AUTO_EXECUTE);
    VnetFaultControls()->writeMemoryFailureCode = true;
    VnetPressServicePin(node);
    ASSERT_TRUE(SettleUntil([&] { return Text(IDC_STATUS) == STR_STATUS_FAILED; }, 10000))
        << "status: " << Text(IDC_STATUS);
    EXPECT_EQ(NodeLocation(), "OLD 1");
    ASSERT_EQ(recordedCues.size(), 1u);
    EXPECT_EQ(recordedCues[0].name, CUE_FAILED);
    EXPECT_EQ(recordedCues[0].flags, CueFlags);

    // Execute with the pointer on its button, moved to the ID field while the
    // change runs (as each answer arrives, on this thread): the wait pointer
    // meanwhile, the field's own at once after, before any mouse input is taken.
    POINT kept;
    GetCursorPos(&kept);
    PointAt(Item(IDC_EXECUTE));
    EXPECT_TRUE(SettleUntil([] { return GetCursor() == LoadCursorA(nullptr, IDC_ARROW); }, 5000));
    static std::vector<HCURSOR> pointersInChange;
    VnetSetArrivalHook([](int) {
        pointersInChange.push_back(GetCursor());
        PointAt(GetDlgItem(windowState.dialog, IDC_PELLION_ID));
    });
    SendMessageA(Item(IDC_EXECUTE), BM_CLICK, 0, 0);
    VnetSetArrivalHook(nullptr);
    EXPECT_EQ(GetCursor(), LoadCursorA(nullptr, IDC_IBEAM));
    EXPECT_EQ(pointersInChange, std::vector<HCURSOR>(2, LoadCursorA(nullptr, IDC_WAIT)));
    SetCursorPos(kept.x, kept.y); // a button under the pointer keeps Settle from settling
}

// A node's service pin message waits in the mailbox, its wake-up queued behind
// an Enter pressed in the ID field: Execute changes the node whose ID was
// typed; the pin takes nothing over before it (the change's wait then reads
// the mailbox and discards the pin like any message that is not its answer).
TEST_F(NetworkTest, EnterWithAServicePinWaitingExecutesTheTypedIdFirst) {
    const uint8_t otherId[6] = {0x00, 0xD0, 0x71, 0x2A, 0x02, 0x00};
    const uint8_t programId[8] = {0x90, 0x00, 0x01, 0x0A, 0x05, 0x04, 0x01, 0x00};
    int other = VnetAddNode(otherId, programId, "OLD 2");
    Open();
    Type(IDC_ASCII, "NEW 1");
    SetText(IDC_PELLION_ID, TestNodeIdText);
    Focus(IDC_PELLION_ID);
    VnetClearLog();
    HWND idField = Item(IDC_PELLION_ID);
    PostMessageA(idField, WM_KEYDOWN, VK_RETURN, 0x001C0001);
    PostMessageA(idField, WM_KEYUP, VK_RETURN, 0xC01C0001);
    VnetPressServicePin(other);
    MSG wakeUp;
    DWORD start = GetTickCount();
    while (!PeekMessageA(&wakeUp, dialog, ReaderWakeUpMessage, ReaderWakeUpMessage, PM_NOREMOVE)) {
        ASSERT_LT(GetTickCount() - start, 5000u) << "the reader did not take the pin";
        Sleep(1);
    }

    ASSERT_TRUE(SettleUntil([&] { return Text(IDC_STATUS) == STR_STATUS_COMPLETE; }, 10000))
        << "status: " << Text(IDC_STATUS);
    Settle(); // the wake-up, behind the change
    EXPECT_EQ(NodeLocation(), "NEW 1");
    uint8_t location[6];
    VnetNodeLocation(other, location);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(location), 5), "OLD 2");
    int requests = 0;
    VnetLogEntry entry;
    for (size_t i = 0; VnetWritten(i, &entry); ++i) {
        if (entry.bytes[0] == 0x12) { // a node request: its Read, then its Write Memory
            requests++;
            EXPECT_EQ(std::memcmp(entry.bytes + 10, TestNodeId, 6), 0) << "request " << i;
        }
    }
    EXPECT_EQ(requests, 2);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_COMPLETE);
    EXPECT_EQ(Text(IDC_PELLION_ID), TestNodeIdText);
}

} // namespace
