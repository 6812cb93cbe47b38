// Names of the messages on the virtual network's wire, for its traffic logs.
#include "virtualnet/decode.h"
#include "messaging/hextext.h"
#include "virtualnet/wire.h"

namespace {

using namespace vnet_wire;

// Offsets in a message, and the ends a message must reach to carry them.
const size_t CodeAt = 16;
const size_t TargetIdAt = 10;  // a node request's addressee
const size_t NewStringAt = 22; // Write Memory's data
const size_t AnswerAt = 17;    // Read Memory's answer data, and a service pin's sender
const size_t FieldSize = 6;

// Answers named by their code alone (success: request code & 0x3F,
// failure: request code & 0x1F).
struct AnswerName {
    uint8_t code;
    const char* name;
};
const AnswerName AnswerNames[] = {
    {CodeWriteMemory & 0x3F, "write done"},
    {CodeWriteMemory & 0x1F, "write refused"},
    {CodeReadMemory & 0x1F, "read refused"},
    {CodeUpdateDomain & 0x3F, "Update Domain done"},
    {CodeUpdateDomain & 0x1F, "Update Domain refused"},
    {CodeSetNodeMode & 0x3F, "Set Node Mode done"},
    {CodeSetNodeMode & 0x1F, "Set Node Mode refused"},
};

// A space, then the ID as the program shows it: "01 02 03 04 05 06".
void AddId(BoundedText& text, const uint8_t* id) {
    char pairs[FieldSize * 3];
    FormatHexPairs(pairs, id, FieldSize);
    PutChar(text, ' ');
    PutText(text, pairs);
}

// A location string in quotes, as the program's progress lines show it too.
void AddString(BoundedText& text, const uint8_t* s) {
    char shown[ShownLocationSize];
    FormatShownLocation(shown, sizeof shown, s);
    PutText(text, shown);
}

// The name of a message whose bytes the message's own length covers.
void Describe(const uint8_t* b, size_t length, BoundedText& text) {
    bool hasCode = length > CodeAt;
    if (b[0] == CmdLocal && hasCode && b[CodeAt] == CodeUpdateDomain) {
        PutText(text, "Update Domain");
    } else if (b[0] == CmdLocal && hasCode && b[CodeAt] == CodeSetNodeMode) {
        PutText(text, "Set Node Mode");
    } else if (b[0] == CmdNodeRequest && hasCode && b[CodeAt] == CodeReadMemory) {
        PutText(text, "Read Memory");
        AddId(text, b + TargetIdAt);
    } else if (b[0] == CmdNodeRequest && hasCode && b[CodeAt] == CodeWriteMemory &&
               length >= NewStringAt + FieldSize) {
        PutText(text, "Write Memory");
        AddId(text, b + TargetIdAt);
        PutText(text, " ");
        AddString(text, b + NewStringAt);
    } else if (b[0] == CmdResponse && length > 3 && (b[3] & CompletionMask) == CompletionFailed) {
        PutText(text, "failed transaction");
    } else if (b[0] == CmdResponse && hasCode && b[CodeAt] == (CodeReadMemory & 0x3F) &&
               length >= AnswerAt + FieldSize) {
        PutText(text, "answer: ");
        AddString(text, b + AnswerAt);
    } else if (b[0] == CmdIncoming && hasCode && b[CodeAt] == CodeServicePin &&
               length >= AnswerAt + FieldSize) {
        PutText(text, "service pin");
        AddId(text, b + AnswerAt);
    } else {
        const char* name = "unknown";
        if (b[0] == CmdResponse && hasCode)
            for (const AnswerName& answer : AnswerNames)
                if (b[CodeAt] == answer.code)
                    name = answer.name;
        PutText(text, name);
    }
}

} // namespace

void VnetDescribeMessage(const uint8_t* bytes, size_t length, char* text, size_t size) {
    BoundedText out = StartText(text, size);
    // A message is as long as its count byte says, at most what was logged.
    if (length >= 2 && size_t(bytes[1]) + 2 < length)
        length = size_t(bytes[1]) + 2;
    if (length < 2) {
        PutText(out, "unknown");
        return;
    }
    Describe(bytes, length, out);
}
