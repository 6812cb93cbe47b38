// Field entry on the real dialog: the ASCII and HEX location fields in step
// (cuts, caret, beeps, no echo), `location` always as the ASCII field shows
// it, and the ID field with Execute.
#include "dialog_harness.h"
#include "messaging/entry_state.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include "ui/fields.h"
#include "virtualnet/vnet.h"
#include <cstring>

namespace {

using FieldsTest = DialogTest;

std::string Location() {
    return std::string(entryState.location);
}

struct HexCase {
    const char* typed;
    const char* hexAfter;
    const char* ascii;
    int caret; // -1: no failure
};

TEST_F(FieldsTest, HexFieldFillsAsciiFieldAndCutsAtTheFirstFault) {
    const HexCase cases[] = {
        {"48 61 6C", "48 61 6C", "Hal", -1},
        {"41 42 4", "41 42 4", "AB", -1}, // the single digit waits for its partner
        {"41 7F", "41 7F", "A\x7F", -1},  // 0x7F is the upper bound
        {"41 80", "41 8", "A", 4},
        {"41 1F", "41 1", "A", 4},
        {"41-42", "41", "A", 2},
        {"4G", "4", "", 1},
        {"41  42", "41 ", "A", 3}, // a doubled space
        {"20 7E 20", "20 7E 20", " ~ ", -1},
    };
    for (const HexCase& c : cases) {
        SCOPED_TRACE(c.typed);
        Focus(IDC_HEX);
        SetText(IDC_ASCII, "zz"); // must be replaced, not kept
        recordedBeeps.clear();
        SetText(IDC_HEX, c.typed);
        EXPECT_EQ(Text(IDC_HEX), c.hexAfter);
        EXPECT_EQ(Text(IDC_ASCII), c.ascii);
        EXPECT_EQ(Location(), c.ascii);
        EXPECT_EQ(GetFocus(), Item(IDC_HEX));
        if (c.caret < 0) {
            EXPECT_TRUE(recordedBeeps.empty());
        } else {
            ASSERT_EQ(recordedBeeps.size(), 1u);
            EXPECT_EQ(recordedBeeps[0], static_cast<UINT>(MB_ICONHAND));
            DWORD start = 0;
            DWORD end = 0;
            SendMessageA(Item(IDC_HEX), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                         reinterpret_cast<LPARAM>(&end));
            EXPECT_EQ(start, static_cast<DWORD>(c.caret));
            EXPECT_EQ(end, static_cast<DWORD>(c.caret));
        }
    }
}

TEST_F(FieldsTest, TypingIntoTheHexFieldBeepsAtTheBadKeyAndGoesOn) {
    Type(IDC_HEX, "48 6");
    EXPECT_EQ(Text(IDC_ASCII), "H");
    EXPECT_TRUE(recordedBeeps.empty());
    Type(IDC_HEX, "1-");
    EXPECT_EQ(recordedBeeps.size(), 1u);
    EXPECT_EQ(Text(IDC_HEX), "48 61");
    EXPECT_EQ(Text(IDC_ASCII), "Ha");
    Type(IDC_HEX, " 6C");
    EXPECT_EQ(Text(IDC_HEX), "48 61 6C");
    EXPECT_EQ(Text(IDC_ASCII), "Hal");
    EXPECT_EQ(Location(), "Hal");
    EXPECT_EQ(recordedBeeps.size(), 1u);
}

TEST_F(FieldsTest, AsciiFieldFillsHexFieldWithoutEcho) {
    Focus(IDC_ASCII);
    SetText(IDC_ASCII, "AB");
    EXPECT_EQ(Text(IDC_HEX), "41 42");
    EXPECT_EQ(std::memcmp(entryState.location, "AB\0\0\0\0\0\0\0\0\0\0\0\0\0\0", 16), 0);
    SetText(IDC_ASCII, "Hall 3");
    EXPECT_EQ(Text(IDC_HEX), "48 61 6C 6C 20 33");
    EXPECT_EQ(Location(), "Hall 3");
    // A byte above 0x7F becomes its pair; were the HEX field's notification to
    // run HexToAscii, that pair would beep and be cut.
    SetText(IDC_ASCII, "A\xE9");
    EXPECT_EQ(Text(IDC_HEX), "41 E9");
    EXPECT_EQ(Text(IDC_ASCII), "A\xE9");
    EXPECT_TRUE(recordedBeeps.empty());

    // The reverse: the ASCII field's notification would rewrite "41 42 4" as "41 42".
    Focus(IDC_HEX);
    SetText(IDC_HEX, "41 42 4");
    EXPECT_EQ(Text(IDC_HEX), "41 42 4");
    EXPECT_EQ(Text(IDC_ASCII), "AB");
}

TEST_F(FieldsTest, EmptiedOrIncompleteFieldEmptiesTheLocation) {
    Type(IDC_ASCII, "Hall 3");
    EXPECT_EQ(Location(), "Hall 3");
    SetText(IDC_ASCII, "");
    EXPECT_EQ(Text(IDC_HEX), "");
    EXPECT_EQ(Location(), "");

    Type(IDC_ASCII, "AB");
    Focus(IDC_HEX);
    SetText(IDC_HEX, "");
    EXPECT_EQ(Text(IDC_ASCII), "");
    EXPECT_EQ(Location(), "");

    Type(IDC_ASCII, "AB");
    Focus(IDC_HEX);
    SetText(IDC_HEX, "4");
    EXPECT_EQ(Text(IDC_HEX), "4") << "what was typed stays";
    EXPECT_EQ(Text(IDC_ASCII), "");
    EXPECT_EQ(Location(), "");

    // Execute then refuses instead of writing the stale "AB".
    Open();
    size_t written = VnetWrittenCount();
    SetText(IDC_PELLION_ID, TestNodeIdText);
    Click(IDC_EXECUTE);
    EXPECT_EQ(Text(IDC_MESSAGE), STR_LOCATION_EMPTY);
    EXPECT_EQ(VnetWrittenCount(), written);
    EXPECT_EQ(NodeLocation(), "OLD 1");
}

TEST_F(FieldsTest, ExecuteWithAnEmptyIdDoesNothing) {
    Open();
    Type(IDC_ASCII, "NEW 1");
    size_t written = VnetWrittenCount();
    std::string message = Text(IDC_MESSAGE);
    Click(IDC_EXECUTE);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_READY);
    EXPECT_EQ(Text(IDC_MESSAGE), message);
    EXPECT_EQ(VnetWrittenCount(), written);
    EXPECT_TRUE(recordedCues.empty());
}

