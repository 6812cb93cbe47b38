// The virtual network: a simulated interface driver with simulated nodes
// behind it. It implements the device seam (platform/device.h), so the access
// layer above meets it exactly as it meets the card's driver, and it keeps a
// log of every message written to it and fault controls for tests.
// Thread-safe: the program's two threads and a test may call it at once.
#pragma once
#include <cstddef>
#include <cstdint>

const int VnetMaxInterfaces = 4;
const int VnetMaxNodes = 256;   // a floor of a building
const int VnetMessageSize = 66; // the largest message, and every read's length
const int VnetLogSize = 4096;   // written messages kept (the oldest are dropped)

// Back to a network with no interfaces, no nodes, no faults, empty logs and
// queues; every handle the program still holds becomes invalid.
void VnetReset();

// An interface device that opens as "\\.\<deviceName>"; on the older platform
// family its control codes must carry deviceIndex in their high 16 bits.
// Returns its number, or -1 when the table is full.
int VnetAddInterface(const char* deviceName, uint16_t deviceIndex);

// A node with its unique ID, program ID and 6-byte location string (shorter
// text is zero-padded). Returns its number, or -1 when the table is full.
int VnetAddNode(const uint8_t pellionId[6], const uint8_t programId[8], const char* location);
int VnetNodeCount();
void VnetNodeId(int node, uint8_t pellionId[6]);
void VnetNodeLocation(int node, uint8_t location[6]); // current memory bytes
void VnetSetNodeLocation(int node, const uint8_t location[6]);
// One node's faults, off when it is added: a silent node answers nothing (the
// interface reports no failure either); one that refuses writes answers Write
// Memory with the failure code 0x0E.
void VnetSetNodeFaults(int node, bool silent, bool refusesWrites);

// The node sends its service pin message (on every interface that is open).
void VnetPressServicePin(int node);

// Puts a raw message (byte 1 + 2 bytes are used, at most 66) in the queue of
// interface `iface`, as if it had come from the network.
// False when the interface's queue is full (the message is dropped).
bool VnetInjectMessage(int iface, const uint8_t* message, size_t length);
// Messages waiting to be read on interface `iface`.
size_t VnetPendingCount(int iface);
// Drops the messages waiting on every interface and the answers still on
// their way; handles, nodes, faults and logs stay as they are.
void VnetClearQueues();

// The log of everything written to the interfaces, oldest first. The count
// is of all messages written since the last clear; VnetWritten gives one of
// the newest VnetLogSize of them by its number, and false for older ones.
struct VnetLogEntry {
    int iface;
    uint32_t tick; // PlatTickCount() when it was written
    // Its place among the messages of both directions since the last clear
    // (0, 1, 2, ...): the order they went over the wire. Ticks cannot tell
    // it, as an answer and the request that follows it often share one.
    size_t order;
    uint8_t bytes[VnetMessageSize];
    size_t length;
};
size_t VnetWrittenCount();
bool VnetWritten(size_t index, VnetLogEntry* entry);
// Empties all three logs: written, control codes and delivered.
void VnetClearLog();

// Control requests seen (older family), oldest first, for checking codes.
size_t VnetControlCount();
uint32_t VnetControlCode(size_t index);

// Calls that the real system faults on or leaves undefined, counted since
// the last VnetReset: a control request with no place for its byte count
// (refused: without an OVERLAPPED record DeviceIoControl stores the count
// through that pointer, asked for or not), and an arrival read issued with a
// record whose earlier read is still pending, or was ended by closing its
// handle and has not had its outcome written yet (carried out: the system
// would write both outcomes into the one record).
size_t VnetMisuseCount();

// Messages queued for the program to read (answers, service pins, injected),
// oldest first, kept like the written log.
size_t VnetDeliveredCount();
bool VnetDelivered(size_t index, VnetLogEntry* entry);
// The messages of both directions as one list, in the order they went over
// the wire, for a reader that follows it (the demo's panel): the first
// message at or after the place *next (0 to begin with; an order), with
// fromProgram telling a written one from a delivered one, and *next moved
// past it. Messages no longer kept are passed over; after a clear the
// reader starts again from the first (once it asks for a place beyond all
// that were logged since). False when there is none yet.
bool VnetNextTraffic(size_t* next, VnetLogEntry* entry, bool* fromProgram);

// For a network process behind a real driver (no device seam in between):
// hand the network a message the program wrote (logged and answered as if
// written through a handle), and take the next message waiting for the program.
void VnetSubmit(int iface, const uint8_t* message, size_t length);
bool VnetTake(int iface, uint8_t* message, size_t* length);
// Called, outside the network's lock, whenever a message becomes waiting on
// an interface (null: none). Kept across VnetReset. The hook may take
// messages and submit new ones, but must not call VnetReset.
void VnetSetArrivalHook(void (*hook)(int iface));

// The demo's network: interface "VNI1" and a few nodes with their location
// strings. Answers take realistic time. (The demo registers the interface for
// the program: ui/demo_win32.cpp.)
void VnetInstallDemo();

// Fault controls; all off after VnetReset().
struct VnetFaults {
    bool olderFamily;            // report a platform id other than NT
    bool failOpen;               // every open of a device path fails
    bool failSecondOpen;         // an open while the device is already open fails
    bool refuseControl[16];      // refuse this control function (older family)
    bool hideOpenVxDHandle;      // kernel32 has no OpenVxDHandle entry point
    bool openVxDHandleFails;     // OpenVxDHandle returns 0
    bool failWrites;             // every write fails
    bool zeroByteWrites;         // writes succeed with a byte count of 0
    bool zeroCountReads;         // older family: a read reports 0 bytes even with a message
    bool dropResponses;          // node requests and local commands get no answer
    uint32_t responseDelayMs;    // answers arrive this much later
    bool updateDomainFails;      // the interface answers Update Domain with its failure code
    bool readMemoryFailureCode;  // nodes answer Read Memory with the failure code 0x0D
    bool writeMemoryFailureCode; // nodes answer Write Memory with the failure code 0x0E
    bool answerSetNodeMode;      // the interface also answers Set Node Mode
    bool realisticRetries;       // an unknown ID fails only after the transmit timer's retries
    bool lateArrivalReads;       // an arrival read issued while a message waits completes only
                                 // at the next arrival (the driver's completion lags its queue)
    uint32_t lateCancelMs;       // a pending arrival read ended by closing its handle has its
                                 // outcome written into its record this much later (0: at once)
};
// Read and replaced under the network's lock: for a thread that changes them
// while others use the network (vnet.exe's command loop). A get, change and
// set is whole as long as no other thread changes them meanwhile.
VnetFaults VnetGetFaults();
void VnetSetFaults(const VnetFaults& faults);
// Direct access without the lock: only for a test that changes them between
// its steps, from the thread that drives the program, while no other thread
// of its own changes them.
VnetFaults* VnetFaultControls();
