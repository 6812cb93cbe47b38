// The record's rows: time, ID, string before and after, outcome, milliseconds.
#include "batch/record.h"
#include "batch/text_forms.h"
#include "messaging/hextext.h"
#include <cstdio>
#include <cstring>

const char RecordHeader[] = "time,id,before,after,outcome,ms";

const char* OutcomeWord(NodeOutcome outcome) {
    switch (outcome) {
    case NodeOutcome::Changed:
        return "changed";
    case NodeOutcome::Already:
        return "already";
    case NodeOutcome::Differs:
        return "differs";
    case NodeOutcome::Failed:
        return "failed";
    case NodeOutcome::NotRun:
        return "not run";
    }
    return "failed";
}

void FormatRecordRow(char* text, size_t size, const RecordRow& row) {
    BoundedText out = StartText(text, size);
    char field[RecordRowSize];
    // ISO 8601 local time, to the second.
    std::snprintf(field, sizeof field, "%04d-%02d-%02dT%02d:%02d:%02d", row.time.year,
                  row.time.month, row.time.day, row.time.hour, row.time.minute, row.time.second);
    PutText(out, field);
    PutChar(out, ',');
    FormatHexPairs(field, row.pellionId, sizeof row.pellionId);
    PutText(out, field);
    PutChar(out, ',');
    if (row.beforeKnown) {
        PutPlanLocation(out, row.before);
    }
    PutChar(out, ',');
    if (row.afterKnown) {
        PutPlanLocation(out, row.after);
    }
    PutChar(out, ',');
    const char* word = OutcomeWord(row.outcome);
    if (row.outcome == NodeOutcome::Failed && row.reason != nullptr) {
        std::snprintf(field, sizeof field, "%s: %s", word, row.reason);
        word = field;
    }
    PutCsvField(out, word, std::strlen(word));
    PutChar(out, ',');
    if (row.ms >= 0) {
        std::snprintf(field, sizeof field, "%d", row.ms);
        PutText(out, field);
    }
}
