// End-to-end tests of the unmodified locstr.exe on the vnic.sys driver, with
// vnet.exe as the network behind it: the program is operated through its
// window, the wire is checked in vnet.exe's traffic log, and the nodes'
// memory through vnet.exe's commands. Runs in the driver's Wine prefix
// (tests/e2e/CMakeLists.txt); VNET_EXE and LOCSTR_EXE name the programs.
#include "tests/e2e/e2e_support.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <gtest/gtest.h>
#include <cstdio>
#include <cstring>

namespace {

struct Node {
    std::vector<unsigned char> id, location;
};

std::vector<unsigned char> Written(const std::vector<Traffic>& traffic, unsigned char code) {
    for (const Traffic& t : traffic)
        if (t.direction == 'w' && t.bytes.size() > 16 && t.bytes[16] == code)
            return t.bytes;
    return {};
}

const Traffic* Injected(const std::vector<Traffic>& traffic, unsigned char first,
                        unsigned char code) {
    for (const Traffic& t : traffic)
        if (t.direction == 'r' && t.bytes.size() > 16 && t.bytes[0] == first && t.bytes[16] == code)
            return &t;
    return nullptr;
}

class EndToEnd : public ::testing::Test {
  protected:
    VnetProcess vnet;
    Program program;
    std::vector<Node> nodes;
    unsigned baseOpen = 0; // files vnet.exe itself holds open on the driver
    bool windows98 = false;

    void SetUp() override {
        std::string vnetExe = ProgramPath("VNET_EXE"), locstrExe = ProgramPath("LOCSTR_EXE");
        ASSERT_FALSE(vnetExe.empty() || locstrExe.empty()) << "set VNET_EXE and LOCSTR_EXE";
        ASSERT_TRUE(DriverRunning(true)) << "the vnic service does not start";
        ASSERT_TRUE(vnet.Start(vnetExe, "")) << "vnet.exe did not come up";
        std::vector<std::string> lines;
        ASSERT_TRUE(vnet.Command("nodes", &lines));
        for (const std::string& line : lines) {
            char id[13] = "", location[13] = "";
            ASSERT_EQ(std::sscanf(line.c_str(), "node %*d %12s %12s", id, location), 2);
            nodes.push_back({HexDigits(id), HexDigits(location)});
        }
        ASSERT_GE(nodes.size(), 3u);
        VnicCounts counters;
        ASSERT_TRUE(DriverCounters(vnet, &counters));
        baseOpen = counters.open;
        ASSERT_TRUE(Windows98Mode("locstr.exe", windows98));
        ASSERT_TRUE(program.Start(locstrExe)) << "locstr.exe did not show its window";
    }

    void TearDown() override {
        if (program.process.hProcess) {
            EXPECT_EQ(program.Close(), 0) << "the program must end with exit code 0";
        }
        EXPECT_TRUE(vnet.Quit());
        EXPECT_TRUE(Windows98Mode("locstr.exe", false));
    }

    static std::vector<unsigned char> HexDigits(const char* digits) {
        std::string spaced;
        for (size_t i = 0; digits[i] && digits[i + 1]; i += 2)
            spaced += std::string(digits + i, 2) + " ";
        return Bytes(spaced.c_str());
    }

    void Open() {
        ASSERT_TRUE(program.Click(IDC_OPEN));
        ASSERT_EQ(program.Status(), STR_STATUS_READY);
    }

    std::vector<unsigned char> Memory(int node) {
        std::vector<std::string> lines;
        char id[13] = "";
        EXPECT_TRUE(vnet.Command("mem " + std::to_string(node), &lines));
        if (lines.size() == 1)
            std::sscanf(lines[0].c_str(), "mem %*d %12s", id);
        return HexDigits(id);
    }

    std::vector<Traffic> Log() {
        std::vector<Traffic> traffic;
        EXPECT_TRUE(ReadTraffic(vnet, 0, &traffic));
        return traffic;
    }

