// The virtual network's network side: the interfaces' queues, the interface's
// local commands, the nodes and their memory, delayed answers and the timer
// thread that delivers them, fault controls and logs, and the controls of
// tests, the demo and a network process (virtualnet/vnet.h).
#include "virtualnet/vnet_internal.h"
#include "virtualnet/wire.h"
#include <algorithm>
#include <cstring>

namespace vnet {

// Never destroyed: the timer thread may still be waiting on it while the
// process exits.
Network& Net() {
    static Network* network = new Network;
    return *network;
}

namespace {

const size_t QueueLimit = 1024; // messages waiting per interface
const int LocationOffset = 2;

using namespace vnet_wire;

void AppendLog(Network& n, TrafficLog& log, int iface, const uint8_t* bytes, size_t length) {
    VnetLogEntry entry = {};
    entry.iface = iface;
    entry.tick = PlatTickCount();
    entry.order = n.logged++;
    entry.length = length < size_t(VnetMessageSize) ? length : size_t(VnetMessageSize);
    std::memcpy(entry.bytes, bytes, entry.length);
    if (log.kept.size() >= size_t(VnetLogSize)) {
        log.kept.pop_front();
        ++log.dropped;
    }
    log.kept.push_back(entry);
}

// A message becomes waiting on an interface: arrival reads complete, ring-0
// events are signalled, and the hook is noted for later.
bool Queue(Network& n, int iface, const Message& message, Arrivals& arrivals) {
    Interface& target = n.ifaces[iface];
    if (target.queue.size() >= QueueLimit)
        return false;
    target.queue.push_back(message);
    AppendLog(n, n.delivered, iface, message.bytes, message.length);
    AnnounceArrival(n, iface);
    arrivals.push_back(iface);
    return true;
}

void TimerBody(void*) {
    Network& n = Net();
    std::unique_lock<PlatMutex> guard(n.lock);
    while (!n.timerStop) {
        uint32_t timeout = PlatWaitForever;
        if (!n.delayed.empty()) {
            int32_t remaining = static_cast<int32_t>(n.delayed.front().due - PlatTickCount());
            timeout = remaining > 0 ? static_cast<uint32_t>(remaining) : 0;
        }
        if (timeout != 0) {
            guard.unlock();
            PlatWaitEvent(n.timerEvent, timeout);
            guard.lock();
            continue;
        }
        Arrivals arrivals;
        uint32_t now = PlatTickCount();
        while (!n.delayed.empty() && static_cast<int32_t>(n.delayed.front().due - now) <= 0) {
            Queue(n, n.delayed.front().iface, n.delayed.front().message, arrivals);
            n.delayed.erase(n.delayed.begin());
        }
        void (*hook)(int) = n.hook;
        guard.unlock();
        RunHook(hook, arrivals);
        guard.lock();
    }
    n.timerRunning = false;
    PlatSetEvent(n.timerEnded);
}

// An answer from the network, waiting at once or after delayMs.
void Answer(Network& n, int iface, const Message& message, uint32_t delayMs, Arrivals& arrivals) {
    if (delayMs == 0) {
        Queue(n, iface, message, arrivals);
        return;
    }
    if (!n.timerRunning) {
        PlatThread thread = PlatStartThread(TimerBody, nullptr);
        if (!thread) {
            Queue(n, iface, message, arrivals); // late is better than never
            return;
        }
        PlatReleaseThread(thread);
        n.timerRunning = true;
    }
    Delayed item = {PlatTickCount() + delayMs, iface, message};
    auto at = n.delayed.begin();
    while (at != n.delayed.end() && static_cast<int32_t>(at->due - item.due) <= 0)
        ++at;
    n.delayed.insert(at, item);
    PlatSetEvent(n.timerEvent);
}

Message Response(uint8_t completion, const uint8_t source[11], const uint8_t* data,
                 size_t dataLength) {
    Message m = {};
    m.bytes[0] = CmdResponse;
    m.bytes[1] = static_cast<uint8_t>(14 + dataLength);
    m.bytes[2] = 0x60;
    m.bytes[3] = completion;
    m.bytes[4] = static_cast<uint8_t>(dataLength);
    std::memcpy(m.bytes + 5, source, 11);
    if (dataLength)
        std::memcpy(m.bytes + 16, data, dataLength);
    m.length = 16 + dataLength;
    return m;
}

Message CodeResponse(const uint8_t source[11], uint8_t code) {
    return Response(CompletionSuccess, source, &code, 1);
}

// The transmit timer's length: like the codes, independent of the messaging code on purpose.
uint32_t TransmitTimerMs(uint8_t index) {
    unsigned p = index & 0x0F;
    return (16u << (p / 2)) + ((p & 1) ? (8u << (p / 2)) : 0u);
}

int FindNode(Network& n, const uint8_t id[6]) {
    for (int i = 0; i < n.nodeCount; ++i)
        if (std::memcmp(n.nodes[i].id, id, 6) == 0)
            return i;
    return -1;
}

void LocalCommand(Network& n, int iface, const uint8_t* b, Arrivals& arrivals) {
    static const uint8_t interfaceAddress[11] = {};
    uint8_t code = b[16];
    uint32_t delay = n.faults.responseDelayMs;
    if (code == CodeUpdateDomain) {
        uint8_t answer = n.faults.updateDomainFails ? code & 0x1F : code & 0x3F;
        Answer(n, iface, CodeResponse(interfaceAddress, answer), delay, arrivals);
    } else if (code == CodeSetNodeMode) {
        if (n.faults.answerSetNodeMode)
            Answer(n, iface, CodeResponse(interfaceAddress, code & 0x3F), delay, arrivals);
    } else if (code >= 0x60 && code <= 0x7F) {
        // A network-management command this interface does not carry out.
        Answer(n, iface, CodeResponse(interfaceAddress, code & 0x1F), delay, arrivals);
    }
}

// Read Memory and Write Memory relative to the configuration structure; the
// answer code tells success (code & 0x3F) from failure (code & 0x1F).
Message MemoryRequest(Network& n, int node, const uint8_t* b, size_t length) {
    uint8_t source[11] = {0x01, 0x01, static_cast<uint8_t>(node + 1)};
    uint8_t code = b[16];
    uint8_t failure = code & 0x1F;
    unsigned mode = b[17];
    unsigned offset = (unsigned(b[18]) << 8) | b[19];
    unsigned count = b[20];
    bool inRange = mode == 0x02 && count > 0 && offset + count <= unsigned(ConfigSize);
    uint8_t* memory = n.nodes[node].config + offset;
    if (code == CodeReadMemory) {
        if (n.faults.readMemoryFailureCode || !inRange)
            return CodeResponse(source, failure);
        uint8_t data[1 + ConfigSize];
        data[0] = code & 0x3F;
        std::memcpy(data + 1, memory, count);
        return Response(CompletionSuccess, source, data, 1 + count);
    }
    if (code == CodeWriteMemory) {
        // The data must be in the message that was written, not in its padding.
        if (n.faults.writeMemoryFailureCode || n.nodes[node].refusesWrites || !inRange ||
            length < 22 + count)
            return CodeResponse(source, failure);
        std::memcpy(memory, b + 22, count);
        return CodeResponse(source, code & 0x3F);
    }
    return CodeResponse(source, failure);
}

void NodeRequest(Network& n, int iface, const uint8_t* b, size_t length, Arrivals& arrivals) {
    uint32_t delay = n.faults.responseDelayMs;
    int node = b[5] == 0x02 ? FindNode(n, b + 10) : -1;
    if (node < 0) {
        // Nobody acknowledges: the interface gives up after its retries.
        if (n.faults.realisticRetries) {
            uint32_t retries = 4 * TransmitTimerMs(b[8]);
            delay = retries > delay ? retries : delay;
        }
        Answer(n, iface, Response(CompletionFailed, b + 5, nullptr, 0), delay, arrivals);
        return;
    }
    uint8_t code = b[16];
    if (code < 0x60 || code > 0x7F || n.nodes[node].silent)
        return; // not a network-management request: the node has nothing to say
    Answer(n, iface, MemoryRequest(n, node, b, length), delay, arrivals);
}

void StopTimer(Network& n, std::unique_lock<PlatMutex>& guard) {
    n.timerStop = true;
    PlatSetEvent(n.timerEvent);
    while (n.timerRunning) {
        guard.unlock();
        PlatWaitEvent(n.timerEnded, PlatWaitForever);
        guard.lock();
    }
    // A signal left from an earlier stop only costs the loop one more look.
    n.timerStop = false;
}

bool ValidInterface(Network& n, int iface) {
    return iface >= 0 && iface < n.ifaceCount;
}

Message FromBytes(const uint8_t* bytes, size_t length) {
    Message m = {};
    m.length = length > size_t(VnetMessageSize) ? size_t(VnetMessageSize) : length;
    std::memcpy(m.bytes, bytes, m.length);
    return m;
}

// The number of messages logged since the last clear, and one of them by
// that number (false once it is no longer kept).
size_t TrafficCount(TrafficLog Network::*log) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return (n.*log).dropped + (n.*log).kept.size();
}

bool TrafficEntry(TrafficLog Network::*log, size_t index, VnetLogEntry* entry) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    const TrafficLog& traffic = n.*log;
    if (index < traffic.dropped || index - traffic.dropped >= traffic.kept.size())
        return false;
    *entry = traffic.kept[index - traffic.dropped];
    return true;
}

