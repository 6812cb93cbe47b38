// The link to an open interface: one-message moves, the start-up exchange,
// the reader thread with its one-message mailbox, and the orderly stop.
#include "messaging/link.h"
#include "messaging/location.h"
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
static const uint32_t StopStepMs = 50;
static const int ReaderContextCount = 4;

// One reader thread's own record. A reader that does not stop within the stop
// limit is given up but may still be running; it keeps its record (and its
// interface slot stays open) until it has left its read, so a later open can
// never hand its slot to another interface under it.
struct ReaderContext {
    std::atomic<int> alive;         // cleared by the reader as its very last act
    std::atomic<int> inRead;        // between its claim check and the end of the hand-off
    std::atomic<PlatThread> thread; // published by StartLink right after the start
    NiHandle handle;                // the slot it reads, fixed for its whole life
    uint32_t epoch;                 // the link epoch it was started for
    int givenUp;                    // user-interface thread only
    int closePending;               // user-interface thread only
};

static ReaderContext readers[ReaderContextCount];
static ReaderContext* liveReader; // user-interface thread only
// Bumped by every stop: a reader whose epoch is stale never reads again.
static std::atomic<uint32_t> linkEpoch;
// Signalled whenever the user-interface thread empties the mailbox.
static PlatEvent mailboxEmptied;

static bool PollOn(NiHandle handle) {
    return NiRead(handle, linkState.readBuffer, MessageReadSize) == NiOk;
}

bool PollMessage() {
    return PollOn(linkState.handle);
}

bool WaitAndPoll(uint32_t ms) {
    PlatWaitEvent(linkState.arrivalEvent, ms);
    return PollMessage();
}

