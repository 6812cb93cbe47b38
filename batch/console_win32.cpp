// The batch tool's seam on Windows: the console's two streams, the plan and
// the record through the file system, the local time, and the console's
// control events (Ctrl+C, Ctrl+Break, closing the console) turned into a
// request to stop after the node in progress.
#include "batch/console.h"
#include <windows.h>
#include <atomic>
#include <cstring>

namespace {

HANDLE record = INVALID_HANDLE_VALUE;
std::atomic<int> stopAsked{0};
HANDLE runOver; // set once the link is closed and the record complete
// Windows ends the process a few seconds after a close of the console is
// handled (5 s on the NT family); the run's end is waited for at most this.
const DWORD CloseWaitMs = 10000;
const size_t RecordLineSize = RecordRowSize + 2;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI OnConsoleControl(DWORD event) {
    if (stopAsked.exchange(1) == 0) {
        static const char notice[] = "Stopping after the node in progress...\r\n";
        DWORD written = 0;
        WriteFile(GetStdHandle(STD_ERROR_HANDLE), notice, sizeof notice - 1, &written, nullptr);
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && runOver != nullptr) {
        // The process ends when this returns: first the run, in order.
        WaitForSingleObject(runOver, CloseWaitMs);
    }
    return TRUE;
}

} // namespace

// One write per text, straight to the stream's handle, with Windows' line
// ends: the C library's text stream flushed after every line cost about 5 ms a
// line under Wine, more than a node's whole exchange.
static void WriteText(DWORD stream, const char* text) {
    char lines[2 * 512];
    size_t length = 0;
    for (; *text != '\0'; ++text) {
        if (length + 2 > sizeof lines) {
            DWORD written = 0;
            WriteFile(GetStdHandle(stream), lines, static_cast<DWORD>(length), &written, nullptr);
            length = 0;
        }
        if (*text == '\n') {
            lines[length++] = '\r';
        }
        lines[length++] = *text;
    }
    DWORD written = 0;
    if (length > 0) {
        WriteFile(GetStdHandle(stream), lines, static_cast<DWORD>(length), &written, nullptr);
    }
}

void ConsoleOut(const char* text) {
    WriteText(STD_OUTPUT_HANDLE, text);
}

void ConsoleError(const char* text) {
    WriteText(STD_ERROR_HANDLE, text);
}

FileRead ReadWholeFile(const char* path, char* buffer, size_t capacity, size_t* length) {
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return FileRead::Failed;
    }
    DWORD high = 0;
    DWORD size = GetFileSize(file, &high);
    FileRead result = FileRead::Failed;
    DWORD got = 0;
    if (size == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) {
        result = FileRead::Failed;
    } else if (high != 0 || size > capacity) {
        result = FileRead::TooLarge;
    } else if (ReadFile(file, buffer, size, &got, nullptr) && got == size) {
        *length = got;
        result = FileRead::Read;
    }
    CloseHandle(file);
    return result;
}

RecordOpened CreateRecordFile(const char* path, bool replace) {
    record = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                         replace ? CREATE_ALWAYS : CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (record != INVALID_HANDLE_VALUE) {
        return RecordOpened::Opened;
    }
    DWORD error = GetLastError();
    return error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS ? RecordOpened::Exists
                                                                       : RecordOpened::Failed;
}

bool AppendRecordLine(const char* text) {
    if (record == INVALID_HANDLE_VALUE) {
        return true;
    }
    char line[RecordLineSize + 1];
    size_t length = std::strlen(text);
    if (length > RecordLineSize - 2) {
        length = RecordLineSize - 2;
    }
    std::memcpy(line, text, length);
    std::memcpy(line + length, "\r\n", 3);
    DWORD written = 0;
    return WriteFile(record, line, static_cast<DWORD>(length + 2), &written, nullptr) &&
           written == length + 2 && FlushFileBuffers(record);
}

void CloseRecordFile() {
    if (record != INVALID_HANDLE_VALUE) {
        CloseHandle(record);
        record = INVALID_HANDLE_VALUE;
    }
}

LocalTime CurrentLocalTime() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return LocalTime{now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

bool StopRequested() {
    return stopAsked.load() != 0;
}

void WatchForStop() {
    runOver = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void RunOver() {
    if (runOver != nullptr) {
        SetEvent(runOver);
    }
}
