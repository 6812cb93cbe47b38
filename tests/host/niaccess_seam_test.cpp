// Interface driver access over recording stand-ins of the device and registry
// seams: the exact calls, arguments and handles that the virtual network does
// not let a test see (access mask, re-arming, 64-bit handles, stale fields).
#include "niaccess/niaccess.h"
#include <cstring>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

struct Call {
    std::string op;
    std::string text; // path, value or procedure name
    uintptr_t handle = 0;
    uint32_t number = 0; // control code, access mask, size
    const void* input = nullptr;
    uint32_t inputLength = 0;
    const void* output = nullptr;
    uint32_t outputLength = 0;
    bool countAsked = false;
    PlatOverlapped overlapped = {};
    const void* overlappedAt = nullptr;
    const void* countAt = nullptr;
};

struct Seams {
    std::vector<Call> calls;
    uint32_t platformId = PlatPlatformNt;
    bool failOpen = false;
    bool failOverlappedOpen = false;
    uintptr_t mainHandle = 0x1000;
    uintptr_t arrivalHandle = uintptr_t(0x7FF012345678ull); // above 4 GiB on 64-bit builds
    bool readOk = true;
    uint32_t readCount = 10;
    bool refuseControl = false;
    uint32_t controlCount = 4;
    std::string systemDirectory = "C:\\WINDOWS\\SYSTEM";
    bool libraryMissing = false;
    bool procMissing = false;
    uint32_t ring0 = 0xC1A55E00;
    long openKeyResult = PlatRegOk;
    long queryResult = PlatRegOk;
    std::string value = "NIC9.4";
} seams;

std::vector<Call> Calls(const char* op) {
    std::vector<Call> found;
    for (const Call& call : seams.calls)
        if (call.op == op)
            found.push_back(call);
    return found;
}

} // namespace

uint32_t PlatGetPlatformId() {
    return seams.platformId;
}

PlatHandle PlatOpenDevice(const char* path, bool overlapped) {
    Call call;
    call.op = overlapped ? "open-overlapped" : "open";
    call.text = path;
    seams.calls.push_back(call);
    if (seams.failOpen || (overlapped && seams.failOverlappedOpen))
        return PlatInvalidHandle();
    return reinterpret_cast<PlatHandle>(overlapped ? seams.arrivalHandle : seams.mainHandle);
}

bool PlatReadDevice(PlatHandle device, void* buffer, uint32_t length, uint32_t* transferred) {
    Call call;
    call.op = "read";
    call.handle = reinterpret_cast<uintptr_t>(device);
    call.output = buffer;
    call.outputLength = length;
    seams.calls.push_back(call);
    if (seams.readCount > 0 && length > 0)
        static_cast<uint8_t*>(buffer)[0] = 0x18;
    *transferred = seams.readCount;
    return seams.readOk;
}

bool PlatWriteDevice(PlatHandle device, const void* buffer, uint32_t length,
                     uint32_t* transferred) {
    Call call;
    call.op = "write";
    call.handle = reinterpret_cast<uintptr_t>(device);
    call.input = buffer;
    call.inputLength = length;
    seams.calls.push_back(call);
    *transferred = length;
    return true;
}

bool PlatArrivalReadPending(const PlatOverlapped*) {
    return false; // every arrival read here has completed
}

void PlatStartArrivalRead(PlatHandle arrival, PlatOverlapped* overlapped, uint32_t* byteCount) {
    Call call;
    call.op = "arrival-read";
    call.handle = reinterpret_cast<uintptr_t>(arrival);
    call.overlapped = *overlapped;
    call.overlappedAt = overlapped;
    call.countAt = byteCount;
    seams.calls.push_back(call);
}

bool PlatControlDevice(PlatHandle device, uint32_t code, void* input, uint32_t inputLength,
                       void* output, uint32_t outputLength, uint32_t* byteCount) {
    Call call;
    call.op = "control";
    call.handle = reinterpret_cast<uintptr_t>(device);
    call.number = code;
    call.input = input;
    call.inputLength = inputLength;
    call.output = output;
    call.outputLength = outputLength;
    call.countAsked = byteCount != nullptr;
    if (input && inputLength == 4) {
        uint32_t value = 0;
        std::memcpy(&value, input, 4); // the set-event value
        call.handle = value;
    }
    seams.calls.push_back(call);
    if (byteCount)
        *byteCount = seams.controlCount;
    return !seams.refuseControl;
}

void PlatCloseDevice(PlatHandle device) {
    Call call;
    call.op = "close";
    call.handle = reinterpret_cast<uintptr_t>(device);
    seams.calls.push_back(call);
}

