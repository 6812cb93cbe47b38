// Starting vnet.exe and locstr.exe, vnet.exe's command protocol, and operating
// locstr.exe's window from another process.
#include "tests/e2e/e2e_support.h"
#include "resources/resource_ids.h"
#include "resources/strings.h"
#include <cstdio>
#include <cstdlib>
#include <cstring>

std::string ProgramPath(const char* variable) {
    const char* value = std::getenv(variable);
    if (value == nullptr)
        return "";
    std::string path = value;
    if (!path.empty() && path[0] == '/')
        path = "Z:" + path; // Wine's drive for the Unix root
    for (char& c : path)
        if (c == '/')
            c = '\\';
    return path;
}

long long NowMicroseconds() {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return now.QuadPart / frequency.QuadPart * 1000000 +
           now.QuadPart % frequency.QuadPart * 1000000 / frequency.QuadPart;
}

unsigned CountHandles(HANDLE process, uintptr_t limit) {
    unsigned count = 0;
    for (uintptr_t value = 4; value < limit; value += 4) {
        HANDLE copy = nullptr;
        if (DuplicateHandle(process, reinterpret_cast<HANDLE>(value), GetCurrentProcess(), &copy, 0,
                            FALSE, DUPLICATE_SAME_ACCESS)) {
            CloseHandle(copy);
            count++;
        }
    }
    return count;
}

bool VnetProcess::Start(const std::string& exe, const char* arguments) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE childIn = nullptr, childOut = nullptr;
    if (!CreatePipe(&childIn, &toChild, &inherit, 0) ||
        !CreatePipe(&fromChild, &childOut, &inherit, 0))
        return false;
    SetHandleInformation(toChild, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(fromChild, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = childIn;
    startup.hStdOutput = childOut;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    std::string command = "\"" + exe + "\" " + arguments;
    // A group of its own ignores Ctrl+C: one that a test sends to a program
    // on the same console does not end the network.
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE,
                                  CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup, &process);
    CloseHandle(childIn);
    CloseHandle(childOut);
    // The first answer tells that the network is up and connected to the driver.
    return started && Command("nodes");
}

bool VnetProcess::Command(const std::string& line, std::vector<std::string>* answer,
                          DWORD timeoutMs) {
    if (answer)
        answer->clear();
    std::string text = line + "\n";
    DWORD written = 0;
    if (!WriteFile(toChild, text.data(), DWORD(text.size()), &written, nullptr))
        return false;
    DWORD start = GetTickCount();
    for (;;) {
        size_t end = pending.find('\n');
        if (end != std::string::npos) {
            std::string got = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (!got.empty() && got.back() == '\r')
                got.pop_back();
            if (got == "ok")
                return true;
            if (got.compare(0, 6, "error ") == 0)
                return false;
            if (answer)
                answer->push_back(got);
            continue;
        }
        DWORD available = 0;
        if (!PeekNamedPipe(fromChild, nullptr, 0, nullptr, &available, nullptr))
            return false; // vnet.exe has gone
        if (available == 0) {
            if (GetTickCount() - start > timeoutMs)
                return false;
            Sleep(1);
            continue;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(fromChild, buffer, sizeof buffer, &got, nullptr))
            return false;
        pending.append(buffer, got);
    }
}

bool VnetProcess::Quit() {
    if (process.hProcess == nullptr)
        return true;
    Command("quit", nullptr, 5000);
    bool ended = WaitForSingleObject(process.hProcess, 10000) == WAIT_OBJECT_0;
    if (!ended)
        TerminateProcess(process.hProcess, 1);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    process = {};
    return ended;
}

VnetProcess::~VnetProcess() {
    Quit();
    if (toChild)
        CloseHandle(toChild);
    if (fromChild)
        CloseHandle(fromChild);
}

std::vector<unsigned char> Bytes(const char* hex) {
    std::vector<unsigned char> bytes;
    unsigned value = 0;
    int used = 0;
    while (std::sscanf(hex, " %2x%n", &value, &used) == 1) {
        bytes.push_back(static_cast<unsigned char>(value));
        hex += used;
    }
    return bytes;
}

std::string Hex(const std::vector<unsigned char>& bytes) {
    std::string text;
    char pair[4];
    for (unsigned char b : bytes) {
        std::snprintf(pair, sizeof pair, text.empty() ? "%02X" : " %02X", b);
        text += pair;
    }
    return text;
}

