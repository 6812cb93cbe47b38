// The virtual network's state, shared by its two halves and by nothing else:
// the device side (vnet_device.cpp: handles, arrival reads, ring-0 events,
// the device seam's functions) and the network side (vnet_network.cpp:
// queues, the interface's commands, nodes, delayed answers, faults, logs).
// Everyone else uses virtualnet/vnet.h.
#pragma once
#include "virtualnet/vnet.h"
#include "platform/device.h"
#include "platform/sync.h"
#include <deque>
#include <mutex> // std::lock_guard and std::unique_lock over PlatMutex
#include <vector>

namespace vnet {

const int HandleLimit = 128; // 32 slots of the access layer, two handles each, and spare
const int NameSize = 40;
const int ConfigSize = 32;

struct Message {
    uint8_t bytes[VnetMessageSize];
    size_t length;
};

struct Interface {
    char name[NameSize];
    uint16_t deviceIndex;
    std::deque<Message> queue;
};

struct Node {
    uint8_t id[6];
    uint8_t programId[8];
    uint8_t config[ConfigSize];
    bool silent;
    bool refusesWrites;
};

struct HandleRecord {
    bool open;
    uintptr_t token;
    int iface;
    bool overlapped;
    // The pending zero-length read (NT family): completed once, then disarmed.
    bool armed;
    PlatOverlapped* armRecord;
    uint32_t* armCount;
    PlatEvent armEvent;
    uint32_t ring0; // older family: the attached ring-0 event handle, 0 when none
};

// The record of an arrival read ended by closing its handle, and when the
// outcome lands in it.
struct Cancelling {
    PlatOverlapped* record;
    uint32_t due;
};

struct Delayed {
    uint32_t due;
    int iface;
    Message message;
};

// One direction of traffic: the newest VnetLogSize messages, numbered from
// the first one logged since the last clear.
struct TrafficLog {
    std::deque<VnetLogEntry> kept;
    size_t dropped = 0; // older messages no longer kept
};

// Everything behind one lock: every function of either side that touches
// the network takes it first.
struct Network {
    PlatMutex lock;
    // The timer thread waits on timerEvent through the sync seam, so that a
    // delayed answer keeps the time of the test clock; timerEnded tells a
    // reset that the thread has gone.
    PlatEvent timerEvent = PlatCreateEvent(nullptr);
    PlatEvent timerEnded = PlatCreateEvent(nullptr);
    int ifaceCount = 0;
    Interface ifaces[VnetMaxInterfaces];
    int nodeCount = 0;
    Node nodes[VnetMaxNodes];
    // The device side's: open handles and the ring-0 event table.
    HandleRecord handles[HandleLimit];
    uintptr_t openSerial = 0;
    std::vector<PlatEvent> ring0Events;
    std::vector<Cancelling> cancelling;
    TrafficLog written;
    TrafficLog delivered;
    size_t logged = 0; // messages of both logs since the last clear: the next one's order
    std::deque<uint32_t> controls;
    size_t misuses = 0;           // see VnetMisuseCount
    std::vector<Delayed> delayed; // ordered by due time
    bool timerRunning = false;
    bool timerStop = false;
    void (*hook)(int) = nullptr;
    VnetFaults faults = {};
};

// The one network of the process.
Network& Net();

// Interfaces that got a message while the lock was held; their arrival hook
// runs after the lock is released.
typedef std::vector<int> Arrivals;

// ---- The network side, for the device side (the lock held) ----

// A message the program wrote: logged, then carried out by the interface or
// the addressed node; answers are queued now or later.
void Process(Network& n, int iface, const uint8_t* bytes, size_t length, Arrivals& arrivals);
// The next message waiting on the interface, taken from its queue.
bool Take(Network& n, int iface, Message* message);
// Runs the arrival hook for each interface noted (the lock released).
void RunHook(void (*hook)(int), const Arrivals& arrivals);

// ---- The device side, for the network side (the lock held) ----

// A message became waiting on the interface: its pending arrival reads
// complete and its ring-0 events are signalled.
void AnnounceArrival(Network& n, int iface);
bool InterfaceHasOpenHandle(Network& n, int iface);
// Every handle closed and the ring-0 event table emptied (a reset).
void ForgetHandles(Network& n);

} // namespace vnet