bool SendRequest(uint8_t* message) {
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

bool SendAndConfirm(uint8_t* command) {
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

void EmptyMailbox() {
    linkState.mailboxFull.store(0, std::memory_order_release);
    if (mailboxEmptied != nullptr) {
        PlatSetEvent(mailboxEmptied);
    }
}

static bool Current(const ReaderContext* self) {
    return linkEpoch.load(std::memory_order_seq_cst) == self->epoch;
}

static void ReaderThread(void* argument) {
    ReaderContext* self = static_cast<ReaderContext*>(argument);
    linkState.mailboxFull.store(0, std::memory_order_release);
    while (linkState.stopRequested.load(std::memory_order_acquire) == 0 && Current(self)) {
        if (void (*hook)(int) = linkReaderHook.load()) {
            hook(0);
        }
        if (linkState.mailboxFull.load(std::memory_order_acquire) != 0) {
            // At most one step; emptying the mailbox cuts it short.
            PlatWaitEvent(mailboxEmptied, ReaderStepMs);
            continue;
        }
        PlatWaitEvent(linkState.arrivalEvent, ReaderStepMs);
        // Claim, then check: a stop bumps the epoch first and looks at the
        // claim afterwards, so either it sees us reading or we see the stop.
        self->inRead.store(1, std::memory_order_seq_cst);
        if (!Current(self)) {
            self->inRead.store(0, std::memory_order_release);
            break;
        }
        if (void (*hook)(int) = linkReaderHook.load()) {
            hook(1);
        }
        if (PollOn(self->handle) && Current(self) &&
            linkState.mailboxFull.load(std::memory_order_acquire) == 0) {
            std::memcpy(linkState.mailbox, linkState.readBuffer, MessageReadSize);
            linkState.mailboxFull.store(1, std::memory_order_release);
            if (linkState.transactionActive.load(std::memory_order_acquire) == 0) {
                PostWakeUp();
            }
        }
        self->inRead.store(0, std::memory_order_release);
    }
    // Clear readerRunning only while it still names this thread: a stop that
    // gave up on it may have started another reader since.
    PlatThread me;
    while ((me = self->thread.load(std::memory_order_acquire)) == nullptr) {
        PlatSleep(1);
    }
    linkState.readerRunning.compare_exchange_strong(me, nullptr, std::memory_order_acq_rel);
    self->alive.store(0, std::memory_order_release);
}

// Finishes with readers that were given up: closes their slot once they can
// no longer read it, and lets go of their record once they have ended.
static void ReapReaders() {
    for (ReaderContext& reader : readers) {
        if (reader.givenUp == 0) {
            continue;
        }
        bool ended = reader.alive.load(std::memory_order_acquire) == 0;
        if (reader.closePending != 0 &&
            (ended || reader.inRead.load(std::memory_order_seq_cst) == 0)) {
            NiClose(reader.handle);
            reader.closePending = 0;
        }
        if (ended) {
            PlatReleaseThread(reader.thread.load(std::memory_order_acquire));
            reader.thread.store(nullptr, std::memory_order_relaxed);
            reader.givenUp = 0;
        }
    }
}

// True once no given-up reader is inside a read (waits up to the stop limit).
static bool LateReadersIdle() {
    uint32_t start = PlatTickCount();
    for (;;) {
        ReapReaders();
        bool busy = false;
        for (ReaderContext& reader : readers) {
            if (reader.givenUp != 0 && reader.inRead.load(std::memory_order_seq_cst) != 0) {
                busy = true;
            }
        }
        if (!busy) {
            return true;
        }
        if (PlatTickCount() - start > StopLimitMs) {
            return false;
        }
        PlatSleep(StopStepMs);
    }
}

static ReaderContext* FreeReaderContext() {
    for (ReaderContext& reader : readers) {
        if (reader.givenUp == 0 && reader.alive.load(std::memory_order_acquire) == 0) {
            return &reader;
        }
    }
    return nullptr;
}

int StartLink() {
    // A given-up reader still inside a read would share the buffers below.
    if (!LateReadersIdle()) {
        return 0;
    }
    PlatResetEvent(linkState.arrivalEvent);
    if (!SendAndConfirm(UpdateDomainCommand)) {
        return 0;
    }
    if (!SendRequest(SetNodeModeCommand)) {
        return 0;
    }
    linkState.stopRequested.store(0, std::memory_order_release);
    if (mailboxEmptied == nullptr) {
        mailboxEmptied = PlatCreateEvent(nullptr);
    }
    ReaderContext* reader = FreeReaderContext();
    PlatThread thread = nullptr;
    if (reader != nullptr && mailboxEmptied != nullptr) {
        reader->handle = linkState.handle;
        reader->epoch = linkEpoch.load(std::memory_order_seq_cst);
        reader->closePending = 0;
        reader->inRead.store(0, std::memory_order_relaxed);
        reader->thread.store(nullptr, std::memory_order_relaxed);
        reader->alive.store(1, std::memory_order_release);
        thread = PlatStartThread(ReaderThread, reader);
        if (thread == nullptr) {
            reader->alive.store(0, std::memory_order_release);
        }
    }
    if (thread == nullptr) {
        ShowMessageResource(IDS_THREAD_FAILED);
        return 0;
    }
    linkState.readerRunning.store(thread, std::memory_order_release);
    reader->thread.store(thread, std::memory_order_release);
    liveReader = reader;
    return 1;
}

void StopLink() {
    if (linkState.interfaceOpen == 0) {
        return;
    }
    ReapReaders();
    bool closeNow = true;
    PlatThread thread = linkState.readerRunning.load(std::memory_order_acquire);
    if (thread != nullptr) {
        linkState.stopRequested.store(1, std::memory_order_release);
        linkEpoch.fetch_add(1, std::memory_order_seq_cst);
        PlatSetEvent(linkState.arrivalEvent);
        PlatSetEvent(mailboxEmptied);
        uint32_t start = PlatTickCount();
        while (linkState.readerRunning.load(std::memory_order_acquire) != nullptr &&
               PlatTickCount() - start <= StopLimitMs) {
            PlatSleep(StopStepMs);
        }
        ReaderContext* reader = liveReader;
        liveReader = nullptr;
        if (linkState.readerRunning.load(std::memory_order_acquire) == nullptr) {
            PlatReleaseThread(thread);
            reader->thread.store(nullptr, std::memory_order_relaxed);
        } else {
            // Given up. Its thread record is kept until it ends, and its slot
            // stays open while it may still be reading it.
            linkState.readerRunning.store(nullptr, std::memory_order_release);
            reader->givenUp = 1;
            if (reader->inRead.load(std::memory_order_seq_cst) != 0) {
                reader->closePending = 1;
                closeNow = false;
            }
        }
    }
    linkState.interfaceOpen = 0;
    if (closeNow) {
        NiClose(linkState.handle);
    }
    ShowMessage("");
}

void OnReaderWakeUp() {
    if (linkState.mailboxFull.load(std::memory_order_acquire) == 0) {
        return;
    }
    // OnServicePin empties the mailbox itself before it starts a change; what
    // the mailbox holds after that change is a newer message with a wake-up
    // of its own, and must not be thrown away here.
    bool servicePin = IsServicePin(linkState.mailbox);
    OnServicePin();
    if (!servicePin) {
        EmptyMailbox();
    }
}
