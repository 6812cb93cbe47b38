// Support of the end-to-end tests and the benchmark: starting vnet.exe and
// locstr.exe, speaking vnet.exe's command protocol, and operating locstr.exe's
// window from outside as a person would.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// A Windows path for a program given by a Unix path in an environment
// variable (VNET_EXE, LOCSTR_EXE); empty when the variable is not set.
std::string ProgramPath(const char* variable);

// The performance counter in microseconds, as vnet.exe stamps its log.
long long NowMicroseconds();

// A window's text ("" for a null window or none), read without a message.
std::string WindowText(HWND window);

// Handles open in another process (opened with PROCESS_DUP_HANDLE), counted
// by duplicating every handle value below limit: Wine's
// GetProcessHandleCount always reports 0. Wine hands out the lowest free
// value, so a small limit is enough for a process with a few dozen handles
// (a leak still shows as growth up to it), and far quicker.
unsigned CountHandles(HANDLE process, uintptr_t limit = 0x10000);

// vnet.exe with its stdin and stdout on pipes.
struct VnetProcess {
    PROCESS_INFORMATION process = {};
    HANDLE toChild = nullptr;
    HANDLE fromChild = nullptr;
    std::string pending; // read but not yet returned
    bool Start(const std::string& exe, const char* arguments);
    // Sends one command; the answer's lines without the final "ok". False on
    // "error ..." or when no answer comes within timeoutMs.
    bool Command(const std::string& line, std::vector<std::string>* answer = nullptr,
                 DWORD timeoutMs = 10000);
    bool Quit(); // true when it ended by itself
    ~VnetProcess();
};

// One message of vnet.exe's traffic log.
struct Traffic {
    long index;
    long long microseconds;
    char direction; // 'w' written by the program, 'r' injected for it to read
    std::vector<unsigned char> bytes;
};
bool ReadTraffic(VnetProcess& vnet, long from, std::vector<Traffic>* traffic);
std::vector<unsigned char> Bytes(const char* hexWithSpaces);
std::string Hex(const std::vector<unsigned char>& bytes);

// The unmodified locstr.exe and its FRONTAL dialog.
struct Program {
    PROCESS_INFORMATION process = {};
    HWND frame = nullptr;
    HWND dialog = nullptr;
    bool Start(const std::string& exe);
    HWND Control(int id) const { return GetDlgItem(dialog, id); }
    // Texts of static controls, read without waiting for the program's thread.
    std::string Status() const;
    std::string Message() const;
    std::string Text(int id) const;      // WM_GETTEXT: waits for the program's thread
    bool Click(int id);                  // returns when the program has handled the click
    void PostClick(int id);              // returns at once
    bool TypeLocation(const char* text); // true when the HEX field followed
    void SetText(int id, const char* text);
    // Waits until the status line shows `status`; false after timeoutMs.
    bool AwaitStatus(const char* status, DWORD timeoutMs);
    bool Responsive() const;
    // Closes the window; the exit code, or -1 when the process does not end.
    long Close(DWORD timeoutMs = 15000);
    ~Program();
};

// Wine reports Windows 98 (platform id 1) to a program named under its
// AppDefaults key with Version "win98" (program: its file name), and the
// program then makes every move with a control request. With `on` that key
// is set, and an interface VNIC_INDEXED_INTERFACE is registered, whose device
// name VNIC0.34 puts 34 in the high half of those codes: device type 0x22,
// which Wine hands to drivers (type 1 goes to its socket code). Its name
// sorts first, so the window selects it. Without, both are removed.
#define VNIC_INDEXED_INTERFACE "Virtual card 34"
bool Windows98Mode(const char* program, bool on);

// Starts or stops the vnic driver's service and waits until it got there.
bool DriverRunning(bool running);

// Some of the driver's counters, through vnet.exe's "counters".
struct VnicCounts {
    unsigned open = 0, toProgram = 0, arrivalReads = 0;
    // The older family's requests by function, the lowest and highest device
    // index in their codes, and the events attached and signalled.
    unsigned olderOpen = 0, olderClose = 0, olderSetEvent = 0, olderRead = 0, olderWrite = 0;
    unsigned lowestIndex = 0, highestIndex = 0, attached = 0, signals = 0;
};
bool DriverCounters(VnetProcess& vnet, VnicCounts* counts);
// Polls the driver until `open` files are open on it (a close reaches the
// driver a little after CloseHandle returns).
bool AwaitOpenFiles(VnetProcess& vnet, unsigned open, VnicCounts* counts);
