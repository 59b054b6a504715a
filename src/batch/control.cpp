// Start and Stop of a batch run (user interface thread).
#include "app/resource.h"
#include "batch/batch.h"
#include "diag/diag.h"
#include "target/target.h"
#include "tolvane.h"

BatchState Batch;

namespace {

// The handle of the last worker created. The worker never closes its own
// handle: StopBatch may have read it just before the worker's end of run and
// still be about to terminate it. Only this thread closes it, when the next
// run starts or after a successful Stop, so it is never closed under
// StopBatch's feet.
HANDLE LastWorker;

void ReleaseLastWorker()
{
    if (LastWorker != nullptr) {
        CloseHandle(LastWorker);
        LastWorker = nullptr;
    }
}

} // namespace

void OnStartButton()
{
    if (Batch.worker != nullptr) {
        MessageBoxA(MainDialog, "Cannot start again until previous processing is finished.", "Warning", MB_OK);
        return;
    }
    StartBatch();
}

void StartBatch()
{
    if (!FindTargetWindows())
        return;
    ReleaseLastWorker();

    // Created suspended so that the handle is stored before the worker takes
    // its first step.
    HANDLE worker = CreateThread(nullptr, 0, BatchWorker, nullptr, CREATE_SUSPENDED, nullptr);
    Batch.worker = worker;
    if (worker == nullptr)
        FatalError("CreateThread Failed!");
    LastWorker = worker;
    if (!SetThreadPriority(worker, THREAD_PRIORITY_BELOW_NORMAL))
        FatalError("SetThreadPriority failed!");
    if (ResumeThread(worker) == static_cast<DWORD>(-1))
        FatalError("ResumeThread failed!");
    Trace("Thread started...\n\n");
}

void StopBatch()
{
    HANDLE worker = Batch.worker; // read once: the test and the termination use one value
    if (worker == nullptr)
        return;
    if (TerminateThread(worker, 0)) {
        // Termination completes asynchronously; wait (bounded) until the
        // worker is really gone, so that it takes no further step against
        // Neat Image once the box below is up.
        WaitForSingleObject(worker, 5000);
        MessageBoxA(MainDialog, "Batch processing terminated.  Cancel Neat Image manually.", "Success", MB_OK);
        SetDlgItemTextA(MainDialog, IDC_STATUS, "Processing terminated");
        KillTimer(MainDialog, PROGRESS_TIMER_ID);
        Batch.worker = nullptr;
        Trace("Thread ended...\n\n");
        ReleaseLastWorker();
    } else {
        char text[64];
        FormatText(text, sizeof text, "Could not terminate thread: Error # %d", static_cast<int>(GetLastError()));
        MessageBoxA(MainDialog, text, "Error", MB_OK);
    }
}
