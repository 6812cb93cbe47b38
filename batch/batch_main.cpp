// The batch tool: the command line, the plan read and checked whole, the
// interface chosen from the catalogue, the record created, the link opened,
// the run, the summary and the exit code.
#include "batch/batch_main.h"
#include "batch/command_line.h"
#include "batch/console.h"
#include "batch/demo.h"
#include "batch/plan.h"
#include "batch/run.h"
#include "messaging/link.h"
#include "niaccess/catalogue.h"
#include "platform/sync.h"
#include "resources/strings.h"
#include <cstdarg>
#include <cstdio>
#include <cstring>

#if defined(__GNUC__)
#define BATCH_PRINTF_LIKE(fmt, first) __attribute__((format(printf, fmt, first)))
#else
#define BATCH_PRINTF_LIKE(fmt, first)
#endif

namespace {

const size_t PlanTextCapacity = 1 << 20; // far more than the largest plan's lines
const size_t TextSize = 512;
const int FaultsShown = 20;

char planText[PlanTextCapacity];
Plan plan;
const char* program; // the program's name, before each complaint

void Write(void (*to)(const char*), const char* format, va_list args) {
    char text[TextSize + 1];
    std::vsnprintf(text, TextSize, format, args); // room left for the line end
    size_t end = std::strlen(text);
    text[end] = '\n';
    text[end + 1] = '\0';
    to(text);
}

// A line on the standard output.
void Say(const char* format, ...) BATCH_PRINTF_LIKE(1, 2);
void Say(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Write(ConsoleOut, format, args);
    va_end(args);
}

// A line on the standard error.
void Complain(const char* format, ...) BATCH_PRINTF_LIKE(1, 2);
void Complain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Write(ConsoleError, format, args);
    va_end(args);
}

void ListNames(int count, bool toError) {
    for (int i = 0; i < count; ++i) {
        if (toError) {
            Complain("  %s", InterfaceCatalogue[i].name);
        } else {
            Say("%s", InterfaceCatalogue[i].name);
        }
    }
}

int ListInterfaces() {
    CatalogueFound found = ReadInterfaceCatalogue();
    if (found.count == 0) {
        Complain("%s", STR_NO_INTERFACES);
        return ExitNoInterface;
    }
    ListNames(found.count, false);
    return ExitAsPlanned;
}

// The interface named on the command line (its name as listed, in any case),
// or the only one installed; null with the reason said and the exit code set.
const InterfaceEntry* ChooseInterface(const char* name, int* exitCode) {
    CatalogueFound found = ReadInterfaceCatalogue();
    if (found.count == 0) {
        Complain("%s", STR_NO_INTERFACES);
        *exitCode = ExitNoInterface;
        return nullptr;
    }
    if (name == nullptr && found.count == 1) {
        return &InterfaceCatalogue[0];
    }
    for (int i = 0; name != nullptr && i < found.count; ++i) {
        if (SameInterfaceName(name, InterfaceCatalogue[i].name)) {
            return &InterfaceCatalogue[i];
        }
    }
    if (name == nullptr) {
        Complain("%s: %d interfaces are installed; name one with --interface NAME:", program,
                 found.count);
    } else {
        Complain("%s: no interface is named \"%s\"; these are installed:", program, name);
    }
    ListNames(found.count, true);
    *exitCode = ExitUsage;
    return nullptr;
}

bool ReadPlanFile(const char* path) {
    size_t length = 0;
    switch (ReadWholeFile(path, planText, sizeof planText, &length)) {
    case FileRead::Read:
        break;
    case FileRead::TooLarge:
        Complain("%s: the plan %s is larger than %u bytes; nothing was sent", program, path,
                 static_cast<unsigned>(PlanTextCapacity));
        return false;
    case FileRead::Failed:
        Complain("%s: cannot read the plan %s; nothing was sent", program, path);
        return false;
    }
    if (ReadPlan(planText, length, plan)) {
        return true;
    }
    Complain("%s: the plan %s has %d fault%s; nothing was sent:", program, path, plan.faultCount,
             plan.faultCount == 1 ? "" : "s");
    for (int i = 0; i < plan.faultCount && i < FaultsShown; ++i) {
        Complain("  %s", plan.faults[i].text);
    }
    if (plan.faultCount > FaultsShown) {
        Complain("  ... and %d more", plan.faultCount - FaultsShown);
    }
    return false;
}

