// The batch tool's portable core: the plan reader's good and bad lines, the
// record's forms read back as a plan, the command line's misuses, and whole
// runs of the tool on the virtual network with its files in memory.
#include "batch/batch_main.h"
#include "batch/command_line.h"
#include "batch/console.h"
#include "batch/plan.h"
#include "batch/record.h"
#include "batch/text_forms.h"
#include "messaging/hextext.h"
#include "messaging_support.h"
#include "niaccess/interfaces_registry.h"
#include "virtualnet/decode.h"
#include "virtualnet/vregistry.h"
#include <climits>
#include <cstring>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

const uint8_t Id[6] = {0x05, 0x01, 0x8A, 0x3C, 0x1F, 0x00};

Plan plan;

// Reads a heap copy of exactly the text, so AddressSanitizer sees a read past it.
bool Read(const std::string& text) {
    std::unique_ptr<char[]> copy(new char[text.size()]);
    std::memcpy(copy.get(), text.data(), text.size());
    return ReadPlan(copy.get(), text.size(), plan);
}

std::string Location(const uint8_t* location) {
    return std::string(reinterpret_cast<const char*>(location), 6);
}

std::string Padded(const std::string& text) {
    return text + std::string(6 - text.size(), '\0');
}

} // namespace

TEST(ReadPlan, TakesGoodLinesAndNamesTheFaultOfEachBadOne) {
    struct Case {
        const char* text;
        const char* expected; // the one node's location, or (a part of) the one fault's text
    };
    const Case good[] = {
        {"05 01 8A 3C 1F 00,Roof 7", "Roof 7"},
        {"\xEF\xBB\xBFId,Location\r\n# site B\r\n \r\n 05018a3c1F00 ,  Hall 1 \t\r\n", "Hall 1"},
        {"\"05 01 8a 3c 1f 00\" , \" a,\"\"b\" \n", " a,\"b"},
        {"05 01 8A 3C 1F 00,\"hex:41\"", "hex:41"},
        {"05 01 8A 3C 1F 00,HEX: 41 7f", "A\x7F"},
        {"05 01 8A 3C 1F 00,#~", "#~"},
    };
    for (const Case& c : good) {
        SCOPED_TRACE(c.text);
        ASSERT_TRUE(Read(c.text)) << plan.faults[0].text;
        ASSERT_EQ(plan.entryCount, 1);
        EXPECT_EQ(std::memcmp(plan.entries[0].pellionId, Id, 6), 0);
        EXPECT_EQ(Location(plan.entries[0].location), Padded(c.expected));
    }
    const Case bad[] = {
        {"05 01 8A 3C 1F,R", "line 1: malformed ID: it ends after 14 characters, not 17; an ID is "
                             "written as 05 01 8A 3C 1F 00 or 05018A3C1F00"},
        {"05 01 8g 3C 1F 00,R", "ID: character 8 ('g') is not a hexadecimal digit"},
        {"05-01 8A 3C 1F 00,R", "ID: character 3 ('-') should be a space"},
        {"05 01 8A 3C 1F 001,R", "ID: 18 characters, not 17"},
        {"05018A3C1F0,R", "ID: 11 hexadecimal digits, not 12"},
        {"05018A3C1F\x7F\x30,R", "ID: character 11 (byte 7F) is not a hex"},
        {",R", "line 1: the ID is empty"},
        {"05018A3C1F00,Roof 77", "line 1: the location has 7 characters, at most 6"},
        {"05018A3C1F00, ", "line 1: the location is empty"},
        {"05018A3C1F00,\"\"", "line 1: the location is empty"},
        {"05018A3C1F00,hex: ", "line 1: the location is empty: hex: with no pairs"},
        {"05018A3C1F00,A\tB", "character 2 of the location (byte 09) is not printable"},
        {"05018A3C1F00,Caf\xC3", "character 4 of the location (byte C3) is not printable"},
        {"05018A3C1F00,\x7F\xC3", "character 1 of the location (byte 7F) is not printable"},
        {"05018A3C1F00,A\x7F", "byte 7F, which only hex: pairs can give: write the location as "
                               "hex:41 7F"},
        {"05018A3C1F00,\"Hall", "line 1: unterminated quote: the location has no closing quote"},
        {"\"05018A3C1F00,Hall", "unterminated quote: the ID has no closing quote"},
        {"05018A3C1F00,\"Hall\"x", "text after the closing quote of the location"},
        {"05018A3C1F00,Ha\"ll", "a quote inside the location, which is not in quotes"},
        {"05018A3C1F00", "line 1: missing field: a line holds id,location"},
        {"05018A3C1F00,A,", "line 1: extra field: 3 fields"},
        {"05018A3C1F00,hex:41 80", "hex: pairs: pair 2 is 80, outside 20 to 7F"},
        {"05018A3C1F00,hex:41 1f", "hex: pairs: pair 2 is 1F, outside 20 to 7F"},
        {"05018A3C1F00,hex:41 4", "hex: pairs: the last pair is incomplete"},
        {"05018A3C1F00,hex:41-42", "hex: pairs: character 3 ('-') should be a space"},
        {"05018A3C1F00,hex:4G", "hex: pairs: character 2 ('G') is not a hexadecimal digit"},
        {"05018A3C1F00,hex:41 42 43 44 45 46 47", "hex: pairs: more than 6"},
        {"", "plan: no nodes"},
        {"id,location\n# nothing\n\n", "plan: no nodes"},
        {"05018A3C1F00,A\nid,Loc", "line 2: malformed ID: character 1 ('i')"},
        {"05018A3C1F00,A\r\n#\r\n05 01 8a 3C 1F 00,B", "line 3: the same ID 05 01 8A 3C 1F 00 as "
                                                       "on line 1"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.text);
        EXPECT_FALSE(Read(c.text));
        EXPECT_EQ(plan.entryCount, 0);
        ASSERT_EQ(plan.faultCount, 1) << plan.faults[1].text;
        EXPECT_NE(std::strstr(plan.faults[0].text, c.expected), nullptr) << plan.faults[0].text;
    }
}

