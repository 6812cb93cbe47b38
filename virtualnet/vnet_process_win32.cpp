// vnet.exe: the virtual network as a process of its own, behind the virtual
// interface driver (vnic.sys). What the program writes to the driver's device
// is taken from the driver's control path and handed to the virtual network;
// what the network has for the program is injected back. The panel window
// shows the nodes and the traffic, and a line protocol on stdin/stdout lets a
// test or a person drive the network from outside (see Usage below).
#include "driver/vnic_ioctl.h"
#include "platform/device.h"
#include "virtualnet/decode.h"
#include "virtualnet/panel.h"
#include "virtualnet/vnet.h"
#include <windows.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

static const char Usage[] =
    "usage: vnet [--device VNIC0] [--no-panel] [--help]\n"
    "commands on stdin, one per line; every answer ends with \"ok\" or \"error ...\":\n"
    "  nodes                 node <n> <ID> <location>, in hexadecimal\n"
    "  pin <n>               press node n's service pin\n"
    "  mem <n>               mem <n> <location bytes>\n"
    "  setloc <n> <hex>      set node n's 6 location bytes\n"
    "  addnode <ID> <hex>    a new node with that ID (12 hex digits) and location\n"
    "                        bytes; answers node <n>\n"
    "  log [from]            <index> <microseconds> <w|r> <bytes> <name>: w written\n"
    "                        by the program, r injected for it to read; the name\n"
    "                        (Read Memory <ID>, write done, ...) ends the line\n"
    "  clearlog              forget the traffic log\n"
    "  fault <name> <value>  delay (ms), drop, retries, readfail, writefail, udfail\n"
    "  flood <n>             n (1..200) unrelated messages from other nodes at once\n"
    "  refuse <f> on|off     make the driver fail (or serve again) the older family's\n"
    "                        function f: 1 open, 2 close, 7 set event, 10 read, 11 write\n"
    "  counters              the driver's counters, with the older family's requests\n"
    "                        by function and the device indexes in their codes\n"
    "  quit\n";

static const int LogCapacity = 16384;
// Within what the driver queues for the program, with room for the answers.
static const long FloodLimit = 200;

// One message on the driver's side of the wire, with a microsecond time of
// the performance counter (the same clock in every process of the machine).
struct TrafficRecord {
    long long microseconds;
    char direction; // 'w' taken from the program's writes, 'r' injected for it to read
    unsigned char length;
    unsigned char bytes[VNIC_MESSAGE_MAX];
};

static TrafficRecord trafficLog[LogCapacity];
static long trafficCount; // records ever made; the log keeps the last LogCapacity
static CRITICAL_SECTION logLock;
// Keeps injections in the order in which the network made its answers.
static CRITICAL_SECTION injectLock;

static HANDLE takeHandle = INVALID_HANDLE_VALUE;   // overlapped: the pending take
static HANDLE injectHandle = INVALID_HANDLE_VALUE; // synchronous: inject, counters
static HANDLE stopEvent;
static HANDLE seamHandle; // keeps the network's interface open for service pins
static const int NetworkInterface = 0;
static LARGE_INTEGER counterFrequency;

static long long Microseconds() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart / counterFrequency.QuadPart * 1000000 +
           now.QuadPart % counterFrequency.QuadPart * 1000000 / counterFrequency.QuadPart;
}

static void Record(char direction, const unsigned char* bytes, size_t length) {
    EnterCriticalSection(&logLock);
    TrafficRecord& record = trafficLog[trafficCount % LogCapacity];
    record.microseconds = Microseconds();
    record.direction = direction;
    record.length = static_cast<unsigned char>(length);
    std::memcpy(record.bytes, bytes, length);
    trafficCount++;
    LeaveCriticalSection(&logLock);
}

// The network has something for the program: every waiting message goes to
// the driver. Runs on whichever thread made the answer.
static void OnNetworkArrival(int iface) {
    if (iface != NetworkInterface)
        return;
    EnterCriticalSection(&injectLock);
    uint8_t message[VnetMessageSize];
    size_t length = 0;
    while (VnetTake(iface, message, &length)) {
        if (length == 0 || length > VNIC_MESSAGE_MAX)
            continue;
        Record('r', message, length);
        DWORD count = 0;
        if (!DeviceIoControl(injectHandle, IOCTL_VNIC_INJECT, message, DWORD(length), nullptr, 0,
                             &count, nullptr)) {
            std::fprintf(stderr, "vnet: the driver refused a message (error %lu)\n",
                         GetLastError());
        }
    }
    LeaveCriticalSection(&injectLock);
}

