// Shared set-up of the virtual network's tests: a fresh network with one
// interface and two nodes, the messages the program writes, and a fixture
// that opens, writes and reads through the device seam.
#pragma once
#include "platform/device.h"
#include "platform/sync.h"
#include "virtualnet/vnet.h"
#include <cstring>
#include <gtest/gtest.h>
#include <vector>

namespace vnet_test {

typedef std::vector<uint8_t> Bytes;

inline const uint8_t nodeA[6] = {0x05, 0x01, 0x8A, 0x3C, 0x1F, 0x00};
inline const uint8_t nodeB[6] = {0x04, 0xB7, 0x21, 0x6E, 0x0D, 0x00};
inline const uint8_t unknownId[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
inline const uint8_t programA[8] = {0x9F, 0xFF, 0xFF, 0x05, 0x00, 0x01, 0x04, 0x01};
inline const uint8_t programB[8] = {0x80, 0x00, 0x0C, 0x50, 0x3C, 0x03, 0x04, 0x10};

// The four templates, completed as the program completes them.
inline void Put(Bytes& m, size_t at, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; ++i)
        m[at + i] = bytes[i];
}

inline Bytes ReadRequest(const uint8_t id[6], uint8_t timer = 12) {
    Bytes m = {0x12, 0x13, 0x60, 0x08, 0x05, 0x02, 0x00, 0x02, timer, 0x00, 0,
               0,    0,    0,    0,    0,    0x6D, 0x02, 0x00, 0x02,  0x06};
    Put(m, 10, id, 6);
    return m;
}

inline Bytes WriteRequest(const uint8_t id[6], const char* text, uint8_t timer = 12) {
    Bytes m = {0x12, 0x1A, 0x60, 0x08, 0x0C, 0x02, 0x00, 0x02, timer, 0x00, 0, 0, 0, 0,
               0,    0,    0x6E, 0x02, 0x00, 0x02, 0x06, 0x01, 0,     0,    0, 0, 0, 0};
    Put(m, 10, id, 6);
    for (size_t i = 0; i < 6 && i < std::strlen(text); ++i)
        m[22 + i] = static_cast<uint8_t>(text[i]);
    return m;
}

inline Bytes UpdateDomain() {
    Bytes m(33, 0x00);
    const uint8_t head[] = {0x24, 0x1F, 0x60, 0x00, 0x11};
    const uint8_t data[] = {0x63, 0,    0,    0,    0,    0,    0,    0,   0x01,
                            0xFE, 0x00, 0x5A, 0xC3, 0x17, 0xE8, 0x2B, 0x94};
    Put(m, 0, head, sizeof head);
    Put(m, 16, data, sizeof data);
    return m;
}

inline Bytes SetNodeMode() {
    Bytes m(19, 0x00);
    const uint8_t head[] = {0x24, 0x11, 0x60, 0x00, 0x03};
    const uint8_t data[] = {0x6C, 0x03, 0x04};
    Put(m, 0, head, sizeof head);
    Put(m, 16, data, sizeof data);
    return m;
}

// A fresh network: one interface "VNI1" and two nodes.
class VnetTest : public ::testing::Test {
  protected:
    void SetUp() override {
        VnetReset();
        VnetSetArrivalHook(nullptr);
        ASSERT_EQ(0, VnetAddInterface("VNI1", 0));
        ASSERT_EQ(0, VnetAddNode(nodeA, programA, "HALL 1"));
        ASSERT_EQ(1, VnetAddNode(nodeB, programB, "AB"));
    }
    void TearDown() override {
        VnetSetArrivalHook(nullptr);
        VnetReset();
    }

    PlatHandle Open(bool overlapped = false) {
        PlatHandle h = PlatOpenDevice("\\\\.\\VNI1", overlapped);
        EXPECT_NE(PlatInvalidHandle(), h);
        return h;
    }

    static bool Write(PlatHandle h, const Bytes& m) {
        uint32_t count = 0;
        bool ok = PlatWriteDevice(h, m.data(), uint32_t(m.size()), &count);
        return ok && count == m.size();
    }

    // The next waiting message, or an empty one.
    static Bytes Read(PlatHandle h) {
        uint8_t buffer[VnetMessageSize] = {};
        uint32_t count = 0;
        EXPECT_TRUE(PlatReadDevice(h, buffer, sizeof buffer, &count));
        return Bytes(buffer, buffer + count);
    }

    // Asks the node for its location and returns the answer.
    Bytes Transact(PlatHandle h, const Bytes& request) {
        EXPECT_TRUE(Write(h, request));
        return Read(h);
    }

    static Bytes Inject(int iface, Bytes m) {
        EXPECT_TRUE(VnetInjectMessage(iface, m.data(), m.size()));
        return m;
    }
};

inline Bytes Sample(uint8_t tag) {
    return {0x18, 0x0F, 0x60, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, tag};
}

} // namespace vnet_test