bool ReadTraffic(VnetProcess& vnet, long from, std::vector<Traffic>* traffic) {
    std::vector<std::string> lines;
    traffic->clear();
    if (!vnet.Command("log " + std::to_string(from), &lines))
        return false;
    for (const std::string& line : lines) {
        Traffic t;
        char direction = 0;
        char hex[2 * 66 + 1] = "";
        if (std::sscanf(line.c_str(), "%ld %lld %c %132s", &t.index, &t.microseconds, &direction,
                        hex) != 4)
            return false;
        t.direction = direction;
        for (size_t i = 0; hex[i] && hex[i + 1]; i += 2) {
            unsigned value = 0;
            std::sscanf(hex + i, "%2x", &value);
            t.bytes.push_back(static_cast<unsigned char>(value));
        }
        traffic->push_back(t);
    }
    return true;
}

bool Program::Start(const std::string& exe) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string command = "\"" + exe + "\"";
    if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    for (int waited = 0; waited < 30000; waited += 20) {
        frame = FindWindowA(STR_CLASS_NAME, nullptr);
        dialog = frame ? GetWindow(frame, GW_CHILD) : nullptr;
        if (dialog && IsWindowVisible(dialog) && Status() == STR_STATUS_IDLE)
            return true;
        if (WaitForSingleObject(process.hProcess, 20) == WAIT_OBJECT_0)
            return false;
    }
    return false;
}

std::string WindowText(HWND window) {
    char text[512] = "";
    // Wine answers for a null window (a control of a window that has gone)
    // with the desktop's text.
    if (window == nullptr || GetWindowTextA(window, text, sizeof text) <= 0)
        return "";
    return text;
}

std::string Program::Status() const {
    return WindowText(Control(IDC_STATUS));
}
std::string Program::Message() const {
    return WindowText(Control(IDC_MESSAGE));
}

std::string Program::Text(int id) const {
    char text[512] = "";
    DWORD_PTR ignored = 0;
    SendMessageTimeoutA(Control(id), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text),
                        SMTO_BLOCK, 20000, &ignored);
    return text;
}

bool Program::Click(int id) {
    // What a click does to a check box (toggle it, then BN_CLICKED to the
    // dialog), without BM_CLICK's mouse capture and focus, which another
    // window may take in between.
    HWND button = Control(id);
    LONG style = GetWindowLongA(button, GWL_STYLE) & BS_TYPEMASK;
    if (style == BS_AUTOCHECKBOX) {
        LRESULT checked = SendMessageA(button, BM_GETCHECK, 0, 0);
        SendMessageA(button, BM_SETCHECK, checked == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED, 0);
    }
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                               reinterpret_cast<LPARAM>(button), SMTO_BLOCK, 30000, &ignored) != 0;
}

void Program::PostClick(int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(Control(id)));
}

bool Program::TypeLocation(const char* text) {
    HWND ascii = Control(IDC_ASCII);
    // WM_NEXTDLGCTL moves the focus (and selects the field's text) as Tab would,
    // so what is typed replaces the field.
    SendMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(ascii), TRUE);
    SendMessageA(ascii, EM_SETSEL, 0, -1);
    SendMessageA(ascii, WM_CHAR, VK_BACK, 1);
    for (const char* c = text; *c; ++c)
        SendMessageA(ascii, WM_CHAR, static_cast<unsigned char>(*c), 1);
    // The HEX field follows only what was typed in the focused ASCII field.
    return Text(IDC_HEX) == Hex(std::vector<unsigned char>(text, text + std::strlen(text)));
}

void Program::SetText(int id, const char* text) {
    SendMessageA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

bool Program::AwaitStatus(const char* status, DWORD timeoutMs) {
    DWORD start = GetTickCount();
    while (Status() != status) {
        if (GetTickCount() - start > timeoutMs)
            return false;
        Sleep(5);
    }
    return true;
}

bool Program::Responsive() const {
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_BLOCK, 10000, &ignored) != 0;
}

