// The batch run over the plan's nodes, with its progress lines and record rows.
#include "batch/run.h"
#include "batch/console.h"
#include "batch/record.h"
#include "batch/text_forms.h"
#include "messaging/hextext.h"
#include "messaging/location.h"
#include "platform/sync.h"
#include <cstdio>
#include <cstring>

namespace {

const size_t LineSize = 256;

const char* FailureText(NodeFailure failure) {
    switch (failure) {
    case NodeFailure::SendFailed:
        return "send failed";
    case NodeFailure::NoAnswer:
        return "no answer within the limit";
    case NodeFailure::NotAcknowledged:
        return "no answer (failed transaction)";
    case NodeFailure::WriteRefused:
        return "write refused";
    case NodeFailure::None:
        break;
    }
    return "unknown";
}

NodeOutcome Outcome(NodeResult result) {
    switch (result) {
    case NodeResult::Changed:
        return NodeOutcome::Changed;
    case NodeResult::Already:
        return NodeOutcome::Already;
    case NodeResult::Differs:
        return NodeOutcome::Differs;
    case NodeResult::Failed:
        break;
    }
    return NodeOutcome::Failed;
}

void Count(RunCounts& counts, NodeOutcome outcome) {
    int* counters[] = {&counts.changed, &counts.already, &counts.differs, &counts.failed,
                       &counts.notRun};
    ++*counters[static_cast<int>(outcome)];
}

// "[12/200] 05 01 8A 3C 1F 00  "HALL 1" -> "Roof 7" changed (142 ms)"; a
// check compares ("vs") instead, and a string that could not be read is "?".
void PrintNodeLine(int number, int count, const PlanEntry& entry, const RecordRow& row,
                   bool check) {
    char text[LineSize];
    char part[LineSize];
    BoundedText out = StartText(text, sizeof text);
    std::snprintf(part, sizeof part, "[%d/%d] ", number, count);
    PutText(out, part);
    FormatHexPairs(part, entry.pellionId, sizeof entry.pellionId);
    PutText(out, part);
    PutText(out, "  ");
    if (row.beforeKnown) {
        PutShownLocation(out, row.before);
    } else {
        PutChar(out, '?');
    }
    PutText(out, check ? " vs " : " -> ");
    PutShownLocation(out, entry.location);
    std::snprintf(part, sizeof part, " %s%s%s (%d ms)\n", OutcomeWord(row.outcome),
                  row.reason != nullptr ? ": " : "", row.reason != nullptr ? row.reason : "",
                  row.ms);
    PutText(out, part);
    ConsoleOut(text);
}

bool Record(const RecordRow& row) {
    char text[RecordRowSize];
    FormatRecordRow(text, sizeof text, row);
    return AppendRecordLine(text);
}

} // namespace

RunCounts RunPlan(const Plan& plan, bool check) {
    // Chosen once: a check has no road to a write.
    NodeExchange (*exchange)(const uint8_t*, const uint8_t*) = check ? CheckNode : ChangeNode;
    RunCounts counts = {};
    while (counts.done < plan.entryCount) {
        if (StopRequested()) {
            counts.stopped = 1;
            break;
        }
        const PlanEntry& entry = plan.entries[counts.done];
        uint32_t start = PlatTickCount();
        NodeExchange node = exchange(entry.pellionId, entry.location);
        RecordRow row = {};
        row.ms = static_cast<int>(PlatTickCount() - start);
        row.time = CurrentLocalTime();
        std::memcpy(row.pellionId, entry.pellionId, sizeof row.pellionId);
        row.beforeKnown = node.beforeKnown;
        std::memcpy(row.before, node.before, sizeof row.before);
        row.afterKnown = node.afterKnown;
        std::memcpy(row.after, node.after, sizeof row.after);
        row.outcome = Outcome(node.result);
        row.reason = node.result == NodeResult::Failed ? FailureText(node.failure) : nullptr;
        Count(counts, row.outcome);
        ++counts.done;
        bool recorded = Record(row);
        PrintNodeLine(counts.done, plan.entryCount, entry, row, check);
        if (!recorded) {
            counts.recordFailed = 1;
            break;
        }
    }
    counts.notRun = plan.entryCount - counts.done;
    if (!counts.recordFailed) {
        RecordNotRun(plan, counts.done);
    }
    return counts;
}

void RecordNotRun(const Plan& plan, int first) {
    RecordRow row = {};
    row.time = CurrentLocalTime();
    row.outcome = NodeOutcome::NotRun;
    row.ms = -1;
    for (int i = first; i < plan.entryCount; ++i) {
        std::memcpy(row.pellionId, plan.entries[i].pellionId, sizeof row.pellionId);
        if (!Record(row)) {
            return;
        }
    }
}
