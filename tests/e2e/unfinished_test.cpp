// The unfinished jobs of a run outlive the process: a fatal error, or a close
// during the run, first writes them to tolvane_unfinished.txt beside the
// program, in the job list format; a run that finishes writes none.
#include "states.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace statestest;
using rig::CountOf;

TEST_F(States, AFatalErrorWritesTheJobsItDidNotFinish)
{
    StartBoth("--refuse image-open two.bmp");
    std::vector<std::string> jobs = Queue({"one.bmp", "two.bmp", "three.bmp"});
    Start();
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, 30000)) << "no error box";
    // Written before the box shows; the box's text is as it always was.
    EXPECT_EQ(rig::ReadFileText(UnfinishedPath()), Line(jobs[1]) + Line(jobs[2]));
    EXPECT_EQ(box.text, "An Error Occurred:\n\nImage Open Dialog did not close\n\nThis program will now terminate.");
    rig::AnswerMessageBox(box.window);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_EQ(CountOf(log, "Unfinished jobs written to " + UnfinishedPath() +
                               " (2 jobs)\r\nRun ended by an error: 1 processed, 0 skipped, 0 failed in <time>\r\n"
                               "Image Open Dialog did not close\r\n"),
              1u)
        << log;
}

TEST_F(States, AFinishedRunWritesNone)
{
    StartBoth();
    std::vector<std::string> jobs = Queue({"one.bmp", "two.bmp"});
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    EXPECT_FALSE(rig::FileExists(UnfinishedPath()));
    EXPECT_EQ(CountOf(app_.Log(), "Unfinished"), 0u) << app_.Log();
}

TEST_F(States, ClosingDuringARunReplacesAnEarlierFileWithTheJobsItDidNotFinish)
{
    StartBoth("--filter-ms 3000");
    ASSERT_TRUE(rig::WriteFileText(UnfinishedPath(), "an earlier list\r\n"));
    std::vector<std::string> jobs = Queue({"one.bmp", "two.bmp", "three.bmp"});
    Start();
    ASSERT_TRUE(rig::WaitUntil([&] { return Images()[1] == kRunning; }, 30000)) << Describe(Images());
    DWORD code = 1;
    ASSERT_TRUE(app_.Close(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(rig::ReadFileText(UnfinishedPath()), Line(jobs[1]) + Line(jobs[2]));
    EXPECT_EQ(CountOf(app_.Log(), "Unfinished jobs written to " + UnfinishedPath() + " (2 jobs)\r\n"), 1u)
        << app_.Log();
    EXPECT_FALSE(rig::FileExists(UnfinishedPath() + ".tmp"));
}

} // namespace
