// Bounded formatting shared by the trace, the log and the message boxes.
#include "diag/text.h"

#include <cstdarg>
#include <cstdio>

std::size_t FormatText(char* buf, std::size_t size, const char* format, ...)
{
    if (buf == nullptr || size == 0)
        return 0;
    va_list args;
    va_start(args, format);
    int n = std::vsnprintf(buf, size, format, args);
    va_end(args);
    buf[size - 1] = '\0';
    if (n < 0) {
        buf[0] = '\0';
        return 0;
    }
    return static_cast<std::size_t>(n) < size ? static_cast<std::size_t>(n) : size - 1;
}
