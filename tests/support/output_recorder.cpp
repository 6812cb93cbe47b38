// Records the operator output for tests (see output_recorder.h).
#include "tests/support/output_recorder.h"
#include "platform/output.h"
#include "platform/sync.h"
#include "resources/strings.h"
#include <atomic>
#include <mutex>
#include <vector>

namespace {
PlatMutex recordLock;
std::vector<OutputEvent> events;
std::atomic<int> wakeUps{0};

void Record(OutputKind kind, const char* text, int stringId) {
    std::lock_guard<PlatMutex> guard(recordLock);
    events.push_back(OutputEvent{kind, text != nullptr ? text : "", stringId});
}
} // namespace

const char* RecorderStringText(int stringId) {
    switch (stringId) {
#define LOCSTR_STRING_CASE(id, text)                                                               \
    case id:                                                                                       \
        return text;
        LOCSTR_STRING_TABLE(LOCSTR_STRING_CASE)
#undef LOCSTR_STRING_CASE
    default:
        return "";
    }
}

void ShowStatus(const char* text) {
    Record(OutputKind::Status, text, 0);
}
void ShowMessage(const char* text) {
    Record(OutputKind::Message, text, 0);
}
void ShowMessageResource(int stringId) {
    Record(OutputKind::Message, RecorderStringText(stringId), stringId);
}
void ShowPellionId(const char* text) {
    Record(OutputKind::PellionId, text, 0);
}
void ErrorBox(int stringId) {
    Record(OutputKind::ErrorBox, RecorderStringText(stringId), stringId);
}
void PlayCue(const char* waveResource) {
    Record(OutputKind::Cue, waveResource, 0);
}
void PostWakeUp() {
    wakeUps.fetch_add(1);
}

void RecorderClear() {
    std::lock_guard<PlatMutex> guard(recordLock);
    events.clear();
    wakeUps.store(0);
}

size_t RecorderCount() {
    std::lock_guard<PlatMutex> guard(recordLock);
    return events.size();
}

OutputEvent RecorderEvent(size_t index) {
    std::lock_guard<PlatMutex> guard(recordLock);
    return index < events.size() ? events[index] : OutputEvent{OutputKind::Status, "", 0};
}

std::string RecorderLast(OutputKind kind) {
    std::lock_guard<PlatMutex> guard(recordLock);
    for (auto it = events.rbegin(); it != events.rend(); ++it) {
        if (it->kind == kind) {
            return it->text;
        }
    }
    return "";
}

int RecorderWakeUps() {
    return wakeUps.load();
}
