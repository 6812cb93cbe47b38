// Interface driver access: the 32-slot interface table and the operations that
// open, close, read, write and attach an arrival event, on both platform families.
#include "niaccess/niaccess.h"
#include "niaccess/interfaces_registry.h"
#include "platform/sync.h"
#include <cstdlib>
#include <cstring>

InterfaceSlot InterfaceTable[NiSlotCount];

static const char devicePrefix[] = "\\\\.\\";
static const size_t devicePrefixLength = 4;
// How long a closed arrival handle's read may take to have its outcome written.
static const uint32_t ArrivalSettleLimitMs = 500;

static InterfaceSlot* CheckedSlot(NiHandle handle) {
    if (handle < 0 || handle >= NiSlotCount)
        return nullptr;
    InterfaceSlot* slot = &InterfaceTable[handle];
    if (slot->state == NiSlotFree)
        return nullptr;
    return slot;
}

static uint32_t ControlCode(const InterfaceSlot* slot, uint32_t function) {
    return (uint32_t(slot->deviceIndex) << 16) | function;
}

static PlatHandle AsHandle(uintptr_t link) {
    return reinterpret_cast<PlatHandle>(link);
}

// Cuts the device name at the first full stop after its leading run of
// backslashes and full stops, and returns the decimal number after that stop
// (0 when there is none), wrapping modulo 65536.
static uint16_t CutDeviceIndex(char* name) {
    char* rest = name;
    while (*rest == '\\' || *rest == '.')
        rest++;
    char* stop = std::strchr(rest, '.');
    if (!stop)
        return 0;
    *stop = '\0';
    uint16_t index = 0;
    for (const char* digit = stop + 1; *digit >= '0' && *digit <= '9'; digit++)
        index = uint16_t(index * 10 + (*digit - '0'));
    return index;
}

// Builds "\\.\<name>" (or the name itself when it already starts so) into
// path; false when it does not fit.
static bool BuildDevicePath(const char* name, char* path, size_t capacity) {
    size_t length = std::strlen(name);
    bool prefixed = std::strncmp(name, devicePrefix, devicePrefixLength) == 0;
    size_t needed = (prefixed ? 0 : devicePrefixLength) + length + 1;
    if (needed > capacity)
        return false;
    if (prefixed) {
        std::memcpy(path, name, length + 1);
    } else {
        std::memcpy(path, devicePrefix, devicePrefixLength);
        std::memcpy(path + devicePrefixLength, name, length + 1);
    }
    return true;
}

// Opens the key InterfaceKeyPrefix + name (niaccess/interfaces_registry.h), in
// the first registry view that has it; 0 when it opened.
static long OpenInterfaceKey(const char* name, PlatKey* key) {
    size_t prefixLength = sizeof InterfaceKeyPrefix - 1;
    size_t nameLength = std::strlen(name);
    char* path = static_cast<char*>(std::malloc(prefixLength + nameLength + 1));
    if (!path)
        return PlatRegNotFound;
    std::memcpy(path, InterfaceKeyPrefix, prefixLength);
    std::memcpy(path + prefixLength, name, nameLength + 1);
    // Read access only: resolving a name must work without administrator
    // rights. The first view in which the key opens decides.
    RegistryViews views = InterfaceRegistryViews();
    long result = PlatRegNotFound;
    for (int v = 0; v < views.count && result != PlatRegOk; ++v)
        result = PlatRegOpenKey(PlatLocalMachine(), path, PlatKeyRead | views.flags[v], key);
    std::free(path);
    return result;
}

NiStatus LookupDeviceName(const char* name, char* buffer, int capacity) {
    if (capacity <= 0)
        return NiNameTooLong;
    PlatKey key = nullptr;
    if (OpenInterfaceKey(name, &key) == PlatRegOk) {
        RegString read =
            ReadRegistryString(key, DeviceNameValue, nullptr, buffer, uint32_t(capacity));
        PlatRegCloseKey(key);
        if (read == RegString::TooLong)
            return NiNameTooLong;
        if (read == RegString::Read && buffer[0] != '\0')
            return NiOk;
        // No usable value under an existing key: take the name itself.
    }
    size_t length = std::strlen(name);
    if (length + 1 > size_t(capacity))
        return NiNameTooLong;
    std::memcpy(buffer, name, length + 1);
    return NiOk;
}

