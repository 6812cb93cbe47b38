// The text forms of bytes that the program and the virtual network both show:
// the hexadecimal pairs, and a location string in quotes; and the bounded text
// into which the traffic lists and the batch tool's lines are written.
#pragma once
#include <cstddef>
#include <cstdint>

// A text being written into a buffer of `size` bytes: always zero-terminated,
// and what does not fit is cut off.
struct BoundedText {
    char* text;
    size_t size;
    size_t length;
};

BoundedText StartText(char* text, size_t size);
void PutChar(BoundedText& out, char c);
void PutText(BoundedText& out, const char* s);

// Writes `count` bytes as "41 42 ..." into destination (at least 3 * count bytes).
void FormatHexPairs(char* destination, const uint8_t* bytes, size_t count);

// The longest quoted location: a quote, six \xNN, a quote, the zero.
const size_t ShownLocationSize = 2 + 4 * 6 + 1;
// A 6-byte location string as traffic lists and progress lines show it:
// "HALL 1", in quotes, the zero bytes that pad it left out, a quote or
// backslash with a backslash before it, any other byte that cannot be shown
// as it is as \xNN. Cut to fit `size` bytes, always terminated.
void FormatShownLocation(char* text, size_t size, const uint8_t location[6]);
