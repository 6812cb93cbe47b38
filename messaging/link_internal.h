// The link's state and its hand-offs between the reader thread and the
// user-interface thread: for the location change (messaging/location.cpp)
// and for tests. Everything else uses messaging/link.h.
#pragma once
#include <atomic>
#include <cstdint>
#include "niaccess/niaccess.h"
#include "platform/sync.h"

struct LinkState {
    int interfaceOpen;
    int readOnly; // the open link's LinkUse::ReadOnly
    NiHandle handle;
    PlatEvent arrivalEvent;
    uint8_t readBuffer[66];
    uint8_t mailbox[66];
    // Hand-off flags between the reader thread and the user-interface thread.
    std::atomic<int> mailboxFull;
    std::atomic<int> transactionActive;
    // The running reader's thread; set by a start, cleared by a stop.
    std::atomic<PlatThread> readerRunning;
};

extern LinkState linkState;

// Sends a message as it is (byte 1 + 2 bytes); true when the driver took it.
// On a read-only link a request to a node other than Read Memory is not sent
// (false).
bool SendRequest(uint8_t* message);

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
