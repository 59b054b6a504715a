// Starting Neat Image again (target/restart.h). Runs on the batch worker;
// every wait is stop-aware and bounded.
#include "target/restart.h"
#include "target/contract.h"
#include "target/failure.h"
#include "target/freeze.h"
#include "target/target.h"
#include "target/watch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <cstring>
#include <cwchar>

namespace {

// How long Neat Image may take to show its main window and come to rest.
constexpr DWORD kStartMs = 60 * 1000;
constexpr DWORD kStartLookMs = 100;

// The reason of the last failed start, outside the worker's stack.
char StartFailure[1200];

struct NewWindows {
    DWORD processId;
    HWND main;
    HWND app;
};

bool BeginsWith(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// Neat Image's main and application windows, as discovery finds them, but of
// the new process only.
BOOL CALLBACK FindNewWindowsProc(HWND window, LPARAM lParam)
{
    auto* found = reinterpret_cast<NewWindows*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != found->processId)
        return TRUE;
    char text[TEXT_MAX + 1] = "";
    GetWindowTextA(window, text, TEXT_MAX);
    if (!BeginsWith(text, kTargetTitlePrefix))
        return TRUE;
    GetClassNameA(window, text, TEXT_MAX);
    if (found->main == nullptr && BeginsWith(text, kMainClassPrefix) && IsWindowVisible(window))
        found->main = window;
    else if (found->app == nullptr && BeginsWith(text, kAppClassPrefix))
        found->app = window;
    return found->main == nullptr || found->app == nullptr;
}

const char* Failed(const char* format, const wchar_t* exe, DWORD code)
{
    char path[1024] = "";
    WideCharToMultiByte(CP_ACP, 0, exe, -1, path, sizeof path, nullptr, nullptr);
    path[sizeof path - 1] = '\0';
    FormatText(StartFailure, sizeof StartFailure, format, path, static_cast<unsigned long>(code));
    return StartFailure;
}

} // namespace

const char* StartTargetAgain(DWORD priorityClass)
{
    FreezeWatchArm(false);
    const wchar_t* exe = TargetExecutable();
    if (exe[0] == L'\0')
        return "Neat Image could not be started again: its program file is not known";
    if (!EndTargetProcess())
        return "Neat Image could not be started again: it could not be ended";
    // Its own folder as the working folder, as a shortcut to it would start it.
    wchar_t folder[1024];
    std::wcsncpy(folder, exe, sizeof folder / sizeof folder[0] - 1);
    folder[sizeof folder / sizeof folder[0] - 1] = L'\0';
    if (wchar_t* slash = std::wcsrchr(folder, L'\\'))
        *slash = L'\0';
    wchar_t commandLine[1100];
    std::swprintf(commandLine, sizeof commandLine / sizeof commandLine[0], L"\"%ls\"", exe);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (GetFileAttributesW(exe) == INVALID_FILE_ATTRIBUTES)
        return Failed("Neat Image could not be started again: %s was not found", exe, 0);
    if (!CreateProcessW(exe, commandLine, nullptr, nullptr, FALSE, 0, nullptr, folder, &startup, &started))
        return Failed("Neat Image could not be started again: %s did not start (error %lu)", exe, GetLastError());
    CloseHandle(started.hThread);

    NewWindows found = {started.dwProcessId, nullptr, nullptr};
    DWORD start = GetTickCount();
    while (found.main == nullptr) {
        DWORD code = STILL_ACTIVE;
        if (GetExitCodeProcess(started.hProcess, &code) && code != STILL_ACTIVE) {
            CloseHandle(started.hProcess);
            return Failed("Neat Image could not be started again: %s ended at once (exit code 0x%08lX)", exe, code);
        }
        if (GetTickCount() - start >= kStartMs) {
            CloseHandle(started.hProcess);
            return Failed("Neat Image could not be started again: %s showed no main window within 60 seconds", exe, 0);
        }
        WorkerPause(kStartLookMs);
        found.app = nullptr;
        EnumWindows(FindNewWindowsProc, reinterpret_cast<LPARAM>(&found));
    }
    CloseHandle(started.hProcess);
    // Written on this thread while the progress tick may read them: each is
    // one aligned machine word, written whole.
    TargetMainWindow = found.main;
    TargetAppWindow = found.app;
    WatchBegin();
    ForgetFrozen();
    try {
        BringTargetToRest();
    } catch (const TargetFault& fault) {
        FormatText(StartFailure, sizeof StartFailure, "Neat Image was started again, but %s", fault.text);
        return StartFailure;
    }
    SetTargetPriorityClass(priorityClass);
    return nullptr;
}
