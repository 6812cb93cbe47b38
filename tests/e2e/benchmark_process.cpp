// The benchmark's idle and start-up part: the CPU time that locstr.exe uses
// with an open interface and no traffic, and the time from CreateProcess until
// its dialog is ready, beside a minimal dialog program.
#include "tests/e2e/benchmark.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <tlhelp32.h>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <thread>

namespace {

// --- CPU time with an open interface and no traffic ---

long long Hundreds(const FILETIME& time) { // 100 ns units
    return (long long)(ULONGLONG(time.dwHighDateTime) << 32 | time.dwLowDateTime);
}

// Kernel + user time of each thread of a process, by thread id. Not
// GetProcessTimes: Wine's, asked about another process, returns the times of
// the process that asks.
std::map<DWORD, long long> ThreadTimes(DWORD processId) {
    std::map<DWORD, long long> times;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return times;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
        if (entry.th32OwnerProcessID != processId)
            continue;
        HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, entry.th32ThreadID);
        FILETIME created, ended, kernel, user;
        if (thread && GetThreadTimes(thread, &created, &ended, &kernel, &user))
            times[entry.th32ThreadID] = Hundreds(kernel) + Hundreds(user);
        if (thread)
            CloseHandle(thread);
    }
    CloseHandle(snapshot);
    return times;
}

// The CPU time the threads alive at the end used since the start (a thread
// that ended in between would be missed; with no traffic none does).
long long CpuSince(const std::map<DWORD, long long>& start, const std::map<DWORD, long long>& end) {
    long long used = 0;
    for (const auto& [id, time] : end) {
        auto before = start.find(id);
        used += time - (before == start.end() ? 0 : before->second);
    }
    return used;
}

// Under Wine, Linux keeps each thread's CPU time to the nanosecond (the first
// field of /proc/<pid>/task/<tid>/schedstat), where GetThreadTimes counts
// whole 10 ms ticks in which the thread happened to run. The processes are
// found by their command line (Wine shows the Windows path of the program)
// and by the Wine prefix in their environment, which is this process's.
std::string UnixFile(const std::string& path) {
    std::string windowsPath = "Z:" + path;
    std::replace(windowsPath.begin(), windowsPath.end(), '/', '\\');
    HANDLE file = CreateFileA(windowsPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return "";
    std::string text;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0)
        text.append(buffer, got);
    CloseHandle(file);
    return text;
}

