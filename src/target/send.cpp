// Messages to Neat Image's windows that never wait for a person.
#include "target/send.h"
#include "target/watch.h"
#include "batch/stop.h"

#include <cstdlib>

namespace {

#if defined(TOLVANE_TEST_PROBES)
// Test build only: TOLVANE_TEST_REFUSE_POST=1 makes every post fail as
// Windows fails a post to a program running with higher rights.
bool PostRefusedForTest()
{
    static const bool refused = [] {
        char value[8] = "";
        return GetEnvironmentVariableA("TOLVANE_TEST_REFUSE_POST", value, sizeof value) > 0 && value[0] == '1';
    }();
    if (refused)
        SetLastError(ERROR_ACCESS_DENIED);
    return refused;
}
#else
bool PostRefusedForTest()
{
    return false;
}
#endif

// How long a refused message waits for a closing Neat Image to be gone: its
// windows and its process end a moment apart, and meanwhile Wine refuses
// messages to it as Windows refuses those to a program with higher rights.
constexpr DWORD kClosingMs = 2000;

// How often the wait for a closing Neat Image looks.
constexpr DWORD kClosingLookMs = 20;

// A message Neat Image did not take: "Neat Image has closed" when it is on
// its way out, else the refusal's own text.
[[noreturn]] void Refused()
{
    FaultUnlessClosed(FaultKind::Refused, kRefusedCommand);
}

} // namespace

void FaultUnlessClosed(FaultKind kind, const char* message)
{
    // Stop-aware: the wait is as long as Stop's own grace, so a Stop must
    // not have to sit it out.
    DWORD start = GetTickCount();
    while (!TargetGone() && GetTickCount() - start < kClosingMs)
        WorkerPause(kClosingLookMs);
    if (TargetGone())
        RaiseClosed();
    WatchTarget();
    RaiseFault(kind, message);
}

void PostToTarget(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WatchTarget();
    if (!PostRefusedForTest() && PostMessageA(window, message, wParam, lParam))
        return;
    Refused();
}

bool SendToTarget(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result)
{
    WatchTarget();
    DWORD_PTR answer = 0;
    SetLastError(ERROR_SUCCESS);
    if (SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, kSendBoundMs, &answer)) {
        if (result != nullptr)
            *result = answer;
        return true;
    }
    if (GetLastError() == ERROR_ACCESS_DENIED)
        Refused();
    WatchTarget();
    return false;
}
