// The console trace: diagnostic lines on standard output.
//
// Any thread may trace, and the batch worker can be ended by TerminateThread in
// the middle of a line. A runtime stream (printf) holds a lock while it writes;
// a worker killed inside it would leave that lock held and the next trace of the
// user interface thread would block for ever. So each line is formatted into a
// stack buffer and handed to the system in a single WriteFile: no lock of ours,
// no heap, nothing a killed thread can leave behind.
#include "diag/diag.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

// Writes len bytes to standard output in one call. A GUI process started
// normally has no standard output; then the line simply goes nowhere.
static void WriteStdout(const char* text, DWORD len)
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    if (out == nullptr || out == INVALID_HANDLE_VALUE || len == 0)
        return;
    DWORD written = 0;
    WriteFile(out, text, len, &written, nullptr);
}

void Trace(const char* format, ...)
{
    // Long enough for the longest trace (two paths of 255 characters and
    // change); longer expansions are cut, never overrun.
    char line[2048];
    va_list args;
    va_start(args, format);
    std::size_t len = FormatTextV(line, sizeof line, format, args);
    va_end(args);

    // Standard output as the C runtime's text mode writes it: every line
    // feed goes out as carriage return and line feed.
    char out[2 * sizeof line];
    std::size_t outLen = 0;
    for (std::size_t i = 0; i < len; ++i) {
        if (line[i] == '\n')
            out[outLen++] = '\r';
        out[outLen++] = line[i];
    }
    WriteStdout(out, static_cast<DWORD>(outLen));
}
