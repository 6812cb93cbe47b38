// End-to-end runs of the unmodified locstr-batch.exe on the vnic.sys driver,
// with vnet.exe as the network: a plan of 13 nodes as the NT family and in
// Windows 98 mode, checked first (--check writes nothing), then changed, the
// record checked against the nodes' memory; Ctrl+C between nodes (a bad plan
// sending nothing is the host tests'). Runs in the driver's Wine
// prefix (tests/e2e/CMakeLists.txt); VNET_EXE and LOCSTR_BATCH_EXE name the
// programs.
#include "tests/e2e/e2e_support.h"
#include <gtest/gtest.h>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace {

std::string Read(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

// The plan: the demo's four nodes, eight added with the strings "OLD 0" to
// "OLD 7", and one that nobody has; the IDs in both forms and either case,
// and the locations as text, in quotes and as hex: pairs.
const char Plan[] = "id,location\r\n"
                    "# Floor 1\r\n"
                    "05 01 8A 3C 1F 00,Roof 7\r\n"
                    "05018a3c2200,\"Rm, 2\"\r\n"
                    "04 B7 21 6E 0D 00,LAB 3\r\n"
                    "17 42 C0 91 5A 00,hex:41 42 7F\r\n"
                    "05 01 8A 3C 30 00,NEW 0\r\n05 01 8A 3C 30 01,NEW 1\r\n"
                    "05 01 8A 3C 30 02,NEW 2\r\n05 01 8A 3C 30 03,NEW 3\r\n"
                    "05018A3C3004,NEW 4\r\n05018A3C3005,NEW 5\r\n"
                    "05018a3c3006,NEW 6\r\n05018a3c3007,NEW 7\r\n"
                    "01 02 03 04 05 06,NOBODY\r\n";

class BatchEndToEnd : public ::testing::TestWithParam<bool> {
  protected:
    VnetProcess vnet;
    std::string folder, out, err;

    // The programs it starts share its console, so that it can send them Ctrl+C
    // (Wine gives a program started without one none); it ignores Ctrl+C itself.
    static void SetUpTestSuite() {
        FreeConsole();
        AllocConsole();
        // A handler, not the NULL one: that would make the programs ignore it too.
        SetConsoleCtrlHandler([](DWORD) -> BOOL { return TRUE; }, TRUE);
    }

    void SetUp() override {
        std::string vnetExe = ProgramPath("VNET_EXE");
        ASSERT_FALSE(vnetExe.empty() || ProgramPath("LOCSTR_BATCH_EXE").empty())
            << "set VNET_EXE and LOCSTR_BATCH_EXE";
        ASSERT_TRUE(DriverRunning(true)) << "the vnic service does not start";
        ASSERT_TRUE(vnet.Start(vnetExe, "--no-panel")) << "vnet.exe did not come up";
        ASSERT_TRUE(Windows98Mode("locstr-batch.exe", GetParam()));
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        folder = std::string(temp) + "locstr-batch-e2e\\";
        CreateDirectoryA(folder.c_str(), nullptr);
        DeleteFileA((folder + "record.csv").c_str());
    }

    void TearDown() override {
        EXPECT_TRUE(vnet.Quit());
        EXPECT_TRUE(Windows98Mode("locstr-batch.exe", false));
    }

    PROCESS_INFORMATION process = {};
    HANDLE files[2] = {};

    // Starts the program in the folder, its output going to two files.
    bool Start(const std::string& arguments) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        for (int i = 0; i < 2; ++i)
            files[i] = CreateFileA((folder + (i == 0 ? "out.txt" : "err.txt")).c_str(),
                                   GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
        STARTUPINFOA startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = files[0];
        startup.hStdError = files[1];
        std::string command = "\"" + ProgramPath("LOCSTR_BATCH_EXE") + "\" " + arguments;
        return CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr,
                              folder.c_str(), &startup, &process) != 0;
    }

    // Waits for its end: its exit code, or -1.
    long Finish() {
        DWORD exitCode = 0;
        long code = -1;
        if (WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0 &&
            GetExitCodeProcess(process.hProcess, &exitCode))
            code = long(exitCode);
        else
            TerminateProcess(process.hProcess, 1);
        CloseHandle(process.hProcess);
        CloseHandle(process.hThread);
        CloseHandle(files[0]);
        CloseHandle(files[1]);
        out = Read(folder + "out.txt");
        err = Read(folder + "err.txt");
        return code;
    }

    long Batch(const std::string& arguments) { return Start(arguments) ? Finish() : -1; }

    // In Windows 98 mode two interfaces are registered: the run names one.
    static std::string Interface() {
        return GetParam() ? "--interface \"" VNIC_INDEXED_INTERFACE "\" " : "";
    }

    void AddNodes() {
        for (int i = 0; i < 8; ++i) {
            char command[64];
            std::snprintf(command, sizeof command, "addnode 05018A3C30%02X 4F4C4420%02X00", i,
                          0x30 + i);
            ASSERT_TRUE(vnet.Command(command));
        }
        std::ofstream(folder + "plan.csv", std::ios::binary) << Plan;
    }

    std::string Memory(int node) {
        std::vector<std::string> lines;
        char bytes[13] = "";
        EXPECT_TRUE(vnet.Command("mem " + std::to_string(node), &lines));
        if (lines.size() == 1)
            std::sscanf(lines[0].c_str(), "mem %*d %12s", bytes);
        return bytes;
    }
};