// The first message kept in the log whose order is at least `order`, or null.
const VnetLogEntry* FirstFrom(const TrafficLog& log, size_t order) {
    auto at = std::lower_bound(
        log.kept.begin(), log.kept.end(), order,
        [](const VnetLogEntry& entry, size_t wanted) { return entry.order < wanted; });
    return at == log.kept.end() ? nullptr : &*at;
}

} // namespace

// A message the program wrote: logged, then carried out by the interface or
// the addressed node.
void Process(Network& n, int iface, const uint8_t* bytes, size_t length, Arrivals& arrivals) {
    uint8_t b[VnetMessageSize] = {};
    if (length > size_t(VnetMessageSize))
        length = VnetMessageSize;
    std::memcpy(b, bytes, length);
    AppendLog(n, n.written, iface, b, length);
    if (n.faults.dropResponses)
        return;
    if (b[0] == CmdLocal)
        LocalCommand(n, iface, b, arrivals);
    else if (b[0] == CmdNodeRequest)
        NodeRequest(n, iface, b, length, arrivals);
}

bool Take(Network& n, int iface, Message* message) {
    std::deque<Message>& queue = n.ifaces[iface].queue;
    if (queue.empty())
        return false;
    *message = queue.front();
    queue.pop_front();
    return true;
}

