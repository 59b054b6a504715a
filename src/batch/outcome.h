// What a job's end means for the run: plain functions, tested directly.
#pragma once

#include "target/fault.h"

// What the worker does about a fault the target layer reported.
enum class FaultAction {
    EndProcess,     // the fatal error, with the fault's text
    FailJob,        // log and count the job as failed; Neat Image is at rest
    FailJobAndRest, // bring Neat Image back to rest first, then as FailJob
    RestartAndFail, // end Neat Image and start it again, then as FailJob
    StopRun,        // fail the job and stop the run cleanly: Neat Image was closed
};

// The one decision. A job whose output was never written fails whatever the
// option (it used to count as processed). Without "Continue after a failed
// job" every other fault ends the process. With it, nothing does: a job that
// failed where Neat Image can be brought back to rest is failed after that;
// a Neat Image that someone closed stops the run; one that crashed, stopped
// responding, refused a command or is in a state Tolvane cannot vouch for is
// started again.
FaultAction DecideFault(FaultKind kind, bool carryOn);

// How one job of a run ended.
enum class JobOutcome { Done, Failed, Skipped };

// The counts of a run so far.
struct RunTally {
    long processed = 0;
    long skipped = 0;
    long failed = 0;
    int failedInARow = 0; // failed jobs since the last one done
};

// After this many failed jobs in a row, a run that carries on stops: something
// is wrong beyond one bad file, and going on would only add failures.
constexpr int kFailuresInARowLimit = 3;

// Counts one job's outcome. A skipped job neither breaks nor extends a row of
// failures.
void TallyOutcome(RunTally& tally, JobOutcome outcome);
// Whether the run stops here: only when it carries on from failures, after
// kFailuresInARowLimit of them in a row.
bool TallyStopsRun(const RunTally& tally, bool carryOn);
