// Benchmark (not a test) of locstr.exe on the vnic driver with vnet.exe
// answering at once, optionally side by side with a baseline locstr.exe run
// alternately in the same run. It prints:
// - the latency of location changes started by a service pin, median and 90th
//   percentile of: service pin injected -> Read Memory written; read response
//   injected -> Write Memory written; write response injected -> "Status:
//   Complete" shown; the whole change. The times come from vnet.exe's traffic
//   log and, for the status line, from this process's polling, on the same
//   performance counter. Beside them the floor: the same messages moved by
//   one thread of this process;
// - locstr-batch.exe's time per node over a plan of 200 nodes, beside the
//   floor's whole change;
// - the CPU time locstr.exe uses with an open interface and no traffic;
// - the time from CreateProcess until the dialog is visible and reads
//   "Status: Idle", beside the same for a minimal dialog program.
// Usage (through tests/e2e/benchmark.sh): benchmark [changes]
// Environment: LOCSTR_EXE, VNET_EXE, LOCSTR_BATCH_EXE, MINIMAL_DIALOG_EXE, and optionally
// BASELINE_LOCSTR_EXE with BASELINE_NAME and BASELINE_WHAT; BENCH_BLOCK (changes per block,
// 10), BENCH_IDLE_SECONDS (60), BENCH_STARTUP_RUNS (5), BENCH_SAMPLES (a file
// for every change's rows), BENCH_REALTIME (set when run under SCHED_FIFO),
// BENCH_BATCH_NODES (200), BENCH_BATCH_RUNS (3).
#include "tests/e2e/benchmark.h"
#include "tests/e2e/e2e_support.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <tlhelp32.h>
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

