// "When done", its countdown and the taskbar progress (app/power.h).
#include "app/power.h"
#include "app/controls.h"
#include "app/resource.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <objbase.h>
#if !(defined(_MSC_VER) && defined(__MINGW64_VERSION_MAJOR))
#include <shobjidl.h>
#endif

#include <cstdlib>
#include <initializer_list>

namespace {

#if defined(_MSC_VER) && defined(__MINGW64_VERSION_MAJOR)
// Only the check that parses the sources as MSVC would, against the MinGW
// headers, whose taskbar interface it cannot parse: no taskbar progress there.
#define TOLVANE_NO_TASKBAR
#endif

constexpr UINT_PTR kCountdownTimerId = 10001;
constexpr int kCountdownSeconds = 60;

HWND WhenDoneCombo;
HWND Countdown;
WhenDone CountdownAction;
int SecondsLeft;
char CountdownText[128];

int CountdownSeconds()
{
#if defined(TOLVANE_TEST_PROBES)
    // Test builds only: a shorter countdown from the environment.
    char value[16] = "";
    if (GetEnvironmentVariableA("TOLVANE_TEST_COUNTDOWN_S", value, sizeof value) > 0)
        return std::atoi(value);
#endif
    return kCountdownSeconds;
}

void ShowSecondsLeft()
{
    FormatText(CountdownText, sizeof CountdownText, "The PC will %s in %d seconds.",
               CountdownAction == WhenDone::Sleep ? "sleep" : "shut down", SecondsLeft);
    SetDlgItemTextA(Countdown, IDC_COUNTDOWN_TEXT, CountdownText);
}

#if !defined(TOLVANE_TEST_PROBES)
// Lets this process shut the PC down: the privilege is held by every user
// but off until asked for.
bool EnableShutdownPrivilege()
{
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token))
        return false;
    TOKEN_PRIVILEGES privileges = {};
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    bool ok = LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid) &&
              AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr) && GetLastError() == ERROR_SUCCESS;
    CloseHandle(token);
    return ok;
}
#endif

// The system calls themselves; the test build records them in the trace
// instead, so that no test puts the machine to sleep.
void PowerDown(WhenDone action)
{
#if defined(TOLVANE_TEST_PROBES)
    Trace("Power: %s\n", action == WhenDone::Sleep ? "sleep" : "shut down");
#else
    if (action == WhenDone::Sleep) {
        // Loaded when needed: powrprof is not linked for this one call.
        using SuspendFn = BOOLEAN(WINAPI*)(BOOLEAN, BOOLEAN, BOOLEAN);
        HMODULE powrprof = LoadLibraryA("powrprof.dll");
        auto suspend =
            powrprof != nullptr
                ? reinterpret_cast<SuspendFn>(reinterpret_cast<void*>(GetProcAddress(powrprof, "SetSuspendState")))
                : nullptr;
        if (suspend == nullptr || !suspend(FALSE, FALSE, FALSE))
            LogMessage("When done: the PC did not go to sleep (error %lu)", GetLastError());
        return;
    }
    if (!EnableShutdownPrivilege() ||
        InitiateShutdownW(nullptr, nullptr, 0, SHUTDOWN_POWEROFF | SHUTDOWN_FORCE_OTHERS,
                          SHTDN_REASON_MAJOR_APPLICATION | SHTDN_REASON_FLAG_PLANNED) != ERROR_SUCCESS)
        LogMessage("When done: the PC did not shut down (error %lu)", GetLastError());
#endif
}

void CALLBACK CountdownTick(HWND window, UINT, UINT_PTR, DWORD)
{
    if (--SecondsLeft > 0) {
        ShowSecondsLeft();
        return;
    }
    KillTimer(window, kCountdownTimerId);
    DestroyWindow(window);
    Countdown = nullptr;
    if (CountdownAction == WhenDone::ShutDown && IsWindow(TargetMainWindow))
        PostMessageA(TargetMainWindow, WM_CLOSE, 0, 0); // Neat Image first
    LogMessage("When done: %s now", CountdownAction == WhenDone::Sleep ? "sleeping" : "shutting down");
    PowerDown(CountdownAction);
}

INT_PTR CALLBACK CountdownProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && LOWORD(wParam) == IDCANCEL) {
        KillTimer(window, kCountdownTimerId);
        DestroyWindow(window);
        Countdown = nullptr;
        LogMessage("When done: cancelled");
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

} // namespace

void InitWhenDone(HWND dialog)
{
    WhenDoneCombo = GetDlgItem(dialog, IDC_WHEN_DONE);
    for (const char* item : {"Do nothing", "Close Neat Image", "Sleep", "Shut down"})
        SendMessageA(WhenDoneCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageA(WhenDoneCombo, CB_SETCURSEL, 0, 0);
}

WhenDone WhenDoneChoice()
{
    LRESULT index = SendMessageA(WhenDoneCombo, CB_GETCURSEL, 0, 0);
    return index >= 1 && index <= 3 ? static_cast<WhenDone>(index) : WhenDone::Nothing;
}

void StartCountdown(WhenDone action)
{
    if (Countdown != nullptr || (action != WhenDone::Sleep && action != WhenDone::ShutDown))
        return;
    CountdownAction = action;
    SecondsLeft = CountdownSeconds();
    Countdown =
        CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_COUNTDOWN), MainDialog, CountdownProc, 0);
    if (Countdown == nullptr)
        return;
    LogMessage("When done: the PC will %s in %d seconds", action == WhenDone::Sleep ? "sleep" : "shut down",
               SecondsLeft);
    ShowSecondsLeft();
    SetTimer(Countdown, kCountdownTimerId, 1000, CountdownTick);
}

bool IsCountdownMessage(MSG* msg)
{
    return Countdown != nullptr && IsDialogMessageA(Countdown, msg);
}

#if !defined(TOLVANE_NO_TASKBAR)
namespace {

ITaskbarList3* Taskbar;
bool TaskbarTried;

} // namespace

void ShowTaskbarProgress(long done, long total, bool failed)
{
    if (!TaskbarTried) {
        TaskbarTried = true;
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                    reinterpret_cast<void**>(&Taskbar))) ||
            FAILED(Taskbar->HrInit())) {
            if (Taskbar != nullptr)
                Taskbar->Release();
            Taskbar = nullptr;
        }
    }
    if (Taskbar == nullptr || total <= 0)
        return;
    Taskbar->SetProgressState(MainDialog, failed ? TBPF_ERROR : TBPF_NORMAL);
    Taskbar->SetProgressValue(MainDialog, static_cast<ULONGLONG>(done), static_cast<ULONGLONG>(total));
}

void EndTaskbarProgress()
{
    if (Taskbar != nullptr)
        Taskbar->SetProgressState(MainDialog, TBPF_NOPROGRESS);
}
#else
void ShowTaskbarProgress(long, long, bool) {}
void EndTaskbarProgress() {}
#endif