TEST(ReadPlan, CollectsEveryFaultAndHoldsAtMostItsCapacity) {
    const char text[] = "X,Caf\xC3\xA9!!\nid,location\n05018A3C1F00,\n\n05018A3C1F01,OK\n"
                        "05018A3C1F02,\"A\n05018A3C1F03,hex:41\0";
    EXPECT_FALSE(Read(std::string(text, sizeof text - 1)));
    const int lines[] = {1, 1, 1, 2, 2, 3, 6, 7};
    ASSERT_EQ(plan.faultCount, 8);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(plan.faults[i].line, lines[i]) << plan.faults[i].text;
    }
    EXPECT_STREQ(plan.faults[7].text, "line 7: the location's hex: pairs: character 3 (byte 00) "
                                      "should be a space");

    std::string full;
    char line[32];
    for (int i = 0; i < PlanCapacity + 250; ++i) {
        std::snprintf(line, sizeof line, "%012X,%s\n", i, i < PlanCapacity ? "N" : "too long");
        full += line;
        if (i == PlanCapacity - 1) {
            ASSERT_TRUE(Read(full));
            ASSERT_EQ(plan.entryCount, PlanCapacity);
            EXPECT_EQ(plan.entries[PlanCapacity - 1].pellionId[5], (PlanCapacity - 1) & 0xFF);
            EXPECT_EQ(plan.entries[PlanCapacity - 1].line, PlanCapacity);
        }
    }
    EXPECT_FALSE(Read(full));
    EXPECT_EQ(plan.entryCount, 0);
    EXPECT_EQ(plan.faultCount, 251); // too many, and 250 locations too long
    EXPECT_STREQ(plan.faults[0].text, "line 4097: too many nodes: a plan holds at most 4096");
    EXPECT_EQ(plan.faults[PlanFaultCapacity - 1].line, PlanCapacity + PlanFaultCapacity - 1);
}

