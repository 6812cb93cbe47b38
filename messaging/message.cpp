// The four request templates, their completion from the operator's entries,
// and the recognition rules for received messages.
#include "messaging/message.h"
#include "messaging/entry_state.h"
#include <cstring>

// Byte 8 of a node request is the transmit-timer index, bytes 10..15 the
// target's unique ID; both are filled in just before sending.
// clang-format off
uint8_t ReadLocationRequest[21] = {
    0x12, 0x13, 0x60, 0x08, 0x05,                                  // header
    0x02, 0x00, 0x02, DefaultTxTimerIndex, 0x00, 0, 0, 0, 0, 0, 0, // address by unique ID
    0x6D, 0x02, 0x00, 0x02, 0x06};                                 // config offset 2, 6 bytes

uint8_t WriteLocationRequest[28] = {
    0x12, 0x1A, 0x60, 0x08, 0x0C,
    0x02, 0x00, 0x02, DefaultTxTimerIndex, 0x00, 0, 0, 0, 0, 0, 0,
    0x6E, 0x02, 0x00, 0x02, 0x06, 0x01,                            // ..., form 1
    0, 0, 0, 0, 0, 0};                                             // the new string

uint8_t UpdateDomainCommand[33] = {
    0x24, 0x1F, 0x60, 0x00, 0x11,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,                               // no address
    0x63, 0x00,                                                    // domain table index 0
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00,                            // domain ID
    0x01, 0xFE, 0x00,                                              // subnet, node, ID length
    0x5A, 0xC3, 0x17, 0xE8, 0x2B, 0x94};                           // authentication key

uint8_t SetNodeModeCommand[19] = {
    0x24, 0x11, 0x60, 0x00, 0x03,
    0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
    0x6C, 0x03, 0x04};                                             // change state to 4
// clang-format on

int MessageLength(const uint8_t* message) {
    return message[1] + 2;
}

static void CompleteAddress(uint8_t* request, const uint8_t id[6], int txTimerIndex) {
    request[8] = static_cast<uint8_t>(txTimerIndex);
    std::memcpy(request + 10, id, 6);
}

void AddressReadLocationRequest(const uint8_t id[6], int txTimerIndex) {
    CompleteAddress(ReadLocationRequest, id, txTimerIndex);
}

void AddressWriteLocationRequest(const uint8_t id[6], int txTimerIndex, const uint8_t location[6]) {
    CompleteAddress(WriteLocationRequest, id, txTimerIndex);
    std::memcpy(WriteLocationRequest + 22, location, 6);
}

void CompleteReadLocationRequest() {
    AddressReadLocationRequest(entryState.pellionId, entryState.txTimerIndex);
}

void CompleteWriteLocationRequest() {
    AddressWriteLocationRequest(entryState.pellionId, entryState.txTimerIndex,
                                reinterpret_cast<const uint8_t*>(entryState.location));
}

uint8_t SuccessCode(uint8_t requestCode) {
    return requestCode & 0x3F;
}
uint8_t FailureCode(uint8_t requestCode) {
    return requestCode & 0x1F;
}

bool IsResponse(const uint8_t* message) {
    return message[0] == MsgResponse;
}
bool IsIncoming(const uint8_t* message) {
    return message[0] == MsgIncoming;
}
bool IsTransactionFailed(const uint8_t* message) {
    return (message[3] & 0x30) == 0x20;
}
uint8_t ResponseCode(const uint8_t* message) {
    return message[16];
}
bool IsServicePin(const uint8_t* message) {
    return IsIncoming(message) && ResponseCode(message) == CodeServicePin;
}
bool IsLocalCommandResponse(const uint8_t* message) {
    return IsResponse(message) && message[1] >= 14;
}
