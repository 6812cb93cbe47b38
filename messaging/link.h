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
    std::atomic<int> stopRequested;
    std::atomic<PlatThread> readerRunning;
};

extern LinkState linkState;

bool PollMessage();
bool WaitAndPoll(uint32_t ms);
bool SendRequest(uint8_t* message);
bool SendAndConfirm(uint8_t* command);
int StartLink();
void StopLink();

// The dialog's answer to the reader's wake-up: a full mailbox goes to
// OnServicePin and is emptied afterwards.
void OnReaderWakeUp();

// Empties the mailbox once its contents have been used, and lets a reader that
// waits for room go on at once.
void EmptyMailbox();

// Test hook, null in the program: the reader thread calls it with stage 0 at
// the top of every turn and with stage 1 just before each read, while it holds
// its claim on the interface. A test can stall the reader here.
extern std::atomic<void (*)(int stage)> linkReaderHook;