uint32_t PlatGetSystemDirectory(char* buffer, uint32_t size) {
    uint32_t length = uint32_t(seams.systemDirectory.size());
    if (length + 1 > size)
        return length + 1; // as GetSystemDirectoryA: the size needed, nothing copied
    std::memcpy(buffer, seams.systemDirectory.c_str(), length + 1);
    return length;
}

PlatLibrary PlatLoadLibrary(const char* path) {
    Call call;
    call.op = "load";
    call.text = path;
    seams.calls.push_back(call);
    return seams.libraryMissing ? nullptr : reinterpret_cast<PlatLibrary>(0x5000);
}

PlatProc PlatGetProcAddress(PlatLibrary, const char* name) {
    Call call;
    call.op = "proc";
    call.text = name;
    seams.calls.push_back(call);
    return seams.procMissing ? nullptr : reinterpret_cast<PlatProc>(0x5100);
}

uint32_t PlatCallOpenVxDHandle(PlatProc, PlatEvent) {
    return seams.ring0;
}

PlatKey PlatLocalMachine() {
    return reinterpret_cast<PlatKey>(0x80000002);
}

long PlatRegOpenKey(PlatKey parent, const char* path, uint32_t access, PlatKey* key) {
    Call call;
    call.op = "reg-open";
    call.handle = reinterpret_cast<uintptr_t>(parent);
    call.text = path;
    call.number = access;
    seams.calls.push_back(call);
    if (seams.openKeyResult == PlatRegOk)
        *key = reinterpret_cast<PlatKey>(0x6000);
    return seams.openKeyResult;
}

long PlatRegEnumKey(PlatKey, uint32_t, char*, uint32_t) {
    return PlatRegNoMoreItems;
}

long PlatRegQueryValue(PlatKey, const char* valueName, uint32_t* type, void* data, uint32_t* size) {
    Call call;
    call.op = "reg-query";
    call.text = valueName;
    call.number = *size;
    call.countAsked = type != nullptr;
    seams.calls.push_back(call);
    if (seams.queryResult != PlatRegOk)
        return seams.queryResult;
    uint32_t needed = uint32_t(seams.value.size() + 1);
    if (needed > *size) {
        *size = needed;
        return PlatRegMoreData;
    }
    std::memcpy(data, seams.value.c_str(), needed);
    *size = needed;
    return PlatRegOk;
}

void PlatRegCloseKey(PlatKey) {
    Call call;
    call.op = "reg-close";
    seams.calls.push_back(call);
}

// A 32-bit program on 32-bit Windows whose IsWow64Process answers no: one
// registry, and no view flag in any access mask.
uint32_t PlatRegOwnView() {
    return PlatKeyView32;
}
void* PlatRegKernel32Entry(const char*) {
    return &seams;
}
void PlatRegUpperCaseName(char*, uint32_t) {}
bool PlatRegCallIsWow64Process(void*, bool* wow64) {
    *wow64 = false;
    return true;
}

