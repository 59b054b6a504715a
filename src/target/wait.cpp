// The bounded waits of the per-image sequence (target/wait.h).
//
// Runs on the batch worker. Every pause wakes at once on Stop, and every look
// at Neat Image is preceded by a checkpoint where a stopped worker leaves, so
// no stretch between two checkpoints holds more than one window enumeration.
#include "target/wait.h"
#include "target/freeze.h"
#include "target/watch.h"
#include "batch/stop.h"
#include "diag/diag.h"

namespace {

// The longest stretch a pause goes without a look at Neat Image.
constexpr DWORD kWatchSliceMs = 250;

// The pause from a look that began at `lookStart` to the next, which begins
// lookEveryMs after it (looks come at that rate, whatever each one took), and
// never later than `boundMs` after `start`.
void PauseToNextLook(const Pacing& pacing, DWORD start, DWORD lookStart, DWORD boundMs)
{
    DWORD now = GetTickCount();
    DWORD sinceLook = now - lookStart;
    DWORD every = static_cast<DWORD>(pacing.lookEveryMs);
    DWORD toNext = sinceLook < every ? every - sinceLook : 0;
    DWORD elapsed = now - start;
    DWORD toBound = elapsed < boundMs ? boundMs - elapsed : 0;
    DWORD ms = toNext < toBound ? toNext : toBound;
    if (ms > 0)
        WorkerPause(ms);
}

// One try's look: a checkpoint, the watch's look, a checkpoint, then the
// poll's own look.
bool LookOnceFor(LookFor look, void* context)
{
    WorkerCheckpoint();
    WatchTarget();
    WorkerCheckpoint();
    return look(context);
}

} // namespace

void Pause(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            break;
        DWORD rest = ms - elapsed;
        WorkerPause(rest < kWatchSliceMs ? rest : kWatchSliceMs);
        WatchTarget();
    }
}

WaitEnd Poll(const Pacing& pacing, int tries, PauseOrder order, LookFor look, void* context, const char* traceEachTry)
{
    const DWORD pauseMs = static_cast<DWORD>(pacing.pauseMs);
    if (pacing.lookEveryMs != 0) {
        DWORD bound = static_cast<DWORD>(FastWaitBoundMs(pauseMs, tries));
        DWORD start = GetTickCount();
        for (;;) {
            DWORD lookStart = GetTickCount();
            if (traceEachTry != nullptr) {
                WorkerCheckpoint();
                Trace("%s", traceEachTry);
            }
            if (LookOnceFor(look, context))
                return WaitEnd::Passed;
            if (pacing.patientWhileBusy && TargetBusy())
                start += GetTickCount() - lookStart; // this look's time is not spent
            if (GetTickCount() - start >= bound)
                return WaitEnd::OutOfTime;
            PauseToNextLook(pacing, start, lookStart, bound);
        }
    }
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (pacing.patientWhileBusy && TargetBusy())
            --attempt; // the last try is not spent
        if (traceEachTry != nullptr) {
            WorkerCheckpoint();
            Trace("%s", traceEachTry);
        }
        if (order == PauseOrder::BeforeEachLook)
            Pause(pauseMs);
        bool found = LookOnceFor(look, context);
        if (order == PauseOrder::AfterEachLook)
            Pause(pauseMs);
        if (found)
            return WaitEnd::Passed;
    }
    return WaitEnd::OutOfTime;
}

// No settle time follows a look that passed. What a program does right after
// showing a window it posts to itself or runs before it returns to its
// message loop; the second look's WM_NULL is answered only once the window's
// thread is back in that loop after handling what the first look found
// queued. What a window still fills in later is part of what the looks read
// (a Save As dialog's proposed name), and a typed text is read back.
WaitEnd LookUntilReady(const Pacing& pacing, DWORD boundMs, LookReady ready, void* context)
{
    DWORD start = GetTickCount();
    Steadiness steadiness;
    for (;;) {
        DWORD lookStart = GetTickCount();
        WorkerCheckpoint();
        WatchTarget();
        WorkerCheckpoint();
        ReadyLook look = ready(context);
        if (look.verdict == Verdict::CannotTell)
            return WaitEnd::CannotTell;
        if (SteadyReady(steadiness, look.verdict, look.key))
            return WaitEnd::Passed;
        if (GetTickCount() - start >= boundMs)
            return WaitEnd::OutOfTime;
        PauseToNextLook(pacing, start, lookStart, boundMs);
    }
}

WaitEnd PauseAt(const Pacing& pacing, PausePoint point, LookReady ready, void* context)
{
    PausePlan plan = PlanPause(pacing, point);
    if (plan.readyBoundMs == 0 || ready == nullptr) {
        if (plan.fixedMs > 0)
            Pause(static_cast<DWORD>(plan.fixedMs));
        return WaitEnd::Passed;
    }
    DWORD start = GetTickCount();
    WaitEnd end = LookUntilReady(pacing, static_cast<DWORD>(plan.readyBoundMs), ready, context);
    if (end == WaitEnd::CannotTell) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < plan.cannotTellMs)
            Pause(static_cast<DWORD>(plan.cannotTellMs) - elapsed);
    }
    return end;
}
