// Whole runs against the stand-in: Start, the worker, Stop, the status and
// progress lines, and what the user may do while a run goes on.
#include "target_session.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kNoTarget[] = "Could not find a running instance of Neat Image.  Start Neat Image and try again.";
const char kAgain[] = "Cannot start again until previous processing is finished.";
const char kTerminated[] = "Batch processing terminated.  Cancel Neat Image manually.";

class Batch : public rig::TargetSession {
protected:
    DWORD StandInPriority()
    {
        HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, standin_.proc.pid);
        DWORD c = p ? GetPriorityClass(p) : 0;
        if (p)
            CloseHandle(p);
        return c;
    }
};

TEST_F(Batch, RunOfSeveralJobsToProcessingComplete)
{
    StartBoth("--filter-ms 1500");
    std::vector<std::string> images = {Image("one.bmp"), Image("two.jpg"), Image("three.tif")};
    for (auto& i : images)
        AddJob(i);
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return Status() == "Processing: 1 of 3 -- " + images[0]; }, 10000))
        << Status();
    EXPECT_NE(app_.Trace().find("Thread started...\n\n"), std::string::npos);

    // Start during the run is refused and leaves it undisturbed.
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 1, 10000));
    Press(IDC_START);
    EXPECT_EQ(AnswerBox("Warning"), kAgain);

    ASSERT_TRUE(rig::WaitUntil([&] { return Status() == "Processing: 2 of 3 -- " + images[1]; }, 20000))
        << Status();
    ASSERT_TRUE(WaitForStatus("Processing complete", 40000)) << Status();
    EXPECT_EQ(Progress(), "");
    ASSERT_TRUE(standin_.WaitForEvents("saved", 3, 10000)); // the last save lands just after
    auto saved = standin_.EventsNamed("saved");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0].args, "BMP " + standin_.dir + "\\one_filtered.bmp");
    EXPECT_EQ(saved[1].args, "BMP " + standin_.dir + "\\two_filtered.jpg.bmp");
    EXPECT_EQ(saved[2].args, "BMP " + standin_.dir + "\\three_filtered.tif.bmp");
    EXPECT_EQ(standin_.EventsNamed("menu", "image-open").size(), 3u);
    EXPECT_EQ(app_.Log(), "Processing image: " + images[0] + "\r\nProcessing image: " + images[1] +
                              "\r\nProcessing image: " + images[2] + "\r\n");
    EXPECT_NE(app_.Trace().find("Thread ended...\n\n"), std::string::npos);

    // A second run in the same process continues the same log.
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return standin_.EventsNamed("saved").size() == 6; }, 60000));
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000)) << Status();
    std::string log = app_.Log();
    EXPECT_EQ(log.find("Processing image: " + images[0] + "\r\n"), 0u);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 6);
}

TEST_F(Batch, StartWithoutTheTargetWarnsThenWorksOnceItRuns)
{
    StartTolvane();
    HWND stray = rig::FindTopWindow(nullptr, nullptr, 0, true);
    for (HWND w = stray; w; w = GetWindow(w, GW_HWNDNEXT)) {
        std::string t = rig::TitleOf(w);
        if (t.rfind("Neat Image", 0) == 0) {
            DWORD pid = 0;
            GetWindowThreadProcessId(w, &pid);
            ADD_FAILURE() << "a target window is already there: " << t << " class " << rig::ClassOf(w) << " pid " << pid
                          << " (tolvane " << app_.proc.pid << ")";
        }
    }
    Press(IDC_START);
    EXPECT_EQ(AnswerBox("Warning"), kNoTarget);
    EXPECT_EQ(Status(), "Status:");
    StartStandIn();
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000)) << Status();
}

TEST_F(Batch, EmptyListEndsAtOnceAndStartIsAcceptedAgain)
{
    StartBoth();
    for (int run = 0; run < 2; ++run) {
        rig::SetText(app_.Item(IDC_STATUS), "Status:");
        Press(IDC_START);
        ASSERT_TRUE(WaitForStatus("Processing complete", 10000)) << Status();
        EXPECT_EQ(Progress(), "");
    }
    EXPECT_TRUE(standin_.EventsNamed("menu").empty());
}

TEST_F(Batch, JobPathLongerThan254CharactersReachesTheSequenceCut)
{
    StartBoth("--never image-open");
    std::string longPath = "C:\\" + std::string(296, 'p') + ".bmp";
    AddJob(longPath);
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("never", 1, 10000));
    EXPECT_EQ(app_.Log(), "Processing image: " + longPath.substr(0, 254) + "\r\n");
    EXPECT_EQ(Status(), "Processing: 1 of 1 -- " + longPath.substr(0, 254));
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success"), kTerminated);
}

TEST_F(Batch, IdlePriorityOptionIsReadBackFromTheTarget)
{
    StartBoth();
    ASSERT_EQ(StandInPriority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000));
    EXPECT_EQ(StandInPriority(), static_cast<DWORD>(IDLE_PRIORITY_CLASS));

    // Cleared: the normal class, even though it ran at idle before.
    Press(IDC_IDLE_PRIORITY);
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::CheckState(app_.Item(IDC_IDLE_PRIORITY)) == BST_UNCHECKED; }));
    rig::SetText(app_.Item(IDC_STATUS), "Status:");
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000));
    EXPECT_EQ(StandInPriority(), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
}