namespace {

class NiAccessSeams : public ::testing::Test {
  protected:
    void SetUp() override {
        seams = Seams();
        seams.openKeyResult = PlatRegNotFound;
        std::memset(InterfaceTable, 0, sizeof InterfaceTable);
    }
    NiHandle Open(const char* name) {
        NiHandle handle = -1;
        EXPECT_EQ(NiOpen(name, &handle), NiOk);
        return handle;
    }
    PlatEvent event = reinterpret_cast<PlatEvent>(0x7000);
};

TEST_F(NiAccessSeams, LookupOpensTheKeyReadOnlyAndAlwaysClosesIt) {
    seams.openKeyResult = PlatRegOk;
    char buffer[NiDeviceNameSize];
    ASSERT_EQ(LookupDeviceName("Card A", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "NIC9.4");
    std::vector<Call> opens = Calls("reg-open");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "Software\\Quorvane\\DeviceDrivers\\Card A");
    EXPECT_EQ(opens[0].number, PlatKeyRead);
    EXPECT_EQ(opens[0].handle, reinterpret_cast<uintptr_t>(PlatLocalMachine()));
    std::vector<Call> queries = Calls("reg-query");
    ASSERT_EQ(queries.size(), 1u);
    EXPECT_EQ(queries[0].text, "device name");
    EXPECT_EQ(queries[0].number, uint32_t(NiDeviceNameSize));
    EXPECT_EQ(Calls("reg-close").size(), 1u);

    seams.calls.clear();
    seams.value = std::string(40, 'L');
    EXPECT_EQ(LookupDeviceName("Card A", buffer, sizeof buffer), NiNameTooLong);
    EXPECT_EQ(Calls("reg-close").size(), 1u);

    seams.calls.clear();
    seams.queryResult = PlatRegNotFound;
    EXPECT_EQ(LookupDeviceName("Card A", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "Card A");
    EXPECT_EQ(Calls("reg-close").size(), 1u);

    seams.calls.clear();
    seams.openKeyResult = PlatRegAccessDenied;
    EXPECT_EQ(LookupDeviceName("Card A", buffer, sizeof buffer), NiOk);
    EXPECT_STREQ(buffer, "Card A");
    EXPECT_EQ(Calls("reg-close").size(), 0u) << "a key that did not open is not closed";
}

TEST_F(NiAccessSeams, OpenZeroesStaleFieldsOfTheSlot) {
    InterfaceSlot& slot = InterfaceTable[0];
    std::memset(&slot, 0x5A, sizeof slot);
    slot.state = NiSlotFree;
    NiHandle handle = Open("NIC9");
    ASSERT_EQ(handle, 0);
    EXPECT_EQ(slot.deviceIndex, 0);
    EXPECT_EQ(slot.arrivalLink, 0u);
    EXPECT_EQ(slot.arrivalByteCount, 0u);
    PlatOverlapped zero = {};
    EXPECT_EQ(std::memcmp(&slot.arrivalOverlapped, &zero, sizeof zero), 0);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(slot.device), seams.mainHandle);
    EXPECT_EQ(slot.ntFamily, 1);
    EXPECT_STREQ(slot.devicePath, "\\\\.\\NIC9");
    EXPECT_TRUE(Calls("control").empty()) << "the NT family sends no control requests";
}

TEST_F(NiAccessSeams, NtArrivalIsArmedAndReArmedOnlyAfterASuccessfulRead) {
    NiHandle handle = Open("NIC9.4");
    uint8_t buffer[66];
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    EXPECT_TRUE(Calls("arrival-read").empty()) << "no attachment, nothing to re-arm";

    ASSERT_EQ(NiSetArrivalEvent(handle, event), NiOk);
    std::vector<Call> opens = Calls("open-overlapped");
    ASSERT_EQ(opens.size(), 1u);
    EXPECT_EQ(opens[0].text, "\\\\.\\NIC9");
    EXPECT_EQ(InterfaceTable[handle].arrivalLink, seams.arrivalHandle) << "handle cut";
    std::vector<Call> arms = Calls("arrival-read");
    ASSERT_EQ(arms.size(), 1u);
    EXPECT_EQ(arms[0].handle, seams.arrivalHandle);
    EXPECT_EQ(arms[0].overlapped.event, event);
    EXPECT_EQ(arms[0].overlapped.offset, 0u);
    EXPECT_EQ(arms[0].overlapped.offsetHigh, 0u);
    EXPECT_EQ(arms[0].overlappedAt, &InterfaceTable[handle].arrivalOverlapped);
    EXPECT_EQ(arms[0].countAt, &InterfaceTable[handle].arrivalByteCount);

    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    EXPECT_EQ(Calls("arrival-read").size(), 2u);
    EXPECT_EQ(Calls("arrival-read").back().handle, seams.arrivalHandle);

    seams.readOk = false;
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiNoMessage);
    seams.readOk = true;
    seams.readCount = 0;
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiNoMessage);
    EXPECT_EQ(Calls("arrival-read").size(), 2u) << "a failed read does not re-arm";

    // Attaching again keeps the handle and arms once more.
    ASSERT_EQ(NiSetArrivalEvent(handle, event), NiOk);
    EXPECT_EQ(Calls("open-overlapped").size(), 1u);
    EXPECT_EQ(Calls("arrival-read").size(), 3u);

    seams.calls.clear();
    ASSERT_EQ(NiClose(handle), NiOk);
    ASSERT_EQ(seams.calls.size(), 2u);
    EXPECT_EQ(seams.calls[0].op, "close");
    EXPECT_EQ(seams.calls[0].handle, seams.arrivalHandle) << "arrival handle first";
    EXPECT_EQ(seams.calls[1].op, "close");
    EXPECT_EQ(seams.calls[1].handle, seams.mainHandle);
}

TEST_F(NiAccessSeams, NtFailedSecondOpenLeavesNothingToReArm) {
    NiHandle handle = Open("NIC9");
    seams.failOverlappedOpen = true;
    EXPECT_EQ(NiSetArrivalEvent(handle, event), NiNoResource);
    EXPECT_EQ(InterfaceTable[handle].arrivalLink, 0u);
    uint8_t buffer[66];
    EXPECT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    EXPECT_TRUE(Calls("arrival-read").empty());
}

