// The session log and the fatal-error exit.
//
// The log is a text file beside the executable, created (or emptied) by the
// first line a process writes and flushed after every line. Like the trace it
// is written with one WriteFile per line and no lock of ours, so a batch worker
// terminated in the middle of a line cannot leave the log unusable for the
// user interface thread or for later runs.
#include "diag/diag.h"
#include "tolvane.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char LogPath[1024];

namespace {

enum class LogState { NotYetOpen, Open, Closed };

HANDLE SessionLogFile = INVALID_HANDLE_VALUE;
volatile LogState SessionLogState = LogState::NotYetOpen;

// Appends one line to the open log, ending it with CR LF as text mode would.
// The bytes go to the system in one call, so the line is in the file (and
// visible to any reader) when this returns.
void WriteLogLine(const char* text)
{
    char line[1024 + 2];
    std::size_t len = std::strlen(text);
    if (len > 1023)
        len = 1023;
    std::memcpy(line, text, len);
    line[len] = '\r';
    line[len + 1] = '\n';
    DWORD written = 0;
    WriteFile(SessionLogFile, line, static_cast<DWORD>(len + 2), &written, nullptr);
}

} // namespace

// Rebuilds LogPath from the executable's full path and traces it. A module
// path too long for the buffer (or for the suffix) leaves LogPath empty, so the
// open fails and the lines go to standard output instead of to a cut path.
void MakeLogPath()
{
    char module[sizeof LogPath];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    if (n == 0 || n >= sizeof module) {
        LogPath[0] = '\0';
    } else {
        module[n] = '\0';
        BuildLogPath(module, LogPath, sizeof LogPath);
    }
    Trace("Using Log File: %s\n", LogPath);
}

void OpenSessionLog()
{
    MakeLogPath();
    if (SessionLogState != LogState::NotYetOpen)
        return;
    if (LogPath[0] == '\0')
        return;
    HANDLE file = CreateFileA(LogPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return;
    SessionLogFile = file;
    SessionLogState = LogState::Open;
}

void CloseSessionLog()
{
    if (SessionLogState != LogState::Open)
        return;
    SessionLogState = LogState::Closed;
    CloseHandle(SessionLogFile);
    SessionLogFile = INVALID_HANDLE_VALUE;
}

void LogMessage(const char* format, ...)
{
    if (SessionLogState == LogState::NotYetOpen)
        OpenSessionLog();

    char text[1024];
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    if (n < 0)
        text[0] = '\0';
    text[sizeof text - 1] = '\0';

    switch (SessionLogState) {
    case LogState::Open:
        WriteLogLine(text);
        break;
    case LogState::NotYetOpen:
        Trace("*: %s\n", text);
        break;
    case LogState::Closed:
        break;
    }
}

void FatalError(const char* message)
{
    LogMessage("%s", message);
    CloseSessionLog();

    char box[256];
    FormatText(box, sizeof box, "An Error Occurred:\n\n%s\n\nThis program will now terminate.", message);
    // During the dialog's own initialisation MainDialog is not set yet, so the
    // box then has no owner.
    MessageBoxA(MainDialog, box, "Error", MB_OK);

    LogMessage("%s", message);
    std::exit(-1);
}
