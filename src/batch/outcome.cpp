// What a job's end means for the run (batch/outcome.h).
#include "batch/outcome.h"

FaultAction DecideFault(FaultKind kind, bool carryOn)
{
    if (kind == FaultKind::NotWritten)
        return FaultAction::FailJob;
    if (!carryOn)
        return FaultAction::EndProcess;
    switch (kind) {
    case FaultKind::JobFailed:
        return FaultAction::FailJobAndRest;
    case FaultKind::Closed:
        return FaultAction::StopRun;
    case FaultKind::NotWritten:
    case FaultKind::Crashed:
    case FaultKind::NotResponding:
    case FaultKind::Refused:
    case FaultKind::Contract:
        break;
    }
    return FaultAction::RestartAndFail;
}

void TallyOutcome(RunTally& tally, JobOutcome outcome)
{
    switch (outcome) {
    case JobOutcome::Done:
        ++tally.processed;
        tally.failedInARow = 0;
        break;
    case JobOutcome::Failed:
        ++tally.failed;
        ++tally.failedInARow;
        break;
    case JobOutcome::Skipped:
        ++tally.skipped;
        break;
    }
}

bool TallyStopsRun(const RunTally& tally, bool carryOn)
{
    return carryOn && tally.failedInARow >= kFailuresInARowLimit;
}