void RunHook(void (*hook)(int), const Arrivals& arrivals) {
    if (!hook)
        return;
    for (int iface : arrivals)
        hook(iface);
}

} // namespace vnet

using namespace vnet;

// ---- Test and demo controls ----

void VnetReset() {
    Network& n = Net();
    std::unique_lock<PlatMutex> guard(n.lock);
    if (n.timerRunning)
        StopTimer(n, guard);
    n.delayed.clear();
    for (Interface& iface : n.ifaces) {
        iface.name[0] = 0;
        iface.deviceIndex = 0;
        iface.queue.clear();
    }
    n.ifaceCount = 0;
    n.nodeCount = 0;
    ForgetHandles(n);
    n.written = TrafficLog{};
    n.delivered = TrafficLog{};
    n.logged = 0;
    n.controls.clear();
    n.misuses = 0;
    n.faults = VnetFaults{};
}

int VnetAddInterface(const char* deviceName, uint16_t deviceIndex) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (!deviceName || std::strlen(deviceName) >= size_t(NameSize) ||
        n.ifaceCount >= VnetMaxInterfaces)
        return -1;
    Interface& iface = n.ifaces[n.ifaceCount];
    std::memcpy(iface.name, deviceName, std::strlen(deviceName) + 1); // length checked above
    iface.deviceIndex = deviceIndex;
    iface.queue.clear();
    return n.ifaceCount++;
}

