// The plan of a batch run: which node, by its ID, gets which location string.
// Read from the CSV text a technician keeps, and checked whole before
// anything is sent: a plan with any fault yields no node at all.
#pragma once
#include <cstddef>
#include <cstdint>

const int PlanCapacity = 4096;     // nodes in one plan: a large building
const int PlanFaultCapacity = 200; // faults kept with their texts; all are counted
const size_t PlanFaultTextSize = 160;

struct PlanEntry {
    uint8_t pellionId[6];
    uint8_t location[6]; // the text, then zero bytes, as the window pads it
    int line;            // the plan's line that names the node, from 1
};

struct PlanFault {
    int line;                     // from 1; 0 for the plan as a whole
    char text[PlanFaultTextSize]; // "line 4: ...", plain ASCII, no line end
};

struct Plan {
    int entryCount; // 0 whenever faultCount is not
    PlanEntry entries[PlanCapacity];
    int faultCount;                      // every fault found
    PlanFault faults[PlanFaultCapacity]; // the first ones, in the plan's order
};

// Reads a whole plan of `length` bytes (a zero byte is just another byte):
// CSV lines "id,location", an optional first line "id,location", blank
// lines and '#' comment lines, LF or CRLF line ends, a UTF-8 byte-order mark
// at the start. True when the plan names at least one node and has no fault.
bool ReadPlan(const char* text, size_t length, Plan& plan);
