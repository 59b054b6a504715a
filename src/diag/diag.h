// Diagnostics: the console trace, the session log and the fatal-error exit.
#pragma once

#include "diag/text.h"

#include <windows.h>

#include <cstddef>

// Writes one formatted trace line to standard output (no prefix, no time
// stamp). The format brings its own line end, if any.
void Trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Builds the session log's path from the executable's full path.
void MakeLogPath();
// Opens the session log once, on the first line a process writes or at
// Start. ERROR_SUCCESS when it is open (or was closed for good), else the
// system's error code of the failed open; it then stays not yet open.
DWORD OpenSessionLog();
// Opens the session log for a run (user interface thread, at Start, before
// the worker exists). True when it is open; false when it cannot be written,
// with the "Warning" text that names the path and the system's reason in
// `why` (whySize bytes; kLogRefusalSize is enough).
bool OpenSessionLogForRun(char* why, std::size_t whySize);
// Closes the session log for good.
void CloseSessionLog();

// The system's text for an error code in the user's language, without its
// closing line end and full stop, to stand inside a sentence; "system error
// <n>" when the system has no text for it.
void SystemErrorText(unsigned long error, char* out, std::size_t outSize);
// Appends one formatted line to the session log and flushes it.
void LogMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Logs the message, shows it in the "Error" box and ends the process with -1.
// The first thread to call it does so; a second thread that calls it
// meanwhile waits (serving its messages) for the process to end.
[[noreturn]] void FatalError(const char* message);
// A function FatalError calls first, before the message is logged, while a
// run is in progress (the run's closing log line); none to clear it.
void SetFatalPrologue(void (*prologue)());

// Shows one of Tolvane's own message boxes (MessageBoxA) and marks the
// calling thread as inside it until it is answered: a thread in one of its
// own boxes must never be terminated, or the box's owner stays disabled.
int ShowOwnBox(HWND owner, const char* text, const char* caption, UINT style);
// Whether that thread is inside one of Tolvane's own boxes now.
bool ThreadInOwnBox(DWORD threadId);
