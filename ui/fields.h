// Field entry, the portable half: what the ID, ASCII and HEX fields' texts
// mean, and the transmit-timer rule. The Win32 glue (fields_win32.cpp) only
// reads and writes the controls around these.
#pragma once
#include <cstdint>

// 1: the ASCII field is the source and the HEX field follows; 0: the reverse.
extern int asciiFieldActive;

// '0'..'9' and 'A'..'F' give 0..15; anything else sets *errorFlag and gives 0.
int HexDigitValue(char c, int* errorFlag);

enum class IdTextResult { Empty, Bad, Complete };
// The ID field's text: 6 pairs at positions 0..16; bytes of completed pairs go
// into pellionId as they complete. On Bad, *failPosition is where it failed.
IdTextResult ParsePellionIdText(const char* text, uint8_t pellionId[6], int* failPosition);

// The HEX field's text: the accepted characters go into ascii (at least 7
// bytes). Returns true when the text holds nothing wrong (an unfinished last
// pair is not wrong); false with *failPosition where it failed.
// *completePairs counts the accepted pairs.
bool ParseHexLocationText(const char* text, char* ascii, int* completePairs, int* failPosition);

// Transmit-timer index 0..15 to milliseconds (12 -> 1024).
int TxTimerMilliseconds(int index);

// location := text: clear all 16 bytes, copy the text (at most 6 characters).
void StoreLocation(const char* text);
