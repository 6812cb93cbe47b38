// The benchmark's batch part: locstr-batch.exe changes a plan of many nodes
// on vnet.exe with zero link delay, and its time per node is set beside the
// floor's whole change, measured in the same run.
#include "tests/e2e/benchmark.h"
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

// Every node's ID as vnet.exe lists it ("node <n> <ID> <location>"), after
// nodes are added until the network holds `count`.
bool NetworkOf(VnetProcess& vnet, int count, std::vector<std::string>* ids) {
    std::vector<std::string> lines;
    if (!vnet.Command("nodes", &lines))
        return Fail("vnet.exe does not answer");
    for (int n = int(lines.size()); n < count; n++) {
        char command[64];
        std::snprintf(command, sizeof command, "addnode 0502%08X 4F4C44000000", unsigned(n));
        if (!vnet.Command(command))
            return Fail("vnet.exe added no node " + std::to_string(n));
    }
    if (!vnet.Command("nodes", &lines) || int(lines.size()) < count)
        return Fail("the network does not hold " + std::to_string(count) + " nodes");
    ids->clear();
    for (int n = 0; n < count; n++) {
        char id[16] = "";
        if (std::sscanf(lines[size_t(n)].c_str(), "node %*d %12s", id) != 1)
            return Fail("vnet.exe's node line: " + lines[size_t(n)]);
        ids->push_back(id);
    }
    return true;
}

// One run over the plan whose strings all start with `letter`, so every node
// is written. The time per node runs from the first node's Read Memory to the
// last node's (everything the tool does for a node lies between two of them);
// the wall time from CreateProcess to the process's end, start-up and close
// included, is given per node too.
bool BatchRun(VnetProcess& vnet, const std::vector<std::string>& ids, char letter,
              BatchFigures* figures) {
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string plan = std::string(temp) + "locstr-bench-plan.csv";
    {
        std::ofstream file(plan, std::ios::binary);
        for (size_t n = 0; n < ids.size(); n++)
            file << ids[n] << ',' << letter << n << "\r\n";
    }
    if (!vnet.Command("clearlog"))
        return Fail("vnet.exe does not answer");
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE sink =
        CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = sink;
    startup.hStdError = sink;
    std::string command = "\"" + ProgramPath("LOCSTR_BATCH_EXE") + "\" \"" + plan + "\"";
    PROCESS_INFORMATION process = {};
    long long start = NowMicroseconds();
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                  &startup, &process);
    CloseHandle(sink);
    if (!started)
        return Fail("locstr-batch.exe did not start");
    DWORD exitCode = 1;
    bool ended = WaitForSingleObject(process.hProcess, 300000) == WAIT_OBJECT_0 &&
                 GetExitCodeProcess(process.hProcess, &exitCode);
    long long end = NowMicroseconds();
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    if (!ended || exitCode != 0)
        return Fail("locstr-batch.exe did not change every node (exit code " +
                    std::to_string(exitCode) + ")");
    std::vector<Traffic> traffic;
    if (!ReadTraffic(vnet, 0, &traffic))
        return Fail("no traffic log");
    long long first = -1, last = -1, answered = -1;
    unsigned char answer = 0;
    size_t reads = 0, writes = 0;
    for (const Traffic& t : traffic) {
        if (t.bytes.size() <= 16)
            continue;
        // The tool's own parts of a node: an answer read until its next
        // request (the write after the read's answer, the next node's read
        // after the write's).
        if (t.direction == 'r' && t.bytes[0] == 0x16) {
            answered = t.microseconds;
            answer = t.bytes[16];
        }
        if (t.direction != 'w' || t.bytes[0] != 0x12)
            continue;
        if (answered >= 0)
            (answer == 0x2D ? figures->readAnswerToWriteMs : figures->writeAnswerToNextMs)
                .push_back((t.microseconds - answered) / 1000.0);
        answered = -1;
        writes += t.bytes[16] == 0x6E;
        if (t.bytes[16] == 0x6D) {
            reads++;
            last = t.microseconds;
            if (first < 0)
                first = t.microseconds;
        }
    }
    if (reads != ids.size() || writes != ids.size())
        return Fail("the log holds " + std::to_string(reads) + " reads and " +
                    std::to_string(writes) + " writes, not one of each per node");
    figures->perNodeMs.push_back((last - first) / 1000.0 / double(ids.size() - 1));
    figures->wallPerNodeMs.push_back((end - start) / 1000.0 / double(ids.size()));
    return true;
}

} // namespace

bool MeasureBatch(VnetProcess& vnet, BatchFigures* figures) {
    if (ProgramPath("LOCSTR_BATCH_EXE").empty())
        return true;
    std::vector<std::string> ids;
    if (!NetworkOf(vnet, figures->nodes, &ids))
        return false;
    for (int run = 0; run < figures->runs; run++)
        if (!BatchRun(vnet, ids, run % 2 == 0 ? 'A' : 'B', figures))
            return false;
    return true;
}

void PrintBatch(const BatchFigures& figures, const Contender& floor) {
    if (figures.perNodeMs.empty()) {
        std::printf("\n(no LOCSTR_BATCH_EXE: the batch tool not measured)\n");
        return;
    }
    // A node of the plan starts with its Read Memory: the floor's change is
    // shown whole and from its Read Memory on (without the service pin's part).
    std::vector<double> whole, fromRead;
    for (const Sample& s : floor.samples) {
        whole.push_back(s.whole);
        fromRead.push_back(s.whole - s.pinToRead);
    }
    double node = Percentile(figures.perNodeMs, 0.5);
    double floorMs = Percentile(whole, 0.5);
    double floorFromRead = Percentile(fromRead, 0.5);
    std::printf("\nlocstr-batch.exe changing %d nodes (vnic.sys + vnet.exe, zero simulated link "
                "delay), %d runs, in ms\n",
                figures.nodes, figures.runs);
    std::printf("  %-48s %9s %9s\n", "", "median", "worst");
    std::printf("  %-48s %9.2f %9.2f\n", "per node, first Read Memory -> last", node,
                Percentile(figures.perNodeMs, 1.0));
    std::printf("  %-48s %9.2f %9.2f\n", "per node, whole process (start-up, close)",
                Percentile(figures.wallPerNodeMs, 0.5), Percentile(figures.wallPerNodeMs, 1.0));
    std::printf("  %-48s %9.2f %9.2f\n", "read's answer injected -> Write Memory written",
                Percentile(figures.readAnswerToWriteMs, 0.5),
                Percentile(figures.readAnswerToWriteMs, 1.0));
    std::printf("  %-48s %9.2f %9.2f\n", "write's answer injected -> next Read Memory",
                Percentile(figures.writeAnswerToNextMs, 0.5),
                Percentile(figures.writeAnswerToNextMs, 1.0));
    std::printf("  %-48s %9.2f\n", "floor: one whole change (median, above)", floorMs);
    std::printf("  %-48s %9.2f\n", "floor: the same from its Read Memory written", floorFromRead);
    std::printf("  %-48s %9.2f %9.2f\n", "per node / floor (whole, from Read Memory)",
                floorMs > 0 ? node / floorMs : 0, floorFromRead > 0 ? node / floorFromRead : 0);
}