PlatProc FindOpenVxDHandle() {
    static const char library[] = "\\kernel32.dll";
    char path[260];
    uint32_t length = PlatGetSystemDirectory(path, sizeof path);
    if (length == 0 || length + sizeof library > sizeof path)
        return nullptr;
    std::memcpy(path + length, library, sizeof library);
    // Loaded anew on every call and never released: kernel32 stays loaded anyway.
    PlatLibrary kernel = PlatLoadLibrary(path);
    if (!kernel)
        return nullptr;
    return PlatGetProcAddress(kernel, "OpenVxDHandle");
}

NiStatus NiOpen(const char* name, NiHandle* handle) {
    int index = 0;
    while (index < NiSlotCount && InterfaceTable[index].state != NiSlotFree)
        index++;
    if (index == NiSlotCount)
        return NiNoResource;
    InterfaceSlot* slot = &InterfaceTable[index];

    slot->device = nullptr;
    slot->deviceIndex = 0;
    slot->arrivalLink = 0;
    slot->ntFamily = 0;
    std::memset(&slot->arrivalOverlapped, 0, sizeof slot->arrivalOverlapped);
    slot->arrivalByteCount = 0;

    slot->ntFamily = PlatGetPlatformId() == PlatPlatformNt ? 1 : 0;

    char deviceName[NiDeviceNameSize];
    if (LookupDeviceName(name, deviceName, sizeof deviceName) == NiNameTooLong)
        return NiNameTooLong;
    slot->deviceIndex = CutDeviceIndex(deviceName);
    if (!BuildDevicePath(deviceName, slot->devicePath, sizeof slot->devicePath))
        return NiNameTooLong;

    PlatHandle device = PlatOpenDevice(slot->devicePath, false);
    if (device == PlatInvalidHandle())
        return NiOpenFailed;
    slot->device = device;

    uint32_t count = 0; // not looked at, but the system stores it
    if (!slot->ntFamily &&
        !PlatControlDevice(device, ControlCode(slot, NiCtlOpen), nullptr, 0, nullptr, 0, &count)) {
        PlatCloseDevice(device);
        slot->device = nullptr;
        return NiDriverFailed;
    }

    slot->state = NiSlotOpen;
    *handle = NiHandle(index);
    return NiOk;
}

NiStatus NiClose(NiHandle handle) {
    InterfaceSlot* slot = CheckedSlot(handle);
    if (!slot)
        return NiBadHandle;
    if (slot->arrivalLink != 0)
        NiSetArrivalEvent(handle, nullptr);
    NiStatus status = NiOk;
    uint32_t count = 0; // not looked at, but the system stores it
    if (!slot->ntFamily && !PlatControlDevice(slot->device, ControlCode(slot, NiCtlClose), nullptr,
                                              0, nullptr, 0, &count))
        status = NiDriverFailed;
    PlatCloseDevice(slot->device);
    slot->state = NiSlotFree;
    return status;
}

// The zero-length read on the arrival handle, with the slot's record.
static void IssueArrivalRead(InterfaceSlot* slot) {
    slot->arrivalOverlapped.offset = 0;
    slot->arrivalOverlapped.offsetHigh = 0;
    PlatStartArrivalRead(AsHandle(slot->arrivalLink), &slot->arrivalOverlapped,
                         &slot->arrivalByteCount);
}

// The system writes a pending read's outcome into its record, so the record
// is not given to another read before that; the pending read signals the
// next arrival all the same.
static bool ArrivalReadPending(const InterfaceSlot* slot) {
    return PlatArrivalReadPending(&slot->arrivalOverlapped);
}

// Closing the arrival handle ends its pending read, but the system writes
// that read's outcome into the slot's record when it gets to it: the record
// is not given to another read before then (waiting a bounded time; a record
// still pending after it is armed again by the next read that finds it done).
static void CloseArrivalHandle(InterfaceSlot* slot) {
    PlatCloseDevice(AsHandle(slot->arrivalLink));
    slot->arrivalLink = 0;
    uint32_t start = PlatTickCount();
    while (ArrivalReadPending(slot) && PlatTickCount() - start < ArrivalSettleLimitMs)
        PlatSleep(1);
}

