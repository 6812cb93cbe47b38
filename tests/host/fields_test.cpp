// Field entry and the hexadecimal text form: the ID and HEX field parsers, the
// transmit-timer rule and the location store, through every edge case the
// dialog relies on.
#include "messaging/entry_state.h"
#include "ui/fields.h"
#include "messaging/hextext.h"
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// A heap copy of exactly the text and its terminator, so AddressSanitizer
// catches a parser that reads past the end.
std::vector<char> Exact(const std::string& text) {
    return std::vector<char>(text.c_str(), text.c_str() + text.size() + 1);
}

std::string Format(const std::vector<uint8_t>& bytes) {
    // Exactly 3 * count bytes (1 for none), then a guard the formatter must not touch.
    size_t size = bytes.empty() ? 1 : 3 * bytes.size();
    std::vector<char> buffer(size + 1, '#');
    FormatHexPairs(buffer.data(), bytes.data(), bytes.size());
    EXPECT_EQ(buffer[size], '#') << "wrote past 3 * count bytes";
    return std::string(buffer.data());
}

} // namespace

TEST(FormatHexPairs, UpperCasePairsWithSingleSpacesAndNoneAtTheEnds) {
    EXPECT_EQ(Format({0x41, 0x42}), "41 42");
    EXPECT_EQ(Format({0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00}), "00 D0 71 2A 01 00");
    EXPECT_EQ(Format({0x7F}), "7F");
    EXPECT_EQ(Format({}), "");
    EXPECT_EQ(Format({0xAB, 0xCD, 0xEF, 0xFF, 0x80, 0x9E}), "AB CD EF FF 80 9E");
    std::string hall = Format({'H', 'a', 'l', 'l', ' ', '3'});
    EXPECT_EQ(hall, "48 61 6C 6C 20 33");
    EXPECT_EQ(hall.size(), 17u);
}

TEST(FormatHexPairs, EveryByteValueRoundTripsThroughHexDigitValue) {
    for (int value = 0; value < 256; ++value) {
        uint8_t byte = static_cast<uint8_t>(value);
        std::string text = Format({byte});
        ASSERT_EQ(text.size(), 2u);
        int errorFlag = 0;
        int parsed = HexDigitValue(text[0], &errorFlag) * 16 + HexDigitValue(text[1], &errorFlag);
        EXPECT_EQ(errorFlag, 0) << text;
        EXPECT_EQ(parsed, value) << text;
    }
}

TEST(HexDigitValue, OnlyDigitsAndUpperCaseAToFAreDigits) {
    for (int c = -128; c < 128; ++c) {
        char ch = static_cast<char>(c);
        int errorFlag = 0;
        int value = HexDigitValue(ch, &errorFlag);
        if (ch >= '0' && ch <= '9') {
            EXPECT_EQ(errorFlag, 0);
            EXPECT_EQ(value, ch - '0');
        } else if (ch >= 'A' && ch <= 'F') {
            EXPECT_EQ(errorFlag, 0);
            EXPECT_EQ(value, ch - 'A' + 10);
        } else {
            EXPECT_EQ(errorFlag, 1) << "character " << c;
            EXPECT_EQ(value, 0) << "character " << c;
        }
    }
}

TEST(HexDigitValue, NeverClearsTheCallersFlag) {
    int errorFlag = 0;
    HexDigitValue('a', &errorFlag);
    EXPECT_EQ(HexDigitValue('7', &errorFlag), 7);
    EXPECT_EQ(errorFlag, 1);
}

struct HexCase {
    const char* text;
    bool ok;
    const char* ascii;
    int pairs;
    int failPosition; // when !ok
};

TEST(ParseHexLocationText, AcceptsPairsAndFailsAtTheFirstBadPosition) {
    const HexCase cases[] = {
        {"48 61 6C", true, "Hal", 3, 0},
        {"48 61 6C 6C 20 33", true, "Hall 3", 6, 0},
        {"41 42 4", true, "AB", 2, 0}, // a lone digit waits for its partner
        {"41 42 ", true, "AB", 2, 0},  // so does a trailing separator
        {"41 7F", true, "A\x7F", 2, 0},
        {"20", true, " ", 1, 0},
        {"", true, "", 0, 0},
        {"4", true, "", 0, 0},
        {"41 80", false, "A", 1, 4},
        {"41 1F", false, "A", 1, 4},
        {"41-42", false, "A", 1, 2},
        {"4G", false, "", 0, 1},
        {"41  42", false, "A", 1, 3},
        {"4a", false, "", 0, 1}, // lower case is not a digit
        {"G1", false, "", 0, 0},
        {" 41", false, "", 0, 0},
        {"00", false, "", 0, 1}, // below the printable range
        {"FF", false, "", 0, 1},
        {"41 42 43 44 45 46 47", true, "ABCDEF", 6, 0}, // after position 16: not examined
        {"41 42 43 44 45 46XYZ", true, "ABCDEF", 6, 0},
    };
    for (const HexCase& c : cases) {
        SCOPED_TRACE(std::string("text \"") + c.text + "\"");
        std::vector<char> text = Exact(c.text);
        char ascii[7];
        std::memset(ascii, '#', sizeof ascii);
        int pairs = -1;
        int failPosition = -1;
        bool ok = ParseHexLocationText(text.data(), ascii, &pairs, &failPosition);
        EXPECT_EQ(ok, c.ok);
        EXPECT_STREQ(ascii, c.ascii);
        EXPECT_EQ(pairs, c.pairs);
        if (!c.ok) {
            EXPECT_EQ(failPosition, c.failPosition);
            // The field is cut at the failure; the cut text must parse clean to
            // the same ASCII text, or the echo of the cut would beep again.
            std::vector<char> cut = Exact(std::string(c.text, c.failPosition));
            char again[7];
            int againPairs = -1;
            EXPECT_TRUE(ParseHexLocationText(cut.data(), again, &againPairs, &failPosition));
            EXPECT_STREQ(again, c.ascii);
            EXPECT_EQ(againPairs, c.pairs);
        }
    }
}

