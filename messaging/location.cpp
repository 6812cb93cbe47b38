// The location change (read the node's string, write the new one when it
// differs), the same for one node without the window's output, and the
// capture of a node's ID from its service pin message.
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
enum class Answer { Other, Success, Refused, NotAcknowledged };

static Answer ReadAnswer(const uint8_t* message) {
    if (!IsResponse(message)) {
        return Answer::Other;
    }
    if (ResponseCode(message) == CodeReadMemoryOk) {
        return Answer::Success;
    }
    // A Read Memory failure code is discarded like any other message; only a
    // failed transaction ends the wait early.
    return IsTransactionFailed(message) ? Answer::NotAcknowledged : Answer::Other;
}

static Answer WriteAnswer(const uint8_t* message) {
    if (!IsResponse(message)) {
        return Answer::Other;
    }
    if (ResponseCode(message) == CodeWriteMemoryOk) {
        return Answer::Success;
    }
    if (ResponseCode(message) == CodeWriteMemoryFail) {
        return Answer::Refused;
    }
    return IsTransactionFailed(message) ? Answer::NotAcknowledged : Answer::Other;
}

// Waits up to the phase limit for the answer, looking at the mailbox at least
// every 25 ms and at once when the reader fills it, and consuming every
// message it looks at. On success the answer's bytes 17..22 are copied into
// payload first (when payload is not null).
static NodeFailure AwaitAnswer(Answer (*classify)(const uint8_t*), uint8_t* payload) {
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
            switch (answer) {
            case Answer::Success:
                return NodeFailure::None;
            case Answer::Refused:
                return NodeFailure::WriteRefused;
            case Answer::NotAcknowledged:
                return NodeFailure::NotAcknowledged;
            case Answer::Other:
                break;
            }
        }
        if (PhaseExpired(start)) {
            return NodeFailure::NoAnswer;
        }
    }
}

// Asks the node for its string (6 bytes into current) and waits for it.
static NodeFailure ReadNodeLocation(const uint8_t id[6], uint8_t current[6]) {
    AddressReadLocationRequest(id, entryState.txTimerIndex);
    if (!SendRequest(ReadLocationRequest)) {
        return NodeFailure::SendFailed;
    }
    return AwaitAnswer(ReadAnswer, current);
}

// Writes the new string and waits for the node's answer. Meanwhile the reader
// holds its wake-ups back; one it held back is posted afterwards.
static NodeFailure WriteNodeLocation(const uint8_t id[6], const uint8_t location[6]) {
    AddressWriteLocationRequest(id, entryState.txTimerIndex, location);
    linkState.transactionActive.store(1, std::memory_order_seq_cst);
    NodeFailure failure = SendRequest(WriteLocationRequest) ? AwaitAnswer(WriteAnswer, nullptr)
                                                            : NodeFailure::SendFailed;
    linkState.transactionActive.store(0, std::memory_order_seq_cst);
    WakeUpForHeldBackMessage();
    return failure;
}

// Equal as zero-terminated strings over at most six bytes.
static bool SameLocation(const uint8_t* current, const uint8_t* entered) {
    return std::strncmp(reinterpret_cast<const char*>(current),
                        reinterpret_cast<const char*>(entered), 6) == 0;
}

int ChangeLocation() {
    if (entryState.location[0] == 0) {
        ShowMessage(STR_LOCATION_EMPTY);
        return 0;
    }
    ShowStatus(STR_STATUS_QUERY);
    ShowMessage("");
    // Terminated, for the texts below.
    uint8_t current[7] = {};
    char entered[7] = {};
    std::memcpy(entered, entryState.location, 6);
    const auto* location = reinterpret_cast<const uint8_t*>(entered);
    // A send that fails is reported like every other failure, not left at
    // "Query Node".
    if (ReadNodeLocation(entryState.pellionId, current) != NodeFailure::None) {
        ReportFailure();
        return 0;
    }
    char text[TextSize];
    if (SameLocation(current, location)) {
        std::snprintf(text, sizeof text, FMT_LOCATION_IDENTICAL, entered);
        ShowMessage(text);
        ShowStatus(STR_STATUS_COMPLETE);
        return 1;
    }
    std::snprintf(text, sizeof text, FMT_LOCATION_CHANGING, reinterpret_cast<char*>(current),
                  entered);
    ShowMessage(text);
    if (WriteNodeLocation(entryState.pellionId, location) != NodeFailure::None) {
        ReportFailure();
        return 0;
    }
    ShowStatus(STR_STATUS_COMPLETE);
    PlayCue(CUE_DONE);
    return 1;
}

NodeExchange CheckNode(const uint8_t id[6], const uint8_t location[6]) {
    NodeExchange exchange = {};
    EmptyMailbox();
    exchange.failure = ReadNodeLocation(id, exchange.before);
    if (exchange.failure != NodeFailure::None) {
        exchange.result = NodeResult::Failed;
        return exchange;
    }
    exchange.beforeKnown = 1;
    exchange.afterKnown = 1;
    std::memcpy(exchange.after, exchange.before, 6);
    exchange.result =
        SameLocation(exchange.before, location) ? NodeResult::Already : NodeResult::Differs;
    return exchange;
}

NodeExchange ChangeNode(const uint8_t id[6], const uint8_t location[6]) {
    NodeExchange exchange = CheckNode(id, location);
    if (exchange.result != NodeResult::Differs) {
        return exchange;
    }
    exchange.failure = WriteNodeLocation(id, location);
    switch (exchange.failure) {
    case NodeFailure::None:
        exchange.result = NodeResult::Changed;
        std::memcpy(exchange.after, location, 6);
        break;
    case NodeFailure::SendFailed:
    case NodeFailure::WriteRefused:
        exchange.result = NodeResult::Failed; // the node keeps its string
        break;
    case NodeFailure::NoAnswer:
    case NodeFailure::NotAcknowledged:
        // The write may have reached the node with its acknowledgement lost.
        exchange.result = NodeResult::Failed;
        exchange.afterKnown = 0;
        break;
    }
    return exchange;
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