    void Execute(int node) {
        program.SetText(IDC_PELLION_ID, Hex(nodes[size_t(node)].id).c_str());
        program.PostClick(IDC_EXECUTE);
    }
};

TEST_F(EndToEnd, OpenPutsTheInterfaceInItsDomainAndStateAndArmsTheArrivalRead) {
    ASSERT_TRUE(vnet.Command("clearlog"));
    Open();
    std::vector<Traffic> traffic = Log();
    ASSERT_GE(traffic.size(), 3u);
    EXPECT_EQ(traffic[0].direction, 'w');
    EXPECT_EQ(Hex(traffic[0].bytes), "24 1F 60 00 11 00 00 00 00 00 00 00 00 00 00 00 63 00 00 "
                                     "00 00 00 00 00 01 FE 00 5A C3 17 E8 2B 94");
    const Traffic* response = Injected(traffic, 0x16, 0x23);
    ASSERT_NE(response, nullptr) << "the interface answers Update Domain";
    std::vector<unsigned char> mode = Written(traffic, 0x6C);
    EXPECT_EQ(Hex(mode), "24 11 60 00 03 00 00 00 00 00 00 00 00 00 00 00 6C 03 04");
    EXPECT_EQ(traffic.back().bytes, mode) << "Set Node Mode is sent after the response";

    // The program holds its device and a second, overlapped handle with the
    // zero-length read pending on it.
    VnicCounts counters;
    ASSERT_TRUE(AwaitOpenFiles(vnet, baseOpen + 2, &counters));
    EXPECT_EQ(counters.arrivalReads, 1u);
    EXPECT_EQ(counters.toProgram, 0u);
}

TEST_F(EndToEnd, ServicePinWithAutoExecuteChangesTheNodeWithTheExactRequests) {
    ASSERT_TRUE(program.TypeLocation("ROOF 7"));
    ASSERT_TRUE(program.Click(IDC_AUTO_EXECUTE));
    Open();
    ASSERT_TRUE(vnet.Command("clearlog"));
    ASSERT_TRUE(vnet.Command("pin 0"));
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_COMPLETE, 10000)) << program.Status();
    EXPECT_EQ(Hex(Memory(0)), "52 4F 4F 46 20 37");
    EXPECT_EQ(program.Text(IDC_PELLION_ID), Hex(nodes[0].id));
    std::string from(nodes[0].location.begin(), nodes[0].location.end());
    EXPECT_EQ(program.Message(),
              "Changing location string from:\n " + std::string(from.c_str()) + "\nto:\n ROOF 7");

    std::vector<Traffic> traffic = Log();
    std::string id = Hex(nodes[0].id);
    ASSERT_NE(Injected(traffic, 0x18, 0x7F), nullptr);
    EXPECT_EQ(Hex(Written(traffic, 0x6D)),
              "12 13 60 08 05 02 00 02 0C 00 " + id + " 6D 02 00 02 06");
    EXPECT_EQ(Hex(Written(traffic, 0x6E)),
              "12 1A 60 08 0C 02 00 02 0C 00 " + id + " 6E 02 00 02 06 01 52 4F 4F 46 20 37");
    EXPECT_NE(Injected(traffic, 0x16, 0x2D), nullptr);
    EXPECT_NE(Injected(traffic, 0x16, 0x2E), nullptr);
    // Exactly one read and one write for one press.
    int requests = 0;
    for (const Traffic& t : traffic)
        requests += t.direction == 'w';
    EXPECT_EQ(requests, 2);
}

TEST_F(EndToEnd, TypedIdAndExecuteChangesTheNode) {
    ASSERT_TRUE(program.TypeLocation("NEW 1"));
    Open();
    Execute(1);
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_COMPLETE, 10000)) << program.Status();
    EXPECT_EQ(Hex(Memory(1)), "4E 45 57 20 31 00");
    EXPECT_EQ(Hex(Memory(0)), Hex(nodes[0].location)) << "no other node is touched";
}

TEST_F(EndToEnd, IdenticalStringIsNotWritten) {
    std::string current(nodes[2].location.begin(), nodes[2].location.end());
    current = current.c_str(); // up to the first zero byte
    ASSERT_TRUE(program.TypeLocation(current.c_str()));
    Open();
    ASSERT_TRUE(vnet.Command("clearlog"));
    Execute(2);
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_COMPLETE, 10000)) << program.Status();
    char expected[128];
    std::snprintf(expected, sizeof expected, FMT_LOCATION_IDENTICAL, current.c_str());
    EXPECT_EQ(program.Message(), expected);
    std::vector<Traffic> traffic = Log();
    EXPECT_FALSE(Written(traffic, 0x6D).empty());
    EXPECT_TRUE(Written(traffic, 0x6E).empty()) << "no Write Memory for an identical string";
}

