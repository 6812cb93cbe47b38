// Tests of vnic.sys from user mode: the duties the program relies on (second
// open, reads that never wait, one whole message per read and write, the
// pending zero-length arrival read and its cancellation), the older family's
// control requests, and the control path of the network process. Runs in the
// driver's Wine prefix (tools/vnic.sh exec).
#include <windows.h>
#include <gtest/gtest.h>
#include <cstring>
#include <vector>
#include "driver/vnic_ioctl.h"

namespace {

HANDLE Open(const char* path, bool overlapped = false) {
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       nullptr, OPEN_EXISTING,
                       overlapped ? FILE_FLAG_OVERLAPPED : FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Inject(HANDLE control, const std::vector<BYTE>& message) {
    DWORD count = 0;
    return DeviceIoControl(control, IOCTL_VNIC_INJECT, const_cast<BYTE*>(message.data()),
                           DWORD(message.size()), nullptr, 0, &count, nullptr);
}

VnicCounters Counters(HANDLE control) {
    VnicCounters counters{};
    DWORD count = 0;
    EXPECT_TRUE(DeviceIoControl(control, IOCTL_VNIC_COUNTERS, nullptr, 0, &counters,
                                sizeof counters, &count, nullptr));
    EXPECT_EQ(count, sizeof counters);
    return counters;
}

std::vector<BYTE> Message(BYTE first, size_t length) {
    std::vector<BYTE> message(length);
    for (size_t i = 0; i < length; i++)
        message[i] = BYTE(first + i);
    if (length > 1)
        message[1] = BYTE(length - 2);
    return message;
}

// An older-family request as the program makes it: the code carries the
// device index, and the one buffer is input and output.
BOOL Older(HANDLE device, DWORD index, DWORD function, void* buffer = nullptr, DWORD in = 0,
           DWORD out = 0, DWORD* count = nullptr) {
    DWORD ignored = 0;
    return DeviceIoControl(device, (index << 16) | function, buffer, in, buffer, out,
                           count ? count : &ignored, nullptr);
}

// Starts an overlapped request; true when it is left pending.
bool Pending(BOOL started) {
    return !started && GetLastError() == ERROR_IO_PENDING;
}

struct Fixture : ::testing::Test {
    HANDLE control = INVALID_HANDLE_VALUE;
    void SetUp() override {
        control = Open("\\\\.\\VNIC0", true);
        ASSERT_NE(control, INVALID_HANDLE_VALUE) << "vnic.sys is not running";
        DWORD count = 0;
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        ASSERT_TRUE(
            DeviceIoControl(control, IOCTL_VNIC_FLUSH, nullptr, 0, nullptr, 0, &count, &ov) ||
            GetOverlappedResult(control, &ov, &count, TRUE));
        CloseHandle(ov.hEvent);
    }
    void TearDown() override {
        if (control != INVALID_HANDLE_VALUE)
            CloseHandle(control);
    }
    // Inject over the overlapped control handle (completes at once).
    bool InjectNow(const std::vector<BYTE>& message) {
        OVERLAPPED ov{};
        ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        DWORD count = 0;
        BOOL ok = DeviceIoControl(control, IOCTL_VNIC_INJECT, const_cast<BYTE*>(message.data()),
                                  DWORD(message.size()), nullptr, 0, &count, &ov);
        if (!ok && GetLastError() == ERROR_IO_PENDING)
            ok = GetOverlappedResult(control, &ov, &count, TRUE);
        CloseHandle(ov.hEvent);
        return ok;
    }
};

TEST_F(Fixture, OpensTwiceAndReadsCompleteAtOnceWithOneWholeMessage) {
    HANDLE main = Open("\\\\.\\VNIC0");
    HANDLE second = Open("\\\\.\\VNIC0", true);
    ASSERT_NE(main, INVALID_HANDLE_VALUE);
    ASSERT_NE(second, INVALID_HANDLE_VALUE) << "a second open while open must succeed";

    BYTE buffer[66];
    DWORD count = 123;
    ASSERT_TRUE(ReadFile(main, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u) << "nothing waiting: at once, with no data";

    auto first = Message(0x18, 31), other = Message(0x16, 21);
    ASSERT_TRUE(InjectNow(first));
    ASSERT_TRUE(InjectNow(other));
    std::memset(buffer, 0xEE, sizeof buffer);
    ASSERT_TRUE(ReadFile(main, buffer, sizeof buffer, &count, nullptr));
    ASSERT_EQ(count, first.size()) << "exactly one message per read";
    EXPECT_EQ(0, std::memcmp(buffer, first.data(), first.size()));
    EXPECT_EQ(buffer[first.size()], 0xEE) << "nothing written past the message";

    // A buffer too small for the next message fails and leaves it whole.
    EXPECT_FALSE(ReadFile(main, buffer, 10, &count, nullptr));
    ASSERT_TRUE(ReadFile(main, buffer, sizeof buffer, &count, nullptr));
    ASSERT_EQ(count, other.size());
    EXPECT_EQ(0, std::memcmp(buffer, other.data(), other.size()));
    ASSERT_TRUE(ReadFile(main, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u);

    // The largest message fits the program's 66-byte read exactly.
    auto largest = Message(1, VNIC_MESSAGE_MAX);
    ASSERT_TRUE(InjectNow(largest));
    ASSERT_TRUE(ReadFile(main, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 66u);
    EXPECT_FALSE(InjectNow(Message(1, VNIC_MESSAGE_MAX + 1)));
    EXPECT_FALSE(InjectNow({}));

    CloseHandle(second);
    CloseHandle(main);
}

TEST_F(Fixture, WritesTakeOneWholeMessageAndTheNetworkTakesThemInOrder) {
    HANDLE main = Open("\\\\.\\VNIC0");
    ASSERT_NE(main, INVALID_HANDLE_VALUE);
    auto request = Message(0x12, 21), command = Message(0x24, 33);
    DWORD count = 0;
    ASSERT_TRUE(WriteFile(main, request.data(), DWORD(request.size()), &count, nullptr));
    EXPECT_EQ(count, request.size()) << "a non-zero byte count per write";
    ASSERT_TRUE(WriteFile(main, command.data(), DWORD(command.size()), &count, nullptr));
    EXPECT_EQ(count, command.size());
    EXPECT_FALSE(WriteFile(main, command.data(), 0, &count, nullptr));
    BYTE tooLong[VNIC_MESSAGE_MAX + 1] = {};
    EXPECT_FALSE(WriteFile(main, tooLong, sizeof tooLong, &count, nullptr));
    EXPECT_EQ(Counters(control).fromProgram, 2u);

    HANDLE network = Open("\\\\.\\VNIC0");
    BYTE taken[VNIC_MESSAGE_MAX];
    ASSERT_TRUE(DeviceIoControl(network, IOCTL_VNIC_TAKE, nullptr, 0, taken, sizeof taken, &count,
                                nullptr));
    ASSERT_EQ(count, request.size());
    EXPECT_EQ(0, std::memcmp(taken, request.data(), count));
    ASSERT_TRUE(DeviceIoControl(network, IOCTL_VNIC_TAKE, nullptr, 0, taken, sizeof taken, &count,
                                nullptr));
    ASSERT_EQ(count, command.size());
    EXPECT_EQ(0, std::memcmp(taken, command.data(), count));
    // A take buffer that could not hold the largest message is refused.
    EXPECT_FALSE(DeviceIoControl(network, IOCTL_VNIC_TAKE, nullptr, 0, taken, 10, &count, nullptr));
    CloseHandle(network);
    CloseHandle(main);
}

TEST_F(Fixture, TakeStaysPendingUntilTheProgramWrites) {
    OVERLAPPED ov{};
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    BYTE taken[VNIC_MESSAGE_MAX];
    DWORD count = 0;
    ASSERT_TRUE(Pending(
        DeviceIoControl(control, IOCTL_VNIC_TAKE, nullptr, 0, taken, sizeof taken, &count, &ov)));
    EXPECT_EQ(WaitForSingleObject(ov.hEvent, 100), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(Counters(control).takeRequests, 1u);

    HANDLE main = Open("\\\\.\\VNIC0");
    auto request = Message(0x12, 28);
    ASSERT_TRUE(WriteFile(main, request.data(), DWORD(request.size()), &count, nullptr));
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 2000), DWORD(WAIT_OBJECT_0));
    ASSERT_TRUE(GetOverlappedResult(control, &ov, &count, FALSE));
    ASSERT_EQ(count, request.size());
    EXPECT_EQ(0, std::memcmp(taken, request.data(), count));
    EXPECT_EQ(Counters(control).fromProgram, 0u) << "handed over, not queued as well";

    // A pending take is cancellable (the network process stops).
    ResetEvent(ov.hEvent);
    ASSERT_TRUE(Pending(
        DeviceIoControl(control, IOCTL_VNIC_TAKE, nullptr, 0, taken, sizeof taken, &count, &ov)));
    ASSERT_TRUE(CancelIoEx(control, &ov));
    ASSERT_EQ(WaitForSingleObject(ov.hEvent, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_FALSE(GetOverlappedResult(control, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(Counters(control).takeRequests, 0u);
    CloseHandle(main);
    CloseHandle(ov.hEvent);
}

TEST_F(Fixture, ZeroLengthReadIsPendingUntilAMessageCanBeRead) {
    HANDLE main = Open("\\\\.\\VNIC0");
    HANDLE arrival = Open("\\\\.\\VNIC0", true);
    ASSERT_NE(arrival, INVALID_HANDLE_VALUE);
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD count = 0;
    ASSERT_TRUE(Pending(ReadFile(arrival, nullptr, 0, &count, &ov)));
    EXPECT_EQ(WaitForSingleObject(event, 150), DWORD(WAIT_TIMEOUT));
    EXPECT_EQ(Counters(control).arrivalReads, 1u);

    auto pin = Message(0x18, 31);
    ASSERT_TRUE(InjectNow(pin));
    ASSERT_EQ(WaitForSingleObject(event, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_TRUE(GetOverlappedResult(arrival, &ov, &count, FALSE));
    EXPECT_EQ(count, 0u);

    // Re-armed while the message still waits: done at once.
    BOOL started = ReadFile(arrival, nullptr, 0, &count, &ov);
    EXPECT_TRUE(started || GetLastError() == ERROR_IO_PENDING);
    EXPECT_EQ(WaitForSingleObject(event, 2000), DWORD(WAIT_OBJECT_0));

    // Once it is read, the next arm waits again, and one inject wakes every
    // pending arrival read (two programs on one card).
    BYTE buffer[66];
    ASSERT_TRUE(ReadFile(main, buffer, sizeof buffer, &count, nullptr));
    ASSERT_EQ(count, pin.size());
    HANDLE arrival2 = Open("\\\\.\\VNIC0", true);
    HANDLE event2 = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    OVERLAPPED ov2{};
    ov2.hEvent = event2;
    ASSERT_TRUE(Pending(ReadFile(arrival, nullptr, 0, &count, &ov)));
    ASSERT_TRUE(Pending(ReadFile(arrival2, nullptr, 0, &count, &ov2)));
    ASSERT_TRUE(InjectNow(pin));
    EXPECT_EQ(WaitForSingleObject(event, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(event2, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(Counters(control).arrivalReads, 0u);

    CloseHandle(arrival2);
    CloseHandle(event2);
    CloseHandle(arrival);
    CloseHandle(main);
    CloseHandle(event);
}

TEST_F(Fixture, PendingArrivalReadEndsOnCancelAndOnClose) {
    HANDLE arrival = Open("\\\\.\\VNIC0", true);
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    OVERLAPPED ov{};
    ov.hEvent = event;
    DWORD count = 0;
    ASSERT_TRUE(Pending(ReadFile(arrival, nullptr, 0, &count, &ov)));
    ASSERT_TRUE(CancelIo(arrival));
    ASSERT_EQ(WaitForSingleObject(event, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_FALSE(GetOverlappedResult(arrival, &ov, &count, FALSE));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_OPERATION_ABORTED));
    VnicCounters before = Counters(control);
    EXPECT_EQ(before.arrivalReads, 0u);

    // Closing the handle with a read pending must not leave it behind; the
    // other handles' requests stay.
    HANDLE other = Open("\\\\.\\VNIC0", true);
    OVERLAPPED otherOv{};
    otherOv.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_TRUE(Pending(ReadFile(other, nullptr, 0, &count, &otherOv)));
    ResetEvent(event);
    ASSERT_TRUE(Pending(ReadFile(arrival, nullptr, 0, &count, &ov)));
    EXPECT_EQ(Counters(control).arrivalReads, 2u);
    unsigned opened = Counters(control).openFiles;
    CloseHandle(arrival);
    VnicCounters after{};
    for (int i = 0; i < 100; i++) { // the close reaches the driver asynchronously
        after = Counters(control);
        if (after.openFiles < opened)
            break;
        Sleep(10);
    }
    EXPECT_EQ(after.arrivalReads, 1u);
    EXPECT_EQ(after.openFiles, opened - 1);
    // The ended read's outcome is written into its record when the event is
    // set, which may come after the driver has seen the close: the record
    // lives on this stack, so the test waits for it before going on.
    EXPECT_EQ(WaitForSingleObject(event, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(WaitForSingleObject(otherOv.hEvent, 0), DWORD(WAIT_TIMEOUT));
    CloseHandle(other);
    EXPECT_EQ(WaitForSingleObject(otherOv.hEvent, 2000), DWORD(WAIT_OBJECT_0));
    CloseHandle(otherOv.hEvent);
    CloseHandle(event);
}

TEST_F(Fixture, DevicesAreIndependentAndQueuesAreBounded) {
    HANDLE main0 = Open("\\\\.\\VNIC0");
    HANDLE main1 = Open("\\\\.\\VNIC1");
    ASSERT_NE(main1, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("\\\\.\\VNIC9"), INVALID_HANDLE_VALUE);
    DWORD count = 0;
    BYTE flushed;
    DeviceIoControl(main1, IOCTL_VNIC_FLUSH, nullptr, 0, &flushed, 0, &count, nullptr);
    auto message = Message(0x16, 20);
    ASSERT_TRUE(Inject(main1, message));
    BYTE buffer[66];
    ASSERT_TRUE(ReadFile(main0, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, 0u);
    ASSERT_TRUE(ReadFile(main1, buffer, sizeof buffer, &count, nullptr));
    EXPECT_EQ(count, message.size());

    for (int i = 0; i < VNIC_QUEUE_SIZE; i++)
        ASSERT_TRUE(InjectNow(message)) << i;
    EXPECT_FALSE(InjectNow(message)) << "a full queue refuses, it does not overwrite";
    EXPECT_EQ(Counters(control).toProgram, unsigned(VNIC_QUEUE_SIZE));
    for (int i = 0; i < VNIC_QUEUE_SIZE; i++)
        ASSERT_TRUE(WriteFile(main0, message.data(), DWORD(message.size()), &count, nullptr));
    EXPECT_FALSE(WriteFile(main0, message.data(), DWORD(message.size()), &count, nullptr))
        << "a write the driver cannot keep fails";
    CloseHandle(main1);
    CloseHandle(main0);
}

TEST_F(Fixture, OlderFamilyMovesOneWholeMessageEachWayWithTheIndexInTheCode) {
    HANDLE main = Open("\\\\.\\VNIC0");
    DWORD count = 0;
    ASSERT_TRUE(Older(main, 34, 1));
    auto request = Message(0x12, 21), buffer = request;
    ASSERT_TRUE(Older(main, 34, 11, buffer.data(), 21, 21, &count));
    EXPECT_EQ(count, 21u);
    EXPECT_EQ(buffer, request) << "the caller's buffer keeps the bytes it sent";
    EXPECT_EQ(Counters(control).fromProgram, 1u);

    BYTE read[66] = {};
    ASSERT_TRUE(Older(main, 34, 10, read, 66, 66, &count));
    EXPECT_EQ(count, 0u) << "nothing waiting: at once, with no data";
    auto pin = Message(0x18, 31);
    ASSERT_TRUE(InjectNow(pin));
    EXPECT_FALSE(Older(main, 34, 10, read, 10, 10, &count)) << "no part of a message";
    ASSERT_TRUE(Older(main, 34, 10, read, 66, 66, &count));
    ASSERT_EQ(count, pin.size());
    EXPECT_EQ(std::vector<BYTE>(read, read + count), pin);
    EXPECT_EQ(read[count], 0) << "nothing written past the message";

    ASSERT_TRUE(Older(main, 0, 2));
    VnicCounters counters = Counters(control);
    EXPECT_EQ(counters.olderRequests[10], 3u);
    EXPECT_EQ(counters.olderRequests[11], 1u);
    EXPECT_EQ(counters.lowestIndex, 0u);
    EXPECT_EQ(counters.highestIndex, 34u);
    CloseHandle(main);
}

TEST_F(Fixture, OlderFamilySetEventSignalsTheCallersOwnEventUntilDetached) {
    HANDLE main = Open("\\\\.\\VNIC0");
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    // The raw handle value: what a program in Windows 98 mode hands over, as
    // Wine's OpenVxDHandle returns the handle unchanged.
    DWORD value = DWORD(uintptr_t(event)), none = 0, file = DWORD(uintptr_t(main));
    ASSERT_TRUE(Older(main, 34, 7, &value, 4));
    ASSERT_TRUE(InjectNow(Message(0x18, 31)));
    EXPECT_EQ(WaitForSingleObject(event, 2000), DWORD(WAIT_OBJECT_0));
    EXPECT_EQ(Counters(control).signals, 1u);
    ASSERT_TRUE(Older(main, 34, 7, &none, 4));
    ASSERT_TRUE(InjectNow(Message(0x18, 31)));
    EXPECT_EQ(WaitForSingleObject(event, 200), DWORD(WAIT_TIMEOUT)) << "detached by 0";
    EXPECT_FALSE(Older(main, 34, 7, &file, 4)) << "a handle of no event is turned away";

    ASSERT_TRUE(Older(main, 34, 7, &value, 4));
    EXPECT_EQ(Counters(control).attached, 1u);
    CloseHandle(main);
    for (int i = 0; i < 100 && Counters(control).attached > 0; i++)
        Sleep(10); // the close reaches the driver asynchronously
    EXPECT_EQ(Counters(control).attached, 0u) << "closing the file detaches its event";
    CloseHandle(event);
}

TEST_F(Fixture, EachOlderFamilyFunctionCanBeRefused) {
    HANDLE main = Open("\\\\.\\VNIC0");
    HANDLE event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    DWORD value = DWORD(uintptr_t(event)), count = 0;
    BYTE buffer[66] = {0x12, 19};
    auto refuse = [&](DWORD function, DWORD on) {
        VnicRefusal refusal = {function, on};
        return DeviceIoControl(main, IOCTL_VNIC_REFUSE, &refusal, sizeof refusal, nullptr, 0,
                               &count, nullptr);
    };
    for (DWORD function : {1, 2, 7, 10, 11}) {
        DWORD out = function == 10 ? 66 : function == 11 ? 21 : 0, in = function == 7 ? 4 : out;
        void* data = function == 7 ? static_cast<void*>(&value) : buffer;
        ASSERT_TRUE(refuse(function, 1));
        EXPECT_FALSE(Older(main, 34, function, data, in, out)) << function;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY)) << function;
        EXPECT_TRUE(Older(main, 34, function == 1 ? 2 : 1)) << "only " << function << " refused";
        ASSERT_TRUE(refuse(function, 0));
        EXPECT_TRUE(Older(main, 34, function, data, in, out)) << function;
    }
    CloseHandle(event);
    CloseHandle(main);
}

} // namespace