int VnetAddNode(const uint8_t pellionId[6], const uint8_t programId[8], const char* location) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (n.nodeCount >= VnetMaxNodes)
        return -1;
    Node& node = n.nodes[n.nodeCount];
    node = Node{};
    std::memcpy(node.id, pellionId, 6);
    std::memcpy(node.programId, programId, 8);
    for (int i = 0; location && i < 6 && location[i]; ++i)
        node.config[LocationOffset + i] = static_cast<uint8_t>(location[i]);
    return n.nodeCount++;
}

int VnetNodeCount() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return n.nodeCount;
}

void VnetNodeId(int node, uint8_t pellionId[6]) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (node >= 0 && node < n.nodeCount)
        std::memcpy(pellionId, n.nodes[node].id, 6);
}

void VnetNodeLocation(int node, uint8_t location[6]) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (node >= 0 && node < n.nodeCount)
        std::memcpy(location, n.nodes[node].config + LocationOffset, 6);
}

void VnetSetNodeLocation(int node, const uint8_t location[6]) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (node >= 0 && node < n.nodeCount)
        std::memcpy(n.nodes[node].config + LocationOffset, location, 6);
}

void VnetSetNodeFaults(int node, bool silent, bool refusesWrites) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (node >= 0 && node < n.nodeCount) {
        n.nodes[node].silent = silent;
        n.nodes[node].refusesWrites = refusesWrites;
    }
}

void VnetPressServicePin(int node) {
    Network& n = Net();
    Arrivals arrivals;
    void (*hook)(int);
    {
        std::lock_guard<PlatMutex> guard(n.lock);
        if (node < 0 || node >= n.nodeCount)
            return;
        Message m = {};
        m.bytes[0] = CmdIncoming;
        m.bytes[1] = 29;
        m.bytes[2] = 0x60;
        m.bytes[4] = 15;
        m.bytes[5] = 0x01; // source: subnet 1, the node's number
        m.bytes[6] = 0x01;
        m.bytes[7] = static_cast<uint8_t>(node + 1);
        m.bytes[16] = CodeServicePin;
        std::memcpy(m.bytes + 17, n.nodes[node].id, 6);
        std::memcpy(m.bytes + 23, n.nodes[node].programId, 8);
        m.length = 31;
        for (int iface = 0; iface < n.ifaceCount; ++iface)
            if (InterfaceHasOpenHandle(n, iface))
                Queue(n, iface, m, arrivals);
        hook = n.hook;
    }
    RunHook(hook, arrivals);
}

bool VnetInjectMessage(int iface, const uint8_t* message, size_t length) {
    Network& n = Net();
    Arrivals arrivals;
    void (*hook)(int);
    bool queued;
    {
        std::lock_guard<PlatMutex> guard(n.lock);
        if (!ValidInterface(n, iface) || !message || length < 2)
            return false;
        size_t used = size_t(message[1]) + 2;
        queued = Queue(n, iface, FromBytes(message, used < length ? used : length), arrivals);
        hook = n.hook;
    }
    RunHook(hook, arrivals);
    return queued;
}

size_t VnetPendingCount(int iface) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return ValidInterface(n, iface) ? n.ifaces[iface].queue.size() : 0;
}

void VnetClearQueues() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    n.delayed.clear(); // the timer thread finds nothing due and waits on
    for (Interface& iface : n.ifaces)
        iface.queue.clear();
}

size_t VnetWrittenCount() {
    return TrafficCount(&Network::written);
}

