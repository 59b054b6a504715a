// Bounded formatting shared by the trace, the log and the message boxes; no
// window handles, tested directly and fuzzed natively.
#pragma once

#include <cstdarg>
#include <cstddef>

// Formats into buf (size bytes) and always terminates it, cutting the text if
// needed. Never allocates and never takes a lock, so it is safe on a thread
// that may be terminated at any moment. Returns the length written.
std::size_t FormatText(char* buf, std::size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
// The same over an argument list.
std::size_t FormatTextV(char* buf, std::size_t size, const char* format, va_list args);
