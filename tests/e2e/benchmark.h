// The benchmark's shared pieces: what is measured of each program, and the
// helpers that the latency part (benchmark.cpp) and the idle and start-up
// part (benchmark_process.cpp) both use.
#pragma once
#include "tests/e2e/e2e_support.h"
#include <string>
#include <vector>

struct Sample {
    double pinToRead, responseToWrite, responseToComplete, whole;
};

// One program under test (a locstr.exe, the floor or the minimal dialog) and
// what was measured of it.
struct Contender {
    std::string name;
    std::string exe;
    std::string what; // where it comes from
    std::vector<Sample> samples;
    double idleCpuMs = 0, idleTicksMs = 0, idleDriverMs = 0, idleWallMs = 0;
    std::vector<double> startupMs;
    bool isFloor = false;
};

// locstr-batch.exe over a plan of `nodes` nodes, `runs` times: its time per
// node, beside the floor's whole change (benchmark_batch.cpp).
struct BatchFigures {
    int nodes = 200, runs = 3;
    std::vector<double> perNodeMs, wallPerNodeMs;
    std::vector<double> readAnswerToWriteMs, writeAnswerToNextMs; // the tool's own parts
};
bool MeasureBatch(VnetProcess& vnet, BatchFigures* figures);
void PrintBatch(const BatchFigures& figures, const Contender& floor);

bool Fail(const std::string& what);
double Percentile(std::vector<double> values, double fraction);
// Starts the program and opens the interface, as the operator would.
bool StartOpen(Program& program, const Contender& contender);

// CPU time with an open interface and no traffic, and its table.
bool MeasureIdle(std::vector<Contender>& contenders, int seconds);
void PrintIdle(const std::vector<Contender>& contenders);
// From CreateProcess to a visible dialog reading "Status: Idle", and its table.
bool MeasureStartup(std::vector<Contender>& contenders, Contender& minimal, int runs);
void PrintStartup(const std::vector<Contender>& contenders, const Contender& minimal);
