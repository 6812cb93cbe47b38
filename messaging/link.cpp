// The link to an open interface: one-message moves, the start-up exchange,
// the reader thread with its one-message mailbox, and the orderly stop.
#include "messaging/link.h"
#include "messaging/link_internal.h"
#include "messaging/message.h"
#include "platform/output.h"
#include "resources/strings.h"
#include <cstring>

LinkState linkState;
std::atomic<void (*)(int stage)> linkReaderHook{nullptr};

static const uint32_t ReaderStepMs = 50;
static const uint32_t ConfirmLimitMs = 5000;
static const int DrainLimit = 500;
static const uint32_t StopLimitMs = 3000;
static const int ReaderCount = 4;

// One reader thread. A reader that does not end within the stop limit is
// given up: it reads no more once it sees its cancel flag, and if it was
// inside a read its interface slot stays open (so no later open can hand the
// slot out under it) until it has left. Its record is free again once its
// thread has ended.
struct Reader {
    std::atomic<int> cancelled;
    std::atomic<int> inRead;
    NiHandle handle;   // the slot it reads, fixed for its whole life
    PlatThread thread; // user-interface thread only; null: the record is free
    int slotKept;      // user-interface thread only
};

static Reader readers[ReaderCount];
static Reader* liveReader; // user-interface thread only
// Signalled by the user-interface thread whenever it empties the mailbox, and
// by the reader whenever it fills it. Made by the first start, kept for the run.
static PlatEvent mailboxEmptied;
static PlatEvent mailboxFilled;

static bool PollOn(NiHandle handle) {
    return NiRead(handle, linkState.readBuffer, MessageReadSize) == NiOk;
}

static bool PollMessage() {
    return PollOn(linkState.handle);
}

// Only the user-interface thread waits here, answering sent messages meanwhile.
static bool WaitAndPoll(uint32_t ms) {
    PlatWaitEventAnswering(linkState.arrivalEvent, ms);
    return PollMessage();
}

bool SendRequest(uint8_t* message) {
    if (linkState.readOnly != 0 && message[0] == MsgRequest && message[16] != CodeReadMemory) {
        return false;
    }
    return NiWrite(linkState.handle, message, static_cast<int16_t>(MessageLength(message))) == NiOk;
}

// Waits up to `ms` for a message. A wake-up that finds nothing (the signal of
// a message that the drain has already taken, say) is no answer: the wait
// goes on for the rest of the time instead of failing the exchange early.
static bool WaitForMessage(uint32_t ms) {
    uint32_t start = PlatTickCount();
    for (;;) {
        uint32_t waited = PlatTickCount() - start;
        if (WaitAndPoll(waited < ms ? ms - waited : 0)) {
            return true;
        }
        if (PlatTickCount() - start >= ms) {
            return false;
        }
    }
}

// Drains stale messages, sends a local command and waits for its answer.
static bool SendAndConfirm(uint8_t* command) {
    for (int drained = 0; drained < DrainLimit && PollMessage(); ++drained) {
    }
    if (!SendRequest(command)) {
        return false;
    }
    uint32_t start = PlatTickCount();
    for (;;) {
        if (!WaitForMessage(ConfirmLimitMs)) {
            return false;
        }
        const uint8_t* answer = linkState.readBuffer;
        if (IsLocalCommandResponse(answer)) {
            if (ResponseCode(answer) == SuccessCode(command[16])) {
                return true;
            }
            if (ResponseCode(answer) == FailureCode(command[16])) {
                return false;
            }
        }
        // Traffic that keeps coming without our answer counts as success.
        if (PlatTickCount() - start >= ConfirmLimitMs) {
            return true;
        }
    }
}

bool WaitForMailbox(uint32_t ms) {
    if (mailboxFilled == nullptr) {
        PlatSleep(ms); // no link was ever started: nothing can fill it
        return false;
    }
    return PlatWaitEventAnswering(mailboxFilled, ms);
}

