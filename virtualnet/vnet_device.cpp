// The virtual network's device side: the interface driver as the access layer
// meets it through the device seam (platform/device.h). Handles, the
// overlapped arrival read, the older family's control requests and ring-0
// events, and kernel32's OpenVxDHandle entry point.
#include "virtualnet/nocase.h"
#include "driver/vnic_ioctl.h"
#include "virtualnet/vnet_internal.h"
#include <cstring>

namespace vnet {

namespace {

const uintptr_t HandleBase = 0x56000000;
const uint32_t Ring0Base = 0xC1000001;
const uint32_t PlatformWindows = 1; // VER_PLATFORM_WIN32_WINDOWS, the older family
const uintptr_t StatusPending = 0x103;
const uintptr_t StatusUnsuccessful = 0xC0000001;
const uintptr_t StatusCancelled = 0xC0000120;

// Tokens handed out for kernel32 and its OpenVxDHandle entry point.
char kernelToken;
char openVxDToken;

bool EndsWithNoCase(const char* text, const char* tail) {
    size_t textLength = std::strlen(text);
    size_t tailLength = std::strlen(tail);
    return textLength >= tailLength && SameNoCase(text + textLength - tailLength, tail);
}

HandleRecord* FindHandle(Network& n, PlatHandle handle) {
    uintptr_t value = reinterpret_cast<uintptr_t>(handle);
    if (value < HandleBase)
        return nullptr;
    HandleRecord& record = n.handles[(value - HandleBase) % HandleLimit];
    return record.open && record.token == value ? &record : nullptr;
}

PlatEvent Ring0Event(Network& n, uint32_t ring0) {
    if (ring0 < Ring0Base || ring0 - Ring0Base >= n.ring0Events.size())
        return nullptr;
    return n.ring0Events[ring0 - Ring0Base];
}

// Whether a read issued with this record is still pending on some handle,
// or ended with its handle and not written yet.
bool ArmedWith(Network& n, const PlatOverlapped* overlapped) {
    for (const HandleRecord& record : n.handles)
        if (record.open && record.armed && record.armRecord == overlapped)
            return true;
    for (const Cancelling& c : n.cancelling)
        if (c.record == overlapped)
            return true;
    return false;
}

// Writes the outcome of the ended reads whose time has come.
void LandCancellations(Network& n) {
    uint32_t now = PlatTickCount();
    for (auto at = n.cancelling.begin(); at != n.cancelling.end();) {
        if (static_cast<int32_t>(now - at->due) >= 0) {
            at->record->internal = StatusCancelled;
            at = n.cancelling.erase(at);
        } else {
            ++at;
        }
    }
}

void CompleteArm(HandleRecord& record) {
    record.armed = false;
    record.armRecord->internal = 0;
    record.armRecord->internalHigh = 0;
    if (record.armCount)
        *record.armCount = 0;
    // Signalled under the network's lock on purpose: PlatSetEvent never calls
    // back into the network, and a handle closed after this cannot be
    // signalled later (its event may already be gone).
    if (record.armEvent)
        PlatSetEvent(record.armEvent);
}

} // namespace

void AnnounceArrival(Network& n, int iface) {
    for (HandleRecord& record : n.handles) {
        if (!record.open || record.iface != iface)
            continue;
        if (record.armed)
            CompleteArm(record);
        if (PlatEvent event = Ring0Event(n, record.ring0))
            PlatSetEvent(event);
    }
}

bool InterfaceHasOpenHandle(Network& n, int iface) {
    for (HandleRecord& record : n.handles)
        if (record.open && record.iface == iface)
            return true;
    return false;
}

void ForgetHandles(Network& n) {
    for (HandleRecord& record : n.handles)
        record = HandleRecord{};
    n.ring0Events.clear();
    n.cancelling.clear();
}

} // namespace vnet

using namespace vnet;

uint32_t PlatGetPlatformId() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return n.faults.olderFamily ? PlatformWindows : PlatPlatformNt;
}

