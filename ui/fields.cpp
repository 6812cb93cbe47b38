// Field entry, the portable half: the ID and HEX field parsers, the
// transmit-timer rule, and the store into the location buffer.
#include "ui/fields.h"
#include "messaging/entry_state.h"
#include <cstring>

int asciiFieldActive = 0;

// Both parsers walk at most 17 positions (6 pairs and 5 separators).
static const int HexTextPositions = 17;
static const int LocationTextMax = 6;

int HexDigitValue(char c, int* errorFlag) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    *errorFlag = 1;
    return 0;
}

// Walks the pair layout that both fields use: two hexadecimal digits, then a
// space, over at most 17 positions. pair(index, value) is called for every
// complete pair and may refuse it. Returns the first position that breaks the
// layout or holds a refused pair's second digit, or -1. With endIsFine the
// end of the text stops the walk without a failure; otherwise the terminator
// fails at its own position, so nothing past it is read either way.
template <typename Pair> static int WalkPairs(const char* text, bool endIsFine, Pair pair) {
    int errorFlag = 0;
    int high = 0;
    for (int i = 0; i < HexTextPositions; ++i) {
        char c = text[i];
        if (endIsFine && c == '\0') {
            return -1;
        }
        switch (i % 3) {
        case 0:
            high = HexDigitValue(c, &errorFlag);
            break;
        case 1: {
            int low = HexDigitValue(c, &errorFlag);
            if (!errorFlag && !pair(i / 3, high * 16 + low)) {
                errorFlag = 1;
            }
            break;
        }
        default:
            if (c != ' ') {
                errorFlag = 1;
            }
            break;
        }
        if (errorFlag) {
            return i;
        }
    }
    return -1; // characters after position 16 are not examined
}

IdTextResult ParsePellionIdText(const char* text, uint8_t pellionId[6], int* failPosition) {
    if (text[0] == '\0') {
        return IdTextResult::Empty;
    }
    // Each byte is stored as soon as its pair is complete.
    int fail = WalkPairs(text, false, [pellionId](int index, int value) {
        pellionId[index] = static_cast<uint8_t>(value);
        return true;
    });
    if (fail >= 0) {
        *failPosition = fail;
        return IdTextResult::Bad;
    }
    return IdTextResult::Complete;
}

bool ParseHexLocationText(const char* text, char* ascii, int* completePairs, int* failPosition) {
    ascii[0] = '\0';
    *completePairs = 0;
    int fail = WalkPairs(text, true, [ascii, completePairs](int index, int value) {
        if (value < 0x20 || value > 0x7F) {
            return false;
        }
        ascii[index] = static_cast<char>(value);
        ascii[index + 1] = '\0';
        *completePairs = index + 1;
        return true;
    });
    if (fail >= 0) {
        *failPosition = fail;
        return false;
    }
    return true;
}

int TxTimerMilliseconds(int index) {
    // The trackbar's range is 0..15; keep the shifts defined for anything else.
    if (index < 0) {
        index = 0;
    }
    if (index > 15) {
        index = 15;
    }
    int ms = 16 << (index / 2);
    if (index % 2 == 1) {
        ms += 8 << (index / 2);
    }
    return ms;
}

void StoreLocation(const char* text) {
    std::memset(entryState.location, 0, sizeof entryState.location);
    // The ASCII field is limited to 6 characters, but a text set by program
    // bypasses the limit: never copy more than a location string holds.
    for (int i = 0; i < LocationTextMax && text[i] != '\0'; ++i) {
        entryState.location[i] = text[i];
    }
}
