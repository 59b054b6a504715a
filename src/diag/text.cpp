// Bounded formatting shared by the trace, the log and the message boxes.
#include "diag/text.h"

#include <cstdarg>
#include <cstdio>

std::size_t FormatTextV(char* buf, std::size_t size, const char* format, va_list args)
{
    if (buf == nullptr || size == 0)
        return 0;
    int n = std::vsnprintf(buf, size, format, args);
    buf[size - 1] = '\0';
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}

std::size_t FormatText(char* buf, std::size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::size_t n = FormatTextV(buf, size, format, args);
    va_end(args);
    return n;
}