NiStatus NiRead(NiHandle handle, void* buffer, int16_t length) {
    InterfaceSlot* slot = CheckedSlot(handle);
    if (!slot)
        return NiBadHandle;
    // Nothing fits in an empty buffer, and a negative count must not reach
    // the driver as a huge unsigned length: nothing is read.
    if (length <= 0)
        return NiNoMessage;
    std::memset(buffer, 0, size_t(length));
    uint32_t count = 0;
    if (slot->ntFamily) {
        if (!PlatReadDevice(slot->device, buffer, uint32_t(length), &count) || count == 0)
            return NiNoMessage;
        if (slot->arrivalLink != 0 && !ArrivalReadPending(slot))
            IssueArrivalRead(slot);
        return NiOk;
    }
    if (!PlatControlDevice(slot->device, ControlCode(slot, NiCtlRead), buffer, uint32_t(length),
                           buffer, uint32_t(length), &count))
        return NiDriverFailed;
    // Some drivers report no byte count for a message they did deliver.
    if (count == 0 && static_cast<const uint8_t*>(buffer)[0] == 0)
        return NiNoMessage;
    return NiOk;
}

NiStatus NiWrite(NiHandle handle, void* buffer, int16_t length) {
    InterfaceSlot* slot = CheckedSlot(handle);
    if (!slot)
        return NiBadHandle;
    if (length <= 0)
        return NiWriteFailed;
    uint32_t count = 0;
    bool done;
    if (slot->ntFamily)
        done = PlatWriteDevice(slot->device, buffer, uint32_t(length), &count);
    else
        done = PlatControlDevice(slot->device, ControlCode(slot, NiCtlWrite), buffer,
                                 uint32_t(length), buffer, uint32_t(length), &count);
    if (!done || count == 0)
        return NiWriteFailed;
    return NiOk;
}

static NiStatus SetArrivalEventNt(InterfaceSlot* slot, PlatEvent event) {
    if (event) {
        // A pending read signals the event it was issued with, and nothing
        // changes that event: for another one, the arrival handle is replaced,
        // and closing the old one ends its read.
        bool replace = slot->arrivalLink != 0 && event != slot->arrivalOverlapped.event &&
                       ArrivalReadPending(slot);
        if (slot->arrivalLink == 0 || replace) {
            PlatHandle arrival = PlatOpenDevice(slot->devicePath, true);
            if (arrival == PlatInvalidHandle())
                return NiNoResource; // the attachment stays as it was
            if (replace)
                CloseArrivalHandle(slot);
            slot->arrivalLink = reinterpret_cast<uintptr_t>(arrival);
        }
    } else if (slot->arrivalLink != 0) {
        CloseArrivalHandle(slot);
    }
    if (slot->arrivalLink == 0)
        return NiOk;
    // The system never writes the event member, so the next read takes the
    // new one. A pending read (on this handle) goes on signalling.
    slot->arrivalOverlapped.event = event;
    if (!ArrivalReadPending(slot))
        IssueArrivalRead(slot);
    return NiOk;
}

static NiStatus SetArrivalEventOlder(InterfaceSlot* slot, PlatEvent event) {
    uint32_t ring0Event = 0;
    if (event) {
        PlatProc openVxDHandle = FindOpenVxDHandle();
        if (!openVxDHandle)
            return NiNoResource;
        ring0Event = PlatCallOpenVxDHandle(openVxDHandle, event);
        if (ring0Event == 0)
            return NiNoResource;
    } else if (slot->arrivalLink == 0) {
        return NiOk;
    }
    uint32_t count = 0;
    if (!PlatControlDevice(slot->device, ControlCode(slot, NiCtlSetEvent), &ring0Event,
                           sizeof ring0Event, nullptr, 0, &count))
        return NiDriverFailed;
    slot->arrivalLink = ring0Event;
    return NiOk;
}

NiStatus NiSetArrivalEvent(NiHandle handle, PlatEvent event) {
    InterfaceSlot* slot = CheckedSlot(handle);
    if (!slot)
        return NiBadHandle;
    return slot->ntFamily ? SetArrivalEventNt(slot, event) : SetArrivalEventOlder(slot, event);
}
