// The end of each job of a run, on the batch worker: its outcome counted and
// logged, and what a fault means for the run (bring Neat Image back to rest,
// start it again, stop the run, or the fatal error).
#pragma once

#include "batch/outcome.h"
#include "target/job.h"

#include <windows.h>

// Starts the counts of a new run.
void BeginTally();
// The counts of the run so far.
const RunTally& CurrentTally();

// Records how a job ended: the counts the progress line and the end of the
// run read, and the job's line in the session log (a failed job with its
// reason, a skipped one with the missing file in `reason`).
void RecordOutcome(JobOutcome outcome, const char* image, const char* reason);

// A job counted as done turns out failed (a box after the run's last save,
// found by the run's closing look): its count is taken back first.
void CountBackLastDone();

// What the run does after a fault.
enum class AfterFault { GoOn, StopRun };
// Handles the fault of `job` as DecideFault says; returns only when the job
// is failed and recorded, and says whether the run goes on. Neat Image is
// started again with `priorityClass`. When the run stops, StopStatus and
// StopReason say why.
AfterFault HandleFault(const TargetFault& fault, const TargetJob& job, DWORD priorityClass);
// The reason logged for the job that failed last, as its row's infotip
// gives it.
const char* LastFailureReason();
// Stops the run for an error of Tolvane's own (a row it cannot read), when
// carrying on; `text` is the error's own message.
void StopForOwnError(const char* text);
// Why the run stopped: the status line, and the reason for the "Warning" box.
const char* StopStatus();
const char* StopReason();
