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
#include "tests/e2e/soak.h"

namespace soak {

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

// Write Memory requests on the wire since the log was cleared, addressed to
// the node with this ID; -1 when vnet.exe does not answer.
int Soak::WritesTo(const std::string& id) {
    std::vector<Traffic> traffic;
    if (!ReadTraffic(*vnet_, 0, &traffic))
        return -1;
    int writes = 0;
    for (const Traffic& t : traffic)
        writes += t.direction == 'w' && t.bytes.size() > 16 && t.bytes[16] == 0x6E &&
                  Hex(std::vector<unsigned char>(t.bytes.begin() + 10, t.bytes.begin() + 16)) ==
                      SpacedId(id);
    return writes;
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
    else if (!location.empty() && location == LocationText(nodes_[node].location))
        location[0] = location[0] == 'Z' ? 'Y' : 'Z'; // a change must write unless drawn not to
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
    // came just after the answer. On a busy machine that change may have come
    // and gone before the first end was seen, so the wire tells whether it
    // wrote; a node takes what is written to it.
    if (fault == PinMeanwhile) {
        program_.SetText(IDC_STATUS, "soak");
        Sleep(SettleMs);
        bool extraChange = program_.Status() != "soak";
        if (extraChange) {
            DWORD extraMs = 0;
            std::string extra = AwaitEnd(NowMicroseconds(), &extraMs);
            if (extra.empty()) {
                Violation(change, "the change started by the pin pressed meanwhile does not end");
                return false;
            }
            status = extra;
        }
        int ownWrites = pinNode == node && completed && !identical ? 1 : 0;
        if (WritesTo(nodes_[pinNode].id) > ownWrites) {
            extraChange = true;
            expected[pinNode].location = LocationDigits(location);
        }
        extraChanges_ += extraChange;
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

} // namespace soak

using namespace soak;

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
