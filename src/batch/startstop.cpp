// Start and Stop of a batch run (user interface thread).
#include "app/controls.h"
#include "batch/batch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "diag/logpath.h"
#include "target/rights.h"
#include "target/send.h"
#include "target/target.h"
#include "tolvane.h"

BatchState Batch;

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;
// How long Start waits for a worker that is in its last steps.
constexpr DWORD kLastStepsMs = 1000;
// How often Stop looks again at a worker that is inside one of its own boxes.
constexpr DWORD kOwnBoxPollMs = 250;

// The handle of the last worker created. The worker never closes its own
// handle: StopBatch may have read it just before the worker's end of run and
// still be about to act on it. Only this thread closes it, when the next run
// starts or after a successful Stop, so it is never closed under StopBatch's
// feet. It also tells Start whether the last worker has really ended.
HANDLE LastWorker;

void ReleaseLastWorker()
{
    if (LastWorker != nullptr) {
        CloseHandle(LastWorker);
        LastWorker = nullptr;
    }
}

// True while the last worker thread still runs, also after it cleared the
// worker handle: its last steps (the end-of-run texts, KillTimer) must not
// land on the next run. Those steps take a moment once the status line says
// the run is complete, so a Start pressed right then waits for them (their
// messages to this thread are served meanwhile) before it is refused.
bool LastWorkerStillRunning()
{
    if (LastWorker == nullptr)
        return false;
    if (Batch.worker.load(kRelaxed) == nullptr)
        WaitServingSentMessages(LastWorker, kLastStepsMs);
    return WaitForSingleObject(LastWorker, 0) == WAIT_TIMEOUT;
}

// The checks of Start that a real desktop needs, in the order a user would
// fix them: a Neat Image with higher rights (Windows would drop the run's
// first command), then a session log that cannot be written (the night's
// record would be lost). Either refusal is a "Warning" box and no run. A
// refused Start leaves an earlier log as it was: the log is opened, and so
// emptied, only once Neat Image has passed. True when the run may begin.
bool StartChecksPass()
{
    if (TargetHasHigherRights()) {
        ShowBox(kRefusedCommand, "Warning");
        return false;
    }
    char why[kLogRefusalSize];
    if (!OpenSessionLogForRun(why, sizeof why)) {
        ShowBox(why, "Warning");
        return false;
    }
    return true;
}

} // namespace

void OnStartButton()
{
    if (Batch.worker.load(kRelaxed) != nullptr || LastWorkerStillRunning()) {
        ShowBox("Cannot start again until previous processing is finished.", "Warning");
        return;
    }
    StartBatch();
}

void StartBatch()
{
    if (!FindTargetWindows() || !StartChecksPass())
        return;
    RestoreMinimisedTarget();
    ReleaseLastWorker();
    // From Start to the end of the run, the Stop or the fatal error (whose
    // process exit lets the PC sleep again): a run busy with the CPU is no
    // input, and the PC would otherwise sleep after its idle time.
    KeepSystemAwake(true);

    // Created suspended so that the handle is stored, and the stop signal
    // armed for this very thread, before the worker takes its first step.
    DWORD threadId = 0;
    HANDLE worker = CreateThread(nullptr, 0, BatchWorker, nullptr, CREATE_SUSPENDED, &threadId);
    Batch.worker.store(worker, kRelaxed);
    if (worker == nullptr)
        FatalError("CreateThread Failed!");
    LastWorker = worker;
    ArmStopSignal(threadId);
    if (!SetThreadPriority(worker, THREAD_PRIORITY_BELOW_NORMAL))
        FatalError("SetThreadPriority failed!");
    if (ResumeThread(worker) == static_cast<DWORD>(-1))
        FatalError("ResumeThread failed!");
    Trace("Thread started...\n\n");
}

void StopBatch()
{
    HANDLE worker = Batch.worker.load(kRelaxed); // read once: the test and the stop use one value
    if (worker == nullptr)
        return;

    // Ask first. The worker leaves at its next checkpoint, at the latest when
    // its current pause or poll ends; its writes to the dialog are served
    // meanwhile so it cannot be stuck on this thread. Only a worker that waits
    // inside Neat Image (the sent "&Apply" lasts as long as the filter) is
    // ended there, where it holds no lock of this process; anywhere else it
    // may be inside a window enumeration, holding the process heap, and is
    // left to reach its checkpoint. A worker inside one of Tolvane's own
    // boxes is waited for until the box is answered: killed there, it would
    // leave the box's owner, the dialog, disabled.
    RaiseStopSignal();
    bool ended = WaitServingSentMessages(worker, STOP_GRACE_MS);
    while (!ended) {
        DWORD error = 0;
        EndWorker end =
            ThreadInOwnBox(GetThreadId(worker)) ? EndWorker::NotInsideTarget : EndWorkerInsideTarget(worker, &error);
        if (end == EndWorker::Refused) {
            char text[64];
            FormatText(text, sizeof text, "Could not terminate thread: Error # %d", static_cast<int>(error));
            LowerStopSignal(); // the run goes on as if Stop had not been pressed
            ShowBox(text, "Error");
            return;
        }
        if (end == EndWorker::Ended) {
            // Termination completes asynchronously; wait (bounded) until the
            // worker is really gone, so that it takes no further step against
            // Neat Image once the box below is up.
            WaitForSingleObject(worker, 5000);
            break;
        }
        ended = WaitServingSentMessages(worker, kOwnBoxPollMs);
    }
    AfterStopForTest();
    EndRun(RunEndCause::StopPressed);
    Batch.worker.store(nullptr, kRelaxed);
    Trace("Thread ended...\n\n");
    ReleaseLastWorker();
    // A box the worker was opening when it ended may have disabled the dialog
    // without living to enable it again.
    EnableWindow(MainDialog, TRUE);
}
