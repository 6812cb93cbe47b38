// The byte layout of every message exchanged with the interface, the four
// request templates, and the rules by which received messages are recognised.
#pragma once
#include <cstdint>

const int MessageReadSize = 66; // every read asks for 66 bytes

// Byte 0
const uint8_t MsgRequest = 0x12;      // request to a node over the network
const uint8_t MsgLocalCommand = 0x24; // executed by the interface itself
const uint8_t MsgResponse = 0x16;
const uint8_t MsgIncoming = 0x18; // unsolicited, e.g. a service pin message

// Byte 16: message and response codes
const uint8_t CodeReadMemory = 0x6D;
const uint8_t CodeWriteMemory = 0x6E;
const uint8_t CodeUpdateDomain = 0x63;
const uint8_t CodeSetNodeMode = 0x6C;
const uint8_t CodeServicePin = 0x7F;
const uint8_t CodeReadMemoryOk = 0x2D;
const uint8_t CodeReadMemoryFail = 0x0D;
const uint8_t CodeWriteMemoryOk = 0x2E;
const uint8_t CodeWriteMemoryFail = 0x0E;

// The templates: module-level buffers, completed in place before sending.
extern uint8_t ReadLocationRequest[21];
extern uint8_t WriteLocationRequest[28];
extern uint8_t UpdateDomainCommand[33];
extern uint8_t SetNodeModeCommand[19];

// Bytes written for a message: byte 1 + 2.
int MessageLength(const uint8_t* message);

// Completion for a node, with the transmit-timer index (and the new string).
void AddressReadLocationRequest(const uint8_t id[6], int txTimerIndex);
void AddressWriteLocationRequest(const uint8_t id[6], int txTimerIndex, const uint8_t location[6]);
// Completion from the operator's entries (EntryState).
void CompleteReadLocationRequest();
void CompleteWriteLocationRequest();

// Expected response codes of a request: code & 0x3F and code & 0x1F.
uint8_t SuccessCode(uint8_t requestCode);
uint8_t FailureCode(uint8_t requestCode);

// Recognition on a received 66-byte buffer.
bool IsResponse(const uint8_t* message);          // byte 0 = 0x16
bool IsIncoming(const uint8_t* message);          // byte 0 = 0x18
bool IsTransactionFailed(const uint8_t* message); // byte 3 & 0x30 = 0x20
uint8_t ResponseCode(const uint8_t* message);     // byte 16
bool IsServicePin(const uint8_t* message);        // byte 0 = 0x18, byte 16 = 0x7F
// A response to a local command: byte 0 = 0x16 and byte 1 >= 14.
bool IsLocalCommandResponse(const uint8_t* message);
