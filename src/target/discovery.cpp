// Finding the running Neat Image, restoring it when minimised, and setting
// its process's priority class.
#include "target/contract.h"
#include "target/target.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <cstring>

HWND TargetMainWindow;
HWND TargetAppWindow;

namespace {

// State of the current search; cleared at the start of every search.
bool MainWindowFound;
bool AppWindowFound;

bool BeginsWith(const char* text, const char* prefix)
{
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

} // namespace

// Called by EnumWindows on the user interface thread for every top-level
// window, top of the Z order first. The first qualifying window of each kind
// wins; the enumeration stops once one of each kind has been seen.
BOOL CALLBACK TargetWindowEnumProc(HWND window, LPARAM)
{
    char text[256] = "";
    GetWindowTextA(window, text, TEXT_MAX);
    if (BeginsWith(text, kTargetTitlePrefix)) {
        text[0] = '\0';
        GetClassNameA(window, text, TEXT_MAX);
        if (!MainWindowFound && BeginsWith(text, kMainClassPrefix)) {
            TargetMainWindow = window;
            Trace("Found running instance of Neat Image\n");
            MainWindowFound = true;
        } else if (!AppWindowFound && BeginsWith(text, kAppClassPrefix)) {
            TargetAppWindow = window;
            Trace("Found Neat Image App Window\n");
            AppWindowFound = true;
        }
    }
    if (MainWindowFound && AppWindowFound) {
        MainWindowFound = false;
        AppWindowFound = false;
        return FALSE;
    }
    return TRUE;
}

int FindTargetWindows()
{
    TargetMainWindow = nullptr;
    MainWindowFound = false;
    AppWindowFound = false;
    EnumWindows(TargetWindowEnumProc, 0);
    if (TargetMainWindow != nullptr)
        return 1;
    ShowOwnBox(MainDialog, "Could not find a running instance of Neat Image.  Start Neat Image and try again.",
               "Warning", MB_OK);
    return 0;
}

// Brings a minimised Neat Image back before the run (user interface thread, at
// Start): the windows a minimised owner owns are hidden with it, so its file
// dialogs may open where they cannot be found. Its application window counts
// too, when it belongs to the same process: a framework may minimise that
// one and hide the main window with it. SW_SHOWNOACTIVATE restores an iconic
// window to its last normal place as SW_RESTORE does, but SW_RESTORE would
// also activate it and take the focus from Tolvane's dialog, where the user
// just pressed Start. ShowWindowAsync only queues the request on Neat
// Image's own thread, so Start never waits on a Neat Image that does not
// answer; the request waits in Neat Image's queue ahead of the run's first
// command.
void RestoreMinimisedTarget()
{
    DWORD mainProcess = 0;
    GetWindowThreadProcessId(TargetMainWindow, &mainProcess);
    if (mainProcess == 0)
        return;
    HWND windows[] = {TargetAppWindow, TargetMainWindow};
    for (HWND window : windows) {
        DWORD process = 0;
        if (window == nullptr || GetWindowThreadProcessId(window, &process) == 0 || process != mainProcess)
            continue;
        if (IsIconic(window)) {
            Trace("Restoring minimised Neat Image window\n");
            ShowWindowAsync(window, SW_SHOWNOACTIVATE);
        }
    }
}

int SetTargetPriorityClass(DWORD priorityClass)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(TargetMainWindow, &processId);
    if (processId == 0) {
        Trace("Could not get process ID\n");
        return 0;
    }
    HANDLE process = OpenProcess(PROCESS_SET_INFORMATION, FALSE, processId);
    if (process == nullptr) {
        Trace("Could not get process Handle\n");
        return 0;
    }
    if (!SetPriorityClass(process, priorityClass)) {
        Trace("Could not set priority\n");
        CloseHandle(process);
        return 0;
    }
    CloseHandle(process);
    return 1;
}