namespace {

int EnvNumber(const char* name, int fallback) {
    const char* value = std::getenv(name);
    int number = value ? std::atoi(value) : 0;
    return number > 0 ? number : fallback;
}

// --- Latency of a location change ---

const Traffic* Find(const std::vector<Traffic>& traffic, char direction, unsigned char first,
                    unsigned char code) {
    for (const Traffic& t : traffic)
        if (t.direction == direction && t.bytes.size() > 16 && t.bytes[0] == first &&
            t.bytes[16] == code)
            return &t;
    return nullptr;
}

// The rows of one change from vnet.exe's log and the moment it was complete.
bool Measured(const std::vector<Traffic>& traffic, long long complete, Sample* sample) {
    const Traffic* pin = Find(traffic, 'r', 0x18, 0x7F);
    const Traffic* read = Find(traffic, 'w', 0x12, 0x6D);
    const Traffic* readAnswer = Find(traffic, 'r', 0x16, 0x2D);
    const Traffic* write = Find(traffic, 'w', 0x12, 0x6E);
    const Traffic* writeAnswer = Find(traffic, 'r', 0x16, 0x2E);
    if (!pin || !read || !readAnswer || !write || !writeAnswer)
        return Fail("a message of the change is missing from the log");
    *sample = {(read->microseconds - pin->microseconds) / 1000.0,
               (write->microseconds - readAnswer->microseconds) / 1000.0,
               (complete - writeAnswer->microseconds) / 1000.0,
               (complete - pin->microseconds) / 1000.0};
    return true;
}

// One change: the node gets a string of its own (so that every change
// writes), the service pin is pressed, and the status line is watched until it
// reads "Status: Complete".
bool OneChange(VnetProcess& vnet, Program& program, int serial, Sample* sample) {
    char command[64];
    std::snprintf(command, sizeof command, "setloc 0 4F4C44%06X", serial & 0xFFFFFF);
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
    return Measured(traffic, complete, sample);
}

// The floor: the same messages moved by one thread of this process that does
// nothing else, with no window, as directly as the driver allows (a blocking
// read after a zero-length overlapped read has told of a message). What the
// rows show for it is what Wine, the driver and vnet.exe cost on this machine
// at this moment.
struct FloorDevice {
    HANDLE device = INVALID_HANDLE_VALUE;
    HANDLE arrival = INVALID_HANDLE_VALUE;
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED overlapped = {};
    bool Open() {
        device =
            CreateFileA("\\\\.\\VNIC0", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        arrival = CreateFileA("\\\\.\\VNIC0", GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
        if (device == INVALID_HANDLE_VALUE || arrival == INVALID_HANDLE_VALUE || !event)
            return false;
        Arm();
        return true;
    }
    void Arm() {
        overlapped = {};
        overlapped.hEvent = event;
        DWORD count = 0;
        ReadFile(arrival, nullptr, 0, &count, &overlapped);
    }
    // The next message whose first byte is `first` and byte 16 `code`; others
    // are passed over.
    bool Await(unsigned char first, unsigned char code, std::vector<unsigned char>* message) {
        DWORD start = GetTickCount();
        while (GetTickCount() - start < 5000) {
            if (WaitForSingleObject(event, 100) != WAIT_OBJECT_0)
                continue;
            unsigned char buffer[66];
            DWORD count = 0;
            bool got = ReadFile(device, buffer, sizeof buffer, &count, nullptr) && count > 0;
            Arm();
            if (got && count > 16 && buffer[0] == first && buffer[16] == code) {
                message->assign(buffer, buffer + count);
                return true;
            }
        }
        return false;
    }
    bool Write(const std::vector<unsigned char>& message) {
        DWORD count = 0;
        return WriteFile(device, message.data(), DWORD(message.size()), &count, nullptr) &&
               count == message.size();
    }
    ~FloorDevice() {
        if (arrival != INVALID_HANDLE_VALUE) {
            // The pending arrival read writes into `overlapped` as it ends.
            DWORD count = 0;
            CancelIoEx(arrival, &overlapped);
            GetOverlappedResult(arrival, &overlapped, &count, TRUE);
            CloseHandle(arrival);
        }
        if (device != INVALID_HANDLE_VALUE)
            CloseHandle(device);
        if (event)
            CloseHandle(event);
    }
};

// The floor's answers to one service pin message, as locstr.exe would give
// them; true with the moment the Write Memory answer was read.
bool FloorRespond(FloorDevice& floor, long long* complete) {
    std::vector<unsigned char> pin, answer;
    if (!floor.Await(0x18, 0x7F, &pin) || pin.size() < 23)
        return false;
    // Read Memory and Write Memory of the node's 6-byte string, addressed by
    // the unique ID from the service pin message.
    std::vector<unsigned char> read = Bytes("12 13 60 08 05 02 00 02 0C 00 00 00 00 00 00 00 "
                                            "6D 02 00 02 06");
    std::vector<unsigned char> write = Bytes("12 1A 60 08 0C 02 00 02 0C 00 00 00 00 00 00 00 "
                                             "6E 02 00 02 06 01 42 45 4E 43 48 31");
    std::copy(pin.begin() + 17, pin.begin() + 23, read.begin() + 10);
    std::copy(pin.begin() + 17, pin.begin() + 23, write.begin() + 10);
    if (!floor.Write(read) || !floor.Await(0x16, 0x2D, &answer))
        return false;
    if (!floor.Write(write) || !floor.Await(0x16, 0x2E, &answer))
        return false;
    *complete = NowMicroseconds();
    return true;
}

// The floor's thread, started once per block (starting a thread costs Wine
// milliseconds): one change per `start`, told by `finished`.
struct FloorThread {
    FloorDevice& floor;
    HANDLE start = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    HANDLE finished = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    std::atomic<bool> quit{false};
    bool done = false;
    long long complete = 0;
    std::thread thread;
    explicit FloorThread(FloorDevice& device) : floor(device) {
        thread = std::thread([this] {
            while (WaitForSingleObject(start, INFINITE) == WAIT_OBJECT_0 && !quit) {
                done = FloorRespond(floor, &complete);
                SetEvent(finished);
            }
        });
    }
    ~FloorThread() {
        quit = true;
        SetEvent(start);
        thread.join();
        CloseHandle(start);
        CloseHandle(finished);
    }
};

// The floor's thread waits for the messages, as locstr.exe's reader does,
// while this one presses the service pin through vnet.exe's pipe.
bool FloorChange(VnetProcess& vnet, FloorThread& floor, int serial, Sample* sample) {
    char command[64];
    std::snprintf(command, sizeof command, "setloc 0 4F4C44%06X", serial & 0xFFFFFF);
    if (!vnet.Command(command) || !vnet.Command("clearlog"))
        return Fail("vnet.exe does not answer");
    SetEvent(floor.start);
    bool pressed = vnet.Command("pin 0");
    if (WaitForSingleObject(floor.finished, 20000) != WAIT_OBJECT_0 || !pressed || !floor.done)
        return Fail("floor: the change did not complete");
    std::vector<Traffic> traffic;
    if (!ReadTraffic(vnet, 0, &traffic))
        return Fail("no traffic log");
    return Measured(traffic, floor.complete, sample);
}

void SetCheck(Program& program, int id, bool checked) {
    bool now = SendMessageA(program.Control(id), BM_GETCHECK, 0, 0) == BST_CHECKED;
    if (now != checked)
        program.Click(id);
}

// A block: a fresh locstr.exe (or the floor's device opened anew), one
// uncounted change to warm it up, `count` counted changes, and the program
// closed again.
bool RunBlock(VnetProcess& vnet, Contender& contender, int count, int* serial) {
    if (contender.isFloor) {
        FloorDevice device;
        if (!device.Open())
            return Fail("floor: the device did not open");
        FloorThread floor(device);
        Sample sample;
        for (int i = 0; i <= count; i++) {
            if (!FloorChange(vnet, floor, (*serial)++, &sample))
                return false;
            if (i > 0)
                contender.samples.push_back(sample);
        }
        return true;
    }
    Program program;
    if (!StartOpen(program, contender))
        return false;
    Sample sample;
    for (int i = 0; i <= count; i++) {
        if (!OneChange(vnet, program, (*serial)++, &sample))
            return Fail(contender.name + ": the change failed");
        if (i > 0)
            contender.samples.push_back(sample);
    }
    if (program.Close() != 0)
        return Fail(contender.name + ": locstr.exe did not end cleanly");
    return true;
}

// Blocks of the contenders in turn, in the order A B C C B A A B ..., so that
// a drift in the machine's load falls on all alike.
bool MeasureLatency(VnetProcess& vnet, const std::vector<Contender*>& contenders, int changes,
                    int block) {
    int serial = 0;
    for (int round = 0;; round++) {
        bool any = false;
        for (size_t k = 0; k < contenders.size(); k++) {
            Contender& c = *contenders[round % 2 == 0 ? k : contenders.size() - 1 - k];
            int count = std::min(block, changes - int(c.samples.size()));
            if (count <= 0)
                continue;
            any = true;
            if (!RunBlock(vnet, c, count, &serial))
                return false;
        }
        if (!any)
            return true;
    }
}

struct Row {
    const char* what;
    double Sample::*field;
};
const Row rows[] = {
    {"service pin injected -> Read Memory written", &Sample::pinToRead},
    {"read response injected -> Write Memory written", &Sample::responseToWrite},
    {"write response injected -> Status: Complete", &Sample::responseToComplete},
    {"whole change, service pin -> Status: Complete", &Sample::whole},
};

std::vector<double> Column(const Contender& c, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& s : c.samples)
        values.push_back(s.*field);
    return values;
}

void PrintLatency(const std::vector<Contender>& contenders, const Contender& floor, int changes,
                  int block) {
    bool two = contenders.size() > 1;
    std::printf("Latency over %d location changes%s (vnic.sys + vnet.exe, zero simulated link "
                "delay%s), in ms\n",
                changes, two ? " by each program" : "",
                std::getenv("BENCH_REALTIME") ? "; Wine and the programs under SCHED_FIFO" : "");
    if (two) {
        std::printf("  %-48s %26s   %26s   %17s\n", "", "median", "90th percentile", "floor");
        std::printf("  %-48s %9s %9s %6s   %9s %9s %6s   %8s %8s\n", "", "current", "baseline",
                    "ratio", "current", "baseline", "ratio", "median", "90th");
    } else {
        std::printf("  %-48s %9s %9s   %17s\n", "", "", "", "floor");
        std::printf("  %-48s %9s %9s   %8s %8s\n", "", "median", "90th pct", "median", "90th");
    }
    for (const Row& row : rows) {
        std::vector<double> va = Column(contenders[0], row.field);
        std::vector<double> vf = Column(floor, row.field);
        double ma = Percentile(va, 0.5), pa = Percentile(va, 0.9);
        std::printf("  %-48s %9.2f", row.what, ma);
        if (two) {
            std::vector<double> vb = Column(contenders[1], row.field);
            double mb = Percentile(vb, 0.5), pb = Percentile(vb, 0.9);
            std::printf(" %9.2f %6.2f   %9.2f %9.2f %6.2f", mb, mb > 0 ? ma / mb : 0, pa, pb,
                        pb > 0 ? pa / pb : 0);
        } else {
            std::printf(" %9.2f", pa);
        }
        std::printf("   %8.2f %8.2f\n", Percentile(vf, 0.5), Percentile(vf, 0.9));
    }
    if (two)
        std::printf("  (ratio: current / baseline; baseline: %s)\n", contenders[1].what.c_str());
    std::printf("  (blocks of %d changes, %s and the floor taking turns, each block in a fresh "
                "process after one uncounted change; the status line is polled every ~1 ms)\n",
                block, two ? "the programs" : "the program");
    std::printf(
        "  (floor: the same messages moved by one thread of the benchmark that does nothing "
        "else: what Wine, the driver and vnet.exe cost here and now;\n   its last row "
        "ends when the answer is read, locstr.exe's when the status line is seen)\n");
}

// With BENCH_SAMPLES set, every change's rows go to that file, one line each.
void WriteSamples(const std::vector<const Contender*>& all) {
    std::string path = ProgramPath("BENCH_SAMPLES");
    if (path.empty())
        return;
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file) {
        Fail("cannot write " + path);
        return;
    }
    std::fprintf(file, "program,pin_to_read_ms,read_answer_to_write_ms,write_answer_to_complete_ms,"
                       "whole_ms\n");
    for (const Contender* c : all)
        for (const Sample& x : c->samples)
            std::fprintf(file, "%s,%.3f,%.3f,%.3f,%.3f\n", c->name.c_str(), x.pinToRead,
                         x.responseToWrite, x.responseToComplete, x.whole);
    std::fclose(file);
}

} // namespace