bool OpenRecord(const BatchOptions& options) {
    if (options.recordPath == nullptr) {
        return true;
    }
    switch (CreateRecordFile(options.recordPath, options.force != 0)) {
    case RecordOpened::Opened:
        if (AppendRecordLine(RecordHeader)) {
            return true;
        }
        CloseRecordFile();
        break;
    case RecordOpened::Exists:
        Complain("%s: the record %s exists already; nothing was sent (give another file, or "
                 "--force to replace it)",
                 program, options.recordPath);
        return false;
    case RecordOpened::Failed:
        break;
    }
    Complain("%s: cannot write the record %s; nothing was sent", program, options.recordPath);
    return false;
}

void SayWhereItStopped(const RunCounts& counts, const BatchOptions& options) {
    if (counts.recordFailed) {
        Complain("%s: the record %s could not be written: stopped after node %d of %d (plan line "
                 "%d)",
                 program, options.recordPath, counts.done, plan.entryCount,
                 plan.entries[counts.done - 1].line);
    } else if (counts.stopped && counts.done == 0) {
        Say("Stopped on request before the first node.");
    } else if (counts.stopped) {
        Say("Stopped on request after node %d of %d (plan line %d).", counts.done, plan.entryCount,
            plan.entries[counts.done - 1].line);
    }
}

int Run(const BatchOptions& options) {
    if (!ReadPlanFile(options.planPath)) {
        return ExitUsage;
    }
    BatchDemoStartUp();
    int exitCode = ExitAsPlanned;
    const InterfaceEntry* entry = ChooseInterface(options.interfaceName, &exitCode);
    if (entry == nullptr || !OpenRecord(options)) {
        return entry == nullptr ? exitCode : ExitUsage;
    }
    // Unnamed: the window's named event would be shared with a window that
    // runs at the same time, and each would take the other's signals.
    LinkOpened opened = LinkOpened::NotOpened;
    if (CreateLinkEvent(nullptr)) {
        opened =
            OpenLink(entry->deviceName, options.check ? LinkUse::ReadOnly : LinkUse::ReadWrite);
    }
    if (opened != LinkOpened::Running) {
        Complain("%s", opened == LinkOpened::NotOpened ? STR_OPEN_FAILED : STR_INIT_FAILED);
        Complain("%s: interface \"%s\" (device name %s); nothing was sent to the nodes", program,
                 entry->name, entry->deviceName);
        CloseLinkEvent();
        RecordNotRun(plan, 0);
        CloseRecordFile();
        return ExitNoInterface;
    }
    Say("%s %d node%s on \"%s\", plan %s", options.check ? "Checking" : "Changing", plan.entryCount,
        plan.entryCount == 1 ? "" : "s", entry->name, options.planPath);
    uint32_t start = PlatTickCount();
    RunCounts counts = RunPlan(plan, options.check != 0);
    uint32_t ms = PlatTickCount() - start;
    CloseLinkEvent(); // the reader stopped and the interface closed first
    CloseRecordFile();
    SayWhereItStopped(counts, options);
    Say("Summary: %d node%s: %d changed, %d already, %d differs, %d failed, %d not run (%u.%u s)",
        plan.entryCount, plan.entryCount == 1 ? "" : "s", counts.changed, counts.already,
        counts.differs, counts.failed, counts.notRun, ms / 1000, ms % 1000 / 100);
    if (options.recordPath != nullptr) {
        Say("Record: %s", options.recordPath);
    }
    bool asPlanned = counts.already + counts.changed == plan.entryCount;
    return asPlanned ? ExitAsPlanned : ExitNotAsPlanned;
}

} // namespace

int BatchMain(int argc, const char* const* argv) {
    bool demo = BatchIsDemo();
    program = demo ? "locstr-batch-demo" : "locstr-batch";
    BatchOptions options;
    char fault[CommandLineFaultSize];
    if (!ParseCommandLine(argc, argv, options, fault, sizeof fault)) {
        Complain("%s: %s", program, fault);
        Complain("Try %s --help.", program);
        return ExitUsage;
    }
    switch (options.action) {
    case BatchAction::Help:
        ConsoleOut(BatchUsage(demo));
        return ExitAsPlanned;
    case BatchAction::ShowNodes:
        if (!demo) {
            Complain("%s: --show-nodes is locstr-batch-demo's: this program has no simulated "
                     "nodes",
                     program);
            return ExitUsage;
        }
        BatchDemoStartUp();
        ShowDemoNodes();
        return ExitAsPlanned;
    case BatchAction::List:
        BatchDemoStartUp();
        return ListInterfaces();
    case BatchAction::Run:
        break;
    }
    return Run(options);
}