TEST_P(BatchEndToEnd, ChangesAPlanOfThirteenNodesAndRecordsWhatEachHolds) {
    const bool windows98 = GetParam();
    ASSERT_TRUE(vnet.Command("fault retries 0")); // nobody's ID fails at once
    AddNodes();

    // --check first: it reads all 13, writes no node's memory, and says which differ.
    ASSERT_TRUE(vnet.Command("clearlog"));
    EXPECT_EQ(Batch(Interface() + "--check plan.csv"), 1) << out << err;
    EXPECT_NE(out.find("Summary: 13 nodes: 0 changed, 1 already, 11 differs, 1 failed, 0 not run"),
              std::string::npos)
        << out;
    std::vector<Traffic> traffic;
    ASSERT_TRUE(ReadTraffic(vnet, 0, &traffic));
    int reads = 0;
    for (const Traffic& t : traffic) {
        if (t.direction == 'w' && t.bytes.size() > 16) {
            EXPECT_NE(t.bytes[16], 0x6E) << "a Write Memory in --check: " << Hex(t.bytes);
            reads += t.bytes[16] == 0x6D;
        }
    }
    EXPECT_EQ(reads, 13);
    EXPECT_EQ(Memory(0), "48414C4C2031") << "HALL 1 still";
    EXPECT_EQ(Memory(4), "4F4C44203000") << "OLD 0 still";

    long code = Batch(Interface() + "--record record.csv plan.csv");
    EXPECT_EQ(code, 1) << out << err;
    EXPECT_NE(out.find("Summary: 13 nodes: 11 changed, 1 already, 0 differs, 1 failed, 0 not run"),
              std::string::npos)
        << out;

    // Each node's row (after its time) and what the node holds now.
    struct Row {
        int node;
        const char* row;
        const char* memory;
    } const rows[] = {
        {0, ",05 01 8A 3C 1F 00,HALL 1,Roof 7,changed,", "526F6F662037"},
        {1, ",05 01 8A 3C 22 00,ROOM12,\"Rm, 2\",changed,", "526D2C203200"},
        {2, ",04 B7 21 6E 0D 00,LAB 3,LAB 3,already,", "4C4142203300"},
        {3, ",17 42 C0 91 5A 00,STORE,hex:41 42 7F,changed,", "41427F000000"},
        {4, ",05 01 8A 3C 30 00,OLD 0,NEW 0,changed,", "4E4557203000"},
        {11, ",05 01 8A 3C 30 07,OLD 7,NEW 7,changed,", "4E4557203700"},
        {-1, ",01 02 03 04 05 06,,,failed: no answer (failed transaction),", nullptr},
    };
    std::string record = Read(folder + "record.csv");
    EXPECT_EQ(record.compare(0, 33, "time,id,before,after,outcome,ms\r\n"), 0) << record;
    size_t lines = 0;
    for (size_t at = 0; (at = record.find("\r\n", at)) != std::string::npos; at += 2)
        ++lines;
    EXPECT_EQ(lines, 14u) << record;
    for (const Row& r : rows) {
        EXPECT_NE(record.find(r.row), std::string::npos) << r.row << " not in\n" << record;
        if (r.node >= 0) {
            EXPECT_EQ(Memory(r.node), r.memory) << "node " << r.node;
        }
    }
    for (int node = 5; node < 11; ++node)
        EXPECT_EQ(Memory(node).substr(0, 8), "4E455720") << "node " << node << ": NEW";

    // The NT family's moves are file reads and writes; Windows 98's control
    // requests carrying the index: two at start-up and 13 reads for --check,
    // and as many and 11 writes for the change.
    VnicCounts counters;
    ASSERT_TRUE(AwaitOpenFiles(vnet, 2, &counters)) << "vnet.exe's two handles only";
    EXPECT_EQ(counters.olderWrite, windows98 ? 15u + 26u : 0u) << "--check's and the change's";
    if (windows98) {
        EXPECT_EQ(counters.lowestIndex + counters.highestIndex, 68u) << "34 in every code";
    }
}

// Ctrl+C during the run: it ends after the node in progress, the rows say
// what each node holds (the rest "not run"), and the interface is closed.
TEST_P(BatchEndToEnd, CtrlCEndsTheRunAfterTheNodeInProgress) {
    ASSERT_TRUE(vnet.Command("fault delay 150"));
    AddNodes();
    ASSERT_TRUE(Start(Interface() + "--record record.csv plan.csv"));
    std::string record;
    for (int i = 0; i < 3000 && std::count(record.begin(), record.end(), '\n') < 6; ++i) {
        Sleep(10);
        record = Read(folder + "record.csv");
    }
    ASSERT_TRUE(GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0));
    EXPECT_EQ(Finish(), 1);
    EXPECT_NE(err.find("Stopping after the node in progress..."), std::string::npos) << err;
    EXPECT_NE(out.find("Stopped on request after node "), std::string::npos) << out;
    record = Read(folder + "record.csv");
    int changed = 0, notRun = 0;
    for (int i = 0; i < 8; ++i) {
        char row[64];
        std::snprintf(row, sizeof row, ",05 01 8A 3C 30 %02X,OLD %d,NEW %d,changed,", i, i, i);
        bool done = record.find(row) != std::string::npos;
        std::snprintf(row, sizeof row, ",05 01 8A 3C 30 %02X,,,not run,", i);
        bool left = record.find(row) != std::string::npos;
        EXPECT_NE(done, left) << "node " << i << " in\n" << record;
        EXPECT_EQ(Memory(4 + i).substr(0, 6), done ? "4E4557" : "4F4C44") << "node " << i;
        changed += done;
        notRun += left;
    }
    EXPECT_GT(changed, 0);
    EXPECT_GT(notRun, 0);
    VnicCounts counters;
    EXPECT_TRUE(AwaitOpenFiles(vnet, 2, &counters)) << "the interface closed";
}

INSTANTIATE_TEST_SUITE_P(, BatchEndToEnd, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& mode) {
                             return mode.param ? "Windows98" : "NtFamily";
                         });

} // namespace
