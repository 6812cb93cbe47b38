// Soak of the unmodified locstr.exe on vnic.sys, with vnet.exe as the network:
// many location changes, by service pin and by typed ID, each with a fault
// drawn from a seed (a silent node, a refused write, an unknown ID, late
// answers, a flood of unrelated traffic, a service pin pressed meanwhile, the
// driver stopped and started, the interface closed and opened). Every change
// must end in "Status: Complete" or "Status: Failed" as its fault demands,
// within both phases' limits, with the nodes' memory as expected; the window
// must never be reported hung, and the program's handle count and private
// memory must stay flat. Prints the figures; exits 1 naming every violation.
// Usage (through tests/e2e/soak.sh): soak [--changes N] [--seed S] [--fast]
// SOAK_SEED=S replays the draws of a run (the timing is the machine's own).
#include "tests/e2e/e2e_support.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <psapi.h>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace {

const DWORD PhaseLimitMs = 5000;                     // the program's limit for each answer
const DWORD ChangeLimitMs = 2 * PhaseLimitMs + 3000; // both phases at their limit, and slack
const DWORD SettleMs = 300;     // for a service pin pressed meanwhile to start a change
const unsigned HandleSlack = 2; // handles the last changes may hold beyond the first's most
const SIZE_T MemorySlackKb = 512;
const int MaxViolations = 20; // the run stops after so many
const uintptr_t HandleValueLimit = 0x1000;

enum Fault {
    NoFault,
    LateAnswers,
    Flood,
    PinMeanwhile,
    SilentRead,
    SilentWrite,
    RefusedWrite,
    UnknownId,
    DriverRestart,
    Reopen,
    FaultCount
};

struct FaultKind {
    const char* name;
    int weight, fastWeight; // shares of the draw, normal and --fast
    bool fails;             // the change must end in "Failed"
};

const FaultKind Kinds[FaultCount] = {
    {"none", 30, 40, false},
    {"answers after a delay", 14, 14, false},
    {"flood of unrelated traffic", 10, 10, false},
    {"service pin pressed meanwhile", 10, 10, false},
    {"silent node (read)", 5, 2, true},
    {"silent node (write)", 4, 1, true},
    {"refused write", 8, 8, true},
    {"unknown ID, failed transaction", 6, 2, true},
    {"driver stopped and started", 3, 3, true},
    {"interface closed and opened", 10, 10, false},
};

struct KindFigures {
    int changes = 0, complete = 0, failed = 0;
    DWORD longestMs = 0;
};

struct Node {
    std::string id, location; // 12 hexadecimal digits each, as vnet.exe prints them
};

struct Sample {
    unsigned handles;
    SIZE_T privateKb;
};

