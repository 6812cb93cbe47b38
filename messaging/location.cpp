// The location change (read the node's string, write the new one when it
// differs) and the capture of a node's ID from its service pin message.
#include "messaging/location.h"
#include "messaging/entry_state.h"
#include "messaging/hextext.h"
#include "messaging/link_internal.h"
#include "messaging/message.h"
#include "platform/output.h"
#include "platform/sync.h"
#include "resources/strings.h"
#include <cstdio>
#include <cstring>

static const uint32_t PhaseLimitMs = 5000;
static const uint32_t MailboxStepMs = 25;
static const int TextSize = 512;

static bool MailboxFull() {
    return linkState.mailboxFull.load(std::memory_order_acquire) != 0;
}

static bool PhaseExpired(uint32_t start) {
    return PlatTickCount() - start > PhaseLimitMs;
}

static void ReportFailure() {
    ShowStatus(STR_STATUS_FAILED);
    PlayCue(CUE_FAILED);
}

// What a message in the mailbox means to the phase that waits for it.
enum class Answer { Other, Success, Failure };

static Answer ReadAnswer(const uint8_t* message) {
    if (!IsResponse(message)) {
        return Answer::Other;
    }
    if (ResponseCode(message) == CodeReadMemoryOk) {
        return Answer::Success;
    }
    // A Read Memory failure code is discarded like any other message; only a
    // failed transaction ends the wait early.
    return IsTransactionFailed(message) ? Answer::Failure : Answer::Other;
}

static Answer WriteAnswer(const uint8_t* message) {
    if (!IsResponse(message)) {
        return Answer::Other;
    }
    if (ResponseCode(message) == CodeWriteMemoryOk) {
        return Answer::Success;
    }
    if (ResponseCode(message) == CodeWriteMemoryFail || IsTransactionFailed(message)) {
        return Answer::Failure;
    }
    return Answer::Other;
}

// Waits up to the phase limit for the answer, looking at the mailbox at least
// every 25 ms and at once when the reader fills it, and consuming every
// message it looks at. On success the answer's bytes 17..22 are copied into
// payload first (when payload is not null).
static bool AwaitAnswer(Answer (*classify)(const uint8_t*), uint8_t* payload) {
    uint32_t start = PlatTickCount();
    for (;;) {
        if (!MailboxFull()) {
            WaitForMailbox(MailboxStepMs);
        } else {
            const uint8_t* message = linkState.mailbox;
            Answer answer = classify(message);
            if (answer == Answer::Success && payload != nullptr) {
                std::memcpy(payload, message + 17, 6);
            }
            EmptyMailbox();
            if (answer != Answer::Other) {
                return answer == Answer::Success;
            }
        }
        if (PhaseExpired(start)) {
            return false;
        }
    }
}

// Writes the new string and waits for the node's answer: 1 or 0.
static int WriteLocation() {
    CompleteWriteLocationRequest();
    if (!SendRequest(WriteLocationRequest)) {
        return 0;
    }
    return AwaitAnswer(WriteAnswer, nullptr) ? 1 : 0;
}

int ChangeLocation() {
    if (entryState.location[0] == 0) {
        ShowMessage(STR_LOCATION_EMPTY);
        return 0;
    }
    CompleteReadLocationRequest();
    ShowStatus(STR_STATUS_QUERY);
    ShowMessage("");
    if (!SendRequest(ReadLocationRequest)) {
        // Reported like every other failure, not left at "Query Node".
        ReportFailure();
        return 0;
    }
    char current[7] = {};
    if (!AwaitAnswer(ReadAnswer, reinterpret_cast<uint8_t*>(current))) {
        ReportFailure();
        return 0;
    }
    char entered[7];
    std::memcpy(entered, entryState.location, 6);
    entered[6] = 0;
    char text[TextSize];
    if (std::strncmp(current, entered, 6) == 0) {
        std::snprintf(text, sizeof text, FMT_LOCATION_IDENTICAL, entered);
        ShowMessage(text);
        ShowStatus(STR_STATUS_COMPLETE);
        return 1;
    }
    std::snprintf(text, sizeof text, FMT_LOCATION_CHANGING, current, entered);
    ShowMessage(text);
    linkState.transactionActive.store(1, std::memory_order_seq_cst);
    int written = WriteLocation();
    if (written != 0) {
        ShowStatus(STR_STATUS_COMPLETE);
        PlayCue(CUE_DONE);
    } else {
        ReportFailure();
    }
    linkState.transactionActive.store(0, std::memory_order_seq_cst);
    WakeUpForHeldBackMessage();
    return written;
}

// Takes a service pin message out of the mailbox (true), or leaves whatever
// else the mailbox holds where it is (false).
static bool OnServicePin() {
    const uint8_t* message = linkState.mailbox;
    if (!IsServicePin(message)) {
        return false;
    }
    std::memcpy(entryState.pellionId, message + 17, 6);
    EmptyMailbox();
    ShowStatus(STR_STATUS_RECEIVED);
    char id[3 * 6];
    FormatHexPairs(id, entryState.pellionId, 6);
    ShowPellionId(id);
    if (entryState.autoExecute != 0) {
        ChangeLocation();
    } else {
        ShowMessageResource(IDS_CLICK_EXECUTE);
    }
    return true;
}

void OnReaderWakeUp() {
    if (linkState.mailboxFull.load(std::memory_order_acquire) == 0) {
        return;
    }
    // Posted before the link stopped and taken from the queue after: the
    // message came from an interface that is closed now, so it is dropped.
    if (linkState.readerRunning.load(std::memory_order_acquire) == nullptr) {
        EmptyMailbox();
        return;
    }
    // A service pin is taken out of the mailbox before its change starts;
    // what the mailbox holds after that change is a newer message with a
    // wake-up of its own, and must not be thrown away here.
    if (!OnServicePin()) {
        EmptyMailbox();
    }
}