TEST_F(EndToEnd, UnknownIdEndsInFailed) {
    ASSERT_TRUE(program.TypeLocation("NOBODY"));
    Open();
    ASSERT_TRUE(vnet.Command("clearlog"));
    program.SetText(IDC_PELLION_ID, "01 02 03 04 05 06");
    program.PostClick(IDC_EXECUTE);
    // The interface gives up after its retries (4 x 1024 ms), within 5000 ms.
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_FAILED, 12000)) << program.Status();
    std::vector<Traffic> traffic = Log();
    EXPECT_FALSE(Written(traffic, 0x6D).empty());
    EXPECT_TRUE(Written(traffic, 0x6E).empty());
    for (size_t node = 0; node < nodes.size(); node++)
        EXPECT_EQ(Memory(int(node)), nodes[node].location);
}

TEST_F(EndToEnd, NodeRefusingTheWriteEndsInFailedAndKeepsItsString) {
    ASSERT_TRUE(vnet.Command("fault writefail 1"));
    ASSERT_TRUE(program.TypeLocation("DENIED"));
    Open();
    Execute(3);
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_FAILED, 10000)) << program.Status();
    EXPECT_EQ(Memory(3), nodes[3].location);
    const Traffic* refusal = Injected(Log(), 0x16, 0x0E);
    EXPECT_NE(refusal, nullptr) << "the node's failure code went through the driver";
}

// A change of about 8 s: the node answers Read Memory after 3 s and never the
// Write Memory, so the write phase ends by its 5000 ms limit. All along the
// window answers what is sent to it, while a click made meanwhile waits in the
// queue until the change has ended.
TEST_F(EndToEnd, WindowAnswersThroughALongChangeAndAClickOnCloseWaitsForItsEnd) {
    ASSERT_TRUE(program.TypeLocation("SLOW 1"));
    Open();
    ASSERT_TRUE(vnet.Command("fault delay 3000"));
    ASSERT_TRUE(vnet.Command("clearlog"));
    Execute(0);
    std::vector<Traffic> traffic;
    for (int i = 0; i < 500 && Written(traffic, 0x6D).empty(); i++) {
        Sleep(10);
        traffic = Log();
    }
    ASSERT_FALSE(Written(traffic, 0x6D).empty()) << "no Read Memory";
    // Its answer is already on its way; nothing written later is answered.
    ASSERT_TRUE(vnet.Command("fault drop 1"));

    char text[64] = "";
    DWORD_PTR copied = 0;
    long long asked = NowMicroseconds();
    LRESULT answered =
        SendMessageTimeoutA(program.Control(IDC_STATUS), WM_GETTEXT, sizeof text,
                            reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 500, &copied);
    long long tookUs = NowMicroseconds() - asked;
    EXPECT_NE(answered, 0) << "WM_GETTEXT not answered within 500 ms";
    EXPECT_LT(tookUs, 500000);
    EXPECT_STREQ(text, STR_STATUS_QUERY);
    EXPECT_TRUE(Written(Log(), 0x6E).empty()) << "asked after the read phase";

    // A click as the mouse makes it: button down and up posted to Close.
    HWND close = program.Control(IDC_CLOSE);
    ASSERT_TRUE(PostMessageA(close, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(4, 4)));
    ASSERT_TRUE(PostMessageA(close, WM_LBUTTONUP, 0, MAKELPARAM(4, 4)));

    // Until the program ends: IsHungAppWindow every 100 ms, the status line
    // as often as possible.
    int questions = 0, hung = 0;
    std::vector<std::string> statuses;
    long long start = NowMicroseconds(), lastQuestion = 0, endedAt = 0;
    while (endedAt == 0 && NowMicroseconds() - start < 20000000) {
        if (NowMicroseconds() - lastQuestion >= 100000) {
            lastQuestion = NowMicroseconds();
            questions++;
            hung += IsHungAppWindow(program.frame) ? 1 : 0;
        }
        std::string status = program.Status();
        if (!status.empty() && (statuses.empty() || statuses.back() != status))
            statuses.push_back(status);
        if (WaitForSingleObject(program.process.hProcess, 1) == WAIT_OBJECT_0)
            endedAt = NowMicroseconds();
    }
    ASSERT_NE(endedAt, 0) << "the program did not end after the change";
    EXPECT_EQ(hung, 0) << "IsHungAppWindow was TRUE " << hung << " of " << questions << " times";
    EXPECT_GE(questions, 50) << "the change was shorter than planned";

    traffic = Log();
    const Traffic* write = nullptr;
    for (const Traffic& t : traffic)
        if (t.direction == 'w' && t.bytes.size() > 16 && t.bytes[16] == 0x6E)
            write = &t;
    ASSERT_NE(write, nullptr) << "the click ended the program before its Write Memory";
    // The write phase runs to its limit (from its request, a moment before
    // vnet.exe logs it) before the click is carried out.
    EXPECT_GE(endedAt - write->microseconds, 4900000);
    // "Failed" shows for a few tens of milliseconds before the window goes.
    EXPECT_EQ(statuses, (std::vector<std::string>{STR_STATUS_QUERY, STR_STATUS_FAILED}));
    EXPECT_EQ(program.Close(), 0);
}