// The 12 hexadecimal digits of a location string, zero-padded to 6 bytes.
std::string LocationDigits(const std::string& text) {
    char digits[13] = "";
    for (size_t i = 0; i < 6; i++)
        std::snprintf(digits + 2 * i, 3, "%02X",
                      i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return digits;
}

// A location string's text up to its first zero byte.
std::string LocationText(const std::string& digits) {
    std::string text;
    for (size_t i = 0; i + 1 < digits.size(); i += 2) {
        unsigned value = 0;
        std::sscanf(digits.c_str() + i, "%2x", &value);
        if (value == 0)
            break;
        text += static_cast<char>(value);
    }
    return text;
}

// "05018A3C1F00" as the program's ID field shows it: "05 01 8A 3C 1F 00".
std::string SpacedId(const std::string& digits) {
    std::string spaced;
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        spaced += (spaced.empty() ? "" : " ") + digits.substr(i, 2);
    return spaced;
}

// Asks IsHungAppWindow about the program's frame every 100 ms, and closes any
// error box the program shows (each one is a violation: no fault here may
// bring one up).
class Watcher {
  public:
    std::atomic<int> questions{0}, hung{0}, change{0};
    std::atomic<int> firstHungChange{-1};

    void Start(HWND frame, DWORD process) {
        frame_ = frame;
        process_ = process;
        thread_ = std::thread([this] { Body(); });
    }
    void Stop() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // Texts of the error boxes closed since the last call.
    std::vector<std::string> TakeBoxes() {
        std::lock_guard<std::mutex> guard(lock_);
        std::vector<std::string> boxes;
        boxes.swap(boxes_);
        return boxes;
    }
    ~Watcher() { Stop(); }

  private:
    HWND frame_ = nullptr;
    DWORD process_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::mutex lock_;
    std::vector<std::string> boxes_;

    void Body() {
        while (!stop_) {
            questions++;
            if (IsHungAppWindow(frame_)) {
                hung++;
                int none = -1;
                firstHungChange.compare_exchange_strong(none, change.load());
            }
            EnumWindows(CloseBox, reinterpret_cast<LPARAM>(this));
            Sleep(100);
        }
    }
    static BOOL CALLBACK CloseBox(HWND window, LPARAM self) {
        Watcher* watcher = reinterpret_cast<Watcher*>(self);
        DWORD process = 0;
        char className[16] = "";
        GetWindowThreadProcessId(window, &process);
        if (process != watcher->process_ || !IsWindowVisible(window) ||
            !GetClassNameA(window, className, sizeof className) ||
            std::strcmp(className, "#32770") != 0)
            return TRUE;
        char text[256] = "";
        GetWindowTextA(GetDlgItem(window, 0xFFFF), text, sizeof text);
        {
            std::lock_guard<std::mutex> guard(watcher->lock_);
            watcher->boxes_.push_back(text);
        }
        PostMessageA(window, WM_COMMAND, IDOK, 0);
        return TRUE;
    }
};

class Soak {
  public:
    Soak(int changes, unsigned seed, bool fast) : changes_(changes), fast_(fast), random_(seed) {}
    bool Run();

  private:
    int changes_;
    bool fast_;
    std::mt19937 random_;
    std::unique_ptr<VnetProcess> vnet_;
    Program program_;
    Watcher watcher_;
    std::vector<Node> nodes_;
    std::vector<std::string> violations_;
    std::vector<Sample> samples_;
    KindFigures figures_[FaultCount];
    int complete_ = 0, failed_ = 0, identical_ = 0, byPin_ = 0, typed_ = 0;
    int extraChanges_ = 0, vnetRestarts_ = 0;
    unsigned baseOpen_ = 0; // files vnet.exe itself holds open on the driver
    unsigned lowestHandles_ = ~0u;
    SIZE_T lowestPrivateKb_ = ~SIZE_T(0);

    int Uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    void Violation(int change, const std::string& what);
    bool Command(const std::string& line);
    bool StartVnet();
    bool ReadNodes(std::vector<Node>* nodes);
    bool SetOpen(bool open);
    bool AwaitRequest(unsigned char code, DWORD timeoutMs);
    std::string AwaitEnd(long long startUs, DWORD* tookMs);
    bool RestartDriverAndNetwork(int change);
    void Measure();
    bool OneChange(int change);
    void Report(long long startUs);
};

void Soak::Violation(int change, const std::string& what) {
    char text[64];
    std::snprintf(text, sizeof text, "change %d: ", change);
    violations_.push_back(text + what);
    std::printf("soak: VIOLATION %s%s\n", text, what.c_str());
    std::fflush(stdout);
}

bool Soak::Command(const std::string& line) {
    return vnet_->Command(line);
}

bool Soak::StartVnet() {
    vnet_.reset(new VnetProcess);
    VnicCounts counts;
    if (!vnet_->Start(ProgramPath("VNET_EXE"), "") || !DriverCounters(*vnet_, &counts))
        return false;
    baseOpen_ = counts.open;
    return ReadNodes(&nodes_);
}

bool Soak::ReadNodes(std::vector<Node>* nodes) {
    std::vector<std::string> lines;
    if (!vnet_->Command("nodes", &lines))
        return false;
    nodes->clear();
    for (const std::string& line : lines) {
        char id[13] = "", location[13] = "";
        if (std::sscanf(line.c_str(), "node %*d %12s %12s", id, location) != 2)
            return false;
        nodes->push_back({id, location});
    }
    return nodes->size() >= 2;
}

// Ticks or clears the Open box, as a click does, and checks the status line.
bool Soak::SetOpen(bool open) {
    bool ticked = SendMessageA(program_.Control(IDC_OPEN), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (ticked != open && !program_.Click(IDC_OPEN))
        return false;
    return program_.Status() == (open ? STR_STATUS_READY : STR_STATUS_IDLE);
}

// Waits until the program has written a request with this code; false when
// it does not within timeoutMs or the change has ended first.
bool Soak::AwaitRequest(unsigned char code, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    std::vector<Traffic> traffic;
    while (GetTickCount() - start < timeoutMs) {
        if (!ReadTraffic(*vnet_, 0, &traffic))
            return false;
        for (const Traffic& t : traffic)
            if (t.direction == 'w' && t.bytes.size() > 16 && t.bytes[16] == code)
                return true;
        std::string status = program_.Status();
        if (status == STR_STATUS_COMPLETE || status == STR_STATUS_FAILED)
            return false;
        Sleep(5);
    }
    return false;
}

// The status that ended the change begun at startUs, and how long it took;
// empty when the change did not end within its limits.
std::string Soak::AwaitEnd(long long startUs, DWORD* tookMs) {
    for (;;) {
        std::string status = program_.Status();
        long long elapsedMs = (NowMicroseconds() - startUs) / 1000;
        *tookMs = DWORD(elapsedMs);
        if (status == STR_STATUS_COMPLETE || status == STR_STATUS_FAILED)
            return status;
        if (elapsedMs > ChangeLimitMs)
            return "";
        Sleep(2);
    }
}

// After a change on a stopped driver: the interface closed, vnet.exe ended,
// the driver started again, a new vnet.exe, and the interface opened again.
bool Soak::RestartDriverAndNetwork(int change) {
    if (!SetOpen(false)) {
        Violation(change, "clearing Open on the stopped driver does not show \"Status: Idle\"");
        return false;
    }
    if (!vnet_->Quit())
        Violation(change, "vnet.exe did not end within 10 s of \"quit\"");
    if (!DriverRunning(true)) {
        Violation(change, "the vnic driver does not start again");
        return false;
    }
    vnetRestarts_++;
    if (!StartVnet()) {
        Violation(change, "vnet.exe does not come up on the restarted driver");
        return false;
    }
    if (!SetOpen(true)) {
        Violation(change,
                  "the interface does not open on the restarted driver: " + program_.Status());
        return false;
    }
    return true;
}

// Handles of another process whose values are below `limit`. Wine hands out
// the lowest free value, so the handles of a process with a few dozen lie
// low; a leak still shows as growth up to the limit. Far quicker than
// CountHandles' full range, which takes about a second under Wine.
unsigned CountLowHandles(HANDLE process, uintptr_t limit) {
    unsigned count = 0;
    for (uintptr_t value = 4; value < limit; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            count++;
        }
    }
    return count;
}

// The program's handles and private memory once it is at rest: a figure
// above the lowest so far is taken again a little later, since the thread
// that plays the end's sound holds a few handles and some memory for a moment.
// Wine leaves PrivateUsage 0 and reports the resident anonymous memory as
// PagefileUsage, which is the private bytes on Windows too.
void Soak::Measure() {
    unsigned handles = 0;
    SIZE_T privateKb = 0;
    for (int attempt = 0; attempt < 5; attempt++) {
        if (attempt > 0)
            Sleep(100);
        handles = CountLowHandles(program_.process.hProcess, HandleValueLimit);
        PROCESS_MEMORY_COUNTERS memory = {};
        memory.cb = sizeof memory;
        GetProcessMemoryInfo(program_.process.hProcess, &memory, sizeof memory);
        privateKb = memory.PagefileUsage / 1024;
        if (handles <= lowestHandles_ && privateKb <= lowestPrivateKb_ + MemorySlackKb)
            break;
    }
    lowestHandles_ = std::min(lowestHandles_, handles);
    lowestPrivateKb_ = std::min(lowestPrivateKb_, privateKb);
    samples_.push_back({handles, privateKb});
}

// One location change with its fault; false when the run cannot go on.
bool Soak::OneChange(int change) {
    watcher_.change = change;
    // The draws, all made first, so that a seed replays the same run.
    int total = 0;
    for (const FaultKind& kind : Kinds)
        total += fast_ ? kind.fastWeight : kind.weight;
    int draw = Uniform(0, total - 1);
    Fault fault = NoFault;
    for (int k = 0; k < FaultCount; k++) {
        draw -= fast_ ? Kinds[k].fastWeight : Kinds[k].weight;
        if (draw < 0) {
            fault = Fault(k);
            break;
        }
    }
    size_t node = size_t(Uniform(0, int(nodes_.size()) - 1));
    bool byPin = fault != UnknownId && fault != DriverRestart && Uniform(0, 1) == 1;
    bool identical = fault == NoFault && Uniform(0, 6) == 0;
    std::string location;
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-";
    int length = Uniform(1, 6);
    for (int i = 0; i < length; i++)
        location += letters[Uniform(0, int(sizeof letters) - 2)];
    int baseDelay = Uniform(0, 1) * 60;
    int delay = fault == LateAnswers    ? (fast_ ? Uniform(20, 300) : Uniform(100, 3000))
                : fault == PinMeanwhile ? (fast_ ? Uniform(100, 300) : Uniform(300, 1500))
                : fault == SilentWrite  ? Uniform(300, 600)
                                        : baseDelay;
    int floodCount = Uniform(20, 200);
    bool floodAfterRequest = Uniform(0, 1) == 1;
    size_t pinNode = size_t(Uniform(0, int(nodes_.size()) - 1));
    int pinAfterMs = Uniform(0, delay / 2);
    bool pinInWritePhase = Uniform(0, 1) == 1; // else while the read waits
    char unknownId[13];
    std::snprintf(unknownId, sizeof unknownId, "7E%02X%02X%02X%02X%02X", Uniform(0, 255),
                  Uniform(0, 255), Uniform(0, 255), Uniform(0, 255), Uniform(0, 255));

    if (identical)
        location = LocationText(nodes_[node].location);
    if (location.empty()) // a node whose string is empty: no identical change
        identical = false, location = "EMPTY";
    KindFigures& figures = figures_[fault];
    figures.changes++;
    (byPin ? byPin_ : typed_)++;

    // Before the change.
    if (fault == Reopen && (!SetOpen(false) || !SetOpen(true))) {
        Violation(change, "closing and opening the interface: " + program_.Status());
        return false;
    }
    if (fault == DriverRestart && !DriverRunning(false)) {
        Violation(change, "the vnic driver does not stop");
        return false;
    }
    if (!program_.TypeLocation(location.c_str())) {
        Violation(change, "the HEX field does not follow the typed \"" + location + "\"");
        return false;
    }
    if (!Command("fault delay " + std::to_string(delay)) ||
        !Command(std::string("fault drop ") + (fault == SilentRead ? "1" : "0")) ||
        !Command(std::string("fault writefail ") + (fault == RefusedWrite ? "1" : "0")) ||
        !Command("clearlog")) {
        Violation(change, "vnet.exe does not answer");
        return false;
    }

    // The change, and what happens meanwhile.
    program_.SetText(IDC_STATUS, "soak"); // a mark: the next end is new
    long long startUs = NowMicroseconds();
    if (byPin) {
        Command("pin " + std::to_string(node));
    } else {
        std::string id = fault == UnknownId ? unknownId : nodes_[node].id;
        program_.SetText(IDC_PELLION_ID, SpacedId(id).c_str());
        program_.PostClick(IDC_EXECUTE);
    }
    if (fault == Flood) {
        if (floodAfterRequest)
            AwaitRequest(0x6D, 3000);
        Command("flood " + std::to_string(floodCount));
    } else if (fault == PinMeanwhile) {
        unsigned char request = pinInWritePhase ? 0x6E : 0x6D; // Write or Read Memory
        if (AwaitRequest(request, 3000 + DWORD(delay))) {
            Sleep(DWORD(pinAfterMs));
            Command("pin " + std::to_string(pinNode));
        }
    } else if (fault == SilentWrite) {
        // The read's answer is on its way already; the write gets none.
        if (!AwaitRequest(0x6D, 3000) || !Command("fault drop 1"))
            Violation(change, "no Read Memory written for the silent write phase");
    }
    DWORD tookMs = 0;
    std::string status = AwaitEnd(startUs, &tookMs);
    const char* how = byPin ? "service pin" : "typed ID";
    if (status.empty()) {
        Violation(change, std::string("no end within ") + std::to_string(ChangeLimitMs) + " ms (" +
                              Kinds[fault].name + ", " + how + "): the status shows \"" +
                              program_.Status() + "\"");
        return false;
    }
    figures.longestMs = std::max(figures.longestMs, tookMs);
    bool completed = status == STR_STATUS_COMPLETE;
    (completed ? figures.complete : figures.failed)++;
    (completed ? complete_ : failed_)++;
    identical_ += identical && completed;
    bool shouldFail = Kinds[fault].fails;
    if (completed == shouldFail)
        Violation(change, "\"" + status + "\" after " + std::to_string(tookMs) + " ms (" +
                              Kinds[fault].name + ", " + how + ", \"" + location + "\")");
    std::vector<Node> expected = nodes_;
    if (completed && !identical)
        expected[node].location = LocationDigits(location);

    // A service pin pressed meanwhile may start a change of its own when it
    // came just after the answer.
    if (fault == PinMeanwhile) {
        program_.SetText(IDC_STATUS, "soak");
        Sleep(SettleMs);
        if (program_.Status() != "soak") {
            extraChanges_++;
            DWORD extraMs = 0;
            std::string extra = AwaitEnd(NowMicroseconds(), &extraMs);
            if (extra.empty()) {
                Violation(change, "the change started by the pin pressed meanwhile does not end");
                return false;
            }
            if (extra == STR_STATUS_COMPLETE)
                expected[pinNode].location = LocationDigits(location);
            status = extra;
        }
    }
    if (!Command("fault drop 0") || !Command("fault writefail 0")) {
        Violation(change, "vnet.exe does not answer");
        return false;
    }
    std::vector<Node> now;
    if (!ReadNodes(&now)) {
        Violation(change, "vnet.exe does not list its nodes");
        return false;
    }
    for (size_t n = 0; n < now.size() && n < expected.size(); n++)
        if (now[n].location != expected[n].location)
            Violation(change, "node " + std::to_string(n) + " holds " + now[n].location +
                                  ", expected " + expected[n].location + " (" + Kinds[fault].name +
                                  ", " + how + ", " + status + ")");
    nodes_ = now;
    for (const std::string& box : watcher_.TakeBoxes())
        Violation(change, "an error box: \"" + box + "\"");

    if (fault == DriverRestart && !RestartDriverAndNetwork(change))
        return false;

    Measure();
    return true;
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
        SIZE_T firstLow, firstHigh, lastLow, lastHigh;
        size_t last = samples_.size() - window;
        range(0, window, true, &firstLow, &firstHigh);
        range(last, window, true, &lastLow, &lastHigh);
        std::printf("soak: locstr.exe's handles        first %zu changes %lu..%lu, last %zu "
                    "%lu..%lu\n",
                    window, (unsigned long)firstLow, (unsigned long)firstHigh, window,
                    (unsigned long)lastLow, (unsigned long)lastHigh);
        if (lastHigh > firstHigh + HandleSlack)
            Violation(changes_, "handles grow: " + std::to_string(lastHigh) + " in the last " +
                                    std::to_string(window) + " changes, at most " +
                                    std::to_string(firstHigh) + " in the first");
        range(0, window, false, &firstLow, &firstHigh);
        range(last, window, false, &lastLow, &lastHigh);
        std::printf("soak: locstr.exe's private memory first %zu changes %lu..%lu KB, last %zu "
                    "%lu..%lu KB\n",
                    window, (unsigned long)firstLow, (unsigned long)firstHigh, window,
                    (unsigned long)lastLow, (unsigned long)lastHigh);
        if (lastHigh > firstHigh + MemorySlackKb)
            Violation(changes_, "private memory grows: " + std::to_string(lastHigh) +
                                    " KB in the last " + std::to_string(window) +
                                    " changes, at most " + std::to_string(firstHigh) +
                                    " KB in the first");
    }
    std::printf("soak: IsHungAppWindow asked %d times, TRUE %d times\n", watcher_.questions.load(),
                watcher_.hung.load());
    long long seconds = (NowMicroseconds() - startUs) / 1000000;
    std::printf("soak: wall time %lld min %02lld s\n", seconds / 60, seconds % 60);
}

