// The window and dialog: start-up state, the two window states with Open,
// failed opens, the ways out, the frame's size, the hidden TX timer, the help
// pop-up.
#include "dialog_harness.h"
#include "messaging/entry_state.h"
#include "messaging/link.h"
#include "niaccess/niaccess.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/help_popup.h"
#include "virtualnet/vnet.h"
#include "virtualnet/vregistry.h"
#include <commctrl.h>

#ifndef WM_KEYF1
#define WM_KEYF1 0x004D // what the system makes of F1; MinGW's headers lack it
#endif

namespace {

void ExpectClosedState(HWND dialog) {
    EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, IDC_EXECUTE)));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDC_INTERFACE_LIST)));
    EXPECT_EQ(linkState.interfaceOpen, 0);
}

bool SlotOpen(NiHandle handle) {
    return handle >= 0 && handle < NiSlotCount && InterfaceTable[handle].state == NiSlotOpen;
}

using WindowTest = DialogTest;

TEST_F(WindowTest, StartsClosedWithTheGreetingAndTheFirstInterfaceSelected) {
    EXPECT_EQ(Text(frame), STR_CAPTION);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    EXPECT_EQ(Text(IDC_MESSAGE), STR_GREETING);
    ExpectClosedState(dialog);
    EXPECT_FALSE(Checked(IDC_OPEN));
    EXPECT_FALSE(Checked(IDC_AUTO_EXECUTE));
    EXPECT_EQ(SendMessageA(Item(IDC_INTERFACE_LIST), CB_GETCURSEL, 0, 0), 0);
    EXPECT_EQ(Text(IDC_INTERFACE_LIST), "Test network");
    EXPECT_TRUE(Boxes().empty());
    // Typing honours the field limits that the dialog sets.
    Type(IDC_ASCII, "ABCDEFGH");
    EXPECT_EQ(Text(IDC_ASCII), "ABCDEF");
    Type(IDC_PELLION_ID, "00 D0 71 2A 01 00 77 88");
    EXPECT_EQ(Text(IDC_PELLION_ID), "00 D0 71 2A 01 00 ");
    Type(IDC_HEX, "41 42 43 44 45 46 47");
    EXPECT_EQ(Text(IDC_HEX), "41 42 43 44 45 46");
}

TEST_F(WindowTest, OpenAndCloseSwitchTheTwoWindowStates) {
    Open();
    EXPECT_TRUE(Checked(IDC_OPEN));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_EXECUTE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_INTERFACE_LIST)));
    EXPECT_EQ(linkState.interfaceOpen, 1);
    NiHandle handle = linkState.handle;
    EXPECT_TRUE(SlotOpen(handle));
    EXPECT_GE(VnetWrittenCount(), 2u) << "the start-up exchange went to the interface";

    Click(IDC_OPEN);
    EXPECT_FALSE(Checked(IDC_OPEN));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    EXPECT_EQ(Text(IDC_MESSAGE), "") << "closing clears the message area";
    ExpectClosedState(dialog);
    EXPECT_FALSE(SlotOpen(handle));

    // SetOpenState alone sets exactly the two controls.
    SetOpenState(true);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_EXECUTE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_INTERFACE_LIST)));
    SetOpenState(false);
    ExpectClosedState(dialog);
}

TEST_F(WindowTest, FailedOpenShowsBox3AndClearsTheOpenBox) {
    VnetFaultControls()->failOpen = true;
    Click(IDC_OPEN);
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_OPEN_FAILED);
    EXPECT_EQ(boxes[0].caption, STR_CAPTION);
    EXPECT_EQ(boxes[0].owner, frame);
    EXPECT_FALSE(Checked(IDC_OPEN));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    ExpectClosedState(dialog);
}

TEST_F(WindowTest, FailedLinkStartShowsBox4AndStaysOpen) {
    VnetFaultControls()->updateDomainFails = true;
    Click(IDC_OPEN);
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_INIT_FAILED);
    EXPECT_TRUE(Checked(IDC_OPEN));
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_EXECUTE)));
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_INTERFACE_LIST)));
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE) << "the status line keeps its text";
    NiHandle handle = linkState.handle;
    EXPECT_TRUE(SlotOpen(handle));

    Click(IDC_OPEN);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
    ExpectClosedState(dialog);
    EXPECT_FALSE(SlotOpen(handle));
}

