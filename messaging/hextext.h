// The hexadecimal text form: upper-case pairs separated by single spaces.
#pragma once
#include <cstddef>
#include <cstdint>

// Writes `count` bytes as "41 42 ..." into destination (at least 3 * count bytes).
void FormatHexPairs(char* destination, const uint8_t* bytes, size_t count);
