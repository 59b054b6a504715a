// The batch worker: runs the jobs of the job list through Neat Image, in row
// order, on a thread of its own.
//
// It reaches the dialog's controls only through sent messages, which the user
// interface thread serves; so it advances only while that thread keeps
// retrieving messages. Everything those messages point at lives in Work
// below, not on the worker's stack: a worker terminated while one of its
// messages is still unanswered must not leave the receiver writing into a
// freed stack (Windows frees a terminated thread's stack at once).
#include "app/controls.h"
#include "app/power.h"
#include "target/contract.h"
#include "batch/batch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "jobs/jobs.h"
#include "batch/job_end.h"
#include "target/freeze.h"
#include "jobs/row_state.h"
#include "target/failure.h"
#include "target/target.h"
#include "target/titles.h"
#include "target/watch.h"
#include "tolvane.h"

#include <commctrl.h>

#include <cstdlib>
#include <cstring>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

// The worker's buffers, one set for the one worker there ever is.
struct WorkerBuffers {
    LVITEMA item;
    char text[256]; // one column of a row, limit 255 as the control is asked
    char imagePath[256];
    char profilePath[256];
    char status[300];     // two 10-digit counts and a 254-character path, with room to spare
    char lastDriven[256]; // the image of the last job driven to Neat Image
    char box[2000];       // the text of the box of a stopped run
} Work;

int ListCount(void*)
{
    WorkerCheckpoint();
    return static_cast<int>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0));
}

// One read of a row: its identity (lParam) and, when asked, one column's text
// with a text limit of 255, so at most 254 characters.
bool ListRead(void*, int row, int column, char* text, std::size_t textSize, JobId* id)
{
    WorkerCheckpoint();
    std::memset(&Work.item, 0, sizeof Work.item);
    Work.item.mask = LVIF_PARAM | (text != nullptr ? LVIF_TEXT : 0);
    Work.item.iItem = row;
    Work.item.iSubItem = column;
    Work.item.pszText = Work.text;
    Work.item.cchTextMax = 255;
    Work.text[0] = '\0';
    if (!SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&Work.item)))
        return false;
    *id = static_cast<JobId>(Work.item.lParam);
    if (text != nullptr && textSize > 0) {
        // The control may point pszText at its own copy instead of filling
        // ours. Wine's list view fills all 255 bytes of a longer text and
        // leaves no terminator: cut at 254 as Windows does.
        const char* from = Work.item.pszText != nullptr ? Work.item.pszText : Work.text;
        Work.text[255] = '\0';
        std::size_t n = strnlen(from, 254);
        if (n >= textSize)
            n = textSize - 1;
        std::memmove(text, from, n);
        text[n] = '\0';
    }
    return true;
}

const JobListReader kJobList = {ListCount, ListRead, nullptr};

// The identity of the last row of the list at the start of the run, and the
// number of rows then; 0 and 0 for an empty list.
JobId LastJobAtStart(LONG* total)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        int count = ListCount(nullptr);
        *total = count;
        if (count <= 0)
            return 0;
        JobId id = 0;
        if (ListRead(nullptr, count - 1, 0, nullptr, 0, &id))
            return id;
        // A row was removed between the two reads: count again.
    }
    FatalError("Unknown error getting next image in list");
}

#if defined(TOLVANE_TEST_PROBES)
// Test build only: TOLVANE_TEST_DELAY_RUN_END=<ms> holds the worker between
// "Processing complete" and the emptied progress line.
void DelayRunEndForTest()
{
    char value[16] = "";
    if (GetEnvironmentVariableA("TOLVANE_TEST_DELAY_RUN_END", value, sizeof value) > 0)
        Sleep(static_cast<DWORD>(atoi(value)));
}
#else
void DelayRunEndForTest() {}
#endif

bool FileExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The output format selector's index, read by the job at its save step.
long ReadFormatIndex()
{
    WorkerCheckpoint();
    return OutputFormatIndex();
}

