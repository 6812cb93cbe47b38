// Interface driver access: a fixed table of 32 interface slots and the five
// operations on them. Nothing here speaks to the operator; every operation
// returns an NiStatus and the callers decide what to report.
#pragma once
#include <cstdint>
#include "platform/device.h"
#include "platform/registry.h"

typedef int16_t NiHandle;
typedef uint16_t NiStatus;

const NiStatus NiOk = 0;
const NiStatus NiBadHandle = 3;    // negative, > 31, or a free slot
const NiStatus NiDriverFailed = 4; // the driver refused a control request (older family)
const NiStatus NiOpenFailed = 5;   // the device path cannot be opened
const NiStatus NiNoMessage = 6;    // no message was waiting
const NiStatus NiWriteFailed = 7;  // the write failed or moved 0 bytes
const NiStatus NiNoResource = 8;   // no free slot, or no arrival attachment
const NiStatus NiNameTooLong = 9;  // the device name does not fit

const int NiSlotCount = 32;
const int NiDevicePathSize = 20;
const int NiDeviceNameSize = 40;

// Driver control functions of the older platform family; the control code is
// (deviceIndex << 16) | function.
const uint32_t NiCtlOpen = 1;
const uint32_t NiCtlClose = 2;
const uint32_t NiCtlSetEvent = 7;
const uint32_t NiCtlRead = 10;
const uint32_t NiCtlWrite = 11;

struct InterfaceSlot {
    uint32_t state; // 0 free, 3 open
    PlatHandle device;
    uint16_t deviceIndex;
    uintptr_t arrivalLink; // NT: the overlapped arrival handle; older: the ring-0 event
    uint8_t ntFamily;
    // The pending arrival read writes into these two after the call that
    // issued it has returned: they live here, as long as the arrival handle.
    PlatOverlapped arrivalOverlapped;
    uint32_t arrivalByteCount;
    char devicePath[NiDevicePathSize];
};

const uint32_t NiSlotFree = 0;
const uint32_t NiSlotOpen = 3;

extern InterfaceSlot InterfaceTable[NiSlotCount];

NiStatus NiOpen(const char* name, NiHandle* handle);
NiStatus NiClose(NiHandle handle);
NiStatus NiRead(NiHandle handle, void* buffer, int16_t length);
// The older family passes the buffer as input and output: the driver may write into it.
NiStatus NiWrite(NiHandle handle, void* buffer, int16_t length);
NiStatus NiSetArrivalEvent(NiHandle handle, PlatEvent event); // null detaches

// Internal steps, visible for tests: the device name for an interface name
// (its key's "device name", or the name itself), and OpenVxDHandle in the
// system's kernel32.dll (older family).
NiStatus LookupDeviceName(const char* name, char* buffer, int capacity);
PlatProc FindOpenVxDHandle();
