// The session log and the fatal-error exit.
//
// The log is a text file beside the executable, created (or emptied) by the
// first Start of a process, which refuses to begin a run without it, or by an
// earlier line written outside a run (a fatal error during start-up); it is
// flushed after every line. Outside a run a log that cannot be opened is
// tried again for every line, which goes to standard output meanwhile. Like
// the trace it is written with one WriteFile per line and no lock of ours, so
// a batch worker terminated in the middle of a line cannot leave the log
// unusable for the user interface thread or for later runs.
#include "diag/diag.h"
#include "diag/logpath.h"
#include "batch/stop.h"
#include "tolvane.h"

#include <windows.h>

#include <atomic>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

char LogPath[1024];

namespace {

enum class LogState { NotYetOpen, Open, Closed };

// The state is published only after the handle is stored (release), and read
// before the handle (acquire): a thread killed between the two can never leave
// the log "open" without its handle.
std::atomic<HANDLE> SessionLogFile{INVALID_HANDLE_VALUE};
std::atomic<LogState> SessionLogState{LogState::NotYetOpen};

LogState CurrentLogState()
{
    return SessionLogState.load(std::memory_order_acquire);
}

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
    WriteFile(SessionLogFile.load(std::memory_order_relaxed), line, static_cast<DWORD>(len + 2), &written, nullptr);
}

} // namespace

// Any thread; the text is cut to the caller's buffer.
void SystemErrorText(unsigned long error, char* out, std::size_t outSize)
{
    if (out == nullptr || outSize == 0)
        return;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, out,
                             static_cast<DWORD>(outSize), nullptr);
    if (n >= outSize)
        n = static_cast<DWORD>(outSize - 1);
    out[n] = '\0';
    if (TrimSystemText(out) == 0)
        FormatText(out, outSize, "system error %lu", static_cast<unsigned long>(error));
}

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

// Opens the log once per process; a failed open leaves it not yet open, so the
// next line (or the next Start) tries again. The system's error code of a
// failed open is returned so that Start can tell the user why; a path that
// did not fit LogPath counts as a name too long.
DWORD OpenSessionLog()
{
    MakeLogPath();
    if (CurrentLogState() != LogState::NotYetOpen)
        return ERROR_SUCCESS;
    if (LogPath[0] == '\0')
        return ERROR_FILENAME_EXCED_RANGE;
    HANDLE file = CreateFileA(LogPath, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        return error != ERROR_SUCCESS ? error : ERROR_OPEN_FAILED;
    }
    SessionLogFile.store(file, std::memory_order_relaxed);
    SessionLogState.store(LogState::Open, std::memory_order_release);
    return ERROR_SUCCESS;
}

// Start opens the log on the user interface thread before any worker exists,
// so a night never begins with a log that cannot be written: a folder under
// Program Files (the manifest asks for no elevation, so Windows does not
// redirect the write into a virtual store, it refuses it) or one guarded by
// Controlled folder access fails here, with the system's reason, instead of
// losing every line of the run to standard output.
bool OpenSessionLogForRun(char* why, std::size_t whySize)
{
    if (CurrentLogState() != LogState::NotYetOpen)
        return true;
    DWORD error = OpenSessionLog();
    if (error == ERROR_SUCCESS)
        return true;
    char reason[512];
    SystemErrorText(error, reason, sizeof reason);
    FormatText(why, whySize, kLogRefusalFormat, LogPath, reason);
    Trace("Session log not writable: error %lu\n", static_cast<unsigned long>(error));
    return false;
}

void CloseSessionLog()
{
    if (CurrentLogState() != LogState::Open)
        return;
    SessionLogState.store(LogState::Closed, std::memory_order_release);
    HANDLE file = SessionLogFile.load(std::memory_order_relaxed);
    SessionLogFile.store(INVALID_HANDLE_VALUE, std::memory_order_relaxed);
    CloseHandle(file);
}

void LogMessage(const char* format, ...)
{
    if (CurrentLogState() == LogState::NotYetOpen)
        OpenSessionLog();

    char text[1024];
    va_list args;
    va_start(args, format);
    FormatTextV(text, sizeof text, format, args);
    va_end(args);

    switch (CurrentLogState()) {
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

namespace {

// The thread that is ending the process through FatalError, or 0.
std::atomic<DWORD> FatalThread{0};
std::atomic<void (*)()> FatalPrologue{nullptr};

// The threads inside one of Tolvane's own boxes (at most the user interface
// thread and the batch worker, with room to spare).
std::atomic<DWORD> OwnBoxThreads[4];

// A second thread that meets a fatal error while the first one is ending the
// process: it waits for the end, serving its messages so that the dialog of
// the user interface thread stays alive until the box is answered.
[[noreturn]] void WaitForProcessEnd()
{
    // The batch worker has nothing more to do: the fatal error's first step
    // asked it to stop, and it leaves here.
    WorkerCheckpoint();
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
    }
}

} // namespace

void SetFatalPrologue(void (*prologue)())
{
    FatalPrologue.store(prologue, std::memory_order_release);
}

int ShowOwnBox(HWND owner, const char* text, const char* caption, UINT style)
{
    DWORD self = GetCurrentThreadId();
    std::atomic<DWORD>* slot = nullptr;
    for (auto& s : OwnBoxThreads) {
        DWORD none = 0;
        if (s.compare_exchange_strong(none, self)) {
            slot = &s;
            break;
        }
    }
    int answer = MessageBoxA(owner, text, caption, style);
    if (slot != nullptr)
        slot->store(0);
    return answer;
}

bool ThreadInOwnBox(DWORD threadId)
{
    for (auto& s : OwnBoxThreads)
        if (threadId != 0 && s.load() == threadId)
            return true;
    return false;
}

void FatalError(const char* message)
{
    DWORD none = 0;
    DWORD self = GetCurrentThreadId();
    if (!FatalThread.compare_exchange_strong(none, self) && none != self)
        WaitForProcessEnd();
    if (void (*prologue)() = FatalPrologue.exchange(nullptr, std::memory_order_acq_rel))
        prologue();

    LogMessage("%s", message);
    CloseSessionLog();

    char box[256];
    FormatText(box, sizeof box, "An Error Occurred:\n\n%s\n\nThis program will now terminate.", message);
    // During the dialog's own initialisation MainDialog is not set yet, so the
    // box then has no owner.
    ShowOwnBox(MainDialog, box, "Error", MB_OK);

    // Once more, on purpose: with the log closed above the line is dropped;
    // with a log that could never be opened it is one more attempt to open
    // it, and otherwise goes to standard output a second time.
    LogMessage("%s", message);
    std::exit(-1);
}
