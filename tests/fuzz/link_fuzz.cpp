// The link and the location change over any sequence of incoming messages
// (any bytes and lengths, real answers, service pins) on the host's test
// clock: every change ends with Complete or Failed (or the refusal of an empty
// location) within its two phase limits, only the templates completed with the
// current entries go out, `location` is never changed, and `pellionId`
// changes only through a well-formed service pin message.
#include "fuzz_check.h"
#include "messaging/entry_state.h"
#include "messaging/link.h"
#include "messaging/link_internal.h"
#include "messaging/location.h"
#include "tests/support/output_recorder.h"
#include "resources/strings.h"
#include "virtualnet/vnet.h"
#include <atomic>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <string>
#include <vector>

namespace {

const uint8_t NodeId[6] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const uint8_t ProgramId[8] = {0x90, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06};
const uint32_t ChangeLimitMs = 2 * 5000 + 100;
int iface = -1;
int node = -1;
int wakeUpsSeen = 0;
size_t writesChecked = 0;
char enteredLocation[16];

typedef std::vector<uint8_t> Bytes;

// The link is started once and kept for every input.
void StartOnce() {
    if (iface >= 0)
        return;
    VnetReset();
    iface = VnetAddInterface("VNI1", 0);
    node = VnetAddNode(NodeId, ProgramId, "OLD");
    CHECK(CreateLinkEvent(nullptr));
    CHECK(OpenLink("VNI1") == LinkOpened::Running);
}

// Nothing waiting, nothing on its way, nothing in the mailbox; every sleep
// lets the reader finish the step it is in.
void Quiet() {
    VnetClearQueues();
    PlatSleep(60);
    EmptyMailbox();
    PlatSleep(60);
    CHECK(linkState.mailboxFull.load() == 0);
    RecorderClear();
    VnetClearLog();
    wakeUpsSeen = 0;
    writesChecked = 0;
}

std::string HexText(const uint8_t* bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (int i = 0; i < 6; ++i) {
        text += i ? " " : "";
        text += {digits[bytes[i] >> 4], digits[bytes[i] & 15]};
    }
    return text;
}

// The node requests as they must go out for the current entries.
Bytes ReadRequest() {
    Bytes m = {0x12, 0x13, 0x60, 0x08, 0x05, 0x02, 0x00, 0x02, uint8_t(entryState.txTimerIndex), 0};
    m.insert(m.end(), entryState.pellionId, entryState.pellionId + 6);
    m.insert(m.end(), {0x6D, 0x02, 0x00, 0x02, 0x06});
    return m;
}

Bytes WriteRequest() {
    Bytes m = ReadRequest();
    m[1] = 0x1A;
    m[4] = 0x0C;
    m[16] = 0x6E;
    m.push_back(0x01);
    m.insert(m.end(), enteredLocation, enteredLocation + 6);
    return m;
}

// One change whose outputs start at index `from`.
void CheckChange(size_t from, uint32_t elapsed) {
    CHECK(elapsed <= ChangeLimitMs);
    CHECK(std::memcmp(entryState.location, enteredLocation, 16) == 0);
    std::vector<Bytes> writes;
    for (VnetLogEntry e; VnetWritten(writesChecked, &e); ++writesChecked)
        writes.push_back(Bytes(e.bytes, e.bytes + e.length));
    size_t end = RecorderCount();
    if (enteredLocation[0] == 0) { // refused before anything is sent
        CHECK(end == from + 1 && RecorderEvent(from).text == STR_LOCATION_EMPTY && writes.empty());
        return;
    }
    CHECK(end > from && RecorderEvent(from).text == STR_STATUS_QUERY);
    std::string status, cue;
    for (size_t i = from; i < end; ++i) {
        OutputEvent e = RecorderEvent(i);
        status = e.kind == OutputKind::Status ? e.text : status;
        cue = e.kind == OutputKind::Cue ? e.text : cue;
    }
    CHECK(status == STR_STATUS_COMPLETE || status == STR_STATUS_FAILED);
    CHECK(cue == (status == STR_STATUS_FAILED ? CUE_FAILED : writes.size() == 2 ? CUE_DONE : ""));
    CHECK(writes.size() == 1 || writes.size() == 2);
    CHECK(writes[0] == ReadRequest());
    CHECK(writes.size() == 1 || writes[1] == WriteRequest());
}

// True when a well-formed service pin carrying this ID reached the program.
bool PinDelivered(const uint8_t* id) {
    VnetLogEntry e;
    for (size_t i = 0; VnetDelivered(i, &e); ++i)
        if (e.bytes[0] == 0x18 && e.bytes[16] == 0x7F && std::memcmp(e.bytes + 17, id, 6) == 0)
            return true;
    return false;
}

// The dialog's answer to one wake-up, and what it may have done.
void HandleWakeUp() {
    uint8_t idBefore[6];
    std::memcpy(idBefore, entryState.pellionId, 6);
    size_t from = RecorderCount();
    uint32_t start = PlatTickCount();
    OnReaderWakeUp();
    if (RecorderCount() == from) { // not a service pin: dropped
        CHECK(std::memcmp(idBefore, entryState.pellionId, 6) == 0);
        return;
    }
    CHECK(RecorderEvent(from).text == STR_STATUS_RECEIVED);
    CHECK(PinDelivered(entryState.pellionId));
    CHECK(RecorderEvent(from + 1).text == HexText(entryState.pellionId));
    if (entryState.autoExecute)
        CheckChange(from + 2, PlatTickCount() - start);
    else
        CHECK(RecorderCount() == from + 3 && RecorderEvent(from + 2).stringId == IDS_CLICK_EXECUTE);
}

struct Event {
    uint32_t delayMs;
    int kind;
    Bytes bytes;
};

void Inject(const Event& event) {
    if (event.kind == 7)
        VnetPressServicePin(node);
    else
        VnetInjectMessage(iface, event.bytes.data(), event.bytes.size());
}

// One injector thread for the whole run (a thread per input would be slow,
// and LeakSanitizer could catch one still tearing down): each input hands it
// its schedule and waits until it has gone through it.
PlatEvent scheduleReady;
const std::vector<Event>* schedule;
std::atomic<bool> injected{true};

void Injector(void*) {
    for (;;) {
        PlatWaitEvent(scheduleReady, PlatWaitForever);
        for (const Event& e : *schedule) {
            PlatSleep(e.delayMs);
            Inject(e);
        }
        injected.store(true);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    StartOnce();
    Quiet();
    std::memset(enteredLocation, 0, sizeof enteredLocation);
    std::string text = in.ConsumeBytesAsString(in.ConsumeIntegralInRange(0, 6));
    std::strncpy(enteredLocation, text.c_str(), 6);
    std::memcpy(entryState.location, enteredLocation, 16);
    Bytes id = in.ConsumeBool() ? Bytes(NodeId, NodeId + 6) : in.ConsumeBytes<uint8_t>(6);
    id.resize(6);
    std::memcpy(entryState.pellionId, id.data(), 6);
    entryState.autoExecute = in.ConsumeBool();
    entryState.txTimerIndex = in.ConsumeIntegralInRange(0, 15);
    Bytes stored = in.ConsumeBool() ? Bytes(enteredLocation, enteredLocation + 6)
                                    : in.ConsumeBytes<uint8_t>(6);
    stored.resize(6);
    VnetSetNodeLocation(node, stored.data());
    VnetFaults* faults = VnetFaultControls();
    faults->dropResponses = in.ConsumeIntegralInRange(0, 3) == 0;
    faults->responseDelayMs = in.ConsumeBool() ? 0 : in.ConsumeIntegralInRange(0, 6000);
    faults->readMemoryFailureCode = in.ConsumeIntegralInRange(0, 7) == 0;
    faults->writeMemoryFailureCode = in.ConsumeIntegralInRange(0, 7) == 0;
    faults->realisticRetries = in.ConsumeBool();
    bool direct = in.ConsumeBool();

    // The incoming traffic: raw bytes (some made to look like responses or
    // unsolicited messages), answers of every kind, and service pins.
    std::vector<Event> events;
    static const uint8_t firstByte[9] = {0, 0x16, 0x18, 0x16, 0x16, 0x16, 0x16, 0, 0x18};
    static const uint8_t code[9] = {0, 0, 0, 0x2D, 0x2E, 0x0E, 0, 0, 0x7F};
    while (events.size() < 8 && in.remaining_bytes() > 0) {
        Event e{in.ConsumeIntegralInRange<uint32_t>(0, 6000), in.ConsumeIntegralInRange(0, 8), {}};
        e.bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange(0, 66));
        if (firstByte[e.kind] != 0) { // a real header over the given bytes
            e.bytes.resize(e.bytes.size() < 23 ? 23 : e.bytes.size());
            e.bytes[0] = firstByte[e.kind];
            e.bytes[1] = uint8_t(e.bytes.size() - 2);
            e.bytes[16] = code[e.kind] != 0 ? code[e.kind] : e.bytes[16];
            if (e.kind == 6) // a failed transaction
                e.bytes[3] = uint8_t((e.bytes[3] & 0xCF) | 0x20);
        }
        events.push_back(e);
    }
    if (scheduleReady == nullptr) {
        scheduleReady = PlatCreateEvent(nullptr);
        PlatReleaseThread(PlatStartThread(Injector, nullptr));
    }
    schedule = &events;
    injected.store(false);
    PlatSetEvent(scheduleReady);

    if (direct) {
        uint8_t idBefore[6];
        std::memcpy(idBefore, entryState.pellionId, 6);
        size_t from = RecorderCount();
        uint32_t start = PlatTickCount();
        int result = ChangeLocation();
        CheckChange(from, PlatTickCount() - start);
        CHECK(result ==
              (RecorderLast(OutputKind::Status) == STR_STATUS_COMPLETE && enteredLocation[0] != 0));
        CHECK(std::memcmp(idBefore, entryState.pellionId, 6) == 0);
    }
    // The dialog's message loop until the traffic has been handled.
    uint32_t start = PlatTickCount();
    for (;;) {
        while (wakeUpsSeen < RecorderWakeUps()) {
            ++wakeUpsSeen;
            HandleWakeUp();
        }
        if (injected.load() && VnetPendingCount(iface) == 0 && linkState.mailboxFull.load() == 0)
            break;
        CHECK(PlatTickCount() - start < 200000); // nothing may stall the link
        // Woken at once by a filled mailbox; a wake-up posted just after the
        // fill is seen at the next turn at the latest.
        WaitForMailbox(250);
    }
    CHECK(writesChecked == VnetWrittenCount()); // nothing went out outside a change
    CHECK(std::memcmp(entryState.location, enteredLocation, 16) == 0);
    return 0;
}