PlatHandle PlatOpenDevice(const char* path, bool overlapped) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (!path || std::strncmp(path, "\\\\.\\", 4) != 0 || n.faults.failOpen)
        return PlatInvalidHandle();
    int iface = 0;
    while (iface < n.ifaceCount && !SameNoCase(path + 4, n.ifaces[iface].name))
        ++iface;
    if (iface == n.ifaceCount)
        return PlatInvalidHandle();
    if (n.faults.failSecondOpen && InterfaceHasOpenHandle(n, iface))
        return PlatInvalidHandle();
    for (int slot = 0; slot < HandleLimit; ++slot) {
        HandleRecord& record = n.handles[slot];
        if (record.open)
            continue;
        record = HandleRecord{};
        record.open = true;
        // A serial in every token: a closed or reset handle never matches again.
        record.token = HandleBase + (++n.openSerial) * HandleLimit + uintptr_t(slot);
        record.iface = iface;
        record.overlapped = overlapped;
        return reinterpret_cast<PlatHandle>(record.token);
    }
    return PlatInvalidHandle();
}

bool PlatReadDevice(PlatHandle device, void* buffer, uint32_t length, uint32_t* transferred) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    *transferred = 0;
    HandleRecord* record = FindHandle(n, device);
    if (!record)
        return false;
    Message m;
    if (length == 0 || !Take(n, record->iface, &m))
        return true; // nothing waits: complete at once with no data
    size_t count = m.length < length ? m.length : length;
    std::memcpy(buffer, m.bytes, count);
    *transferred = static_cast<uint32_t>(count);
    return true;
}

bool PlatWriteDevice(PlatHandle device, const void* buffer, uint32_t length,
                     uint32_t* transferred) {
    Network& n = Net();
    Arrivals arrivals;
    void (*hook)(int);
    {
        std::lock_guard<PlatMutex> guard(n.lock);
        *transferred = 0;
        HandleRecord* record = FindHandle(n, device);
        if (!record || n.faults.failWrites || length == 0 || length > uint32_t(VnetMessageSize))
            return false;
        Process(n, record->iface, static_cast<const uint8_t*>(buffer), length, arrivals);
        *transferred = n.faults.zeroByteWrites ? 0 : length;
        hook = n.hook;
    }
    RunHook(hook, arrivals);
    return true;
}

void PlatStartArrivalRead(PlatHandle arrival, PlatOverlapped* overlapped, uint32_t* byteCount) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (!overlapped)
        return;
    HandleRecord* record = FindHandle(n, arrival);
    if (!record || !record->overlapped) {
        overlapped->internal = StatusUnsuccessful; // failed at once: never pending
        return;
    }
    if (ArmedWith(n, overlapped))
        ++n.misuses;
    // A new arm replaces one still pending: both would complete on the same arrival.
    record->armed = true;
    record->armRecord = overlapped;
    record->armCount = byteCount;
    record->armEvent = overlapped->event;
    overlapped->internal = StatusPending;
    if (!n.ifaces[record->iface].queue.empty() && !n.faults.lateArrivalReads)
        CompleteArm(*record);
}

bool PlatArrivalReadPending(const PlatOverlapped* overlapped) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock); // the network completes it on another thread
    LandCancellations(n);
    return overlapped->internal == StatusPending;
}

