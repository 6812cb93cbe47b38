// The soak's figures: the program's handles and private memory at rest, and
// the report of outcomes, faults, handles, memory and time.
#include "tests/e2e/soak.h"

namespace soak {

// The program's handles and private memory once it is at rest: a figure
// above the previous change's is taken again a little later (up to 5 times),
// since the thread that plays the end's sound holds a few handles and about
// 2 MB for a moment.
// Wine leaves PrivateUsage 0 and reports the resident anonymous memory as
// PagefileUsage, which is the private bytes on Windows too.
void Soak::Measure() {
    unsigned handles = 0;
    SIZE_T privateKb = 0;
    for (int attempt = 0; attempt < 5; attempt++) {
        if (attempt > 0)
            Sleep(100);
        handles = CountHandles(program_.process.hProcess, HandleValueLimit);
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(program_.process.hProcess, &memory, sizeof memory);
        privateKb = memory.PagefileUsage / 1024;
        if (samples_.empty() || (handles <= samples_.back().handles &&
                                 privateKb <= samples_.back().privateKb + MemorySlackKb))
            break;
    }
    samples_.push_back({handles, privateKb});
}

void Soak::Report(long long startUs) {
    std::printf("soak: outcomes\n");
    std::printf("  %-32s %5d (%d of them an identical string, nothing written)\n",
                STR_STATUS_COMPLETE, complete_, identical_);
    std::printf("  %-32s %5d\n", STR_STATUS_FAILED, failed_);
    std::printf("  %-32s %5d\n", "changes by service pin", byPin_);
    std::printf("  %-32s %5d\n", "changes by typed ID", typed_);
    std::printf("  %-32s %5d\n", "extra changes by a pin meanwhile", extraChanges_);
    std::printf("  %-32s %5d\n", "vnet.exe restarts", vnetRestarts_);
    std::printf("soak: faults                        changes Complete  Failed  longest\n");
    for (int k = 0; k < FaultCount; k++)
        std::printf("  %-32s %7d %8d %7d %6lu ms\n", Kinds[k].name, figures_[k].changes,
                    figures_[k].complete, figures_[k].failed, figures_[k].longestMs);

    size_t window = std::min<size_t>(100, std::max<size_t>(1, samples_.size() / 4));
    if (samples_.size() >= 2 * window) {
        auto range = [this](size_t from, size_t count, bool handles, SIZE_T* low, SIZE_T* high) {
            *low = ~SIZE_T(0);
            *high = 0;
            for (size_t i = from; i < from + count; i++) {
                SIZE_T value = handles ? samples_[i].handles : samples_[i].privateKb;
                *low = std::min(*low, value);
                *high = std::max(*high, value);
            }
        };
        size_t last = samples_.size() - window;
        // The first and the last window side by side: the last one's lowest
        // may not rise above the first one's highest by more than the slack.
        // A leak lifts every later figure; a moment's figure (the cue's
        // thread still ending on a loaded machine) lifts only its own.
        auto flat = [&](const char* label, const char* unit, bool handles, SIZE_T slack) {
            SIZE_T firstLow, firstHigh, lastLow, lastHigh;
            range(0, window, handles, &firstLow, &firstHigh);
            range(last, window, handles, &lastLow, &lastHigh);
            std::printf("soak: locstr.exe's %-15s first %zu changes %lu..%lu%s, last %zu "
                        "%lu..%lu%s\n",
                        label, window, (unsigned long)firstLow, (unsigned long)firstHigh, unit,
                        window, (unsigned long)lastLow, (unsigned long)lastHigh, unit);
            if (lastLow > firstHigh + slack)
                Violation(changes_, std::string(label) + " grow: at least " +
                                        std::to_string(lastLow) + unit + " in the last " +
                                        std::to_string(window) + " changes, at most " +
                                        std::to_string(firstHigh) + unit + " in the first");
        };
        flat("handles", "", true, HandleSlack);
        flat("private memory", " KB", false, MemorySlackKb);
    }
    std::printf("soak: IsHungAppWindow asked %d times, TRUE %d times\n", watcher_.questions.load(),
                watcher_.hung.load());
    long long seconds = (NowMicroseconds() - startUs) / 1000000;
    std::printf("soak: wall time %lld min %02lld s\n", seconds / 60, seconds % 60);
}

} // namespace soak