std::vector<std::string> UnixDirectory(const std::string& path) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    std::string pattern = "Z:" + path + "/*";
    std::replace(pattern.begin(), pattern.end(), '/', '\\');
    HANDLE search = FindFirstFileA(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return names;
    do {
        if (std::isdigit(static_cast<unsigned char>(found.cFileName[0])))
            names.emplace_back(found.cFileName);
    } while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           _stricmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

// The Linux processes of this Wine prefix whose program path ends with `exe`.
std::vector<std::string> UnixProcesses(const std::string& exe) {
    std::vector<std::string> pids;
    char prefix[1024] = "";
    if (GetEnvironmentVariableA("WINEPREFIX", prefix, sizeof prefix) == 0)
        return pids;
    std::string ours = std::string("WINEPREFIX=") + prefix;
    ours.push_back('\0');
    for (const std::string& pid : UnixDirectory("/proc")) {
        std::string command = UnixFile("/proc/" + pid + "/cmdline");
        command = command.substr(0, command.find('\0')); // argv[0]
        if (!EndsWith(command, exe))
            continue;
        std::string environment = UnixFile("/proc/" + pid + "/environ");
        if (environment.find(ours) != std::string::npos)
            pids.push_back(pid);
    }
    return pids;
}

// Nanoseconds of CPU time of the threads of these processes, by thread.
std::map<DWORD, long long> UnixCpu(const std::vector<std::string>& pids) {
    std::map<DWORD, long long> times;
    for (const std::string& pid : pids) {
        std::string tasks = "/proc/" + pid + "/task";
        for (const std::string& tid : UnixDirectory(tasks)) {
            std::string file = tasks;
            file += '/';
            file += tid;
            file += "/schedstat";
            times[DWORD(std::atol(tid.c_str()))] = std::atoll(UnixFile(file).c_str());
        }
    }
    return times;
}

bool MeasureIdleSlice(Contender& contender, DWORD ms) {
    Program program;
    if (!StartOpen(program, contender))
        return false;
    Sleep(500); // the open's own work is done
    DWORD id = program.process.dwProcessId;
    std::vector<std::string> unixProgram = UnixProcesses(contender.exe);
    std::vector<std::string> unixDriver = UnixProcesses("\\winedevice.exe");
    if (unixProgram.size() != 1)
        unixProgram.clear(); // not told apart: no figure rather than a wrong one
    std::map<DWORD, long long> threadsBefore = ThreadTimes(id);
    std::map<DWORD, long long> unixBefore = UnixCpu(unixProgram);
    std::map<DWORD, long long> driverBefore = UnixCpu(unixDriver);
    long long wallBefore = NowMicroseconds();
    Sleep(ms);
    std::map<DWORD, long long> threadsAfter = ThreadTimes(id);
    std::map<DWORD, long long> unixAfter = UnixCpu(unixProgram);
    std::map<DWORD, long long> driverAfter = UnixCpu(unixDriver);
    long long wallAfter = NowMicroseconds();
    contender.idleTicksMs += CpuSince(threadsBefore, threadsAfter) / 1e4;
    contender.idleCpuMs = unixProgram.empty() || contender.idleCpuMs < 0
                              ? -1
                              : contender.idleCpuMs + CpuSince(unixBefore, unixAfter) / 1e6;
    contender.idleDriverMs =
        unixDriver.empty() || contender.idleDriverMs < 0
            ? -1
            : contender.idleDriverMs + CpuSince(driverBefore, driverAfter) / 1e6;
    contender.idleWallMs += (wallAfter - wallBefore) / 1e3;
    if (program.Close() != 0)
        return Fail(contender.name + ": locstr.exe did not end cleanly");
    return true;
}

// --- Start-up until the dialog is ready ---

struct Launch {
    PROCESS_INFORMATION process = {};
    long long startMicros = 0;
    bool Start(const std::string& exe) {
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        std::string command = "\"" + exe + "\"";
        startMicros = NowMicroseconds();
        return CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                              &startup, &process) != 0;
    }
    bool Owns(HWND window) const {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        return window != nullptr && owner == process.dwProcessId;
    }
    // Ends the program through WM_CLOSE to `window`, or by force.
    void End(HWND window) {
        if (window)
            PostMessageA(window, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process.hProcess, 15000) != WAIT_OBJECT_0) {
            TerminateProcess(process.hProcess, 1);
            WaitForSingleObject(process.hProcess, 5000);
        }
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
    }
};

// From CreateProcess until the new process's dialog is visible and its
// status control reads "Status: Idle"; the dialog is the top-level window
// `className`/`title` or its first child. Polled every millisecond; -1 when
// it is not ready within 30 s.
double StartupMs(const std::string& exe, const char* className, const char* title,
                 bool dialogIsChild, int statusId) {
    Launch launch;
    if (!launch.Start(exe))
        return -1;
    HWND top = nullptr;
    double ready = -1;
    while (NowMicroseconds() - launch.startMicros < 30000000) {
        HWND found = FindWindowA(className, title);
        if (launch.Owns(found)) {
            top = found;
            HWND dialog = dialogIsChild ? GetWindow(top, GW_CHILD) : top;
            if (dialog && IsWindowVisible(dialog) &&
                WindowText(GetDlgItem(dialog, statusId)) == STR_STATUS_IDLE) {
                ready = (NowMicroseconds() - launch.startMicros) / 1000.0;
                break;
            }
        }
        if (WaitForSingleObject(launch.process.hProcess, 1) == WAIT_OBJECT_0)
            break;
    }
    launch.End(top);
    return ready;
}

