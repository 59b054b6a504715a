// The batch worker: runs the jobs of the job list through Neat Image, in row
// order, on a thread of its own.
//
// It reaches the dialog's controls only through sent messages, which the user
// interface thread serves; so it advances only while that thread keeps
// retrieving messages. Everything those messages point at lives in Work
// below, not on the worker's stack: a worker terminated while one of its
// messages is still unanswered must not leave the receiver writing into a
// freed stack (Windows frees a terminated thread's stack at once).
#include "app/app.h"
#include "batch/batch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "jobs/jobs.h"
#include "target/failure.h"
#include "target/target.h"
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
    char status[300];        // two 10-digit counts and a 254-character path, with room to spare
    char previousImage[256]; // the last job driven to its end, until the next one
} Work;

// After this many failed jobs in a row, the run stops: something is wrong
// beyond one bad file, and going on would only add failures.
constexpr int kFailuresInARowLimit = 3;

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

// Called first by FatalError while a run is in progress, on whichever thread
// meets the error: the run's line goes before the error's own.
void LogRunEndedByError()
{
    LogRunSummary(RunEnd::Error);
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

// What the worker knows of the jobs of a run that failed.
struct FailureCount {
    long failed = 0;
    int inARow = 0;
};

// A job failed and the user chose to carry on: Neat Image is brought back to
// rest, the failure is logged with its reason, and counted. A job that had
// been counted as processed (a box that came after its save) is moved over.
void RecordFailure(FailureCount& count, const char* image, const char* reason, bool wasProcessed)
{
    BringTargetToRest();
    WorkerCheckpoint();
    LogMessage("Failed: %s: %s", image, reason);
    if (wasProcessed)
        Batch.processed.store(Batch.processed.load(kRelaxed) - 1, kRelaxed);
    Batch.failed.store(++count.failed, kRelaxed);
    ++count.inARow;
}

bool FileExists(const char* path)
{
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

} // namespace

DWORD WINAPI BatchWorker(LPVOID)
{
    LONG total = 0;
    Batch.imagesDone.store(0, kRelaxed);
    Batch.processed.store(0, kRelaxed);
    Batch.skipped.store(0, kRelaxed);
    Batch.failed.store(0, kRelaxed);
    JobId last = LastJobAtStart(&total);
    Batch.imageTotal.store(total, kRelaxed);
    Batch.batchStartTick.store(GetTickCount(), kRelaxed);
    WatchBegin();
    SetFatalPrologue(LogRunEndedByError);

    WorkerCheckpoint();
    bool idle = IdlePriorityChecked();
    WorkerCheckpoint();
    // The pacing is read once: changing the option during a run takes effect
    // at the next.
    SetFastPacing(FastPacingChecked());
    WorkerCheckpoint();
    if (idle) {
        if (!SetTargetPriorityClass(IDLE_PRIORITY_CLASS))
            ShowBox(
                "Could not set Idle Priority.  This should not cause any \nproblems, but may make your "
                "machine less responsive while \nNeat Image is processing images.",
                "Tolvane warning");
    } else {
        SetTargetPriorityClass(NORMAL_PRIORITY_CLASS);
    }
    WorkerCheckpoint();
    SendMessageA(MainDialog, WM_RUN_PHASE, kRunBegins, 0);

    // The jobs of this run are the rows present at Start that are still there
    // when their turn comes, taken by identity, so that rows removed or added
    // meanwhile move no job past the worker.
    LONG taken = 0;
    int skipped = 0;
    FailureCount failures;
    bool previousCarryOn = false;
    Work.previousImage[0] = '\0';
    JobId after = 0;
    for (;;) {
        JobId id = 0;
        NextJob next = TakeNextJob(kJobList, after, last, Work.imagePath, Work.profilePath, sizeof Work.imagePath, &id);
        if (next == NextJob::None)
            break;
        if (next == NextJob::ImageUnreadable)
            FatalError("Unknown error getting next image in list");
        if (next == NextJob::ProfileUnreadable)
            FatalError("Unknown error getting next profile in list");
        after = id;

        // A file moved or deleted since it was queued would leave Neat
        // Image's file dialog open on its refusal: skip the job instead.
        const char* missing = !FileExists(Work.imagePath)     ? Work.imagePath
                              : !FileExists(Work.profilePath) ? Work.profilePath
                                                              : nullptr;
        if (missing != nullptr) {
            WorkerCheckpoint();
            LogMessage("Skipped, file not found: %s", missing);
            ++skipped;
            Batch.skipped.store(skipped, kRelaxed);
            Batch.imagesDone.store(++taken, kRelaxed);
            continue;
        }

        FormatText(Work.status, sizeof Work.status, "Processing: %d of %d -- %s", static_cast<int>(taken + 1),
                   static_cast<int>(total), Work.imagePath);
        WorkerCheckpoint();
        SetStatusLine(Work.status);
        Batch.imageStartTick.store(GetTickCount(), kRelaxed);

        // A box Neat Image raised after the last save belongs to that job.
        if (Work.previousImage[0] != '\0') {
            try {
                SetContinueOnFailure(previousCarryOn);
                WatchAftermath();
            } catch (const JobFailure& f) {
                RecordFailure(failures, Work.previousImage, f.reason, true);
            }
            Work.previousImage[0] = '\0';
            if (failures.inARow >= kFailuresInARowLimit)
                break;
        }

        // Read at the start of each job, so a change during a run applies
        // from the next job on.
        WorkerCheckpoint();
        previousCarryOn = ContinueOnFailureChecked();
        SetContinueOnFailure(previousCarryOn);
        try {
            ProcessImage(Work.imagePath, Work.profilePath);
            Batch.processed.store(Batch.processed.load(kRelaxed) + 1, kRelaxed); // this thread is its only writer
            failures.inARow = 0;
            std::memcpy(Work.previousImage, Work.imagePath, sizeof Work.previousImage);
        } catch (const JobFailure& f) {
            RecordFailure(failures, Work.imagePath, f.reason, false);
        }
        Batch.imagesDone.store(++taken, kRelaxed);
        if (failures.inARow >= kFailuresInARowLimit)
            break;
    }
    if (failures.inARow < kFailuresInARowLimit && Work.previousImage[0] != '\0') {
        try {
            SettleAfterLastJob();
        } catch (const JobFailure& f) {
            RecordFailure(failures, Work.previousImage, f.reason, true);
        }
    }
    bool stopped = failures.inARow >= kFailuresInARowLimit;

    // A worker that Stop asked to leave does none of the end-of-run steps.
    WorkerCheckpoint();
    Batch.worker.store(nullptr, kRelaxed);
    Trace("Thread ended...\n\n");
    SetFatalPrologue(nullptr);
    LogRunSummary(stopped ? RunEnd::Stopped : RunEnd::Complete);
    // The timer goes first, on its own thread: no tick can then write an
    // elapsed time after "Processing complete".
    SendMessageA(MainDialog, WM_RUN_PHASE, kRunEnds, 0);
    if (stopped)
        FormatText(Work.status, sizeof Work.status, "Processing stopped: %d jobs in a row failed",
                   kFailuresInARowLimit);
    else
        FormatCompleteStatus(Work.status, sizeof Work.status, failures.failed, skipped);
    SetStatusLine(Work.status);
    DelayRunEndForTest();
    SetProgressLine("");
    if (stopped) {
        FormatText(Work.status, sizeof Work.status,
                   "Processing stopped: %d jobs in a row failed. Their reasons are in the session log.",
                   kFailuresInARowLimit);
        ShowBox(Work.status, "Warning");
    }
    return 0;
}