TEST_F(FieldsTest, BadIdShowsBox6WithTheWholeTextSelected) {
    Open();
    Type(IDC_ASCII, "NEW 1");
    size_t written = VnetWrittenCount();
    const char* badIds[] = {"00D0 71 2A 01 00", "00 D0 71 2A 01 0", "00 D0 71 2A 01 0G"};
    size_t expectedBoxes = 0;
    for (const char* id : badIds) {
        SCOPED_TRACE(id);
        SetText(IDC_PELLION_ID, id);
        Focus(IDC_ASCII);
        Click(IDC_EXECUTE);
        std::vector<BoxRecord> boxes = Boxes();
        ASSERT_EQ(boxes.size(), ++expectedBoxes);
        EXPECT_EQ(boxes.back().text, STR_BAD_PELLION_ID);
        EXPECT_EQ(boxes.back().caption, STR_CAPTION);
        EXPECT_EQ(boxes.back().owner, frame);
        EXPECT_EQ(GetFocus(), Item(IDC_PELLION_ID)) << "after the box, too";
        DWORD start = 1;
        DWORD end = 0;
        SendMessageA(Item(IDC_PELLION_ID), EM_GETSEL, reinterpret_cast<WPARAM>(&start),
                     reinterpret_cast<LPARAM>(&end));
        EXPECT_EQ(start, 0u);
        EXPECT_EQ(end, std::strlen(id));
    }
    EXPECT_EQ(VnetWrittenCount(), written) << "no request for a bad ID";
    EXPECT_EQ(NodeLocation(), "OLD 1");
}

TEST_F(FieldsTest, ValidIdWithOneMoreCharacterStartsTheChange) {
    Open();
    Type(IDC_ASCII, "NEW 1");
    std::string id = std::string(TestNodeIdText) + "X";
    SetText(IDC_PELLION_ID, id.c_str());
    Click(IDC_EXECUTE);
    EXPECT_TRUE(Boxes().empty());
    EXPECT_EQ(std::memcmp(entryState.pellionId, TestNodeId, 6), 0);
    EXPECT_EQ(Text(IDC_STATUS), STR_STATUS_COMPLETE);
    EXPECT_EQ(NodeLocation(), "NEW 1");
}

} // namespace
