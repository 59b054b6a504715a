// Diagnostics: the console trace, the session log and the fatal-error exit.
#pragma once

#include "diag/text.h"

// Writes one formatted trace line to standard output (no prefix, no time
// stamp). The format brings its own line end, if any.
void Trace(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Builds the session log's path from the executable's full path.
void MakeLogPath();
// Opens the session log once, on the first line a process writes.
void OpenSessionLog();
// Closes the session log for good.
void CloseSessionLog();
// Appends one formatted line to the session log and flushes it.
void LogMessage(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
// Logs the message, shows it in the "Error" box and ends the process with -1.
[[noreturn]] void FatalError(const char* message);
