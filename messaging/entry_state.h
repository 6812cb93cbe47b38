// The operator's entries: the target node, the new location string, the
// transmit-timer index and Auto-execute. One instance for the whole run.
#pragma once
#include <cstdint>

struct EntryState {
    uint8_t pellionId[6];
    char location[16]; // zero-padded; the text is at most the first 6 bytes
    int txTimerIndex;  // 0..15
    int autoExecute;   // 0/1
};

const int DefaultTxTimerIndex = 12; // 1024 ms

extern EntryState entryState;
