// Benchmark (not a test): the latency that locstr.exe itself adds to a
// location change, measured on the vnic driver with vnet.exe answering at
// once. Over many service-pin changes it prints the median and the 90th
// percentile of: service pin injected -> Read Memory written; read response
// injected -> Write Memory written; write response injected -> "Status:
// Complete" shown. The times come from vnet.exe's traffic log and, for the
// status line, from this process's polling, on the same performance counter.
// Usage (through tests/e2e/benchmark.sh): benchmark [changes]
#include "tests/e2e/e2e_support.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct Sample {
    double pinToRead, responseToWrite, responseToComplete, whole;
};

const Traffic* Find(const std::vector<Traffic>& traffic, char direction, unsigned char first,
                    unsigned char code) {
    for (const Traffic& t : traffic)
        if (t.direction == direction && t.bytes.size() > 16 && t.bytes[0] == first &&
            t.bytes[16] == code)
            return &t;
    return nullptr;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    size_t index = size_t(fraction * double(values.size() - 1) + 0.5);
    return values[index];
}

void PrintRow(const char* what, const std::vector<Sample>& samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& s : samples)
        values.push_back(s.*field);
    std::printf("  %-46s %9.2f ms %9.2f ms\n", what, Percentile(values, 0.5),
                Percentile(values, 0.9));
}

bool Fail(const char* what) {
    std::fprintf(stderr, "benchmark: %s\n", what);
    return false;
}

bool Run(int changes) {
    VnetProcess vnet;
    Program program;
    if (!vnet.Start(ProgramPath("VNET_EXE"), "--no-panel"))
        return Fail("vnet.exe did not come up (is the vnic driver running?)");
    if (!vnet.Command("fault delay 0") || !program.Start(ProgramPath("LOCSTR_EXE")))
        return Fail("locstr.exe did not start");
    if (!program.TypeLocation("BENCH1"))
        return Fail("the location string could not be typed");
    program.Click(IDC_AUTO_EXECUTE);
    program.Click(IDC_OPEN);
    if (program.Status() != STR_STATUS_READY)
        return Fail("the interface did not open");

    std::vector<Sample> samples;
    for (int i = 0; i < changes; i++) {
        // The node must differ each time, so that every change writes.
        char command[64];
        std::snprintf(command, sizeof command, "setloc 0 4F4C44%06X", i);
        if (!vnet.Command(command) || !vnet.Command("clearlog"))
            return Fail("vnet.exe does not answer");
        // A mark of ours on the status line, so the next "Complete" is new.
        program.SetText(IDC_STATUS, "benchmark");
        if (!vnet.Command("pin 0"))
            return Fail("vnet.exe does not answer");
        long long complete = 0;
        DWORD start = GetTickCount();
        for (;;) {
            std::string status = program.Status();
            if (status == STR_STATUS_COMPLETE) {
                complete = NowMicroseconds();
                break;
            }
            if (status == STR_STATUS_FAILED || GetTickCount() - start > 15000)
                return Fail("a change did not complete");
            Sleep(1);
        }
        std::vector<Traffic> traffic;
        if (!ReadTraffic(vnet, 0, &traffic))
            return Fail("no traffic log");
        const Traffic* pin = Find(traffic, 'r', 0x18, 0x7F);
        const Traffic* read = Find(traffic, 'w', 0x12, 0x6D);
        const Traffic* readAnswer = Find(traffic, 'r', 0x16, 0x2D);
        const Traffic* write = Find(traffic, 'w', 0x12, 0x6E);
        const Traffic* writeAnswer = Find(traffic, 'r', 0x16, 0x2E);
        if (!pin || !read || !readAnswer || !write || !writeAnswer)
            return Fail("a message of the change is missing from the log");
        samples.push_back({(read->microseconds - pin->microseconds) / 1000.0,
                           (write->microseconds - readAnswer->microseconds) / 1000.0,
                           (complete - writeAnswer->microseconds) / 1000.0,
                           (complete - pin->microseconds) / 1000.0});
    }
    program.Close();
    vnet.Quit();

    std::printf("locstr.exe's own latency over %d location changes (vnic.sys + vnet.exe, zero "
                "simulated link delay)\n",
                changes);
    std::printf("  %-46s %12s %12s\n", "", "median", "90th pct");
    PrintRow("service pin injected -> Read Memory written", samples, &Sample::pinToRead);
    PrintRow("read response injected -> Write Memory written", samples, &Sample::responseToWrite);
    PrintRow("write response injected -> Status: Complete", samples, &Sample::responseToComplete);
    PrintRow("whole change, service pin -> Status: Complete", samples, &Sample::whole);
    std::printf("  (the status line is polled every ~1 ms; the program waits for answers in "
                "25 ms steps)\n");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    int changes = argc > 1 ? std::atoi(argv[1]) : 120;
    if (changes < 1)
        changes = 120;
    return Run(changes) ? 0 : 1;
}