bool Fail(const std::string& what) {
    std::fprintf(stderr, "benchmark: %s\n", what.c_str());
    return false;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    size_t index = size_t(std::lround(fraction * double(values.size() - 1)));
    return values[index];
}

// Starts the contender's program with an open interface and auto-execute on.
bool StartOpen(Program& program, const Contender& contender) {
    if (!program.Start(contender.exe))
        return Fail(contender.name + ": locstr.exe did not start");
    if (!program.TypeLocation("BENCH1"))
        return Fail(contender.name + ": the location string could not be typed");
    SetCheck(program, IDC_AUTO_EXECUTE, true);
    SetCheck(program, IDC_OPEN, true);
    if (program.Status() != STR_STATUS_READY)
        return Fail(contender.name + ": the interface did not open");
    return true;
}

int main(int argc, char** argv) {
    int changes = argc > 1 ? std::atoi(argv[1]) : 120;
    if (changes < 1)
        changes = 120;
    int block = EnvNumber("BENCH_BLOCK", 10);
    int idleSeconds = EnvNumber("BENCH_IDLE_SECONDS", 60);
    int startupRuns = EnvNumber("BENCH_STARTUP_RUNS", 5);

    std::vector<Contender> contenders(1);
    contenders[0].name = "current";
    contenders[0].exe = ProgramPath("LOCSTR_EXE");
    std::string baseline = ProgramPath("BASELINE_LOCSTR_EXE");
    if (!baseline.empty()) {
        contenders.emplace_back();
        const char* name = std::getenv("BASELINE_NAME");
        contenders[1].name = name && *name ? name : "baseline";
        contenders[1].exe = baseline;
        const char* what = std::getenv("BASELINE_WHAT");
        contenders[1].what = what && *what ? what : baseline;
    }
    Contender minimal;
    minimal.name = "minimal";
    minimal.exe = ProgramPath("MINIMAL_DIALOG_EXE");

    {
        VnetProcess vnet;
        if (!vnet.Start(ProgramPath("VNET_EXE"), "--no-panel")) {
            Fail("vnet.exe did not come up (is the vnic driver running?)");
            return 1;
        }
        if (!vnet.Command("fault delay 0")) {
            Fail("vnet.exe does not answer");
            return 1;
        }
        Contender floor;
        floor.name = "floor";
        floor.isFloor = true;
        std::vector<Contender*> turns;
        turns.reserve(contenders.size() + 1);
        for (Contender& c : contenders)
            turns.push_back(&c);
        turns.push_back(&floor);
        if (!MeasureLatency(vnet, turns, changes, block))
            return 1;
        PrintLatency(contenders, floor, changes, block);
        WriteSamples({turns.begin(), turns.end()});
        std::fflush(stdout);
        BatchFigures batch;
        batch.nodes = EnvNumber("BENCH_BATCH_NODES", batch.nodes);
        batch.runs = EnvNumber("BENCH_BATCH_RUNS", batch.runs);
        if (!MeasureBatch(vnet, &batch))
            return 1;
        PrintBatch(batch, floor);
        std::fflush(stdout);
        if (!MeasureIdle(contenders, idleSeconds))
            return 1;
        PrintIdle(contenders);
        std::fflush(stdout);
        vnet.Quit();
    }
    if (minimal.exe.empty()) {
        std::printf("\n(no MINIMAL_DIALOG_EXE: start-up not measured)\n");
        return 0;
    }
    if (!MeasureStartup(contenders, minimal, startupRuns))
        return 1;
    PrintStartup(contenders, minimal);
    return 0;
}