const int MinimalStatusId = 100; // the static control of minimal_dialog.cpp

} // namespace

// With two programs, each gets two half slices in the order A B B A.
bool MeasureIdle(std::vector<Contender>& contenders, int seconds) {
    DWORD total = DWORD(seconds) * 1000;
    if (contenders.size() == 1)
        return MeasureIdleSlice(contenders[0], total);
    int order[] = {0, 1, 1, 0};
    for (int k : order)
        if (!MeasureIdleSlice(contenders[size_t(k)], total / 2))
            return false;
    return true;
}

void PrintIdle(const std::vector<Contender>& contenders) {
    std::printf("\nCPU time with an open interface and no traffic, in %% of one core\n");
    std::printf("  %-10s %12s %20s %16s\n", "", "locstr.exe", "GetThreadTimes", "winedevice.exe");
    for (const Contender& c : contenders) {
        char ticks[48];
        std::snprintf(ticks, sizeof ticks, "%.3f (%.0f ms)", 100.0 * c.idleTicksMs / c.idleWallMs,
                      c.idleTicksMs);
        std::printf("  %-10s", c.name.c_str());
        if (c.idleCpuMs >= 0)
            std::printf(" %12.3f", 100.0 * c.idleCpuMs / c.idleWallMs);
        else
            std::printf(" %12s", "n/a");
        std::printf(" %20s", ticks);
        if (c.idleDriverMs >= 0)
            std::printf(" %16.3f\n", 100.0 * c.idleDriverMs / c.idleWallMs);
        else
            std::printf(" %16s\n", "n/a");
    }
    std::printf("  (over %.1f s each; locstr.exe and winedevice.exe, where vnic.sys runs: Linux's "
                "count of their threads' CPU time;\n   GetThreadTimes: locstr.exe's threads in "
                "whole 10 ms ticks; Wine's GetProcessTimes of another process returns the "
                "caller's own)\n",
                contenders[0].idleWallMs / 1000);
}

// Each program once per round, the first round uncounted (disk cache, the
// wineserver's first look at the executable).
bool MeasureStartup(std::vector<Contender>& contenders, Contender& minimal, int runs) {
    for (int round = 0; round <= runs; round++) {
        for (Contender& c : contenders) {
            double ms = StartupMs(c.exe, STR_CLASS_NAME, nullptr, true, IDC_STATUS);
            if (ms < 0)
                return Fail(c.name + ": locstr.exe's dialog did not get ready");
            if (round > 0)
                c.startupMs.push_back(ms);
        }
        double ms = StartupMs(minimal.exe, "#32770", "Minimal dialog", false, MinimalStatusId);
        if (ms < 0)
            return Fail("the minimal dialog did not get ready");
        if (round > 0)
            minimal.startupMs.push_back(ms);
    }
    return true;
}

void PrintStartup(const std::vector<Contender>& contenders, const Contender& minimal) {
    std::printf("\nStart-up, CreateProcess -> dialog visible and \"Status: Idle\", over %zu runs "
                "each, in ms\n",
                minimal.startupMs.size());
    std::printf("  %-34s %9s %9s %9s\n", "", "median", "min", "max");
    std::vector<const Contender*> all;
    all.reserve(contenders.size() + 1);
    for (const Contender& c : contenders)
        all.push_back(&c);
    all.push_back(&minimal);
    for (const Contender* c : all) {
        std::string label = c == &minimal ? "minimal dialog program" : "locstr.exe " + c->name;
        std::printf("  %-34s %9.1f %9.1f %9.1f\n", label.c_str(), Percentile(c->startupMs, 0.5),
                    Percentile(c->startupMs, 0), Percentile(c->startupMs, 1));
    }
    std::printf("  (the programs take turns; one uncounted round first; polled every ~1 ms)\n");
}