TEST(RecordForms, ReadBackAsThePlanAndShowAsTheTrafficList) {
    const char* const locations[] = {"Roof 7", " x", "x ",    "A,B",  "\"q\"", "hex:1", "HeX:12",
                                     "#1",     "\\", "A\x7F", "\x7F", "~",     "a\"\"b"};
    for (const char* text : locations) {
        SCOPED_TRACE(text);
        std::string bytes = Padded(text);
        auto* location = reinterpret_cast<const uint8_t*>(bytes.data());
        char form[PlanLocationSize];
        BoundedText out = StartText(form, sizeof form);
        PutPlanLocation(out, location);
        ASSERT_TRUE(Read(std::string("05 01 8A 3C 1F 00,") + form)) << plan.faults[0].text;
        EXPECT_EQ(Location(plan.entries[0].location), bytes) << form;

        // The progress line's form is the virtual network's, as in its answer.
        uint8_t answer[23] = {0x16, 21, 0, 0x10};
        answer[16] = 0x2D;
        std::memcpy(answer + 17, location, 6);
        char described[VnetDescriptionSize];
        VnetDescribeMessage(answer, sizeof answer, described, sizeof described);
        char shown[ShownLocationSize];
        out = StartText(shown, sizeof shown);
        PutShownLocation(out, location);
        EXPECT_EQ(std::string("answer: ") + shown, described);
    }

    RecordRow row = {{2024, 5, 2, 14, 3, 7}, {5, 1, 0x8A, 0x3C, 0x1F, 0}, 1, {'A', 0, 'B'}, 1};
    std::memcpy(row.after, "hex:1", 5);
    row.ms = 142;
    char text[RecordRowSize];
    FormatRecordRow(text, sizeof text, row);
    EXPECT_STREQ(text, "2024-05-02T14:03:07,05 01 8A 3C 1F 00,hex:41 00 42,\"hex:1\",changed,142");
    row = {{1999, 12, 31, 23, 59, 9}, {},  1, {}, 0, {}, NodeOutcome::Failed,
           "write refused, twice",    5001};
    FormatRecordRow(text, sizeof text, row);
    EXPECT_STREQ(text, "1999-12-31T23:59:09,00 00 00 00 00 00,,,"
                       "\"failed: write refused, twice\",5001");
    row.outcome = NodeOutcome::NotRun;
    row.beforeKnown = 0;
    std::memcpy(row.before, "Old", 3); // not known: not written
    row.ms = -1;
    FormatRecordRow(text, sizeof text, row);
    EXPECT_STREQ(text, "1999-12-31T23:59:09,00 00 00 00 00 00,,,not run,");
}