// Takes what the program writes, one message at a time, until stopped or
// until the driver goes away.
static DWORD WINAPI TakeThread(void*) {
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (;;) {
        unsigned char message[VNIC_MESSAGE_MAX];
        DWORD count = 0;
        ResetEvent(overlapped.hEvent);
        BOOL done = DeviceIoControl(takeHandle, IOCTL_VNIC_TAKE, nullptr, 0, message,
                                    sizeof message, &count, &overlapped);
        if (!done && GetLastError() == ERROR_IO_PENDING) {
            HANDLE waits[2] = {overlapped.hEvent, stopEvent};
            if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
                CancelIoEx(takeHandle, &overlapped);
                GetOverlappedResult(takeHandle, &overlapped, &count, TRUE);
                break;
            }
            done = GetOverlappedResult(takeHandle, &overlapped, &count, FALSE);
        }
        if (!done) {
            std::fprintf(stderr, "vnet: the driver's control path ended (error %lu)\n",
                         GetLastError());
            break;
        }
        if (count == 0)
            continue;
        Record('w', message, count);
        VnetSubmit(NetworkInterface, message, count);
    }
    CloseHandle(overlapped.hEvent);
    return 0;
}

// Hexadecimal digits with no spaces between the pairs, unlike the program's
// form (FormatHexPairs): on the command protocol an ID or a location string
// is one word, the same that setloc reads back, so scripts split lines at
// spaces.
static void PrintHex(const unsigned char* bytes, size_t length) {
    for (size_t i = 0; i < length; i++)
        std::printf("%02X", bytes[i]);
}

static bool ParseHex(const char* text, unsigned char* bytes, size_t length) {
    for (size_t i = 0; i < length; i++) {
        unsigned value = 0;
        if (std::sscanf(text + 2 * i, "%2x", &value) != 1)
            return false;
        bytes[i] = static_cast<unsigned char>(value);
    }
    return text[2 * length] == '\0';
}

static bool ValidNode(int node) {
    return node >= 0 && node < VnetNodeCount();
}

static void PrintLog(long from) {
    EnterCriticalSection(&logLock);
    long first = trafficCount > LogCapacity ? trafficCount - LogCapacity : 0;
    for (long index = from > first ? from : first; index < trafficCount; index++) {
        const TrafficRecord& record = trafficLog[index % LogCapacity];
        char name[VnetDescriptionSize];
        VnetDescribeMessage(record.bytes, record.length, name, sizeof name);
        std::printf("%ld %lld %c ", index, record.microseconds, record.direction);
        PrintHex(record.bytes, record.length);
        std::printf(" %s\n", name);
    }
    LeaveCriticalSection(&logLock);
}

static bool SetFault(const char* name, long value) {
    VnetFaults faults = VnetGetFaults();
    if (std::strcmp(name, "delay") == 0)
        faults.responseDelayMs = static_cast<uint32_t>(value);
    else if (std::strcmp(name, "drop") == 0)
        faults.dropResponses = value != 0;
    else if (std::strcmp(name, "retries") == 0)
        faults.realisticRetries = value != 0;
    else if (std::strcmp(name, "readfail") == 0)
        faults.readMemoryFailureCode = value != 0;
    else if (std::strcmp(name, "writefail") == 0)
        faults.writeMemoryFailureCode = value != 0;
    else if (std::strcmp(name, "udfail") == 0)
        faults.updateDomainFails = value != 0;
    else
        return false;
    VnetSetFaults(faults);
    return true;
}

// Network variable updates from nodes that are not on the panel: traffic the
// program must pass over while it waits for its answers.
static void Flood(long count) {
    for (long i = 0; i < count; i++) {
        uint8_t m[20] = {};
        m[0] = 0x18; // incoming
        m[1] = 18;
        m[2] = 0x60;
        m[4] = 3;
        m[5] = 0x01; // source: subnet 1, nodes 64..127
        m[6] = 0x01;
        m[7] = static_cast<uint8_t>(64 + i % 64);
        m[16] = static_cast<uint8_t>(0x80 | (i % 16)); // a variable's selector
        m[17] = static_cast<uint8_t>(i);
        m[18] = static_cast<uint8_t>(i >> 8);
        m[19] = 0x5A;
        VnetInjectMessage(NetworkInterface, m, sizeof m);
    }
}

