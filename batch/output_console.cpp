// The operator output seam of the console programs: what the core would show
// in the window becomes lines. Progress and messages go to the standard
// output, error boxes to the standard error; there are no sounds, and the
// reader's wake-up has no window to go to (the batch run looks at the mailbox
// itself).
#include "platform/output.h"
#include "batch/console.h"
#include "resources/strings.h"
#include <string>

namespace {

const char* StringText(int stringId) {
    switch (stringId) {
#define BATCH_STRING_CASE(id, text)                                                                \
    case id:                                                                                       \
        return text;
        LOCSTR_STRING_TABLE(BATCH_STRING_CASE)
#undef BATCH_STRING_CASE
    default:
        return "";
    }
}

void Line(void (*to)(const char*), const char* text) {
    if (text[0] != '\0') {
        to((std::string(text) + "\n").c_str());
    }
}

} // namespace

void ShowStatus(const char* text) {
    Line(ConsoleOut, text);
}

void ShowMessage(const char* text) {
    Line(ConsoleOut, text); // "" empties the message area: nothing to print
}

void ShowMessageResource(int stringId) {
    Line(ConsoleOut, StringText(stringId));
}

void ShowPellionId(const char* text) {
    Line(ConsoleOut, text);
}

void ErrorBox(int stringId) {
    Line(ConsoleError, StringText(stringId));
}

void PlayCue(const char*) {}

void PostWakeUp() {}
