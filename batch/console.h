// The batch tool's own seam: its console, its two files (the plan it reads
// and the record it writes), the local time and a stop asked for by the
// operator. batch/console_win32.cpp in the executables; the host tests link
// their own, with files in memory.
#pragma once
#include "batch/record.h"
#include <cstddef>

// Text as it is (line ends included) on the standard output or the standard
// error, handed on at once.
void ConsoleOut(const char* text);
void ConsoleError(const char* text);

enum class FileRead { Read, TooLarge, Failed };
// Reads a whole file into buffer; TooLarge when it holds more than capacity bytes.
FileRead ReadWholeFile(const char* path, char* buffer, size_t capacity, size_t* length);

enum class RecordOpened { Opened, Exists, Failed };
// Creates the record as a new file: Exists (and nothing changed) when a file
// of that name is there already, unless `replace`. The check and the creation
// are one step of the file system, so no other program can slip a file in
// between.
RecordOpened CreateRecordFile(const char* path, bool replace);
// Appends one line to the record (its line end added) and hands it to the
// file system before it returns, so that the record is whole up to this line
// whatever happens next. True when there is no record; false when the line
// could not be written.
bool AppendRecordLine(const char* text);
void CloseRecordFile();

LocalTime CurrentLocalTime();

// True once the operator asked the run to stop (Ctrl+C, Ctrl+Break).
bool StopRequested();

// Windows only (main_win32.cpp): from now on Ctrl+C, Ctrl+Break and closing
// the console ask the run to stop instead of ending the process; and, at the
// end, the run is over, so that a close of the console may end the process.
void WatchForStop();
void RunOver();