long Program::Close(DWORD timeoutMs) {
    if (process.hProcess == nullptr)
        return -1;
    PostMessageA(frame, WM_CLOSE, 0, 0);
    long code = -1;
    if (WaitForSingleObject(process.hProcess, timeoutMs) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(process.hProcess, &exitCode);
        code = long(exitCode);
    } else {
        TerminateProcess(process.hProcess, 1);
        WaitForSingleObject(process.hProcess, 5000);
    }
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    process = {};
    return code;
}

Program::~Program() {
    if (process.hProcess != nullptr)
        Close();
}

static DWORD ServiceState(SC_HANDLE service) {
    SERVICE_STATUS status = {};
    return QueryServiceStatus(service, &status) ? status.dwCurrentState : 0;
}

bool DriverRunning(bool running) {
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, "vnic", SERVICE_ALL_ACCESS) : nullptr;
    bool reached = false;
    if (service) {
        DWORD wanted = running ? SERVICE_RUNNING : SERVICE_STOPPED;
        for (int i = 0; i < 200 && !reached; i++) {
            DWORD state = ServiceState(service);
            reached = state == wanted;
            if (!reached && running && state == SERVICE_STOPPED)
                StartServiceA(service, 0, nullptr);
            if (!reached && !running && state == SERVICE_RUNNING) {
                SERVICE_STATUS status;
                ControlService(service, SERVICE_CONTROL_STOP, &status);
            }
            if (!reached)
                Sleep(50);
        }
        CloseServiceHandle(service);
    }
    if (manager)
        CloseServiceHandle(manager);
    return reached;
}

bool DriverCounters(VnetProcess& vnet, VnicCounts* counts) {
    std::vector<std::string> lines;
    return vnet.Command("counters", &lines) && lines.size() == 1 &&
           std::sscanf(lines[0].c_str(),
                       "counters open %u toProgram %u fromProgram %*u arrivalReads %u "
                       "takeRequests %*u writes %*u reads %*u emptyReads %*u cancelled %*u "
                       "older open %u close %u setevent %u read %u write %u lowestIndex %u "
                       "highestIndex %u attached %u signals %u",
                       &counts->open, &counts->toProgram, &counts->arrivalReads, &counts->olderOpen,
                       &counts->olderClose, &counts->olderSetEvent, &counts->olderRead,
                       &counts->olderWrite, &counts->lowestIndex, &counts->highestIndex,
                       &counts->attached, &counts->signals) == 12;
}

bool AwaitOpenFiles(VnetProcess& vnet, unsigned open, VnicCounts* counts) {
    for (int i = 0; i < 500; i++) {
        if (DriverCounters(vnet, counts) && counts->open == open)
            return true;
        Sleep(10);
    }
    return false;
}

// Both keys go first, so no other test runs in Windows 98 mode. The interface
// is registered in both registry views: Wine, like Windows 98 itself, ignores
// the access mask of a program it reports as Windows 98, view flags and all,
// so a 32-bit program sees only the 32-bit view there.
bool Windows98Mode(const char* program, bool on) {
    const std::string modeKey = std::string("Software\\Wine\\AppDefaults\\") + program;
    const char indexedKey[] = "SOFTWARE\\Quorvane\\DeviceDrivers\\" VNIC_INDEXED_INTERFACE;
    LONG removed = RegDeleteKeyA(HKEY_CURRENT_USER, modeKey.c_str());
    if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
        return false;
    for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
        removed = RegDeleteKeyExA(HKEY_LOCAL_MACHINE, indexedKey, view, 0);
        if (removed != ERROR_SUCCESS && removed != ERROR_FILE_NOT_FOUND)
            return false;
        HKEY key = nullptr;
        if (on && RegCreateKeyExA(HKEY_LOCAL_MACHINE, indexedKey, 0, nullptr, 0,
                                  KEY_SET_VALUE | view, nullptr, &key, nullptr) != ERROR_SUCCESS)
            return false;
        LONG set = key ? RegSetValueExA(key, "device name", 0, REG_SZ,
                                        reinterpret_cast<const BYTE*>("VNIC0.34"), 9)
                       : ERROR_SUCCESS;
        if (key)
            RegCloseKey(key);
        if (set != ERROR_SUCCESS)
            return false;
    }
    return !on || RegSetKeyValueA(HKEY_CURRENT_USER, modeKey.c_str(), "Version", REG_SZ, "win98",
                                  6) == ERROR_SUCCESS;
}