void EmptyMailbox() {
    linkState.mailboxFull.store(0, std::memory_order_release);
    if (mailboxEmptied != nullptr) {
        PlatSetEvent(mailboxEmptied);
    }
}

// The reader stores mailboxFull and then loads transactionActive; the
// transaction stores transactionActive (clearing it) and then loads
// mailboxFull. With release/acquire both loads could see the old values: the
// reader would hold its wake-up back and the transaction would not see the
// message, which would then lie in the mailbox with nobody told. Sequentially
// consistent operations on these four accesses leave at least one side
// seeing the other's store. The claim on a read (inRead against cancelled)
// is the same pattern between the reader and a stop.
void WakeUpForHeldBackMessage() {
    if (linkState.mailboxFull.load(std::memory_order_seq_cst) != 0) {
        PostWakeUp();
    }
}

static void ReaderThread(void* argument) {
    Reader* self = static_cast<Reader*>(argument);
    while (self->cancelled.load(std::memory_order_seq_cst) == 0) {
        if (void (*hook)(int) = linkReaderHook.load()) {
            hook(0);
        }
        if (linkState.mailboxFull.load(std::memory_order_acquire) != 0) {
            // At most one step; emptying the mailbox cuts it short.
            PlatWaitEvent(mailboxEmptied, ReaderStepMs);
            continue;
        }
        PlatWaitEvent(linkState.arrivalEvent, ReaderStepMs);
        // Claim, then check: a stop sets the flag first and looks at the
        // claim afterwards, so either it sees us reading or we see the stop.
        self->inRead.store(1, std::memory_order_seq_cst);
        if (self->cancelled.load(std::memory_order_seq_cst) != 0) {
            self->inRead.store(0, std::memory_order_release);
            break;
        }
        if (void (*hook)(int) = linkReaderHook.load()) {
            hook(1);
        }
        if (PollOn(self->handle) && self->cancelled.load(std::memory_order_seq_cst) == 0 &&
            linkState.mailboxFull.load(std::memory_order_acquire) == 0) {
            std::memcpy(linkState.mailbox, linkState.readBuffer, MessageReadSize);
            linkState.mailboxFull.store(1, std::memory_order_seq_cst);
            PlatSetEvent(mailboxFilled);
            if (linkState.transactionActive.load(std::memory_order_seq_cst) == 0) {
                PostWakeUp();
            }
        }
        self->inRead.store(0, std::memory_order_release);
    }
}

// Finishes with given-up readers: closes a kept slot once its reader has left
// the read, and frees the record once the thread has ended.
static void ReapReaders() {
    for (Reader& reader : readers) {
        if (reader.thread == nullptr || &reader == liveReader) {
            continue;
        }
        bool ended = PlatWaitThread(reader.thread, 0);
        if (reader.slotKept != 0 && (ended || reader.inRead.load(std::memory_order_seq_cst) == 0)) {
            NiClose(reader.handle);
            reader.slotKept = 0;
        }
        if (ended) {
            PlatReleaseThread(reader.thread);
            reader.thread = nullptr;
        }
    }
}

// True once no given-up reader is inside a read (waits up to the stop limit
// for one that still is).
static bool LateReadersOutOfTheirReads() {
    ReapReaders();
    uint32_t start = PlatTickCount();
    for (Reader& reader : readers) {
        if (reader.slotKept != 0) {
            uint32_t waited = PlatTickCount() - start;
            PlatWaitThread(reader.thread, waited < StopLimitMs ? StopLimitMs - waited : 0);
        }
    }
    ReapReaders();
    for (const Reader& reader : readers) {
        if (reader.slotKept != 0) {
            return false;
        }
    }
    return true;
}

static bool LinkEventsReady() {
    if (mailboxEmptied == nullptr) {
        mailboxEmptied = PlatCreateEvent(nullptr);
    }
    if (mailboxFilled == nullptr) {
        mailboxFilled = PlatCreateEvent(nullptr);
    }
    // Without its events the reader's waits would return at once, and it
    // would spin: the link does not start.
    return linkState.arrivalEvent != nullptr && mailboxEmptied != nullptr &&
           mailboxFilled != nullptr;
}