// One command line; false when it asks to quit.
static bool RunCommand(char* line) {
    char word[32] = "";
    char text[64] = "";
    long number = 0;
    int fields = std::sscanf(line, "%31s %ld %63s", word, &number, text);
    if (fields < 1)
        return true;
    const char* error = nullptr;
    if (std::strcmp(word, "quit") == 0) {
        std::printf("ok\n");
        std::fflush(stdout);
        return false;
    } else if (std::strcmp(word, "nodes") == 0) {
        for (int node = 0; node < VnetNodeCount(); node++) {
            uint8_t id[6], location[6];
            VnetNodeId(node, id);
            VnetNodeLocation(node, location);
            std::printf("node %d ", node);
            PrintHex(id, 6);
            std::printf(" ");
            PrintHex(location, 6);
            std::printf("\n");
        }
    } else if (std::strcmp(word, "pin") == 0 || std::strcmp(word, "mem") == 0) {
        if (fields < 2 || !ValidNode(int(number))) {
            error = "no such node";
        } else if (word[0] == 'p') {
            VnetPressServicePin(int(number));
        } else {
            uint8_t location[6];
            VnetNodeLocation(int(number), location);
            std::printf("mem %ld ", number);
            PrintHex(location, 6);
            std::printf("\n");
        }
    } else if (std::strcmp(word, "setloc") == 0) {
        uint8_t location[6];
        if (fields < 3 || !ValidNode(int(number)) || !ParseHex(text, location, 6))
            error = "usage: setloc <node> <12 hex digits>";
        else
            VnetSetNodeLocation(int(number), location);
    } else if (std::strcmp(word, "addnode") == 0) {
        // A program ID of the demo's nodes.
        static const uint8_t programId[8] = {0x9F, 0xFF, 0xFF, 0x05, 0x00, 0x01, 0x04, 0x01};
        char idText[16] = "";
        uint8_t id[6], location[6];
        int node = -1;
        if (std::sscanf(line, "%*s %15s %63s", idText, text) != 2 || !ParseHex(idText, id, 6) ||
            !ParseHex(text, location, 6))
            error = "usage: addnode <12 hex digits> <12 hex digits>";
        else if ((node = VnetAddNode(id, programId, nullptr)) < 0)
            error = "the network holds no more nodes";
        else {
            VnetSetNodeLocation(node, location);
            std::printf("node %d\n", node);
        }
    } else if (std::strcmp(word, "log") == 0) {
        PrintLog(fields >= 2 ? number : 0);
    } else if (std::strcmp(word, "clearlog") == 0) {
        EnterCriticalSection(&logLock);
        trafficCount = 0;
        LeaveCriticalSection(&logLock);
        VnetClearLog();
    } else if (std::strcmp(word, "fault") == 0) {
        char name[32] = "";
        long value = 0;
        if (std::sscanf(line, "%*s %31s %ld", name, &value) != 2 || !SetFault(name, value))
            error = "usage: fault delay|drop|retries|readfail|writefail|udfail <value>";
    } else if (std::strcmp(word, "flood") == 0) {
        if (fields < 2 || number < 1 || number > FloodLimit)
            error = "usage: flood <1..200>";
        else
            Flood(number);
    } else if (std::strcmp(word, "refuse") == 0) {
        VnicRefusal refusal = {unsigned(number), std::strcmp(text, "on") == 0};
        DWORD count = 0;
        if (fields < 3 || !VNIC_OLDER_FUNCTION(refusal.function) ||
            (!refusal.refused && std::strcmp(text, "off") != 0))
            error = "usage: refuse 1|2|7|10|11 on|off";
        else if (!DeviceIoControl(injectHandle, IOCTL_VNIC_REFUSE, &refusal, sizeof refusal,
                                  nullptr, 0, &count, nullptr))
            error = "the driver does not answer";
    } else if (std::strcmp(word, "counters") == 0) {
        VnicCounters c = {};
        DWORD count = 0;
        if (!DeviceIoControl(injectHandle, IOCTL_VNIC_COUNTERS, nullptr, 0, &c, sizeof c, &count,
                             nullptr)) {
            error = "the driver does not answer";
        } else {
            const unsigned* older = c.olderRequests;
            std::printf("counters open %u toProgram %u fromProgram %u arrivalReads %u "
                        "takeRequests %u writes %u reads %u emptyReads %u cancelled %u "
                        "older open %u close %u setevent %u read %u write %u "
                        "lowestIndex %u highestIndex %u attached %u signals %u\n",
                        c.openFiles, c.toProgram, c.fromProgram, c.arrivalReads, c.takeRequests,
                        c.writes, c.reads, c.emptyReads, c.cancelled, older[VNIC_OLDER_OPEN],
                        older[VNIC_OLDER_CLOSE], older[VNIC_OLDER_SET_EVENT],
                        older[VNIC_OLDER_READ], older[VNIC_OLDER_WRITE], c.lowestIndex,
                        c.highestIndex, c.attached, c.signals);
        }
    } else {
        error = "unknown command (try: nodes pin mem setloc addnode log clearlog fault flood "
                "refuse counters quit)";
    }
    std::printf(error ? "error %s\n" : "ok\n", error);
    std::fflush(stdout);
    return true;
}