TEST_F(EndToEnd, ClearingOpenAndClosingTheProgramStopTheLink) {
    Open();
    VnicCounts counters;
    ASSERT_TRUE(AwaitOpenFiles(vnet, baseOpen + 2, &counters));
    ASSERT_TRUE(program.Click(IDC_OPEN));
    EXPECT_EQ(program.Status(), STR_STATUS_IDLE);
    ASSERT_TRUE(AwaitOpenFiles(vnet, baseOpen, &counters)) << "both handles closed";
    EXPECT_EQ(counters.arrivalReads, 0u) << "no arrival read left pending";

    // Nobody reads any more: a service pin message stays with the driver.
    ASSERT_TRUE(vnet.Command("pin 0"));
    Sleep(300);
    ASSERT_TRUE(DriverCounters(vnet, &counters));
    EXPECT_EQ(counters.toProgram, 1u);
    EXPECT_EQ(program.Status(), STR_STATUS_IDLE);

    // Open again (the stale message is drained), then close the program open.
    Open();
    ASSERT_TRUE(AwaitOpenFiles(vnet, baseOpen + 2, &counters));
    EXPECT_EQ(program.Close(), 0);
    ASSERT_TRUE(AwaitOpenFiles(vnet, baseOpen, &counters)) << "closing the program closes both";
    EXPECT_EQ(counters.arrivalReads, 0u);
}

TEST_F(EndToEnd, DriverStoppedUnderAnOpenInterfaceFailsTheChangeCleanly) {
    ASSERT_TRUE(program.TypeLocation("GONE"));
    Open();
    ASSERT_TRUE(DriverRunning(false)) << "the vnic service does not stop";
    Execute(0);
    // The change cannot go through; the program must neither crash nor hang,
    // nor claim success. It answers again once the change has ended.
    Sleep(200);
    ASSERT_TRUE(program.Responsive()) << "the program hangs";
    std::string status = program.Status();
    EXPECT_TRUE(status == STR_STATUS_QUERY || status == STR_STATUS_FAILED) << status;
    EXPECT_EQ(WaitForSingleObject(program.process.hProcess, 0), DWORD(WAIT_TIMEOUT))
        << "the program has ended";
    // Clearing Open and closing still work on the vanished device.
    ASSERT_TRUE(program.Click(IDC_OPEN));
    EXPECT_EQ(program.Status(), STR_STATUS_IDLE);
    EXPECT_EQ(program.Close(), 0);
    EXPECT_TRUE(DriverRunning(true));
}

TEST_F(EndToEnd, TwoHundredOpenCloseCyclesLeaveNoHandleBehind) {
    ASSERT_TRUE(vnet.Command("fault delay 0"));
    HANDLE query = OpenProcess(PROCESS_DUP_HANDLE, FALSE, program.process.dwProcessId);
    ASSERT_NE(query, nullptr);
    auto cycle = [this]() {
        Open();
        ASSERT_TRUE(program.Click(IDC_OPEN));
        ASSERT_EQ(program.Status(), STR_STATUS_IDLE);
    };
    cycle(); // the first open loads what stays loaded
    if (HasFatalFailure())
        return;
    unsigned before = CountHandles(query);
    Open();
    unsigned whileOpen = CountHandles(query);
    ASSERT_TRUE(program.Click(IDC_OPEN));
    // The count must see at least the two device handles of an open interface.
    ASSERT_GE(whileOpen, before + 2);
    for (int i = 0; i < 200; i++) {
        cycle();
        if (HasFatalFailure()) {
            ADD_FAILURE() << "cycle " << i;
            break;
        }
    }
    // A handle that Wine closes a moment later is not a leak: count again.
    unsigned after = CountHandles(query);
    for (int i = 0; i < 20 && after > before; i++) {
        Sleep(100);
        after = CountHandles(query);
    }
    EXPECT_EQ(after, before) << "handles left behind by 200 open/close cycles";
    VnicCounts counters;
    EXPECT_TRUE(AwaitOpenFiles(vnet, baseOpen, &counters));
    CloseHandle(query);
}

