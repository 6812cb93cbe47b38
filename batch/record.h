// The rows of a batch run's record: one CSV row per node, in the plan's own
// forms (so that the id and before or after columns read back as a plan).
#pragma once
#include <cstddef>
#include <cstdint>

enum class NodeOutcome {
    Changed, // the node held another string and took the planned one
    Already, // the node held the planned string: nothing written
    Differs, // a check found another string: nothing written
    Failed,  // with a reason
    NotRun,  // the run was interrupted before this node
};

// "changed", "already", "differs", "failed", "not run".
const char* OutcomeWord(NodeOutcome outcome);

// Local time as the caller reads it from the system.
struct LocalTime {
    int year;
    int month;
    int day;
    int hour;
    int minute;
    int second;
};

struct RecordRow {
    LocalTime time;
    uint8_t pellionId[6];
    int beforeKnown; // 0: the column stays empty (the string could not be read)
    uint8_t before[6];
    int afterKnown; // 0: the column stays empty (not known what the node holds)
    uint8_t after[6];
    NodeOutcome outcome;
    const char* reason; // Failed only: why, e.g. "no answer within the limit"
    int ms;             // time the node took; negative: the column stays empty
};

extern const char RecordHeader[]; // "time,id,before,after,outcome,ms"
const size_t RecordRowSize = 256; // a row is cut there, with its terminating zero

// "2024-05-02T14:03:07,05 01 8A 3C 1F 00,HALL 1,Roof 7,changed,142", no line end.
void FormatRecordRow(char* text, size_t size, const RecordRow& row);
