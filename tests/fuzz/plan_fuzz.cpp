// The plan reader over any text: nothing read outside it, faults named in
// plain ASCII in the plan's order, a plan with a fault yields no node, an
// accepted plan's nodes are unique and padded as the window pads them, and
// written out again in the plan's forms they read back the same.
#include "batch/plan.h"
#include "batch/text_forms.h"
#include "fuzz_check.h"
#include "messaging/hextext.h"
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

namespace {

Plan first;
Plan again;

bool Read(const std::string& text, Plan& plan) {
    // Exactly the text, so that AddressSanitizer sees any read past it.
    std::unique_ptr<char[]> copy(new char[text.size()]);
    std::memcpy(copy.get(), text.data(), text.size());
    return ReadPlan(copy.get(), text.size(), plan);
}

void CheckPromises(const Plan& plan, bool accepted, int lines) {
    CHECK(accepted == (plan.faultCount == 0));
    int kept = plan.faultCount < PlanFaultCapacity ? plan.faultCount : PlanFaultCapacity;
    int previous = 1;
    for (int i = 0; i < kept; ++i) {
        const PlanFault& fault = plan.faults[i];
        const char* end = static_cast<const char*>(std::memchr(fault.text, 0, PlanFaultTextSize));
        CHECK(end != nullptr);
        for (const char* c = fault.text; c < end; ++c)
            CHECK(*c >= 0x20 && *c < 0x7F);
        char prefix[24];
        std::snprintf(prefix, sizeof prefix, fault.line > 0 ? "line %d: " : "plan: ", fault.line);
        CHECK(std::strncmp(fault.text, prefix, std::strlen(prefix)) == 0);
        // A fault of the whole plan comes alone; the others in the plan's order.
        CHECK(fault.line == 0 ? plan.faultCount == 1
                              : fault.line >= previous && fault.line <= lines);
        previous = fault.line;
    }
    if (!accepted) {
        CHECK(plan.entryCount == 0);
        return;
    }
    CHECK(plan.entryCount > 0 && plan.entryCount <= PlanCapacity);
    for (int i = 0; i < plan.entryCount; ++i) {
        const PlanEntry& e = plan.entries[i];
        CHECK(e.line <= lines && (i == 0 || e.line > plan.entries[i - 1].line));
        int length = 0;
        while (length < 6 && e.location[length] != 0)
            ++length;
        CHECK(length >= 1);
        for (int k = 0; k < 6; ++k)
            CHECK(k < length ? e.location[k] >= 0x20 && e.location[k] <= 0x7F : e.location[k] == 0);
        for (int j = 0; j < i; ++j)
            CHECK(std::memcmp(plan.entries[j].pellionId, e.pellionId, 6) != 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size);
    int lines = 1;
    for (char c : text)
        lines += c == '\n' ? 1 : 0;
    bool accepted = Read(text, first);
    CheckPromises(first, accepted, lines);
    if (!accepted)
        return 0;

    // The nodes again in the plan's forms, both ID forms and both line ends.
    std::string written = "id,location\r\n";
    for (int i = 0; i < first.entryCount; ++i) {
        const PlanEntry& e = first.entries[i];
        char id[18];
        if (i % 2 == 0) {
            FormatHexPairs(id, e.pellionId, 6);
        } else {
            std::snprintf(id, sizeof id, "%02x%02x%02x%02x%02x%02x", e.pellionId[0], e.pellionId[1],
                          e.pellionId[2], e.pellionId[3], e.pellionId[4], e.pellionId[5]);
        }
        char location[PlanLocationSize];
        BoundedText out = StartText(location, sizeof location);
        PutPlanLocation(out, e.location);
        written += std::string(id) + "," + location + (i % 3 == 0 ? "\r\n" : "\n");
    }
    CHECK(Read(written, again));
    CHECK(again.entryCount == first.entryCount);
    for (int i = 0; i < first.entryCount; ++i) {
        CHECK(std::memcmp(again.entries[i].pellionId, first.entries[i].pellionId, 6) == 0);
        CHECK(std::memcmp(again.entries[i].location, first.entries[i].location, 6) == 0);
    }
    return 0;
}
