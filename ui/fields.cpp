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

IdTextResult ParsePellionIdText(const char* text, uint8_t pellionId[6], int* failPosition) {
    if (text[0] == '\0') {
        return IdTextResult::Empty;
    }
    int errorFlag = 0;
    int high = 0;
    // A terminator before position 16 fails at its own position, so the loop
    // never reads past the end of the text.
    for (int i = 0; i < HexTextPositions; ++i) {
        char c = text[i];
        switch (i % 3) {
        case 0:
            high = HexDigitValue(c, &errorFlag);
            break;
        case 1: {
            int low = HexDigitValue(c, &errorFlag);
            if (!errorFlag) {
                pellionId[i / 3] = static_cast<uint8_t>(high * 16 + low);
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
            *failPosition = i;
            return IdTextResult::Bad;
        }
    }
    return IdTextResult::Complete;
}

bool ParseHexLocationText(const char* text, char* ascii, int* completePairs, int* failPosition) {
    int errorFlag = 0;
    int high = 0;
    int pairs = 0;
    ascii[0] = '\0';
    *completePairs = 0;
    for (int i = 0; i < HexTextPositions; ++i) {
        char c = text[i];
        if (c == '\0') {
            return true; // the end of the text is no error, also inside a pair
        }
        switch (i % 3) {
        case 0:
            high = HexDigitValue(c, &errorFlag);
            break;
        case 1: {
            int low = HexDigitValue(c, &errorFlag);
            int value = high * 16 + low;
            if (!errorFlag && (value < 0x20 || value > 0x7F)) {
                errorFlag = 1;
            }
            if (!errorFlag) {
                ascii[pairs++] = static_cast<char>(value);
                ascii[pairs] = '\0';
                *completePairs = pairs;
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
            *failPosition = i;
            return false;
        }
    }
    return true; // characters after position 16 are not examined
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
