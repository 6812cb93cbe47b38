// The four request templates byte for byte, their completion from the
// operator's entries, and the recognition rules on crafted responses.
#include "messaging/entry_state.h"
#include "messaging/message.h"
#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace {

std::vector<uint8_t> Bytes(const uint8_t* message, size_t size) {
    return {message, message + size};
}

void SetEntries(const std::vector<uint8_t>& id, int txTimerIndex, const char* location) {
    std::memcpy(entryState.pellionId, id.data(), 6);
    std::memset(entryState.location, 0, sizeof entryState.location);
    std::memcpy(entryState.location, location,
                std::min(std::strlen(location), sizeof entryState.location - 1));
    entryState.txTimerIndex = txTimerIndex;
}

} // namespace

// Copied before any test runs (the entries are initialised before any code
// of the program runs), so the check does not depend on the tests' order.
const EntryState entriesAtStart = entryState;

TEST(MessageTemplates, StartUpWithTheDefaultEntries) {
    EXPECT_EQ(entriesAtStart.txTimerIndex, 12);
    EXPECT_EQ(entriesAtStart.autoExecute, 0);
    EXPECT_EQ(entriesAtStart.location[0], 0);
    for (uint8_t b : entriesAtStart.pellionId)
        EXPECT_EQ(b, 0);
}

TEST(MessageTemplates, LocalCommandsAreExact) {
    std::vector<uint8_t> updateDomain = {0x24, 0x1F, 0x60, 0x00, 0x11, 0,   0,    0,    0,
                                         0,    0,    0,    0,    0,    0,   0,    0x63, 0x00,
                                         0,    0,    0,    0,    0,    0,   0x01, 0xFE, 0x00,
                                         0x5A, 0xC3, 0x17, 0xE8, 0x2B, 0x94};
    std::vector<uint8_t> setNodeMode = {0x24, 0x11, 0x60, 0x00, 0x03, 0, 0,    0,    0,   0,
                                        0,    0,    0,    0,    0,    0, 0x6C, 0x03, 0x04};
    // Completing the node requests must not touch the local commands.
    SetEntries({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}, 15, "ZZZZZZ");
    CompleteReadLocationRequest();
    CompleteWriteLocationRequest();
    EXPECT_EQ(Bytes(UpdateDomainCommand, sizeof UpdateDomainCommand), updateDomain);
    EXPECT_EQ(Bytes(SetNodeModeCommand, sizeof SetNodeModeCommand), setNodeMode);
    EXPECT_EQ(MessageLength(UpdateDomainCommand), 33);
    EXPECT_EQ(MessageLength(SetNodeModeCommand), 19);
}

