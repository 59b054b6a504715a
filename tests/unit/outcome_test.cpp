// What a job's end means for the run: the one decision on a fault, and the
// counts that stop a run.
#include "batch/outcome.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(Outcome, EachFaultWithAndWithoutCarryingOn)
{
    struct Row {
        FaultKind kind;
        FaultAction carryOn;
        FaultAction not_;
    };
    const FaultAction End = FaultAction::EndProcess, Fail = FaultAction::FailJob, Rest = FaultAction::FailJobAndRest,
                      Restart = FaultAction::RestartAndFail, Stop = FaultAction::StopRun;
    const Row rows[] = {
        // A window that did not come or close, a box, no proposed name.
        {FaultKind::JobFailed, Rest, End},
        // An output never written used to count as processed: it fails the
        // job, and ends nothing, whatever the option.
        {FaultKind::NotWritten, Fail, Fail},
        // Someone closed Neat Image: it is not started again behind their back.
        {FaultKind::Closed, Stop, End},
        // What a batch queue survives: the worker is started again.
        {FaultKind::Crashed, Restart, End},
        {FaultKind::NotResponding, Restart, End},
        {FaultKind::Refused, Restart, End},
        {FaultKind::Contract, Restart, End},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.kind));
        EXPECT_EQ(DecideFault(r.kind, true), r.carryOn);
        EXPECT_EQ(DecideFault(r.kind, false), r.not_);
    }
}

TEST(Outcome, CountsAndTheRowOfFailuresThatStopsARun)
{
    const JobOutcome D = JobOutcome::Done, F = JobOutcome::Failed, S = JobOutcome::Skipped;
    struct Row {
        const char* name;
        std::vector<JobOutcome> outcomes;
        bool carryOn;
        long processed, skipped, failed;
        bool stops;
    };
    const Row rows[] = {
        {"all done", {D, D, D}, true, 3, 0, 0, false},
        {"three failures in a row", {D, F, F, F}, true, 1, 0, 3, true},
        {"a job done breaks the row", {F, F, D, F, F}, true, 1, 0, 4, false},
        {"a skipped job neither breaks nor extends it", {F, S, F, S, F}, true, 0, 2, 3, true},
        {"two in a row go on", {F, F}, true, 0, 0, 2, false},
        {"without carrying on, failures never stop the run", {F, F, F, F}, false, 0, 0, 4, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        RunTally tally;
        bool stops = false;
        for (JobOutcome o : r.outcomes) {
            EXPECT_FALSE(stops) << "a job counted after the run stopped";
            TallyOutcome(tally, o);
            stops = TallyStopsRun(tally, r.carryOn);
        }
        EXPECT_EQ(tally.processed, r.processed);
        EXPECT_EQ(tally.skipped, r.skipped);
        EXPECT_EQ(tally.failed, r.failed);
        EXPECT_EQ(stops, r.stops);
    }
}

} // namespace
