// The operator output of tests: every call of the output seam is recorded in
// order, so tests assert what the operator would have seen and heard.
#pragma once
#include <cstddef>
#include <string>

enum class OutputKind { Status, Message, PellionId, ErrorBox, Cue };

struct OutputEvent {
    OutputKind kind;
    std::string text; // the text shown, the cue's name, or the error box's text
    int stringId;     // for ShowMessageResource and ErrorBox, else 0
};

void RecorderClear();
size_t RecorderCount();
OutputEvent RecorderEvent(size_t index);
// The last text of a kind ("" when there was none).
std::string RecorderLast(OutputKind kind);
// Wake-up posts so far (the reader thread's user message to the dialog).
int RecorderWakeUps();
// The string-table text of an id, as the resources hold it ("" when unknown).
const char* RecorderStringText(int stringId);
