// Diagnostics: the console trace, the session log and the fatal-error exit.
#pragma once

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

// Pure rule behind MakeLogPath: the module path with everything from its last
// "." replaced by "_log.txt" (or "_log.txt" appended when it has no "."),
// written into out (outSize bytes). Returns false and leaves out empty when
// the result would not fit: a cut path could name another folder.
bool BuildLogPath(const char* modulePath, char* out, std::size_t outSize);

// Formats into buf (size bytes) and always terminates it, cutting the text if
// needed. Never allocates and never takes a lock, so it is safe on a thread
// that may be terminated at any moment. Returns the length written.
std::size_t FormatText(char* buf, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