TEST_F(NiAccessSeams, OlderFamilyRequestArguments) {
    seams.platformId = 1;
    NiHandle handle = Open("NIC9.4");
    std::vector<Call> controls = Calls("control");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].number, 0x40001u);
    EXPECT_EQ(controls[0].handle, seams.mainHandle);
    EXPECT_EQ(controls[0].inputLength, 0u);
    // Without an OVERLAPPED record the system stores the byte count through
    // the pointer given, asked for or not: every request passes one.
    EXPECT_TRUE(controls[0].countAsked);

    seams.calls.clear();
    ASSERT_EQ(NiSetArrivalEvent(handle, event), NiOk);
    ASSERT_EQ(Calls("load").size(), 1u);
    EXPECT_EQ(Calls("load")[0].text, "C:\\WINDOWS\\SYSTEM\\kernel32.dll");
    EXPECT_EQ(Calls("proc")[0].text, "OpenVxDHandle");
    controls = Calls("control");
    ASSERT_EQ(controls.size(), 1u);
    EXPECT_EQ(controls[0].number, 0x40007u);
    EXPECT_EQ(controls[0].inputLength, 4u);
    EXPECT_EQ(controls[0].handle, seams.ring0) << "the ring-0 handle is the request value";
    EXPECT_TRUE(controls[0].countAsked);
    EXPECT_EQ(InterfaceTable[handle].arrivalLink, seams.ring0);

    seams.calls.clear();
    uint8_t buffer[66];
    ASSERT_EQ(NiWrite(handle, buffer, 21), NiOk);
    ASSERT_EQ(NiRead(handle, buffer, sizeof buffer), NiOk);
    controls = Calls("control");
    ASSERT_EQ(controls.size(), 2u);
    EXPECT_EQ(controls[0].number, 0x4000Bu);
    EXPECT_EQ(controls[1].number, 0x4000Au);
    for (const Call& call : controls) {
        EXPECT_EQ(call.input, buffer);
        EXPECT_EQ(call.output, buffer);
        EXPECT_EQ(call.inputLength, call.outputLength);
        EXPECT_TRUE(call.countAsked);
    }
    EXPECT_EQ(controls[0].inputLength, 21u);
    EXPECT_EQ(controls[1].inputLength, 66u);

    seams.calls.clear();
    ASSERT_EQ(NiClose(handle), NiOk);
    ASSERT_EQ(seams.calls.size(), 3u);
    EXPECT_EQ(seams.calls[0].number, 0x40007u);
    EXPECT_EQ(seams.calls[0].handle, 0u) << "detach sends the value 0";
    EXPECT_EQ(seams.calls[1].number, 0x40002u);
    EXPECT_EQ(seams.calls[2].op, "close");
    EXPECT_TRUE(seams.calls[0].countAsked);
    EXPECT_TRUE(seams.calls[1].countAsked);
}

TEST_F(NiAccessSeams, OlderFamilyRefusedOpenClosesTheDevice) {
    seams.platformId = 1;
    seams.refuseControl = true;
    NiHandle handle = 77;
    EXPECT_EQ(NiOpen("NIC9", &handle), NiDriverFailed);
    EXPECT_EQ(handle, 77);
    EXPECT_EQ(Calls("close").size(), 1u);
    EXPECT_EQ(InterfaceTable[0].state, NiSlotFree);
}

TEST_F(NiAccessSeams, OpenVxDHandleIsLookedUpSafely) {
    EXPECT_NE(FindOpenVxDHandle(), nullptr);
    EXPECT_NE(FindOpenVxDHandle(), nullptr);
    EXPECT_EQ(Calls("load").size(), 2u) << "loaded anew on every call";

    seams.procMissing = true;
    EXPECT_EQ(FindOpenVxDHandle(), nullptr);
    seams.procMissing = false;
    seams.libraryMissing = true;
    EXPECT_EQ(FindOpenVxDHandle(), nullptr);
    seams.libraryMissing = false;

    // A directory of 246 characters leaves just room for "\kernel32.dll".
    seams.calls.clear();
    seams.systemDirectory = "C:\\" + std::string(243, 'S');
    EXPECT_NE(FindOpenVxDHandle(), nullptr);
    ASSERT_EQ(Calls("load").size(), 1u);
    EXPECT_EQ(Calls("load")[0].text.size(), 259u);
    seams.calls.clear();
    seams.systemDirectory += "S";
    EXPECT_EQ(FindOpenVxDHandle(), nullptr);
    seams.systemDirectory = std::string(300, 'S');
    EXPECT_EQ(FindOpenVxDHandle(), nullptr);
    EXPECT_TRUE(Calls("load").empty()) << "a path that does not fit is not loaded";
}

} // namespace
