// Shared set-up of the messaging tests: a virtual network with one interface
// opened by the link, the recorder as operator output, and a pump that
// answers the reader's wake-ups the way the dialog does.
#pragma once
#include "messaging/entry_state.h"
#include "messaging/link.h"
#include "messaging/link_internal.h"
#include "messaging/location.h"
#include "messaging/message.h"
#include "tests/support/output_recorder.h"
#include "platform/sync.h"
#include "resources/strings.h"
#include "virtualnet/vnet.h"
#include <algorithm>
#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace messaging_test {

inline const uint8_t nodeId[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
inline const uint8_t otherId[6] = {0x00, 0xD0, 0x71, 0x2A, 0x01, 0x00};
inline const uint8_t programId[8] = {0x90, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};

inline std::vector<uint8_t> Bytes(const uint8_t* bytes, size_t size) {
    return {bytes, bytes + size};
}

// A raw message as the network would deliver it: byte 0, byte 3, byte 16 and
// the data bytes from 17 on; byte 1 covers everything up to the last data byte.
inline std::vector<uint8_t> Crafted(uint8_t kind, uint8_t completion, uint8_t code,
                                    std::vector<uint8_t> data = {}) {
    std::vector<uint8_t> m(17 + data.size(), 0);
    m[0] = kind;
    m[1] = static_cast<uint8_t>(m.size() - 2);
    m[2] = 0x60;
    m[3] = completion;
    m[4] = static_cast<uint8_t>(1 + data.size());
    m[16] = code;
    std::copy(data.begin(), data.end(), m.begin() + 17);
    return m;
}

inline std::vector<uint8_t> ServicePin(const uint8_t id[6]) {
    std::vector<uint8_t> data(id, id + 6);
    data.insert(data.end(), programId, programId + 8);
    return Crafted(MsgIncoming, 0x00, CodeServicePin, data);
}

inline std::vector<uint8_t> WrittenMessage(size_t index) {
    VnetLogEntry entry;
    if (!VnetWritten(index, &entry))
        return {};
    return Bytes(entry.bytes, entry.length);
}

inline std::vector<std::vector<uint8_t>> WrittenLog() {
    std::vector<std::vector<uint8_t>> log;
    for (size_t i = 0; i < VnetWrittenCount(); ++i)
        log.push_back(WrittenMessage(i));
    return log;
}

#ifdef _WIN32
const bool testClock = false; // Wine: the real clock
#else
const bool testClock = true;
#endif

// The time a step took since `start`: exactly `ms` on the host's test clock;
// under Wine also what a busy machine delays (seconds, seen here).
inline void ExpectTook(uint32_t start, uint32_t ms) {
    uint32_t took = PlatTickCount() - start;
    if (testClock)
        EXPECT_EQ(took, ms);
    else
        EXPECT_TRUE(took + 100 >= ms && took < ms + 5000) << took << " ms, not about " << ms;
}

const uint32_t HangLimitMs = 30000; // ends a hung test, never a slow machine's

// Waits, without answering wake-ups, until done() holds or the time is up.
inline bool WaitUntil(const std::function<bool()>& done, uint32_t limitMs = HangLimitMs) {
    uint32_t start = PlatTickCount();
    while (!done()) {
        if (PlatTickCount() - start > limitMs)
            return false;
        PlatSleep(1);
    }
    return true;
}

class MessagingTest : public ::testing::Test {
  protected:
    int iface = -1;
    int node = -1;
    int wakeUpsSeen = 0;

    void SetUp() override {
        VnetReset();
        iface = VnetAddInterface("VNI1", 0);
        node = VnetAddNode(nodeId, programId, "OLD");
        RecorderClear();
        std::memset(&entryState, 0, sizeof entryState);
        entryState.txTimerIndex = DefaultTxTimerIndex;
        // Unnamed: under Wine a named event is one object for every test
        // process running at once, and their arrivals would wake each other.
        CreateLinkEvent(nullptr);
        linkState.transactionActive.store(0);
        linkReaderHook = nullptr;
    }

    void TearDown() override {
        CloseLink();
        linkReaderHook = nullptr;
        VnetReset();
    }

    // Opens VNI1 with the link running; the start-up traffic is cleared from
    // the log and the recorder.
    void OpenTestLink() {
        ASSERT_EQ(OpenLink("VNI1"), LinkOpened::Running);
        VnetClearLog();
        RecorderClear();
        wakeUpsSeen = 0;
    }

    // The dialog's message loop: every wake-up the reader posted is answered
    // with OnReaderWakeUp, until done() holds or the time is up.
    bool Pump(const std::function<bool()>& done, uint32_t limitMs = HangLimitMs) {
        uint32_t start = PlatTickCount();
        for (;;) {
            while (wakeUpsSeen < RecorderWakeUps()) {
                ++wakeUpsSeen;
                OnReaderWakeUp();
            }
            if (done())
                return true;
            if (PlatTickCount() - start > limitMs)
                return false;
            PlatSleep(1);
        }
    }

    // Pumps for a while with nothing expected (messages that must be ignored).
    void PumpFor(uint32_t ms) {
        Pump([] { return false; }, ms);
    }

    void Inject(const std::vector<uint8_t>& message) {
        ASSERT_TRUE(VnetInjectMessage(iface, message.data(), message.size()));
    }

    static std::vector<std::pair<OutputKind, std::string>> Outputs() {
        std::vector<std::pair<OutputKind, std::string>> all;
        for (size_t i = 0; i < RecorderCount(); ++i) {
            OutputEvent e = RecorderEvent(i);
            all.emplace_back(e.kind, e.text);
        }
        return all;
    }

    static int CueCount() {
        int cues = 0;
        for (size_t i = 0; i < RecorderCount(); ++i)
            cues += RecorderEvent(i).kind == OutputKind::Cue;
        return cues;
    }

    static void SetLocation(const char* text) {
        std::memset(entryState.location, 0, sizeof entryState.location);
        std::memcpy(entryState.location, text, std::min<size_t>(std::strlen(text), 6));
    }
};

} // namespace messaging_test