// Commands until "quit" or the end of stdin. Without a panel either one ends
// the process; with the panel, the end of stdin leaves it to the panel.
static DWORD WINAPI CommandThread(void* panelShown) {
    char line[256];
    bool quit = false;
    while (!quit && std::fgets(line, sizeof line, stdin) != nullptr)
        quit = !RunCommand(line);
    if (quit || panelShown == nullptr)
        SetEvent(stopEvent);
    return 0;
}

int main(int argc, char** argv) {
    const char* device = "VNIC0";
    bool panel = true;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--device") == 0 && i + 1 < argc) {
            device = argv[++i];
        } else if (std::strcmp(argv[i], "--no-panel") == 0) {
            panel = false;
        } else if (std::strcmp(argv[i], "--help") == 0) {
            std::fputs(Usage, stdout);
            return 0;
        } else {
            std::fputs(Usage, stderr);
            return 2;
        }
    }
    QueryPerformanceFrequency(&counterFrequency);
    InitializeCriticalSection(&logLock);
    InitializeCriticalSection(&injectLock);
    stopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    char path[64];
    std::snprintf(path, sizeof path, "\\\\.\\%s", device);
    takeHandle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    injectHandle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (takeHandle == INVALID_HANDLE_VALUE || injectHandle == INVALID_HANDLE_VALUE) {
        std::fprintf(stderr, "vnet: cannot open %s: is the vnic driver running?\n", path);
        return 1;
    }
    DWORD count = 0;
    DeviceIoControl(injectHandle, IOCTL_VNIC_FLUSH, nullptr, 0, nullptr, 0, &count, nullptr);

    // The demo's nodes and timing; answers go to the driver, not to handles.
    VnetInstallDemo();
    VnetSetArrivalHook(OnNetworkArrival);
    seamHandle = PlatOpenDevice("\\\\.\\VNI1", false);

    HWND panelWindow = panel ? CreateNetworkPanel(GetModuleHandleA(nullptr), 40, 40) : nullptr;
    HANDLE taker = CreateThread(nullptr, 0, TakeThread, nullptr, 0, nullptr);
    CreateThread(nullptr, 0, CommandThread, panelWindow, 0, nullptr);
    std::fprintf(stderr, "vnet: the virtual network is on %s\n", path);

    // The panel's messages, until "quit" or until the panel is closed.
    while (MsgWaitForMultipleObjects(1, &stopEvent, FALSE, INFINITE, QS_ALLINPUT) !=
           WAIT_OBJECT_0) {
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        if (panelWindow != nullptr && !IsWindow(panelWindow))
            break;
    }
    SetEvent(stopEvent);
    WaitForSingleObject(taker, 5000);
    VnetSetArrivalHook(nullptr);
    PlatCloseDevice(seamHandle);
    CloseHandle(injectHandle);
    CloseHandle(takeHandle);
    // The command thread may sit in a read of stdin: ExitProcess ends it.
    std::fflush(stdout);
    ExitProcess(0);
}