bool VnetWritten(size_t index, VnetLogEntry* entry) {
    return TrafficEntry(&Network::written, index, entry);
}

void VnetClearLog() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    n.written = TrafficLog{};
    n.delivered = TrafficLog{};
    n.logged = 0;
    n.controls.clear();
}

size_t VnetControlCount() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return n.controls.size();
}

uint32_t VnetControlCode(size_t index) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return index < n.controls.size() ? n.controls[index] : 0;
}

size_t VnetMisuseCount() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return n.misuses;
}

size_t VnetDeliveredCount() {
    return TrafficCount(&Network::delivered);
}

bool VnetDelivered(size_t index, VnetLogEntry* entry) {
    return TrafficEntry(&Network::delivered, index, entry);
}

// Both logs under the one lock: a message logged after another has the
// higher order, whichever thread logged either.
bool VnetNextTraffic(size_t* next, VnetLogEntry* entry, bool* fromProgram) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    if (*next > n.logged)
        *next = 0; // cleared since the last call
    const VnetLogEntry* out = FirstFrom(n.written, *next);
    const VnetLogEntry* in = FirstFrom(n.delivered, *next);
    if (!out && !in)
        return false;
    *fromProgram = out && (!in || out->order < in->order);
    *entry = *fromProgram ? *out : *in;
    *next = entry->order + 1;
    return true;
}

void VnetSubmit(int iface, const uint8_t* message, size_t length) {
    Network& n = Net();
    Arrivals arrivals;
    void (*hook)(int);
    {
        std::lock_guard<PlatMutex> guard(n.lock);
        if (!ValidInterface(n, iface) || !message || length == 0)
            return;
        Process(n, iface, message, length, arrivals);
        hook = n.hook;
    }
    RunHook(hook, arrivals);
}

bool VnetTake(int iface, uint8_t* message, size_t* length) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    Message m;
    if (!ValidInterface(n, iface) || !Take(n, iface, &m))
        return false;
    std::memcpy(message, m.bytes, m.length);
    *length = m.length;
    return true;
}

void VnetSetArrivalHook(void (*hook)(int iface)) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    n.hook = hook;
}

void VnetInstallDemo() {
    VnetReset();
    VnetAddInterface("VNI1", 0);
    struct DemoNode {
        uint8_t id[6];
        uint8_t programId[8];
        const char* location;
    };
    static const DemoNode demoNodes[] = {
        {{0x05, 0x01, 0x8A, 0x3C, 0x1F, 0x00},
         {0x9F, 0xFF, 0xFF, 0x05, 0x00, 0x01, 0x04, 0x01},
         "HALL 1"},
        {{0x05, 0x01, 0x8A, 0x3C, 0x22, 0x00},
         {0x9F, 0xFF, 0xFF, 0x05, 0x00, 0x01, 0x04, 0x01},
         "ROOM12"},
        {{0x04, 0xB7, 0x21, 0x6E, 0x0D, 0x00},
         {0x80, 0x00, 0x0C, 0x50, 0x3C, 0x03, 0x04, 0x10},
         "LAB 3"},
        {{0x17, 0x42, 0xC0, 0x91, 0x5A, 0x00},
         {0x90, 0x00, 0x01, 0x0A, 0x14, 0x05, 0x04, 0x22},
         "STORE"},
    };
    for (const DemoNode& node : demoNodes)
        VnetAddNode(node.id, node.programId, node.location);
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    // One read and one write take about 130 ms on a twisted-pair channel.
    n.faults.responseDelayMs = 60;
    n.faults.realisticRetries = true;
}

VnetFaults VnetGetFaults() {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    return n.faults;
}

void VnetSetFaults(const VnetFaults& faults) {
    Network& n = Net();
    std::lock_guard<PlatMutex> guard(n.lock);
    n.faults = faults;
}

VnetFaults* VnetFaultControls() {
    return &Net().faults;
}
