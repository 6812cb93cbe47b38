// The batch tool's command line and its usage text.
#include "batch/command_line.h"
#include <cstdio>
#include <cstring>

// One usage text for both programs; only the name and the demo's option differ.
#define BATCH_USAGE(program, demoOption)                                                           \
    "Usage: " program " [--check] [--interface NAME] [--record FILE [--force]] PLAN\n"             \
    "       " program " --list\n"                                                                  \
    "       " program " --help\n"                                                                  \
    "\n"                                                                                           \
    "Sets the location string of every node that PLAN names, or with --check only\n"               \
    "compares each node's string with the plan.\n"                                                 \
    "\n"                                                                                           \
    "PLAN is a CSV file, one node a line: id,location, for example\n"                              \
    "    05 01 8A 3C 1F 00,Roof 7\n"                                                               \
    "    05018a3c1f01,\"Hall, 2\"\n"                                                               \
    "    05 01 8A 3C 1F 02,hex:41 42 7F\n"                                                         \
    "The ID is 6 hexadecimal pairs separated by single spaces, or 12 hexadecimal\n"                \
    "digits. The location is 1 to 6 printable ASCII characters, in quotes when it\n"               \
    "holds a comma or a quote (written twice) or starts or ends with a space; or\n"                \
    "hex: and 1 to 6 pairs 20 to 7F. A first line id,location, blank lines and\n"                  \
    "lines starting with # are allowed. A plan with any fault sends nothing.\n"                    \
    "\n"                                                                                           \
    "  --check           read each node's string and compare it; never write\n"                    \
    "  --interface NAME  the interface to use (see --list); not needed when\n"                     \
    "                    exactly one is installed\n"                                               \
    "  --record FILE     write a CSV record, one row per node: time, id, before,\n"                \
    "                    after, outcome, ms\n"                                                     \
    "  --force           let --record replace an existing FILE\n"                                  \
    "  --list            list the installed interfaces\n" demoOption                               \
    "  --help            show this text\n"                                                         \
    "\n"                                                                                           \
    "Exit codes: 0 every node as planned, 1 some node failed or differs,\n"                        \
    "2 a bad plan or command line, 3 the interface cannot be opened.\n"

namespace {

const char ProgramUsage[] = BATCH_USAGE("locstr-batch", "");
const char DemoUsage[] = BATCH_USAGE(
    "locstr-batch-demo", "  --show-nodes      list the simulated nodes and their strings\n");

bool Is(const char* argument, const char* option) {
    return std::strcmp(argument, option) == 0;
}

bool IsHelp(const char* argument) {
    return Is(argument, "--help") || Is(argument, "-h") || Is(argument, "/?");
}

// Windows file names: case does not count, and / is \.
bool SamePath(const char* a, const char* b) {
    for (;; ++a, ++b) {
        char x = *a == '/' ? '\\' : *a;
        char y = *b == '/' ? '\\' : *b;
        x = x >= 'A' && x <= 'Z' ? static_cast<char>(x - 'A' + 'a') : x;
        y = y >= 'A' && y <= 'Z' ? static_cast<char>(y - 'A' + 'a') : y;
        if (x != y) {
            return false;
        }
        if (x == '\0') {
            return true;
        }
    }
}

} // namespace

const char* BatchUsage(bool demo) {
    return demo ? DemoUsage : ProgramUsage;
}

bool ParseCommandLine(int argc, const char* const* argv, BatchOptions& options, char* fault,
                      size_t faultSize) {
    options = BatchOptions{BatchAction::Run, 0, nullptr, nullptr, 0, nullptr};
    fault[0] = '\0';
    for (int i = 1; i < argc && !Is(argv[i], "--"); ++i) {
        if (IsHelp(argv[i])) {
            options.action = BatchAction::Help;
            return true;
        }
    }
#define MISUSE(...)                                                                                \
    do {                                                                                           \
        std::snprintf(fault, faultSize, __VA_ARGS__);                                              \
        return false;                                                                              \
    } while (0)

    const char* alone = nullptr; // --list or --show-nodes
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        if (optionsEnded || a[0] != '-' || a[1] == '\0') {
            if (a[0] == '\0') {
                MISUSE("the plan's file name is empty");
            }
            if (options.planPath != nullptr) {
                MISUSE("more than one plan: %s and %s", options.planPath, a);
            }
            options.planPath = a;
        } else if (Is(a, "--")) {
            optionsEnded = true;
        } else if (Is(a, "--check") || Is(a, "--force")) {
            int& flag = Is(a, "--check") ? options.check : options.force;
            if (flag) {
                MISUSE("%s is given twice", a);
            }
            flag = 1;
        } else if (Is(a, "--interface") || Is(a, "--record")) {
            const char*& value = Is(a, "--interface") ? options.interfaceName : options.recordPath;
            const char* what = Is(a, "--interface") ? "an interface name" : "a file name";
            if (value != nullptr) {
                MISUSE("%s is given twice", a);
            }
            if (i + 1 == argc || argv[i + 1][0] == '\0') {
                MISUSE("%s needs %s after it", a, what);
            }
            if (argv[i + 1][0] == '-' && argv[i + 1][1] == '-') {
                MISUSE("%s needs %s after it, not %s", a, what, argv[i + 1]);
            }
            value = argv[++i];
        } else if (Is(a, "--list") || Is(a, "--show-nodes")) {
            if (alone != nullptr && Is(alone, a)) {
                MISUSE("%s is given twice", a);
            }
            if (alone != nullptr) {
                MISUSE("%s and %s go alone, not together", alone, a);
            }
            alone = a;
        } else {
            MISUSE("unknown option %s", a);
        }
    }
    if (alone != nullptr) {
        if (options.check || options.force || options.interfaceName != nullptr ||
            options.recordPath != nullptr || options.planPath != nullptr) {
            MISUSE("%s goes alone, without a plan or another option", alone);
        }
        options.action = Is(alone, "--list") ? BatchAction::List : BatchAction::ShowNodes;
        return true;
    }
    if (options.force && options.recordPath == nullptr) {
        MISUSE("--force goes with --record FILE: it lets the record replace an existing file");
    }
    if (options.planPath == nullptr) {
        MISUSE("no plan: name the plan's CSV file last");
    }
    if (options.recordPath != nullptr && SamePath(options.recordPath, options.planPath)) {
        MISUSE("the record would replace the plan: give --record another file");
    }
#undef MISUSE
    return true;
}