static Reader* FreeReader() {
    for (Reader& reader : readers) {
        if (reader.thread == nullptr) {
            return &reader;
        }
    }
    return nullptr;
}

// The start-up exchange and the reader, on an interface just opened (with
// its arrival event attached). 1 when the link runs. 0 when the link's events
// cannot be had, while a reader given up by an earlier stop is still inside a
// read, when Update Domain is refused or goes unanswered, when Set Node Mode
// cannot be sent, and when the reader cannot be started (no free record, or
// no thread: the message area says so). The interface stays open on 0.
static int StartLink() {
    if (!LinkEventsReady() || !LateReadersOutOfTheirReads()) {
        return 0;
    }
    PlatResetEvent(linkState.arrivalEvent);
    if (!SendAndConfirm(UpdateDomainCommand)) {
        return 0;
    }
    if (!SendRequest(SetNodeModeCommand)) {
        return 0;
    }
    // A message left from the previous open must not pass for an answer from
    // this one, nor its signal for a fill. Cleared before the reader starts,
    // so no look at the mailbox (the reader's or a transaction's) can come
    // before the clear.
    linkState.mailboxFull.store(0, std::memory_order_release);
    PlatResetEvent(mailboxFilled);
    Reader* reader = FreeReader();
    if (reader != nullptr) {
        reader->cancelled.store(0, std::memory_order_relaxed);
        reader->inRead.store(0, std::memory_order_relaxed);
        reader->handle = linkState.handle;
        reader->slotKept = 0;
        reader->thread = PlatStartThread(ReaderThread, reader);
    }
    if (reader == nullptr || reader->thread == nullptr) {
        ShowMessageResource(IDS_THREAD_FAILED);
        return 0;
    }
    liveReader = reader;
    linkState.readerRunning.store(reader->thread, std::memory_order_release);
    return 1;
}

LinkOpened OpenLink(const char* deviceName, LinkUse use) {
    CloseLink();
    linkState.readOnly = use == LinkUse::ReadOnly ? 1 : 0;
    NiHandle handle = -1;
    if (NiOpen(deviceName, &handle) != NiOk) {
        return LinkOpened::NotOpened;
    }
    linkState.handle = handle;
    linkState.interfaceOpen = 1;
    // Its status is not looked at: without the attachment the reader still
    // looks for messages at every step.
    NiSetArrivalEvent(handle, linkState.arrivalEvent);
    return StartLink() != 0 ? LinkOpened::Running : LinkOpened::WithoutReader;
}

void CloseLink() {
    if (linkState.interfaceOpen == 0) {
        return;
    }
    ReapReaders();
    bool closeNow = true;
    if (Reader* reader = liveReader) {
        liveReader = nullptr;
        reader->cancelled.store(1, std::memory_order_seq_cst);
        PlatSetEvent(linkState.arrivalEvent);
        PlatSetEvent(mailboxEmptied);
        if (PlatWaitThread(reader->thread, StopLimitMs)) {
            PlatReleaseThread(reader->thread);
            reader->thread = nullptr;
        } else if (reader->inRead.load(std::memory_order_seq_cst) != 0) {
            // Given up inside a read: its slot stays open until it has left.
            reader->slotKept = 1;
            closeNow = false;
        }
        linkState.readerRunning.store(nullptr, std::memory_order_release);
    }
    linkState.interfaceOpen = 0;
    if (closeNow) {
        NiClose(linkState.handle);
    }
    ShowMessage("");
}

bool CreateLinkEvent(const char* name) {
    if (linkState.arrivalEvent == nullptr) {
        linkState.arrivalEvent = PlatCreateEvent(name);
    }
    return linkState.arrivalEvent != nullptr;
}

void CloseLinkEvent() {
    CloseLink(); // the event must not go while an interface may signal it
    if (linkState.arrivalEvent != nullptr) {
        PlatCloseEvent(linkState.arrivalEvent);
        linkState.arrivalEvent = nullptr;
    }
}