bool Soak::Run() {
    long long startUs = NowMicroseconds();
    if (!DriverRunning(true) || !StartVnet()) {
        std::printf("soak: vnet.exe did not come up (is the vnic driver installed?)\n");
        return false;
    }
    if (!program_.Start(ProgramPath("LOCSTR_EXE"))) {
        std::printf("soak: locstr.exe did not show its window\n");
        return false;
    }
    watcher_.Start(program_.frame, program_.process.dwProcessId);
    if (!program_.Click(IDC_AUTO_EXECUTE) || !SetOpen(true)) {
        std::printf("soak: the interface did not open: %s\n", program_.Status().c_str());
        return false;
    }
    int done = 0;
    for (int change = 1; change <= changes_; change++) {
        bool goOn = OneChange(change);
        done = change;
        if (!goOn || int(violations_.size()) >= MaxViolations)
            break;
        if (change % 100 == 0 || change == changes_) {
            std::printf("soak: %d changes, %lld s, handles %u, private memory %lu KB\n", change,
                        (NowMicroseconds() - startUs) / 1000000, samples_.back().handles,
                        (unsigned long)samples_.back().privateKb);
            std::fflush(stdout);
        }
    }
    watcher_.Stop();
    if (watcher_.hung > 0)
        Violation(watcher_.firstHungChange,
                  "IsHungAppWindow was TRUE " + std::to_string(watcher_.hung.load()) + " times");
    if (done < changes_)
        std::printf("soak: stopped after %d of %d changes\n", done, changes_);

    long code = program_.Close();
    if (code != 0)
        Violation(done, "locstr.exe ended with " + std::to_string(code) + " on WM_CLOSE");
    VnicCounts counts;
    if (!AwaitOpenFiles(*vnet_, baseOpen_, &counts))
        Violation(done, "files left open on the driver after locstr.exe ended: " +
                            std::to_string(counts.open - baseOpen_));
    long long quitUs = NowMicroseconds();
    bool quit = vnet_->Quit();
    std::printf("soak: vnet.exe ended %lld ms after \"quit\"\n",
                (NowMicroseconds() - quitUs) / 1000);
    if (!quit)
        Violation(done, "vnet.exe did not end within 10 s of \"quit\"");
    Report(startUs);
    if (violations_.empty()) {
        std::printf("soak: no violation\n");
        return true;
    }
    std::printf("soak: %zu violations:\n", violations_.size());
    for (const std::string& v : violations_)
        std::printf("  %s\n", v.c_str());
    return false;
}

} // namespace

int main(int argc, char** argv) {
    int changes = 1000;
    bool fast = false;
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    unsigned seed = unsigned(now.QuadPart) ^ (GetCurrentProcessId() << 16);
    if (const char* replay = std::getenv("SOAK_SEED"))
        seed = unsigned(std::strtoul(replay, nullptr, 10));
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--changes") == 0 && i + 1 < argc)
            changes = std::atoi(argv[++i]);
        else if (std::strcmp(argv[i], "--seed") == 0 && i + 1 < argc)
            seed = unsigned(std::strtoul(argv[++i], nullptr, 10));
        else if (std::strcmp(argv[i], "--fast") == 0)
            fast = true;
        else {
            std::fprintf(stderr, "usage: soak [--changes N] [--seed S] [--fast]\n");
            return 2;
        }
    }
    if (changes < 1)
        changes = 1;
    std::printf("soak: seed %u (SOAK_SEED=%u replays it), %d changes, %s faults\n", seed, seed,
                changes, fast ? "fast" : "normal");
    std::fflush(stdout);
    return Soak(changes, seed, fast).Run() ? 0 : 1;
}
