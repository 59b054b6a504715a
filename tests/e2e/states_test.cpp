// Each job's state in the list, read from outside as automation reads it (the
// item image of column 0 and the infotip the dialog gives), through whole
// runs against the stand-in; and a job whose output is never written.
#include "states.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace statestest;
using rig::CountOf;

TEST_F(States, EachJobShowsItsStateBeforeDuringAndAfterTheRun)
{
    StartBoth("--refuse image-open bad.bmp --filter-ms 700");
    std::vector<std::string> jobs = Queue({"one.bmp", "vanished.bmp", "bad.bmp", "four.bmp", "five.bmp"});
    ASSERT_TRUE(DeleteFileA(jobs[1].c_str())) << "the file vanishes before its turn";
    EXPECT_EQ(Images(), (std::vector<int>{kNone, kNone, kNone, kNone, kNone})) << "before the run";
    CheckCarryOn();
    Press(IDC_START);

    // At Start every row of the run is waiting; the first job then runs.
    std::vector<int> seen;
    ASSERT_TRUE(rig::WaitUntil([&] { return (seen = Images())[0] == kRunning; }, 10000)) << Describe(seen);
    EXPECT_EQ(seen, (std::vector<int>{kRunning, kWaiting, kWaiting, kWaiting, kWaiting}));
    EXPECT_EQ(Tip(0), "Running");
    EXPECT_EQ(Tip(4), "Waiting");

    // During job 4: rows 1 to 3 with their results, row 4 running, row 5 waiting.
    ASSERT_TRUE(rig::WaitUntil([&] { return (seen = Images())[3] == kRunning; }, 60000)) << Describe(seen);
    EXPECT_EQ(seen, (std::vector<int>{kDone, kSkipped, kFailed, kRunning, kWaiting}));

    ASSERT_TRUE(WaitForStatus("Processing complete (1 job failed, 1 job skipped)", 60000)) << Status();
    EXPECT_EQ(Images(), (std::vector<int>{kDone, kSkipped, kFailed, kDone, kDone}));
    EXPECT_EQ(Tip(0), "Done: " + Output(jobs[0]));
    EXPECT_EQ(Tip(1), "Skipped, file not found: " + jobs[1]);
    EXPECT_EQ(Tip(2), "Failed: Image Open Dialog did not close");
    EXPECT_EQ(Tip(3), "Done: " + Output(jobs[3]));
    EXPECT_EQ(Tip(4), "Done: " + Output(jobs[4]));
    // The tips say what the log says.
    std::string log = app_.Log();
    EXPECT_EQ(CountOf(log, "Skipped, file not found: " + jobs[1] + "\r\n"), 1u) << log;
    EXPECT_EQ(CountOf(log, "Failed: " + jobs[2] + ": Image Open Dialog did not close\r\n"), 1u) << log;
    // The texts of both columns are as they were.
    EXPECT_EQ(
        rig::ListViewRows(List(), 2),
        (Rows{
            {jobs[0], profile_}, {jobs[1], profile_}, {jobs[2], profile_}, {jobs[3], profile_}, {jobs[4], profile_}}));

    // Show output on a done row: what would start is Explorer with the
    // output selected (the test build only traces it).
    ASSERT_TRUE(rig::SelectListViewRows(List(), {3}));
    rig::PostCommand(app_.dialog, IDC_SHOW_OUTPUT);
    std::string line = "Would start: explorer.exe /select,\"" + Output(jobs[3]) + "\"\n";
    EXPECT_TRUE(rig::WaitUntil([&] { return CountOf(app_.Trace(), line) == 1; })) << app_.Trace();
    // On a failed row it does nothing.
    ASSERT_TRUE(rig::SelectListViewRows(List(), {2}));
    EXPECT_TRUE(Command(IDC_SHOW_OUTPUT));
    EXPECT_EQ(CountOf(app_.Trace(), "Would start: "), 1u);
}

TEST_F(States, AStopLeavesTheDoneJobsDoneAndTheRestWaiting)
{
    StartBoth("--filter-ms 3000");
    std::vector<std::string> jobs = Queue({"s1.bmp", "s2.bmp", "s3.bmp"});
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return Images()[1] == kRunning; }, 30000)) << Describe(Images());
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success", 10000), "Batch processing terminated.  Cancel Neat Image manually.");
    ASSERT_TRUE(rig::WaitUntil([&] {
        return Images() == std::vector<int>{kDone, kWaiting, kWaiting};
    })) << Describe(Images());
    EXPECT_EQ(Tip(1), "Waiting");
}

// Neat Image saves nothing for job 2 of 3: without "Continue after a failed
// job" that job fails, is said so, and the run goes on.
TEST_F(States, AJobWhoseOutputIsNeverWrittenFailsAndTheRunGoesOn)
{
    StartBoth("--no-output two.bmp");
    std::vector<std::string> jobs = Queue({"one.bmp", "two.bmp", "three.bmp"});
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job failed)", 30000)) << Status();
    EXPECT_TRUE(standin_.Has("no-output", Output(jobs[1]))) << standin_.JournalText();
    EXPECT_TRUE(rig::FileExists(Output(jobs[0])));
    EXPECT_FALSE(rig::FileExists(Output(jobs[1])));
    EXPECT_TRUE(rig::FileExists(Output(jobs[2])));
    EXPECT_EQ(Images(), (std::vector<int>{kDone, kFailed, kDone}));
    EXPECT_EQ(Tip(1), "Failed: Neat Image wrote no " + Output(jobs[1]));
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_EQ(CountOf(log, "Failed: " + jobs[1] + ": Neat Image wrote no " + Output(jobs[1]) + "\r\n"), 1u) << log;
    EXPECT_EQ(CountOf(log, "Run complete: 2 processed, 0 skipped, 1 failed in <time>\r\n"), 1u) << log;
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "the process ended";
}

// An output that exists but was written before the job began is an earlier
// one: the job still wrote nothing.
TEST_F(States, AnOutputOlderThanTheJobIsNotItsOutput)
{
    StartBoth("--no-output two.bmp");
    std::vector<std::string> jobs = {Image("one.bmp"), Image("two.bmp")};
    ASSERT_TRUE(rig::WriteFileText(Output(jobs[1]), "an earlier output"));
    ASSERT_TRUE(SetAge(Output(jobs[1]), 3600));
    for (const std::string& job : jobs)
        AddJob(job);
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job failed)", 30000)) << Status();
    EXPECT_EQ(Images(), (std::vector<int>{kDone, kFailed}));
    EXPECT_EQ(Tip(1), "Failed: Neat Image wrote no " + Output(jobs[1]));
    EXPECT_EQ(rig::ReadFileText(Output(jobs[1])), "an earlier output");
}

} // namespace
