// The freeze watch (target/freeze.h). Its thread looks at Neat Image once a
// second; it may wait in a send to Neat Image (bounded, and abandoned at once
// for a hung window), which neither the worker (Stop must find it at a
// checkpoint) nor the user interface thread may do.
#include "target/freeze.h"
#include "target/contract.h"
#include "target/send.h"
#include "target/watch.h"
#include "tolvane.h"

#include <atomic>
#include <cstdlib>

namespace {

constexpr DWORD kLookEveryMs = 1000;
// How long the watch's WM_NULL may wait for an answer: the bound of every
// send to Neat Image, past which it counts as busy.
constexpr DWORD kAnswerBoundMs = kSendBoundMs;

// The quit event of the running watch thread; the thread closes it once it
// has seen it set.
std::atomic<HANDLE> QuitEvent{nullptr};
std::atomic<bool> Armed{false};
std::atomic<unsigned> ArmCount{0}; // changes on every arming: counts start afresh
std::atomic<bool> Busy{false};
std::atomic<bool> Frozen{false};
std::atomic<const char*> FrozenBound{nullptr};

#if defined(TOLVANE_TEST_PROBES)
// Test builds only: the bounds from the environment, where given.
DWORD BoundFromEnvironment(const char* name, DWORD product)
{
    char value[16] = "";
    return GetEnvironmentVariableA(name, value, sizeof value) > 0 ? static_cast<DWORD>(std::atoi(value)) : product;
}
#endif

FreezeBounds Bounds()
{
    FreezeBounds b = {60 * 1000, 5 * 60 * 1000, 30 * 60 * 1000};
#if defined(TOLVANE_TEST_PROBES)
    b.noAnswerMs = BoundFromEnvironment("TOLVANE_TEST_NO_ANSWER_MS", b.noAnswerMs);
    b.filterIdleMs = BoundFromEnvironment("TOLVANE_TEST_FILTER_IDLE_MS", b.filterIdleMs);
    b.filterStallMs = BoundFromEnvironment("TOLVANE_TEST_FILTER_STALL_MS", b.filterStallMs);
#endif
    return b;
}

struct ProgressSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindProgressProc(HWND window, LPARAM lParam)
{
    auto* search = reinterpret_cast<ProgressSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    char className[64] = "";
    if (processId != search->processId || !IsWindowVisible(window) ||
        GetClassNameA(window, className, sizeof className) == 0 || lstrcmpA(className, kProgressClass) != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The percentage in a progress window's title ("Calculating:42%"), -1 when
// it holds none.
int PercentOf(HWND progress)
{
    char title[64] = "";
    GetWindowTextA(progress, title, sizeof title);
    for (const char* p = title; *p != '\0'; ++p)
        if (*p >= '0' && *p <= '9')
            return std::atoi(p);
    return -1;
}

FreezeLook Look()
{
    FreezeLook look = {};
    look.percent = -1;
    HANDLE process = TargetProcessHandle();
    HWND main = TargetMainWindow;
    ProgressSearch search = {0, nullptr};
    GetWindowThreadProcessId(main, &search.processId);
    if (search.processId != 0)
        EnumWindows(FindProgressProc, reinterpret_cast<LPARAM>(&search));
    look.filtering = search.found != nullptr;
    if (look.filtering) {
        look.percent = PercentOf(search.found);
        FILETIME created, exited, kernel, user;
        if (process != nullptr && GetProcessTimes(process, &created, &exited, &kernel, &user))
            look.cpuTime = (static_cast<ULONGLONG>(kernel.dwHighDateTime) << 32 | kernel.dwLowDateTime) +
                           (static_cast<ULONGLONG>(user.dwHighDateTime) << 32 | user.dwLowDateTime);
    } else {
        DWORD_PTR result = 0;
        look.answered =
            SendMessageTimeoutA(main, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerBoundMs, &result) != 0;
    }
    return look;
}

DWORD WINAPI FreezeWatchThread(LPVOID parameter)
{
    HANDLE quit = static_cast<HANDLE>(parameter);
    const FreezeBounds bounds = Bounds();
    FreezeState state;
    unsigned arming = 0;
    for (;;) {
        if (WaitForSingleObject(quit, kLookEveryMs) != WAIT_TIMEOUT) {
            CloseHandle(quit);
            return 0;
        }
        if (!Armed.load(std::memory_order_acquire) || Frozen.load(std::memory_order_acquire) || TargetGone()) {
            Busy.store(false, std::memory_order_release);
            continue;
        }
        unsigned now = ArmCount.load(std::memory_order_acquire);
        if (now != arming) {
            arming = now;
            state = FreezeState{};
        }
        FreezeLook look = Look();
        Busy.store(!look.filtering && !look.answered, std::memory_order_release);
        const char* bound = FreezeVerdict(state, look, GetTickCount(), bounds);
        if (bound != nullptr && Armed.load(std::memory_order_acquire)) {
            FrozenBound.store(bound, std::memory_order_release);
            Frozen.store(true, std::memory_order_release);
            EndTargetProcess();
        }
    }
}

} // namespace

const char* FreezeVerdict(FreezeState& state, const FreezeLook& look, DWORD now, const FreezeBounds& bounds)
{
    if (!state.started) {
        state.started = true;
        state.lastAnswer = now;
        state.lastProgress = now;
    }
    if (!look.filtering) {
        state.wasFiltering = false;
        if (look.answered)
            state.lastAnswer = now;
        if (now - state.lastAnswer >= bounds.noAnswerMs)
            return "its window answered no message for 60 seconds";
        return nullptr;
    }
    // A filter: its progress and the process's processor time are what
    // count; a busy window is expected.
    state.lastAnswer = now;
    if (!state.wasFiltering || look.percent != state.percent) {
        state.wasFiltering = true;
        state.percent = look.percent;
        state.lastProgress = now;
        state.cpuAtProgress = look.cpuTime;
        return nullptr;
    }
    DWORD still = now - state.lastProgress;
    if (still >= bounds.filterStallMs)
        return "its filter made no progress for 30 minutes";
    // No processor time: less than a twentieth of the time since the
    // progress last moved, which a working filter far exceeds, while an idle
    // process still spends a little on the system's own upkeep.
    ULONGLONG usedMs = (look.cpuTime - state.cpuAtProgress) / 10000;
    if (still >= bounds.filterIdleMs && usedMs * 20 < still)
        return "its filter made no progress for 5 minutes and used no processor time";
    return nullptr;
}

void FreezeWatchStart()
{
    FreezeWatchStop();
    Armed.store(false, std::memory_order_release);
    Busy.store(false, std::memory_order_release);
    ForgetFrozen();
    HANDLE quit = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (quit == nullptr)
        return;
    HANDLE thread = CreateThread(nullptr, 0, FreezeWatchThread, quit, 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(quit);
        return;
    }
    CloseHandle(thread);
    QuitEvent.store(quit, std::memory_order_release);
}

void FreezeWatchStop()
{
    Armed.store(false, std::memory_order_release);
    Busy.store(false, std::memory_order_release);
    // The thread ends at its next wait, at most one bounded send away; it is
    // not waited for here, so no thread that ends a run waits on Neat Image.
    if (HANDLE quit = QuitEvent.exchange(nullptr, std::memory_order_acq_rel))
        SetEvent(quit);
}

void FreezeWatchArm(bool armed)
{
    ArmCount.fetch_add(1, std::memory_order_acq_rel);
    Busy.store(false, std::memory_order_release);
    Armed.store(armed, std::memory_order_release);
}

bool TargetBusy()
{
    return Armed.load(std::memory_order_acquire) && Busy.load(std::memory_order_acquire);
}

bool TargetEndedAsFrozen(const char** bound)
{
    bool frozen = Frozen.load(std::memory_order_acquire);
    if (frozen && bound != nullptr)
        *bound = FrozenBound.load(std::memory_order_acquire);
    return frozen;
}

void ForgetFrozen()
{
    Frozen.store(false, std::memory_order_release);
    FrozenBound.store(nullptr, std::memory_order_release);
}