TEST(ParseCommandLine, ReadsEveryOptionAndNamesEveryMisuse) {
    struct Case {
        std::vector<const char*> args;
        const char* expected; // the options read, or the misuse named
    };
    const Case cases[] = {
        {{"--check", "--interface", "N", "--record", "r", "--force", "p"}, "run check force N r p"},
        {{"--", "--check"}, "run --check"},
        {{"--list"}, "list"},
        {{"--bogus", "p", "q", "/?"}, "help"},
        {{}, "no plan: name the plan's CSV file last"},
        {{"--bogus", "p"}, "unknown option --bogus"},
        {{"p", "--interface"}, "--interface needs an interface name after it"},
        {{"--record", "--force", "p"}, "--record needs a file name after it, not --force"},
        {{"--record", "", "p"}, "--record needs a file name after it"},
        {{"--check", "p", "--check"}, "--check is given twice"},
        {{"--interface", "A", "--interface", "B", "p"}, "--interface is given twice"},
        {{"a", "b"}, "more than one plan: a and b"},
        {{""}, "the plan's file name is empty"},
        {{"--force", "p"},
         "--force goes with --record FILE: it lets the record replace an existing file"},
        {{"--list", "p"}, "--list goes alone, without a plan or another option"},
        {{"--check", "--show-nodes"}, "--show-nodes goes alone, without a plan or another option"},
        {{"--list", "--show-nodes"}, "--list and --show-nodes go alone, not together"},
        {{"--record", "C:/P.CSV", "c:\\p.csv"},
         "the record would replace the plan: give --record another file"},
    };
    const char* const actions[] = {"run", "list", "show-nodes", "help"};
    for (const Case& c : cases) {
        std::vector<const char*> argv = {"locstr-batch"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        BatchOptions o;
        char fault[CommandLineFaultSize];
        std::string got;
        if (ParseCommandLine(int(argv.size()), argv.data(), o, fault, sizeof fault)) {
            got = actions[int(o.action)];
            got += std::string(o.check ? " check" : "") + (o.force ? " force" : "");
            for (const char* value : {o.interfaceName, o.recordPath, o.planPath})
                got += value != nullptr ? std::string(" ") + value : "";
        } else {
            got = fault;
        }
        EXPECT_EQ(got, c.expected);
    }
    EXPECT_EQ(std::strstr(BatchUsage(false), "--show-nodes"), nullptr);
    EXPECT_NE(std::strstr(BatchUsage(true), "locstr-batch-demo --list\n"), nullptr);
}

// ---- The batch seam: the console and the files in memory, a fixed time,
// and a stop that comes before the node numbered stopAt (from 0).
namespace {
std::map<std::string, std::string> files;
std::string out, err, recordName;
int stopAt, asked;
std::function<void(int)> beforeNode; // runs as the run asks whether to stop
} // namespace

void ConsoleOut(const char* text) {
    out += text;
}
void ConsoleError(const char* text) {
    err += text;
}
FileRead ReadWholeFile(const char* path, char* buffer, size_t capacity, size_t* length) {
    auto file = files.find(path);
    if (file == files.end())
        return FileRead::Failed;
    if (file->second.size() > capacity)
        return FileRead::TooLarge;
    *length = file->second.copy(buffer, capacity);
    return FileRead::Read;
}
RecordOpened CreateRecordFile(const char* path, bool replace) {
    if (files.count(path) != 0 && !replace)
        return RecordOpened::Exists;
    files[recordName = path] = "";
    return RecordOpened::Opened;
}
bool AppendRecordLine(const char* text) {
    if (!recordName.empty())
        files[recordName] += std::string(text) + "\n";
    return true;
}
void CloseRecordFile() {
    recordName.clear();
}
LocalTime CurrentLocalTime() {
    return {2024, 5, 2, 14, 3, 7};
}
bool StopRequested() {
    if (beforeNode)
        beforeNode(asked);
    return asked++ >= stopAt;
}

namespace {

using namespace messaging_test;

class BatchRun : public MessagingTest {
  protected:
    void SetUp() override {
        MessagingTest::SetUp();
        files.clear();
        out.clear();
        err.clear();
        stopAt = INT_MAX;
        asked = 0;
        beforeNode = nullptr;
        VregClear();
        Register("Test card");
    }
    static void Register(const char* name) {
        std::string key = std::string(InterfacesKey) + "\\" + name;
        VregAddKey(key.c_str());
        VregSetString(key.c_str(), DeviceNameValue, "VNI1");
    }
    // Node n: ID 05 01 8A 3C 1F n, holding `location`.
    static int Add(int n, const char* location) {
        const uint8_t id[6] = {0x05, 0x01, 0x8A, 0x3C, 0x1F, uint8_t(n)};
        return VnetAddNode(id, programId, location);
    }
    static std::string Memory(int node) {
        uint8_t location[6];
        VnetNodeLocation(node, location);
        return std::string(reinterpret_cast<char*>(location), 6);
    }
    static int Batch(std::vector<const char*> args) {
        args.insert(args.begin(), "locstr-batch");
        return BatchMain(int(args.size()), args.data());
    }
    static std::vector<std::string> Lines(const std::string& text) {
        std::vector<std::string> lines;
        for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
            lines.push_back(text.substr(at, end - at));
        return lines;
    }
};

} // namespace

// Changed, already, a silent node (the 5000 ms limit: the first look after
// it), an unknown one (the interface's failed transaction), a refused write,
// a stale answer in the mailbox before a node, and a stop before the seventh.
TEST_F(BatchRun, RecordsEachNodeAsItEndsAndMatchesTheNodesMemory) {
    const int nodes[] = {node,           Add(1, "SAME"), Add(2, "QUIET"), Add(4, "DENY"),
                         Add(5, "OLD5"), Add(6, "OLD6"), Add(7, "OLD7")};
    VnetSetNodeFaults(nodes[2], true, false);
    VnetSetNodeFaults(nodes[3], false, true);
    files["plan.csv"] = "id,location\n01 02 03 04 05 06,NEW 1\n05018A3C1F01,SAME\n"
                        "05 01 8A 3C 1F 02,X\n05 01 8A 3C 1F 03,X\n05 01 8A 3C 1F 04,NEW 4\n"
                        "05 01 8A 3C 1F 05,\"NEW,5\"\n05 01 8A 3C 1F 06,X\n05 01 8A 3C 1F 07,X\n";
    stopAt = 6;
    beforeNode = [this](int number) {
        if (number == 5) { // an answer nobody asked for, in the mailbox
            Inject(Crafted(MsgResponse, 0x00, CodeReadMemoryOk, {'S', 'T', 'A', 'L', 'E', 0}));
            ASSERT_TRUE(WaitUntil([] { return linkState.mailboxFull.load() != 0; }));
        }
    };
    EXPECT_EQ(Batch({"--record", "r.csv", "plan.csv"}), ExitNotAsPlanned) << err;
    const char* const rows[] = {
        "time,id,before,after,outcome,ms",
        "2024-05-02T14:03:07,01 02 03 04 05 06,OLD,NEW 1,changed,0",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 01,SAME,SAME,already,0",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 02,,,failed: no answer within the limit,5025",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 03,,,failed: no answer (failed transaction),0",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 04,DENY,DENY,failed: write refused,0",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 05,OLD5,\"NEW,5\",changed,0",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 06,,,not run,",
        "2024-05-02T14:03:07,05 01 8A 3C 1F 07,,,not run,",
    };
    EXPECT_EQ(Lines(files["r.csv"]), std::vector<std::string>(std::begin(rows), std::end(rows)));
    const std::string memory[] = {Padded("NEW 1"), Padded("SAME"), Padded("QUIET"), Padded("DENY"),
                                  Padded("NEW,5"), Padded("OLD6"), Padded("OLD7")};
    for (int i = 0; i < 7; ++i)
        EXPECT_EQ(Memory(nodes[i]), memory[i]) << "node " << i;
    std::vector<std::string> lines = Lines(out);
    ASSERT_EQ(lines.size(), 10u) << out;
    EXPECT_EQ(lines[0], "Changing 8 nodes on \"Test card\", plan plan.csv");
    EXPECT_EQ(lines[4], "[4/8] 05 01 8A 3C 1F 03  ? -> \"X\" failed: no answer (failed "
                        "transaction) (0 ms)");
    EXPECT_EQ(lines[6], "[6/8] 05 01 8A 3C 1F 05  \"OLD5\" -> \"NEW,5\" changed (0 ms)");
    EXPECT_EQ(lines[7], "Stopped on request after node 6 of 8 (plan line 7).");
    EXPECT_EQ(lines[8], "Summary: 8 nodes: 2 changed, 1 already, 0 differs, 3 failed, 2 not run "
                        "(5.0 s)");
    EXPECT_EQ(lines[9], "Record: r.csv");
    EXPECT_FALSE(linkState.interfaceOpen) << "the link is closed at the end";
}

// Whatever keeps a run from starting is found before anything is sent.
TEST_F(BatchRun, NothingIsSentWithoutAGoodPlanARecordAndOneInterface) {
    files["plan.csv"] = "01 02 03 04 05 06,NEW\n05 01 8A 3C 1F 01,A\n05 01 8A 3C 1F 0,B\n";
    files["ok.csv"] = "01 02 03 04 05 06,OLD\n";
    files["r.csv"] = "kept";
    struct Case {
        std::vector<const char*> args;
        int exitCode;
        const char* said; // on the standard error
    } const cases[] = {
        {{"--record", "new.csv", "plan.csv"},
         ExitUsage,
         "the plan plan.csv has 1 fault; nothing was sent:\n  line 3: malformed ID"},
        {{"--record", "r.csv", "ok.csv"}, ExitUsage, "the record r.csv exists already"},
        {{"missing.csv"}, ExitUsage, "cannot read the plan missing.csv"},
        {{"--interface", "other", "ok.csv"}, ExitUsage, "no interface is named \"other\""},
    };
    for (const Case& c : cases) {
        err.clear();
        EXPECT_EQ(Batch(c.args), c.exitCode);
        EXPECT_NE(err.find(c.said), std::string::npos) << err;
    }
    EXPECT_EQ(files.count("new.csv"), 0u);
    EXPECT_EQ(files["r.csv"], "kept");
    EXPECT_EQ(VnetWrittenCount(), 0u) << "not even the start-up exchange";

    Register("Second card");
    err.clear();
    EXPECT_EQ(Batch({"ok.csv"}), ExitUsage);
    EXPECT_EQ(err, "locstr-batch: 2 interfaces are installed; name one with --interface NAME:\n"
                   "  Test card\n  Second card\n");
    EXPECT_EQ(Batch({"--interface", "TEST CARD", "--record", "r.csv", "--force", "ok.csv"}),
              ExitAsPlanned);
    EXPECT_NE(files["r.csv"].find(",01 02 03 04 05 06,OLD,OLD,already,0\n"), std::string::npos);
    EXPECT_EQ(Batch({"--interface", "Test card", "--check", "ok.csv"}), ExitAsPlanned);
    files["new.csv"] = "01 02 03 04 05 06,NEW\n"; // a check only says that it differs
    EXPECT_EQ(Batch({"--interface", "Test card", "--check", "--record", "c.csv", "new.csv"}),
              ExitNotAsPlanned);
    EXPECT_NE(files["c.csv"].find(",OLD,OLD,differs,0\n"), std::string::npos) << files["c.csv"];

    VnetFaultControls()->failOpen = true;
    err.clear();
    EXPECT_EQ(Batch({"--interface", "Test card", "--record", "r.csv", "--force", "ok.csv"}),
              ExitNoInterface);
    EXPECT_EQ(Lines(err)[0], STR_OPEN_FAILED);
    EXPECT_NE(files["r.csv"].find(",01 02 03 04 05 06,,,not run,\n"), std::string::npos);
    VregClear();
    err.clear();
    EXPECT_EQ(Batch({"ok.csv"}), ExitNoInterface);
    EXPECT_EQ(err, std::string(STR_NO_INTERFACES) + "\n");
}
