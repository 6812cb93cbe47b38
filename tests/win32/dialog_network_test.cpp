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

TEST_F(NetworkTest, RefusedWriteEndsFailedWithTheFailedCue) {
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
}

} // namespace
