// The batch tool's portable core: the plan reader's good and bad lines, the
// record's forms read back as a plan, and the command line's misuses.
#include "batch/command_line.h"
#include "batch/plan.h"
#include "batch/record.h"
#include "batch/text_forms.h"
#include "messaging/hextext.h"
#include "virtualnet/decode.h"
#include <cstring>
#include <gtest/gtest.h>
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
        TextOut out = StartText(form, sizeof form);
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
