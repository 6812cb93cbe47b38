// The link to an open interface: moving one message, the start-up exchange,
// the reader thread with its one-message mailbox, and the orderly stop.
#pragma once
#include <atomic>
#include <cstdint>
#include "niaccess/niaccess.h"
#include "platform/sync.h"

struct LinkState {
    int interfaceOpen;
    NiHandle handle;
    PlatEvent arrivalEvent;
    uint8_t readBuffer[66];
    uint8_t mailbox[66];
    // Hand-off flags between the reader thread and the user-interface thread.
    std::atomic<int> mailboxFull;
    std::atomic<int> transactionActive;
    // The running reader's thread; set by StartLink, cleared by StopLink.
    std::atomic<PlatThread> readerRunning;
};

extern LinkState linkState;

bool PollMessage();
bool WaitAndPoll(uint32_t ms);
bool SendRequest(uint8_t* message);
bool SendAndConfirm(uint8_t* command);
// 1 when the link runs. Refuses (0) while a reader given up by an earlier stop
// is still inside a read, and when the link's events cannot be had.
int StartLink();
void StopLink();

// Waits up to `ms` for the reader to fill the mailbox, answering the messages
// sent to the program's windows meanwhile. True when it was filled.
bool WaitForMailbox(uint32_t ms);

// Empties the mailbox once its contents have been used, and lets a reader that
// waits for room go on at once.
void EmptyMailbox();

// To be called by the user-interface thread right after it cleared
// transactionActive: a message that the reader put in the mailbox meanwhile
// gets the wake-up that the reader held back.
void WakeUpForHeldBackMessage();

// Test hook, null in the program: the reader thread calls it with stage 0 at
// the top of every turn and with stage 1 just before each read, once it has
// claimed the read. A test can stall the reader here.
extern std::atomic<void (*)(int stage)> linkReaderHook;