TEST_F(Batch, StopDuringADialogWait)
{
    StartBoth("--never image-open");
    std::string first = Image("first.bmp");
    AddJob(first);
    AddJob(Image("second.bmp"));
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("never", 1, 10000));
    // Let the progress timer write the line at least once.
    ASSERT_TRUE(rig::WaitUntil([&] { return Progress().rfind("Elapsed Time:", 0) == 0; }, 5000)) << Progress();
    Press(IDC_STOP);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Success", &box, app_.proc.pid));
    EXPECT_EQ(box.text, kTerminated);
    size_t eventsAtBox = standin_.Events().size();
    rig::AnswerMessageBox(box.window);
    ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();
    std::string progress = Progress();
    EXPECT_EQ(progress.rfind("Elapsed Time:", 0), 0u) << "the progress line keeps its text";
    Sleep(1500);
    EXPECT_EQ(Progress(), progress) << "the timer is gone";
    EXPECT_EQ(standin_.Events().size(), eventsAtBox) << "the worker took a further step";
    EXPECT_NE(app_.Trace().find("Stop\n"), std::string::npos);

    // The next run begins again at the first row.
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return Status() == "Processing: 1 of 2 -- " + first; }, 10000)) << Status();
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success"), kTerminated);
    ASSERT_TRUE(WaitForStatus("Processing terminated", 5000));
}

TEST_F(Batch, StopDuringFilteringLeavesTheTargetAlone)
{
    StartBoth("--filter-ms 4000");
    AddJob(Image("slow.bmp"));
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 1, 10000));
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success"), kTerminated);
    ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();
    // The stand-in finishes its filtering; nothing is sent to it afterwards.
    ASSERT_TRUE(standin_.WaitForEvents("filter-applied", 1, 10000));
    Sleep(1000);
    EXPECT_TRUE(standin_.EventsNamed("menu", "image-saveas").empty());
    EXPECT_TRUE(standin_.EventsNamed("saved").empty());
    // The user interface and the trace still work after the kill.
    Press(IDC_STOP);
    Press(IDC_HELP);
    AnswerBox("Tolvane Help");
    EXPECT_TRUE(rig::WaitUntil([&] {
        std::string t = app_.Trace();
        return t.find("Stop\nThread ended...\n\nStop\n") != std::string::npos;
    })) << app_.Trace();
}

TEST_F(Batch, JobsAddedDuringARunAreNotProcessed)
{
    StartBoth("--filter-ms 1500");
    AddJob(Image("only.bmp"));
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 1, 10000));
    AddJob(Image("late.bmp"));
    ASSERT_TRUE(WaitForStatus("Processing complete", 20000)) << Status();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 1, 10000));
    Sleep(1500);
    ASSERT_EQ(standin_.EventsNamed("saved").size(), 1u);
    EXPECT_EQ(standin_.EventsNamed("image-opened").size(), 1u);
}

TEST_F(Batch, JobRemovedDuringARunEndsTheRunInsteadOfTheProcess)
{
    StartBoth("--filter-ms 1500");
    std::string a = Image("a.bmp"), b = Image("b.bmp");
    AddJob(a);
    AddJob(b);
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 1, 10000));
    // Remove the running job: the second one moves up to row 0, and row 1,
    // where the worker goes next, no longer exists.
    ASSERT_TRUE(rig::SelectListViewRows(app_.Item(IDC_JOB_LIST), {0}));
    Press(IDC_REMOVE);
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(app_.Item(IDC_JOB_LIST)) == 1; }));
    ASSERT_TRUE(WaitForStatus("Processing complete", 20000)) << Status();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 1, 10000));
    Sleep(1500);
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 1u);
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 500, &code)) << "the process ended";
    EXPECT_EQ(app_.Log().find("Unknown error"), std::string::npos);
}

TEST_F(Batch, ProgressLineShowsPercentAndRemainingTimesWhileFiltering)
{
    StartBoth("--filter-ms 5000");
    AddJob(Image("p1.bmp"));
    AddJob(Image("p2.bmp"));
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 2, 30000));
    std::string seen;
    ASSERT_TRUE(rig::WaitUntil(
        [&] {
            seen = Progress();
            return seen.find("Remaining Time:    Total = ") != std::string::npos &&
                   seen.find("% complete)\n") != std::string::npos;
        },
        6000))
        << seen;
    EXPECT_EQ(seen.rfind("Elapsed Time:   Total = 0:00:", 0), 0u) << seen;
    EXPECT_NE(seen.find("     Image = 0:00:"), std::string::npos) << seen;
    EXPECT_NE(seen.find("    Image = "), seen.find("     Image = ")) << seen;
    Press(IDC_STOP);
    AnswerBox("Success");
}

} // namespace
