// The one end of a run, on the user interface thread, whether the worker
// finished, Stop was pressed or a fatal error came (batch/batch.h).
#include "app/controls.h"
#include "app/power.h"
#include "batch/batch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "target/freeze.h"
#include "jobs/joblist_io.h"
#include "tolvane.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

} // namespace

void OnRunPhase(WPARAM phase, LPARAM cause)
{
    if (phase == kRunBegins)
        StartProgressDisplay();
    else
        EndRun(static_cast<RunEndCause>(cause));
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
    FormatRunSummary(line, sizeof line, end, Batch.processed.load(kRelaxed), Batch.skipped.load(kRelaxed),
                     Batch.failed.load(kRelaxed), Batch.batchStartTick.load(kRelaxed), GetTickCount());
    LogMessage("%s", line);
}

void EndRun(RunEndCause cause)
{
    FreezeWatchStop();
    EndTaskbarProgress();
    switch (cause) {
    case RunEndCause::Finished:
    case RunEndCause::StoppedOnFailures:
        SetFatalPrologue(nullptr);
        LogRunSummary(cause == RunEndCause::Finished ? RunEnd::Complete : RunEnd::Stopped);
        // The timer goes first: no tick can then write an elapsed time after
        // the status line says the run has ended.
        EndProgressDisplay();
        KeepSystemAwake(false);
        break;
    case RunEndCause::StopPressed:
        SetFatalPrologue(nullptr);
        LogRunSummary(RunEnd::Stopped);
        KeepSystemAwake(false);
        ShowBox("Batch processing terminated.  Cancel Neat Image manually.", "Success");
        SetStatusLine("Processing terminated");
        EndProgressDisplay();
        break;
    case RunEndCause::Fatal:
        // The jobs the run did not finish outlive the process, in a job list
        // the user can open again.
        WriteUnfinishedJobs();
        // No further tick may meet the error again inside the error box's own
        // message loop, and the worker leaves at its next checkpoint.
        LogRunSummary(RunEnd::Error);
        EndProgressDisplay();
        KeepSystemAwake(false);
        RaiseStopSignal();
        break;
    }
}

void EndRunByFatalError()
{
    if (GetWindowThreadProcessId(MainDialog, nullptr) == GetCurrentThreadId())
        EndRun(RunEndCause::Fatal);
    else
        SendMessageA(MainDialog, WM_RUN_PHASE, kRunEnds, static_cast<LPARAM>(RunEndCause::Fatal));
}