TEST(MessageTemplates, NodeRequestsAreCompletedFromTheEntries) {
    SetEntries({0x01, 0x02, 0x03, 0x04, 0x05, 0x06}, 12, "AB");
    CompleteReadLocationRequest();
    CompleteWriteLocationRequest();
    EXPECT_EQ(
        Bytes(ReadLocationRequest, sizeof ReadLocationRequest),
        (std::vector<uint8_t>{0x12, 0x13, 0x60, 0x08, 0x05, 0x02, 0x00, 0x02, 0x0C, 0x00, 0x01,
                              0x02, 0x03, 0x04, 0x05, 0x06, 0x6D, 0x02, 0x00, 0x02, 0x06}));
    EXPECT_EQ(Bytes(WriteLocationRequest, sizeof WriteLocationRequest),
              (std::vector<uint8_t>{0x12, 0x1A, 0x60, 0x08, 0x0C, 0x02, 0x00, 0x02, 0x0C, 0x00,
                                    0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x6E, 0x02, 0x00, 0x02,
                                    0x06, 0x01, 0x41, 0x42, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(MessageLength(ReadLocationRequest), 21);
    EXPECT_EQ(MessageLength(WriteLocationRequest), 28);

    // A second completion replaces every completed field; a shorter string
    // leaves no byte of the previous one behind.
    SetEntries({0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00}, 7, "XYZUVW");
    CompleteWriteLocationRequest();
    SetEntries({0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00}, 3, "Q");
    CompleteReadLocationRequest();
    CompleteWriteLocationRequest();
    EXPECT_EQ(ReadLocationRequest[8], 3);
    EXPECT_EQ(Bytes(ReadLocationRequest + 10, 6),
              (std::vector<uint8_t>{0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00}));
    EXPECT_EQ(Bytes(WriteLocationRequest + 16, 12),
              (std::vector<uint8_t>{0x6E, 0x02, 0x00, 0x02, 0x06, 0x01, 'Q', 0, 0, 0, 0, 0}));
    EXPECT_EQ(WriteLocationRequest[1], 0x1A) << "the byte count stays";
}

TEST(MessageTemplates, OnlySixBytesOfTheLocationBufferGoOut) {
    SetEntries({1, 2, 3, 4, 5, 6}, 12, "ABCDEFGHIJKLMNO");
    CompleteWriteLocationRequest();
    EXPECT_EQ(Bytes(WriteLocationRequest + 22, 6),
              (std::vector<uint8_t>{'A', 'B', 'C', 'D', 'E', 'F'}));
    EXPECT_EQ(MessageLength(WriteLocationRequest), 28);
}

TEST(MessageRecognition, ExpectedResponseCodes) {
    EXPECT_EQ(SuccessCode(CodeUpdateDomain), 0x23);
    EXPECT_EQ(FailureCode(CodeUpdateDomain), 0x03);
    EXPECT_EQ(SuccessCode(CodeReadMemory), CodeReadMemoryOk);
    EXPECT_EQ(FailureCode(CodeReadMemory), CodeReadMemoryFail);
    EXPECT_EQ(SuccessCode(CodeWriteMemory), CodeWriteMemoryOk);
    EXPECT_EQ(FailureCode(CodeWriteMemory), CodeWriteMemoryFail);
    EXPECT_EQ(SuccessCode(CodeSetNodeMode), 0x2C);
    EXPECT_EQ(FailureCode(CodeSetNodeMode), 0x0C);
}

TEST(MessageRecognition, CraftedResponses) {
    uint8_t m[MessageReadSize] = {};
    m[0] = 0x16;
    m[1] = 0x0E;
    m[3] = 0x2C;
    m[16] = 0x2D;
    EXPECT_TRUE(IsResponse(m));
    EXPECT_FALSE(IsIncoming(m));
    EXPECT_TRUE(IsTransactionFailed(m)) << "0x2C & 0x30 is 0x20";
    EXPECT_EQ(ResponseCode(m), 0x2D);
    EXPECT_TRUE(IsLocalCommandResponse(m));
    m[3] = 0x1C;
    EXPECT_FALSE(IsTransactionFailed(m)) << "0x1C & 0x30 is 0x10";
    m[3] = 0x30;
    EXPECT_FALSE(IsTransactionFailed(m));
    m[3] = 0xEF;
    EXPECT_TRUE(IsTransactionFailed(m)) << "only bits 0x30 count";
    m[1] = 13;
    EXPECT_FALSE(IsLocalCommandResponse(m)) << "too short for a local command response";
    m[0] = 0x18;
    m[1] = 0x0E;
    EXPECT_FALSE(IsLocalCommandResponse(m));
    EXPECT_FALSE(IsResponse(m));
}

TEST(MessageRecognition, ServicePinNeedsBothBytes) {
    uint8_t m[MessageReadSize] = {};
    m[0] = 0x18;
    m[16] = 0x7F;
    EXPECT_TRUE(IsServicePin(m));
    EXPECT_TRUE(IsIncoming(m));
    m[16] = 0x7E;
    EXPECT_FALSE(IsServicePin(m));
    m[0] = 0x16;
    m[16] = 0x7F;
    EXPECT_FALSE(IsServicePin(m)) << "a response carrying 0x7F is no service pin";
}
