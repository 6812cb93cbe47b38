// The batch tool's command line:
//   locstr-batch [--check] [--interface NAME] [--record FILE [--force]] PLAN
//   locstr-batch --list | --show-nodes | --help
#pragma once
#include <cstddef>

enum class BatchAction {
    Run,       // change (or with --check, survey) the nodes of the plan
    List,      // list the installed interfaces
    ShowNodes, // the demo twin's simulated nodes; the program decides whether it has any
    Help,      // the usage text; wins over everything else on the line
};

struct BatchOptions {
    BatchAction action;
    int check;                 // --check: read and compare only, never write
    const char* interfaceName; // --interface NAME, or null
    const char* recordPath;    // --record FILE, or null
    int force;                 // --force: the record may replace an existing file
    const char* planPath;      // PLAN, or null
};

const size_t CommandLineFaultSize = 160;

// Reads argv[1..argc) into options (pointing into argv). False on a misuse,
// with what is wrong in fault (plain ASCII, no line end): the caller exits 2.
bool ParseCommandLine(int argc, const char* const* argv, BatchOptions& options, char* fault,
                      size_t faultSize);

// The usage text, line ends included; the demo twin's names --show-nodes too.
const char* BatchUsage(bool demo);
