// Text helpers of the diagnostics with no window handles: the log path rule
// and bounded formatting. Tested directly and fuzzed natively.
#pragma once

#include <cstddef>

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
