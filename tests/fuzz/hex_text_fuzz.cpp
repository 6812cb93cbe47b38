// The HEX field's text into the ASCII text and `location`: only pairs from
// 20 to 7F are taken, the text cut at a failure parses again to the same
// ASCII text without failing, and ASCII -> hex text -> ASCII gives it back.
#include "fuzz_check.h"
#include "messaging/entry_state.h"
#include "messaging/hextext.h"
#include "ui/fields.h"
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace {

int Digit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    return c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
}

struct Outcome {
    bool whole;
    std::string ascii;
    int pairs;
    int failPosition;
};

// Parses a copy of exactly the text's size into an ASCII buffer of exactly the
// 7 bytes promised, so that ASan sees any access past either.
Outcome Parse(const std::string& text) {
    std::vector<char> copy(text.c_str(), text.c_str() + text.size() + 1);
    std::vector<char> ascii(7, 'x');
    Outcome o{false, "", -1, -1};
    o.whole = ParseHexLocationText(copy.data(), ascii.data(), &o.pairs, &o.failPosition);
    CHECK(std::memchr(ascii.data(), '\0', ascii.size()) != nullptr);
    o.ascii = ascii.data();
    return o;
}

// The rule itself: the first position (up to 16, before the end) that breaks it.
int FirstFault(const std::string& text) {
    for (int i = 0; i < 17 && i < int(text.size()); ++i) {
        char c = text[size_t(i)];
        if (i % 3 == 2 ? c != ' ' : Digit(c) < 0)
            return i;
        int value = i % 3 == 1 ? Digit(text[size_t(i - 1)]) * 16 + Digit(c) : 0x20;
        if (value < 0x20 || value > 0x7F)
            return i;
    }
    return -1;
}

void CheckOutcome(const std::string& text, const Outcome& o) {
    int fault = FirstFault(text);
    CHECK(o.whole == (fault < 0));
    if (!o.whole)
        CHECK(o.failPosition == fault);
    CHECK(o.pairs >= 0 && o.pairs <= 6 && o.ascii.size() == size_t(o.pairs));
    for (int k = 0; k < o.pairs; ++k) {
        unsigned char c = static_cast<unsigned char>(o.ascii[size_t(k)]);
        CHECK(c >= 0x20 && c <= 0x7F);
        CHECK(size_t(3 * k + 1) < text.size());
        CHECK(c == Digit(text[size_t(3 * k)]) * 16 + Digit(text[size_t(3 * k + 1)]));
    }
    // What HexToAscii then stores: the text and zero bytes up to 16.
    StoreLocation(o.ascii.c_str());
    char expected[16] = {};
    std::memcpy(expected, o.ascii.data(), o.ascii.size());
    CHECK(std::memcmp(entryState.location, expected, sizeof expected) == 0);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size > 63) // the field is read into a 64-byte buffer
        return 0;
    // As the field holds it: up to the first zero.
    std::string text = UpToZero(std::string(reinterpret_cast<const char*>(data), size));
    Outcome o = Parse(text);
    CheckOutcome(text, o);
    if (!o.whole) {
        std::string cut = text.substr(0, size_t(o.failPosition));
        Outcome again = Parse(cut);
        CheckOutcome(cut, again);
        CHECK(again.whole && again.ascii == o.ascii && again.pairs == o.pairs);
    }

    // Round trip of up to 6 characters from 20 to 7F, made from the input.
    size_t count = size < 6 ? size : 6;
    std::vector<uint8_t> chars(count);
    for (size_t i = 0; i < count; ++i)
        chars[i] = static_cast<uint8_t>(0x20 + data[i] % 0x60);
    std::vector<char> hex(count > 0 ? 3 * count : 1, 'x');
    FormatHexPairs(hex.data(), chars.data(), count);
    CHECK(std::strlen(hex.data()) == (count > 0 ? 3 * count - 1 : 0));
    Outcome back = Parse(hex.data());
    CHECK(back.whole && back.pairs == int(count));
    CHECK(back.ascii == std::string(chars.begin(), chars.end()));
    return 0;
}