// What a job needs, read from the dialog at its start: the option to carry
// on, read at every job so that a change during a run applies from the next
// job on; the output format is read at the job's save step.
TargetJob TakeJob(const Pacing& pacing)
{
    TargetJob job = {};
    job.image = Work.imagePath;
    job.profile = Work.profilePath;
    job.pacing = pacing;
    WorkerCheckpoint();
    job.carryOn = ContinueOnFailureChecked();
    job.pacing.patientWhileBusy = job.carryOn;
    Batch.carryOn.store(job.carryOn, kRelaxed);
    job.formatIndex = ReadFormatIndex;
    return job;
}

// The idle priority asked for at Start; with carrying on, a refusal is a log
// line rather than a box that would hold the night up.
DWORD SetPriorityAtStart(bool idle, bool carryOn)
{
    if (!idle) {
        SetTargetPriorityClass(NORMAL_PRIORITY_CLASS);
        return NORMAL_PRIORITY_CLASS;
    }
    if (SetTargetPriorityClass(IDLE_PRIORITY_CLASS))
        return IDLE_PRIORITY_CLASS;
    WorkerCheckpoint();
    if (carryOn)
        LogMessage("Could not set Idle Priority: Neat Image runs at its own priority");
    else
        ShowBox(
            "Could not set Idle Priority.  This should not cause any \nproblems, but may make your "
            "machine less responsive while \nNeat Image is processing images.",
            "Tolvane warning");
    return IDLE_PRIORITY_CLASS;
}

} // namespace