TEST(ParseHexLocationText, FormattedAsciiParsesBackToItself) {
    // What AsciiToHex writes into the HEX field must be accepted by HexToAscii
    // for every printable text the ASCII field can hold.
    const char* texts[] = {"AB", "Hall 3", " ", "~}|{z", "0123", "\x7F\x20\x7E"};
    for (const char* source : texts) {
        char hex[18];
        FormatHexPairs(hex, reinterpret_cast<const uint8_t*>(source), std::strlen(source));
        char ascii[7];
        int pairs = 0;
        int failPosition = -1;
        EXPECT_TRUE(ParseHexLocationText(hex, ascii, &pairs, &failPosition)) << hex;
        EXPECT_STREQ(ascii, source);
        EXPECT_EQ(pairs, static_cast<int>(std::strlen(source)));
    }
}

TEST(ParsePellionIdText, AcceptsSixPairsAndStoresTheBytes) {
    const uint8_t expected[6] = {0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00};
    const char* texts[] = {"00 D0 71 2A 01 00", "00 D0 71 2A 01 00 ", "00 D0 71 2A 01 00X"};
    for (const char* source : texts) {
        SCOPED_TRACE(source);
        std::vector<char> text = Exact(source);
        uint8_t id[6];
        std::memset(id, 0xEE, sizeof id);
        int failPosition = -1;
        EXPECT_EQ(ParsePellionIdText(text.data(), id, &failPosition), IdTextResult::Complete);
        EXPECT_EQ(std::memcmp(id, expected, 6), 0);
    }
}

TEST(ParsePellionIdText, EmptyTextIsNoErrorAndTouchesNothing) {
    uint8_t id[6] = {1, 2, 3, 4, 5, 6};
    int failPosition = -1;
    EXPECT_EQ(ParsePellionIdText("", id, &failPosition), IdTextResult::Empty);
    const uint8_t unchanged[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(std::memcmp(id, unchanged, 6), 0);
    EXPECT_EQ(failPosition, -1);
}

TEST(ParsePellionIdText, FailsAtTheFirstBadPositionKeepingCompletedPairs) {
    struct IdCase {
        const char* text;
        int failPosition;
        int completedPairs;
    };
    const IdCase cases[] = {
        {"00D0 71 2A 01 00", 2, 1},
        {"00 D0 71 2A 01 0", 16, 5}, // 16 characters: the last pair is short
        {"00 D0 71 2A 01", 14, 5},   // the terminator is no separator
        {"00 d0 71 2A 01 00", 3, 1}, // lower case
        {"1", 1, 0},
        {" 00 D0 71 2A 01 00", 0, 0},
        {"00  D0 71 2A 01 00", 3, 1},
        {"00 D0-71 2A 01 00", 5, 2},
        {"FG", 1, 0},
    };
    for (const IdCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<char> text = Exact(c.text);
        uint8_t id[6];
        std::memset(id, 0xEE, sizeof id);
        int failPosition = -1;
        EXPECT_EQ(ParsePellionIdText(text.data(), id, &failPosition), IdTextResult::Bad);
        EXPECT_EQ(failPosition, c.failPosition);
        for (int i = c.completedPairs; i < 6; ++i) {
            EXPECT_EQ(id[i], 0xEE) << "byte " << i << " written although its pair failed";
        }
    }
    uint8_t id[6];
    std::memset(id, 0xEE, sizeof id);
    int failPosition = -1;
    ParsePellionIdText("12 34 5", id, &failPosition);
    EXPECT_EQ(failPosition, 7);
    EXPECT_EQ(id[0], 0x12);
    EXPECT_EQ(id[1], 0x34);
}

TEST(TxTimerMilliseconds, FollowsTheTransmitTimerEncoding) {
    const int table[16] = {16,  24,  32,  48,  64,   96,   128,  192,
                           256, 384, 512, 768, 1024, 1536, 2048, 3072};
    for (int p = 0; p < 16; ++p) {
        EXPECT_EQ(TxTimerMilliseconds(p), table[p]) << "position " << p;
    }
    EXPECT_EQ(TxTimerMilliseconds(DefaultTxTimerIndex), 1024);
}

TEST(StoreLocation, ClearsAllSixteenBytesAndKeepsAtMostSixCharacters) {
    std::memset(entryState.location, 'x', sizeof entryState.location);
    StoreLocation("AB");
    const char expected[16] = {'A', 'B'};
    EXPECT_EQ(std::memcmp(entryState.location, expected, 16), 0);

    StoreLocation("Hall 3");
    EXPECT_STREQ(entryState.location, "Hall 3");
    for (int i = 6; i < 16; ++i) {
        EXPECT_EQ(entryState.location[i], 0);
    }

    StoreLocation("A much longer text than any field holds");
    EXPECT_STREQ(entryState.location, "A much");

    StoreLocation("");
    const char empty[16] = {};
    EXPECT_EQ(std::memcmp(entryState.location, empty, 16), 0);
}

TEST(AsciiFieldActive, StartsWithTheHexFieldAsSource) {
    EXPECT_EQ(asciiFieldActive, 0);
}
