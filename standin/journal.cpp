// The event journal of the stand-in application. Used on the UI thread only.
#include "journal.h"

#include <windows.h>

#include <cstdio>

namespace standin {
namespace {
HANDLE g_journal = INVALID_HANDLE_VALUE;
}

bool OpenJournal(const std::string& path)
{
    CloseJournal();
    g_journal = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return g_journal != INVALID_HANDLE_VALUE;
}

void Journal(const char* event, const std::string& args)
{
    if (g_journal == INVALID_HANDLE_VALUE)
        return;
    char stamp[16];
    std::snprintf(stamp, sizeof stamp, "%lu ", static_cast<unsigned long>(GetTickCount()));
    std::string line = stamp;
    line += event;
    if (!args.empty()) {
        line += ' ';
        line += args;
    }
    line += "\n";
    // FILE_APPEND_DATA without buffering: the line is on disk (in the OS
    // cache, visible to readers) when WriteFile returns.
    DWORD written = 0;
    WriteFile(g_journal, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

void CloseJournal()
{
    if (g_journal != INVALID_HANDLE_VALUE)
        CloseHandle(g_journal);
    g_journal = INVALID_HANDLE_VALUE;
}

} // namespace standin
