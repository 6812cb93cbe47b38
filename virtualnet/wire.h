// The virtual network's own copy of the message codes, for the network and
// its traffic names alike. Deliberately independent of the program's
// messaging code: the network is an oracle for the tests, and its logs say
// what went over the wire, not what the program believes it sent.
#pragma once
#include <cstdint>

namespace vnet_wire {
const uint8_t CmdNodeRequest = 0x12;
const uint8_t CmdLocal = 0x24;
const uint8_t CmdResponse = 0x16;
const uint8_t CmdIncoming = 0x18;
const uint8_t CodeUpdateDomain = 0x63;
const uint8_t CodeSetNodeMode = 0x6C;
const uint8_t CodeReadMemory = 0x6D;
const uint8_t CodeWriteMemory = 0x6E;
const uint8_t CodeServicePin = 0x7F;
const uint8_t CompletionMask = 0x30;
const uint8_t CompletionSuccess = 0x10;
const uint8_t CompletionFailed = 0x20;
} // namespace vnet_wire
