// The end of each job of a run (batch/job_end.h). Runs on the batch worker;
// what a sent message points at lives outside its stack.
#include "batch/job_end.h"
#include "batch/batch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "target/failure.h"
#include "target/freeze.h"
#include "target/restart.h"
#include "target/watch.h"

#include <cstring>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

RunTally Tally;
// The reason of the job that failed last, and why the run stopped.
char Reason[1600];
char Status[300];
char Stopped[1600];

void Copy(char* to, std::size_t size, const char* text)
{
    std::strncpy(to, text != nullptr ? text : "", size - 1);
    to[size - 1] = '\0';
}

// The reason of a job whose Neat Image is started again: what happened to
// it, after the job's own reason when `after` (a failed job whose Neat Image
// then did not come back to rest).
void RestartReason(const TargetFault& fault, bool after)
{
    char* end = after ? Reason + std::strlen(Reason) : Reason;
    std::size_t room = sizeof Reason - static_cast<std::size_t>(end - Reason);
    const char* lead = after ? "; " : "";
    const char* bound = nullptr;
    if (fault.kind == FaultKind::NotResponding && TargetEndedAsFrozen(&bound))
        FormatText(end, room, "%sNeat Image was not responding (%s)", lead, bound);
    else if (fault.kind == FaultKind::Crashed || fault.kind == FaultKind::NotResponding)
        FormatText(end, room, "%sNeat Image ended unexpectedly (exit code 0x%08lX)", lead,
                   static_cast<unsigned long>(TargetExitCode()));
    else
        FormatText(end, room, "%s%s", lead, fault.text);
}

// Ends and starts Neat Image again; the job's reason says so. When it cannot
// be started again, the run stops.
AfterFault Restart(const TargetFault& fault, bool after, const char* image, DWORD priorityClass)
{
    RestartReason(fault, after);
    const bool ended = fault.kind == FaultKind::Crashed || fault.kind == FaultKind::NotResponding;
    const char* failure = StartTargetAgain(priorityClass);
    char* end = Reason + std::strlen(Reason);
    std::size_t room = sizeof Reason - static_cast<std::size_t>(end - Reason);
    if (failure == nullptr) {
        FormatText(end, room, ended ? "; it was started again" : "; Neat Image was ended and started again");
        RecordOutcome(JobOutcome::Failed, image, Reason);
        return AfterFault::GoOn;
    }
    FormatText(end, room, "; %s", failure);
    RecordOutcome(JobOutcome::Failed, image, Reason);
    Copy(Status, sizeof Status, "Processing stopped: Neat Image could not be started again");
    Copy(Stopped, sizeof Stopped, failure);
    return AfterFault::StopRun;
}

} // namespace

void BeginTally()
{
    Tally = RunTally{};
    Status[0] = '\0';
    Stopped[0] = '\0';
}

const RunTally& CurrentTally()
{
    return Tally;
}

void RecordOutcome(JobOutcome outcome, const char* image, const char* reason)
{
    WorkerCheckpoint();
    if (outcome == JobOutcome::Failed)
        LogMessage("Failed: %s: %s", image, reason);
    else if (outcome == JobOutcome::Skipped)
        LogMessage("Skipped, file not found: %s", reason);
    TallyOutcome(Tally, outcome);
    Batch.processed.store(Tally.processed, kRelaxed);
    Batch.skipped.store(Tally.skipped, kRelaxed);
    Batch.failed.store(Tally.failed, kRelaxed);
}

void CountBackLastDone()
{
    if (Tally.processed > 0)
        --Tally.processed;
    Batch.processed.store(Tally.processed, kRelaxed);
}

AfterFault HandleFault(const TargetFault& fault, const TargetJob& job, DWORD priorityClass)
{
    FaultAction action = DecideFault(fault.kind, job.carryOn);
    if (action == FaultAction::EndProcess)
        FatalError(fault.text);
    // The text lives in the fault's storage until the next fault.
    Copy(Reason, sizeof Reason, fault.text);
    switch (action) {
    case FaultAction::FailJobAndRest:
        try {
            BringTargetToRest();
        } catch (const TargetFault& rest) {
            // Neat Image did not come back to rest, or went away meanwhile:
            // decided as a fault of its own, the job keeps its reason.
            FaultAction next = DecideFault(rest.kind, job.carryOn);
            if (next == FaultAction::EndProcess)
                FatalError(rest.text);
            if (next == FaultAction::RestartAndFail)
                return Restart(rest, true, job.image, priorityClass);
            if (next == FaultAction::StopRun)
                return HandleFault(rest, job, priorityClass);
        }
        break;
    case FaultAction::RestartAndFail:
        return Restart(fault, false, job.image, priorityClass);
    case FaultAction::StopRun:
        FreezeWatchArm(false);
        Copy(Reason, sizeof Reason, "Neat Image was closed");
        RecordOutcome(JobOutcome::Failed, job.image, Reason);
        Copy(Status, sizeof Status, "Processing stopped: Neat Image was closed");
        Copy(Stopped, sizeof Stopped, "Neat Image was closed");
        return AfterFault::StopRun;
    case FaultAction::FailJob:
    case FaultAction::EndProcess:
        break;
    }
    RecordOutcome(JobOutcome::Failed, job.image, Reason);
    return AfterFault::GoOn;
}

const char* LastFailureReason()
{
    return Reason;
}

void StopForOwnError(const char* text)
{
    FormatText(Status, sizeof Status, "Processing stopped: %s", text);
    Copy(Stopped, sizeof Stopped, text);
}

const char* StopStatus()
{
    return Status;
}

const char* StopReason()
{
    return Stopped;
}
