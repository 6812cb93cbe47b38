// The soak's pieces shared by its run (soak.cpp) and its figures
// (soak_figures.cpp): the faults, the samples, the watcher of the window and
// the soak itself.
#pragma once
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

namespace soak {

const DWORD PhaseLimitMs = 5000;                     // the program's limit for each answer
const DWORD ChangeLimitMs = 2 * PhaseLimitMs + 3000; // both phases at their limit, and slack
const DWORD SettleMs = 300;     // for a service pin pressed meanwhile to start a change
const unsigned HandleSlack = 2; // handles the last changes' least may be above the first's most
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
inline std::string LocationDigits(const std::string& text) {
    char digits[13] = "";
    for (size_t i = 0; i < 6; i++)
        std::snprintf(digits + 2 * i, 3, "%02X",
                      i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
    return digits;
}

// A location string's text up to its first zero byte.
inline std::string LocationText(const std::string& digits) {
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
inline std::string SpacedId(const std::string& digits) {
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

    int Uniform(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(random_);
    }
    void Violation(int change, const std::string& what);
    bool Command(const std::string& line);
    bool StartVnet();
    bool ReadNodes(std::vector<Node>* nodes);
    bool SetOpen(bool open);
    bool AwaitRequest(unsigned char code, DWORD timeoutMs);
    int WritesTo(const std::string& id); // Write Memory requests since the last clearlog
    std::string AwaitEnd(long long startUs, DWORD* tookMs);
    bool RestartDriverAndNetwork(int change);
    void Measure();
    bool OneChange(int change);
    void Report(long long startUs);
};

} // namespace soak
