// The ID field's text into pellionId: accepted exactly when positions 0..16
// hold six upper-case hex pairs separated by single spaces, the 18th character
// never looked at, and the bytes of every completed pair stored.
#include "fuzz_check.h"
#include "ui/fields.h"
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

const int Positions = 17;
const uint8_t Untouched = 0xA5;

bool IsDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

int Value(char c) {
    return c <= '9' ? c - '0' : c - 'A' + 10;
}

// The first position that breaks the rule, or Positions when none does.
int FirstFault(const char* text) {
    for (int i = 0; i < Positions; ++i) {
        bool fits = i % 3 == 2 ? text[i] == ' ' : IsDigit(text[i]);
        if (!fits)
            return i; // the terminator breaks the rule too, so reading stops here
    }
    return Positions;
}

struct Outcome {
    IdTextResult result;
    uint8_t id[6];
    int failPosition;
};

// Parses a copy of exactly the text's size, so that ASan sees any read past it.
Outcome Parse(const std::vector<char>& text) {
    std::vector<char> copy(text);
    Outcome o;
    std::memset(o.id, Untouched, sizeof o.id);
    o.failPosition = -1;
    o.result = ParsePellionIdText(copy.data(), o.id, &o.failPosition);
    return o;
}

void CheckAgainstRule(const std::vector<char>& text, const Outcome& o) {
    int fault = FirstFault(text.data());
    if (text[0] == '\0') {
        CHECK(o.result == IdTextResult::Empty);
    } else {
        CHECK((o.result == IdTextResult::Complete) == (fault == Positions));
        if (o.result == IdTextResult::Bad)
            CHECK(o.failPosition == fault);
    }
    for (int pair = 0; pair < 6; ++pair) {
        int second = 3 * pair + 1;
        if (second < fault) {
            int byte = Value(text[second - 1]) * 16 + Value(text[second]);
            CHECK(o.id[pair] == byte);
        } else {
            CHECK(o.id[pair] == Untouched);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 64)
        return 0;
    std::vector<char> text(data, data + size);
    text.push_back('\0');
    Outcome first = Parse(text);
    CheckAgainstRule(text, first);

    // Another byte at index 17 (past the end of a shorter text, it is never
    // reached anyway): the same result.
    std::vector<char> changed(text);
    if (changed.size() < 19)
        changed.resize(19, '\0');
    changed[17] = static_cast<char>(changed[17] ^ 0x5A);
    Outcome second = Parse(changed);
    CHECK(second.result == first.result);
    CHECK(second.failPosition == first.failPosition);
    CHECK(std::memcmp(second.id, first.id, 6) == 0);
    return 0;
}
