// The batch run: the plan's nodes one after the other on the running link,
// each with its progress line and its record row as it completes.
#pragma once
#include "batch/plan.h"

struct RunCounts {
    int changed, already, differs, failed, notRun;
    int done;         // nodes that ran, from the plan's first on
    int stopped;      // the operator asked it to stop before the plan's end
    int recordFailed; // a record row could not be written: it stopped there
};

// Changes each node of the plan, or with `check` only reads and compares it
// (then nothing can change a node: see CheckNode). Before each node it looks
// whether the operator asked it to stop; the nodes it did not run get rows
// "not run".
RunCounts RunPlan(const Plan& plan, bool check);

// Rows "not run" for the plan's nodes from `first` on.
void RecordNotRun(const Plan& plan, int first);
