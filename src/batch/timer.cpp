// The progress timer: once a second during a run, rewrites the progress line.
#include "app/controls.h"
#include "app/power.h"
#include "batch/batch.h"
#include "batch/outcome.h"
#include "diag/diag.h"
#include "target/contract.h"
#include "target/failure.h"
#include "target/watch.h"
#include "tolvane.h"

namespace {

// Whether the progress display of a run is on; read and written on the user
// interface thread only.
bool ProgressActive;

} // namespace

void StartProgressDisplay()
{
    ProgressActive = true;
    SetTimer(MainDialog, PROGRESS_TIMER_ID, PROGRESS_TIMER_PERIOD_MS, ProgressTimerProc);
}

void EndProgressDisplay()
{
    // KillTimer leaves a WM_TIMER already in the queue there: the flag makes
    // that last tick write nothing.
    ProgressActive = false;
    KillTimer(MainDialog, PROGRESS_TIMER_ID);
}

namespace {

// While the worker waits inside "&Apply", the tick looks at Neat Image for
// it, and the run's rules decide what a box or a closed Neat Image means: a
// box the run carries on from is answered and kept for the worker; without
// carrying on, the fatal error, whose first step ends this display, so that
// no later tick meets it again inside the error box.
void WatchForWorker()
{
    HWND box = nullptr;
    const char* message = WatchTargetFromTick(&box);
    if (message == nullptr)
        return;
    // Neat Image gone: with carrying on, the worker's send returns and the
    // worker learns how it ended.
    FaultKind kind = box != nullptr ? FaultKind::JobFailed : FaultKind::Closed;
    FaultAction action = DecideFault(kind, Batch.carryOn.load(std::memory_order_relaxed));
    if (action == FaultAction::FailJobAndRest)
        FailDuringApply(box, message);
    else if (action == FaultAction::EndProcess)
        FatalError(message);
}

} // namespace

// Runs on the user interface thread, dispatched by its message loop. It reads
// each batch state field once and never sends a message to Neat Image: the
// title of a window of another process is read without one, so a Neat Image
// busy filtering cannot hold up the dialog. While the worker waits inside
// "&Apply" the tick also looks at Neat Image for it.
void CALLBACK ProgressTimerProc(HWND, UINT, UINT_PTR, DWORD now)
{
    if (!ProgressActive)
        return;
    WatchForWorker();
    if (!ProgressActive)
        return;
    ProgressInput in = {};
    in.imagesDone = Batch.imagesDone.load(std::memory_order_relaxed);
    in.imageTotal = Batch.imageTotal.load(std::memory_order_relaxed);
    in.batchStartTick = Batch.batchStartTick.load(std::memory_order_relaxed);
    in.imageStartTick = Batch.imageStartTick.load(std::memory_order_relaxed);
    in.now = now;

    char title[32] = "";
    HWND progress = FindWindowA(kProgressClass, nullptr);
    in.progressWindowVisible = progress != nullptr && IsWindowVisible(progress);
    if (in.progressWindowVisible)
        GetWindowTextA(progress, title, 31);
    in.title = title;

    char text[kProgressTextSize];
    FormatProgressText(in, text, sizeof text);
    SetProgressLine(text);
    ShowTaskbarProgress(in.imagesDone, in.imageTotal, Batch.failed.load(std::memory_order_relaxed) > 0);
}