bool PlatControlDevice(PlatHandle device, uint32_t code, void* input, uint32_t inputLength,
                       void* output, uint32_t outputLength, uint32_t* byteCount) {
    Network& n = Net();
    Arrivals arrivals;
    void (*hook)(int);
    {
        std::lock_guard<PlatMutex> guard(n.lock);
        if (n.controls.size() >= size_t(VnetLogSize))
            n.controls.pop_front();
        n.controls.push_back(code);
        if (!byteCount) { // the system stores the count through it: a fault
            ++n.misuses;
            return false;
        }
        HandleRecord* record = FindHandle(n, device);
        if (!record || (code >> 16) != n.ifaces[record->iface].deviceIndex)
            return false;
        uint32_t function = code & 0xFFFF;
        if (function < sizeof n.faults.refuseControl && n.faults.refuseControl[function])
            return false;
        uint32_t count = 0;
        switch (function) {
        case VNIC_OLDER_OPEN:
            break;
        case VNIC_OLDER_CLOSE:
            record->ring0 = 0;
            break;
        case VNIC_OLDER_SET_EVENT: {
            uint32_t ring0 = 0;
            if (!input || inputLength < 4)
                return false;
            std::memcpy(&ring0, input, 4);
            if (ring0 != 0 && !Ring0Event(n, ring0))
                return false;
            record->ring0 = ring0;
            // Like the NT family's arrival read: a message already waiting
            // is announced at once.
            if (ring0 != 0 && !n.ifaces[record->iface].queue.empty())
                PlatSetEvent(Ring0Event(n, ring0));
            break;
        }
        case VNIC_OLDER_READ: { // into the caller's buffer, untouched when nothing waits
            Message m;
            if (!output || outputLength == 0 || !Take(n, record->iface, &m))
                break;
            size_t copied = m.length < outputLength ? m.length : outputLength;
            std::memcpy(output, m.bytes, copied);
            count = n.faults.zeroCountReads ? 0 : static_cast<uint32_t>(copied);
            break;
        }
        case VNIC_OLDER_WRITE:
            if (n.faults.failWrites || !input || inputLength == 0 ||
                inputLength > uint32_t(VnetMessageSize))
                return false;
            Process(n, record->iface, static_cast<const uint8_t*>(input), inputLength, arrivals);
            count = n.faults.zeroByteWrites ? 0 : inputLength;
            break;
        default:
            return false;
        }
        *byteCount = count;
        hook = n.hook;
    }
    RunHook(hook, arrivals);
    return true;
}

void PlatCloseDevice(PlatHandle device) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    HandleRecord* record = FindHandle(n, device);
    if (!record)
        return;
    // Closing ends a pending arrival read: its outcome is written into its
    // record, at once or (a fault) later, as the system may.
    if (record->armed && n.faults.lateCancelMs != 0)
        n.cancelling.push_back({record->armRecord, PlatTickCount() + n.faults.lateCancelMs});
    else if (record->armed)
        record->armRecord->internal = StatusCancelled;
    *record = HandleRecord{}; // drops the arm and a ring-0 attachment
}

uint32_t PlatGetSystemDirectory(char* buffer, uint32_t size) {
    static const char directory[] = "C:\\windows\\system32";
    const uint32_t length = sizeof directory - 1;
    if (!buffer || size <= length)
        return length + 1; // like GetSystemDirectoryA: the size needed
    std::memcpy(buffer, directory, sizeof directory);
    return length;
}

PlatLibrary PlatLoadLibrary(const char* path) {
    return path && EndsWithNoCase(path, "\\kernel32.dll") ? &kernelToken : nullptr;
}

PlatProc PlatGetProcAddress(PlatLibrary library, const char* name) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (library != &kernelToken || !name || std::strcmp(name, "OpenVxDHandle") != 0 ||
        n.faults.hideOpenVxDHandle)
        return nullptr;
    return &openVxDToken;
}

uint32_t PlatCallOpenVxDHandle(PlatProc openVxDHandle, PlatEvent event) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (openVxDHandle != &openVxDToken || !event || n.faults.openVxDHandleFails)
        return 0;
    // One ring-0 handle per event, so attaching the same event again and
    // again does not grow the table.
    for (size_t i = 0; i < n.ring0Events.size(); ++i) {
        if (n.ring0Events[i] == event)
            return Ring0Base + static_cast<uint32_t>(i);
    }
    n.ring0Events.push_back(event);
    return Ring0Base + static_cast<uint32_t>(n.ring0Events.size() - 1);
}
