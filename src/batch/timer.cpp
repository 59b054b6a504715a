// The progress timer: once a second during a run, rewrites the progress line.
#include "app/app.h"
#include "batch/batch.h"
#include "diag/diag.h"
#include "target/contract.h"
#include "target/watch.h"
#include "tolvane.h"

namespace {

// Whether the progress display of a run is on; read and written on the user
// interface thread only.
bool ProgressActive;

} // namespace

void OnRunPhase(WPARAM phase)
{
    if (phase == kRunBegins) {
        ProgressActive = true;
        SetTimer(MainDialog, PROGRESS_TIMER_ID, PROGRESS_TIMER_PERIOD_MS, ProgressTimerProc);
    } else {
        EndProgressDisplay();
        KeepSystemAwake(false);
    }
}

void EndProgressDisplay()
{
    // KillTimer leaves a WM_TIMER already in the queue there: the flag makes
    // that last tick write nothing.
    ProgressActive = false;
    KillTimer(MainDialog, PROGRESS_TIMER_ID);
}

void KeepSystemAwake(bool awake)
{
    EXECUTION_STATE state = awake ? ES_CONTINUOUS | ES_SYSTEM_REQUIRED : ES_CONTINUOUS;
    SetThreadExecutionState(state);
#if defined(TOLVANE_TEST_PROBES)
    Trace("Execution state: 0x%08lx\n", static_cast<unsigned long>(state));
#endif
}

void LogRunSummary(RunEnd end)
{
    char line[kRunSummarySize];
    FormatRunSummary(line, sizeof line, end, Batch.processed.load(std::memory_order_relaxed),
                     Batch.skipped.load(std::memory_order_relaxed), Batch.failed.load(std::memory_order_relaxed),
                     Batch.batchStartTick.load(std::memory_order_relaxed), GetTickCount());
    LogMessage("%s", line);
}

// Runs on the user interface thread, dispatched by its message loop. It reads
// each batch state field once and never sends a message to Neat Image: the
// title of a window of another process is read without one, so a Neat Image
// busy filtering cannot hold up the dialog. While the worker waits inside
// "&Apply" the tick also looks at Neat Image for it.
void CALLBACK ProgressTimerProc(HWND, UINT, UINT_PTR, DWORD now)
{
    if (!ProgressActive)
        return;
    WatchTargetFromTick();
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
}