TEST_F(WindowTest, EscEndsTheProgramWithTheLinkStopped) {
    Open();
    NiHandle handle = linkState.handle;
    Focus(IDC_ASCII);
    PostMessageA(Item(IDC_ASCII), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(linkState.interfaceOpen, 0);
    EXPECT_FALSE(SlotOpen(handle));
    EXPECT_EQ(linkState.readerRunning.load(), nullptr);
    EXPECT_EQ(linkState.arrivalEvent, nullptr);
}

TEST_F(WindowTest, CloseButtonAndCloseBoxEndTheProgram) {
    Open();
    NiHandle handle = linkState.handle;
    PostMessageA(Item(IDC_CLOSE), BM_CLICK, 0, 0);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(SlotOpen(handle));

    // A second run in the same process, ended by the caption's close box.
    ended = false;
    frame = CreateMainWindow(GetModuleHandleA(nullptr), SW_SHOW);
    ASSERT_NE(frame, nullptr);
    dialog = windowState.dialog;
    Settle();
    Open();
    handle = linkState.handle;
    PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_EQ(EndProgram(), 0);
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_FALSE(SlotOpen(handle));
}

TEST_F(WindowTest, FrameIsTheDialogPlusCaptionAndCannotBeResized) {
    RECT dialogRect;
    GetWindowRect(dialog, &dialogRect);
    RECT units = {0, 0, 272, 176};
    MapDialogRect(dialog, &units);
    EXPECT_EQ(dialogRect.right - dialogRect.left, units.right);
    EXPECT_EQ(dialogRect.bottom - dialogRect.top, units.bottom);

    // The dialog covers the whole client area, from its origin.
    RECT client;
    GetClientRect(frame, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    POINT origin = {0, 0};
    ClientToScreen(frame, &origin);
    EXPECT_EQ(origin.x, dialogRect.left);
    EXPECT_EQ(origin.y, dialogRect.top);

    RECT frameRect;
    GetWindowRect(frame, &frameRect);
    EXPECT_GT(frameRect.bottom - frameRect.top, units.bottom) << "a caption above the dialog";
    LONG style = GetWindowLongA(frame, GWL_STYLE);
    EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
    EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
    EXPECT_NE(GetWindowLongA(frame, GWL_EXSTYLE) & WS_EX_CONTEXTHELP, 0);
}

BOOL CALLBACK FindTxTimerCaption(HWND child, LPARAM found) {
    char text[32];
    GetWindowTextA(child, text, sizeof text);
    if (lstrcmpA(text, "&TX Timer:") == 0) {
        *reinterpret_cast<HWND*>(found) = child;
        return FALSE;
    }
    return TRUE;
}

TEST_F(WindowTest, TxTimerIsNeverShownAndItsLabelFollowsTheTrackbar) {
    HWND caption = nullptr;
    EnumChildWindows(dialog, FindTxTimerCaption, reinterpret_cast<LPARAM>(&caption));
    ASSERT_NE(caption, nullptr);
    Open();
    Click(IDC_OPEN);
    for (HWND control : {caption, Item(IDC_TX_TIMER), Item(IDC_TX_TIMER_LABEL)}) {
        EXPECT_FALSE(IsWindowVisible(control));
        EXPECT_FALSE(IsWindowEnabled(control));
    }
    EXPECT_EQ(Text(IDC_TX_TIMER_LABEL), "1024 MS");
    EXPECT_EQ(SendMessageA(Item(IDC_TX_TIMER), TBM_GETPOS, 0, 0), 12);
    EXPECT_EQ(entryState.txTimerIndex, 12);

    SendMessageA(Item(IDC_TX_TIMER), TBM_SETPOS, TRUE, 13);
    SendMessageA(dialog, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(Item(IDC_STATUS)));
    EXPECT_EQ(Text(IDC_TX_TIMER_LABEL), "1024 MS") << "a scroll from another control is ignored";
    SendMessageA(dialog, WM_HSCROLL, TB_ENDTRACK, reinterpret_cast<LPARAM>(Item(IDC_TX_TIMER)));
    EXPECT_EQ(Text(IDC_TX_TIMER_LABEL), "1536 MS");
    EXPECT_EQ(entryState.txTimerIndex, 13);
}

TEST_F(WindowTest, WakeUpWithAnEmptyMailboxChangesNothing) {
    Open();
    size_t written = VnetWrittenCount();
    std::string message = Text(IDC_MESSAGE);
    PostMessageA(dialog, ReaderWakeUpMessage, 0, 0);
    Settle();
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_READY);
    EXPECT_EQ(Text(IDC_MESSAGE), message);
    EXPECT_EQ(VnetWrittenCount(), written);
}

// The shown help pop-up, or null.
HWND HelpPopup() {
    HWND popup = FindWindowA(HelpPopupClass, nullptr);
    return popup != nullptr && IsWindowVisible(popup) ? popup : nullptr;
}

TEST_F(WindowTest, HelpPopUpSitsAtItsControlInTheWorkAreaAndAnyKeyClickOrOtherWindowEndsIt) {
    // F1 as the system turns it into WM_HELP for the focused control.
    auto pressF1 = [&](int id) {
        Focus(id);
        SendMessageA(Item(id), WM_KEYF1, 0, 0);
        Settle();
        return HelpPopup();
    };
    HWND popup = pressF1(IDC_PELLION_ID);
    ASSERT_NE(popup, nullptr);
    EXPECT_EQ(GetWindow(popup, GW_OWNER), frame);
    RECT field, shown;
    GetWindowRect(Item(IDC_PELLION_ID), &field);
    GetWindowRect(popup, &shown);
    EXPECT_EQ(shown.left, field.left);
    EXPECT_GE(shown.top, field.bottom);
    EXPECT_LE(shown.top, field.bottom + 4) << "just below the field";
    // A key ends it and is typed nowhere; the focus is back on the field.
    PostMessageA(GetFocus(), WM_KEYDOWN, 'A', 0x001E0001);
    Settle();
    EXPECT_EQ(HelpPopup(), nullptr);
    EXPECT_EQ(Text(IDC_PELLION_ID), "");
    EXPECT_EQ(GetFocus(), Item(IDC_PELLION_ID));

    popup = pressF1(IDC_HEX);
    ASSERT_NE(popup, nullptr);
    PostMessageA(popup, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    Settle();
    EXPECT_EQ(HelpPopup(), nullptr) << "a click ends it";
    EXPECT_EQ(GetFocus(), Item(IDC_HEX));

    ASSERT_NE(pressF1(IDC_ASCII), nullptr);
    HWND other = CreateWindowExA(0, "Static", "other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 20, nullptr,
                                 nullptr, GetModuleHandleA(nullptr), nullptr);
    SetForegroundWindow(other);
    Settle();
    EXPECT_EQ(HelpPopup(), nullptr) << "another window ends it";
    DestroyWindow(other);

    // A field at the work area's bottom right corner: the pop-up goes above
    // it and stays inside the area.
    RECT area;
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &area, 0);
    RECT frameRect;
    GetWindowRect(frame, &frameRect);
    SetWindowPos(frame, nullptr, area.right - 60 - (field.left - frameRect.left),
                 area.bottom - 2 - (field.bottom - frameRect.top), 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    popup = pressF1(IDC_PELLION_ID);
    ASSERT_NE(popup, nullptr);
    GetWindowRect(Item(IDC_PELLION_ID), &field);
    GetWindowRect(popup, &shown);
    EXPECT_LE(shown.bottom, field.top);
    EXPECT_GE(shown.top, area.top);
    EXPECT_LE(shown.right, area.right);
    EXPECT_GE(shown.left, area.left);
    SendMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
    Settle();

    // No help on a label or group box (id 65535), or on a menu item.
    HELPINFO label = {sizeof(HELPINFO), HELPINFO_WINDOW, IDC_STATIC_ID, nullptr, 0, {0, 0}};
    label.hItemHandle = GetWindow(dialog, GW_CHILD); // the "Network Interface" group box
    ASSERT_EQ(GetDlgCtrlID(static_cast<HWND>(label.hItemHandle)), IDC_STATIC_ID);
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&label));
    HELPINFO menu = {sizeof(HELPINFO), HELPINFO_MENUITEM, IDC_PELLION_ID, nullptr, 0, {0, 0}};
    SendMessageA(dialog, WM_HELP, 0, reinterpret_cast<LPARAM>(&menu));
    Settle();
    EXPECT_EQ(HelpPopup(), nullptr);
}

// The interfaces key exists but lists nothing.
class EmptyCatalogueTest : public DialogTest {
    void PrepareNetwork() override { VregAddKey("SOFTWARE\\Quorvane\\DeviceDrivers"); }
};

TEST_F(EmptyCatalogueTest, Box2AtStartUpAndOpenWithNothingSelectedOpensNothing) {
    std::vector<BoxRecord> boxes = Boxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, STR_NO_INTERFACES);
    EXPECT_EQ(boxes[0].caption, STR_CAPTION);
    EXPECT_EQ(boxes[0].owner, frame) << "the box is owned by the frame, never by another program";
    EXPECT_EQ(SendMessageA(Item(IDC_INTERFACE_LIST), CB_GETCOUNT, 0, 0), 0);

    Click(IDC_OPEN);
    EXPECT_EQ(Boxes().size(), 1u) << "nothing is shown";
    EXPECT_FALSE(Checked(IDC_OPEN)) << "the box does not claim an open interface";
    ExpectClosedState(dialog);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_IDLE);
}

} // namespace