// 64-bit Wine's kernel32 exports no OpenVxDHandle, so a 64-bit program cannot
// hand the driver its event there (attaching returns 8 and sends nothing):
// the start-up exchange waits out its 5000 ms before it reads the answer, and
// the reader's 50 ms look, not a signal, carries every arrival. Wine's 32-bit
// kernel32 exports it (returning the handle unchanged), so the 32-bit program
// (e2e-32bit.sh runs these tests with it) hands its event over at open,
// takes it back at close, and the driver signals it for each arrival.
class Windows98 : public EndToEnd {
  protected:
    Windows98() { windows98 = true; }

    static bool HandsOverItsEvent() {
        DWORD type = 0;
        return GetBinaryTypeA(ProgramPath("LOCSTR_EXE").c_str(), &type) && type == SCS_32BIT_BINARY;
    }
};

TEST_F(Windows98, ChangesByTypedIdAndServicePinWithControlRequestsThatCarryTheIndex) {
    ASSERT_TRUE(program.TypeLocation("OLD 98"));
    Open();
    VnicCounts counters;
    EXPECT_TRUE(AwaitOpenFiles(vnet, baseOpen + 1, &counters)) << "one handle, no arrival handle";
    ASSERT_TRUE(vnet.Command("clearlog"));
    Execute(1);
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_COMPLETE, 10000)) << program.Status();
    EXPECT_EQ(Hex(Memory(1)), "4F 4C 44 20 39 38");
    std::string id = Hex(nodes[1].id);
    EXPECT_EQ(Hex(Written(Log(), 0x6D)), "12 13 60 08 05 02 00 02 0C 00 " + id + " 6D 02 00 02 06");
    EXPECT_EQ(Hex(Written(Log(), 0x6E)),
              "12 1A 60 08 0C 02 00 02 0C 00 " + id + " 6E 02 00 02 06 01 4F 4C 44 20 39 38");

    ASSERT_TRUE(program.TypeLocation("PIN 98"));
    ASSERT_TRUE(program.Click(IDC_AUTO_EXECUTE));
    ASSERT_TRUE(vnet.Command("clearlog"));
    ASSERT_TRUE(vnet.Command("pin 0"));
    for (int i = 0; i < 1000 && Hex(Memory(0)) != "50 49 4E 20 39 38"; i++)
        Sleep(10);
    EXPECT_EQ(Hex(Memory(0)), "50 49 4E 20 39 38");
    ASSERT_TRUE(program.AwaitStatus(STR_STATUS_COMPLETE, 10000)) << program.Status();
    id = Hex(nodes[0].id);
    EXPECT_EQ(Hex(Written(Log(), 0x6E)),
              "12 1A 60 08 0C 02 00 02 0C 00 " + id + " 6E 02 00 02 06 01 50 49 4E 20 39 38");

    ASSERT_TRUE(program.Click(IDC_OPEN));
    ASSERT_TRUE(AwaitOpenFiles(vnet, baseOpen, &counters));
    EXPECT_EQ(counters.olderOpen, 1u);
    EXPECT_EQ(counters.olderClose, 1u);
    if (HandsOverItsEvent()) {
        EXPECT_EQ(counters.olderSetEvent, 2u) << "the event handed over at open, 0 at close";
        EXPECT_GE(counters.signals, 5u) << "two answers per change and the service pin";
    } else {
        EXPECT_EQ(counters.olderSetEvent, 0u) << "no OpenVxDHandle, so no set-event request";
        EXPECT_EQ(counters.signals, 0u);
    }
    EXPECT_EQ(counters.olderWrite, 6u) << "two at open, a read and a write per change";
    EXPECT_EQ(counters.lowestIndex, 34u) << "the index in the high half of every code";
    EXPECT_EQ(counters.highestIndex, 34u);
}

} // namespace