DWORD WINAPI BatchWorker(LPVOID)
{
    LONG total = 0;
    BeginTally();
    Batch.imagesDone.store(0, kRelaxed);
    Batch.processed.store(0, kRelaxed);
    Batch.skipped.store(0, kRelaxed);
    Batch.failed.store(0, kRelaxed);
    JobId last = LastJobAtStart(&total);
    MarkRunWaiting(last);
    Batch.imageTotal.store(total, kRelaxed);
    Batch.batchStartTick.store(GetTickCount(), kRelaxed);
    WatchBegin();
    LogDialogTitles();
    SetFatalPrologue(EndRunByFatalError);

    WorkerCheckpoint();
    bool idle = IdlePriorityChecked();
    WorkerCheckpoint();
    // The pacing is read once: changing the option during a run takes effect
    // at the next.
    const Pacing pacing = MakePacing(FastPacingChecked(), PAUSE_MS, WAIT_TRIES);
    WorkerCheckpoint();
    bool carryOn = ContinueOnFailureChecked();
    const DWORD priorityClass = SetPriorityAtStart(idle, carryOn);
    WorkerCheckpoint();
    SendMessageA(MainDialog, WM_RUN_PHASE, kRunBegins, 0);
    FreezeWatchStart();

    // The jobs of this run are the rows present at Start that are still there
    // when their turn comes, taken by identity, so that rows removed or added
    // meanwhile move no job past the worker.
    LONG taken = 0;
    bool stopped = false;
    bool failedInARow = false;
    bool settled = true; // the last job driven has had the run's closing look
    JobId after = 0;
    for (;;) {
        JobId id = 0;
        NextJob next = TakeNextJob(kJobList, after, last, Work.imagePath, Work.profilePath, sizeof Work.imagePath, &id);
        if (next == NextJob::None)
            break;
        if (next != NextJob::Found) {
            const char* error = next == NextJob::ImageUnreadable ? "Unknown error getting next image in list"
                                                                 : "Unknown error getting next profile in list";
            WorkerCheckpoint();
            if (!ContinueOnFailureChecked())
                FatalError(error);
            StopForOwnError(error);
            stopped = true;
            break;
        }
        after = id;

        // A file moved or deleted since it was queued would leave Neat
        // Image's file dialog open on its refusal: skip the job instead.
        const char* missing = !FileExists(Work.imagePath)     ? Work.imagePath
                              : !FileExists(Work.profilePath) ? Work.profilePath
                                                              : nullptr;
        if (missing != nullptr) {
            RecordOutcome(JobOutcome::Skipped, Work.imagePath, missing);
            SetRowState(id, RowState::Skipped, missing);
            Batch.imagesDone.store(++taken, kRelaxed);
            continue;
        }

        FormatText(Work.status, sizeof Work.status, "Processing: %d of %d -- %s", static_cast<int>(taken + 1),
                   static_cast<int>(total), Work.imagePath);
        WorkerCheckpoint();
        SetStatusLine(Work.status);
        Batch.imageStartTick.store(GetTickCount(), kRelaxed);

        TargetJob job = TakeJob(pacing);
        carryOn = job.carryOn;
        FreezeWatchArm(carryOn);
        settled = id == last;
        std::memcpy(Work.lastDriven, Work.imagePath, sizeof Work.lastDriven);
        AfterFault afterFault = AfterFault::GoOn;
        SetRowState(id, RowState::Running, nullptr);
        try {
            ProcessImage(job, settled);
            RecordOutcome(JobOutcome::Done, job.image, nullptr);
            SetRowState(id, RowState::Done, LastOutputName());
        } catch (const TargetFault& fault) {
            afterFault = HandleFault(fault, job, priorityClass);
            SetRowState(id, RowState::Failed, LastFailureReason());
        }
        Batch.imagesDone.store(++taken, kRelaxed);
        if (afterFault == AfterFault::StopRun) {
            stopped = true;
            break;
        }
        if (TallyStopsRun(CurrentTally(), carryOn)) {
            FormatText(Work.status, sizeof Work.status, "%d jobs in a row failed", kFailuresInARowLimit);
            StopForOwnError(Work.status);
            stopped = failedInARow = true;
            break;
        }
    }
    // Rows skipped after the last job driven: that job has its closing look
    // here, and a box found now is its failure after all.
    if (!stopped && !settled) {
        try {
            SettleAfterLastJob(pacing);
        } catch (const TargetFault& fault) {
            TargetJob late = TakeJob(pacing);
            late.image = Work.lastDriven;
            CountBackLastDone();
            stopped = HandleFault(fault, late, priorityClass) == AfterFault::StopRun;
            SetDrivenRowState(RowState::Failed, LastFailureReason());
        }
    }
    FreezeWatchStop();
    // "When done" acts on a run that ended by itself: complete, or stopped
    // after failures in a row.
    WorkerCheckpoint();
    const WhenDone whenDone = !stopped || failedInARow ? WhenDoneChoice() : WhenDone::Nothing;
    if (whenDone == WhenDone::CloseNeatImage && !TargetGone()) {
        WorkerCheckpoint();
        LogMessage("When done: closing Neat Image");
        PostMessageA(TargetMainWindow, WM_CLOSE, 0, 0);
    }

    // A worker that Stop asked to leave does none of the end-of-run steps.
    WorkerCheckpoint();
    Batch.worker.store(nullptr, kRelaxed);
    Trace("Thread ended...\n\n");
    SendMessageA(MainDialog, WM_RUN_PHASE, kRunEnds,
                 static_cast<LPARAM>(stopped ? RunEndCause::StoppedOnFailures : RunEndCause::Finished));
    const RunTally& tally = CurrentTally();
    if (stopped)
        std::strncpy(Work.status, StopStatus(), sizeof Work.status - 1);
    else
        FormatCompleteStatus(Work.status, sizeof Work.status, tally.failed, tally.skipped);
    Work.status[sizeof Work.status - 1] = '\0';
    SetStatusLine(Work.status);
    DelayRunEndForTest();
    SetProgressLine("");
    if (whenDone == WhenDone::Sleep || whenDone == WhenDone::ShutDown)
        PostMessageA(MainDialog, WM_WHEN_DONE, static_cast<WPARAM>(whenDone), 0);
    if (stopped) {
        if (failedInARow)
            FormatText(Work.box, sizeof Work.box,
                       "Processing stopped: %d jobs in a row failed. Their reasons are in the session log.",
                       kFailuresInARowLimit);
        else
            FormatText(Work.box, sizeof Work.box, "Processing stopped: %s. %ld of %ld jobs were done.", StopReason(),
                       tally.processed, static_cast<long>(total));
        ShowBox(Work.box, "Warning");
    }
    return 0;
}
