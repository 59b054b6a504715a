// Whole runs against the stand-in: Start, the worker, Stop, the status and
// progress lines, and what the user may do while a run goes on.
#include "target_session.h"

#include "app/resource.h"
#include "batch/progress_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

const char kNoTarget[] = "Could not find a running instance of Neat Image.  Start Neat Image and try again.";
const char kAgain[] = "Cannot start again until previous processing is finished.";
const char kTerminated[] = "Batch processing terminated.  Cancel Neat Image manually.";

using rig::CountOf;

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
    // The file names the stand-in saved, in order.
    std::vector<std::string> SavedNames()
    {
        std::vector<std::string> names;
        for (const auto& e : standin_.EventsNamed("saved"))
            names.push_back(e.args.substr(e.args.find_last_of('\\') + 1));
        return names;
    }
    // Cancels a file dialog that a Stop left open in the stand-in, as the
    // user does after "Cancel Neat Image manually".
    void CancelStandInDialogs()
    {
        for (const char* title : {"Open", "Save As"})
            if (HWND d = rig::FindTopWindow("#32770", title, standin_.proc.pid)) {
                rig::PostCommand(d, IDCANCEL);
                EXPECT_TRUE(rig::WaitForWindowGone(d));
            }
    }
};

TEST_F(Batch, RunOfSeveralJobsToProcessingComplete)
{
    StartBoth("--filter-ms 1500");
    std::vector<std::string> images = {Image("one.bmp"), Image("two.jpg"), Image("three.tif")};
    for (auto& i : images)
        AddJob(i);
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return Status() == "Processing: 1 of 3 -- " + images[0]; }, 10000)) << Status();
    EXPECT_NE(app_.Trace().find("Thread started...\n\n"), std::string::npos);

    // Start during the run is refused and leaves it undisturbed.
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 1, 10000));
    Press(IDC_START);
    EXPECT_EQ(AnswerBox("Warning"), kAgain);

    ASSERT_TRUE(rig::WaitUntil([&] { return Status() == "Processing: 2 of 3 -- " + images[1]; }, 20000)) << Status();
    ASSERT_TRUE(WaitForStatus("Processing complete", 40000)) << Status();
    EXPECT_EQ(Progress(), "");
    // A timer left running would write the line again within a second.
    Sleep(1500);
    EXPECT_EQ(Progress(), "") << "the progress timer still runs after the end of the run";
    ASSERT_TRUE(standin_.WaitForEvents("saved", 3, 10000)); // the last save lands just after
    auto saved = standin_.EventsNamed("saved");
    ASSERT_EQ(saved.size(), 3u);
    EXPECT_EQ(saved[0].args, "BMP " + standin_.dir + "\\one_filtered.bmp");
    EXPECT_EQ(saved[1].args, "BMP " + standin_.dir + "\\two_filtered.jpg.bmp");
    EXPECT_EQ(saved[2].args, "BMP " + standin_.dir + "\\three_filtered.tif.bmp");
    EXPECT_EQ(standin_.EventsNamed("menu", "image-open").size(), 3u);
    std::string jobLines;
    for (size_t i = 0; i < 3; ++i)
        jobLines += "Processing image: " + images[i] + "\r\nSaved: " + saved[i].args.substr(4) + "\r\n";
    EXPECT_EQ(rig::WithRunTimesOut(app_.Log()), jobLines + rig::RunComplete(3, 0));
    EXPECT_NE(app_.Trace().find("Thread ended...\n\n"), std::string::npos);

    // A second run in the same process continues the same log.
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return standin_.EventsNamed("saved").size() == 6; }, 60000));
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000)) << Status();
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_EQ(log.find("Processing image: " + images[0] + "\r\n"), 0u);
    EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 14);
    EXPECT_EQ(CountOf(app_.Log(), "Dialog titles: "), 2u) << "one at each Start";
    EXPECT_EQ(CountOf(rig::WithRunTimesOut(log), rig::RunComplete(3, 0)), 2u) << log;
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

TEST_F(Batch, JobPathLongerThan254CharactersIsReadCutAndSkippedAsNotFound)
{
    // Add refuses such paths; a row that holds one anyway is read with the
    // limit of 255 and names no file, so the job is skipped, not sent.
    StartBoth();
    std::string longPath = standin_.dir + "\\" + std::string(296, 'p') + ".bmp";
    AddJob(longPath);
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job skipped)", 10000)) << Status();
    EXPECT_EQ(rig::WithRunTimesOut(app_.Log()),
              "Skipped, file not found: " + longPath.substr(0, 254) + "\r\n" + rig::RunComplete(0, 1));
    EXPECT_TRUE(standin_.EventsNamed("menu").empty());
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
    // The profile dialog comes late: a worker that survived the Stop would
    // find it and open the profile, which the stand-in journals.
    StartBoth("--delay profile-open 2500");
    std::string first = Image("first.bmp");
    AddJob(first);
    AddJob(Image("second.bmp"));
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitFor("menu", "profile-open", 10000)) << standin_.JournalText();
    // Let the progress timer write the line at least once.
    ASSERT_TRUE(rig::WaitUntil([&] { return Progress().rfind("Elapsed Time:", 0) == 0; }, 5000)) << Progress();
    ASSERT_TRUE(standin_.EventsNamed("shown", "profile-open").empty()) << "the dialog came too early for this test";
    Press(IDC_STOP);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Success", &box, app_.proc.pid));
    EXPECT_EQ(box.text, kTerminated);
    rig::AnswerMessageBox(box.window);
    ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();
    std::string progress = Progress();
    EXPECT_EQ(progress.rfind("Elapsed Time:", 0), 0u) << "the progress line keeps its text";
    // The dialog appears; a surviving worker polls every 100 ms and would
    // open the profile at once.
    ASSERT_TRUE(standin_.WaitFor("shown", "profile-open", 10000)) << standin_.JournalText();
    Sleep(1500);
    EXPECT_EQ(Progress(), progress) << "the timer is gone";
    EXPECT_TRUE(standin_.EventsNamed("profile-opened").empty()) << "the worker took a further step";
    EXPECT_NE(app_.Trace().find("Stop\n"), std::string::npos);

    // The next run begins again at the first row.
    CancelStandInDialogs();
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
    EXPECT_NE(AnswerBox("Tolvane Help"), "(no box)");
    EXPECT_TRUE(rig::WaitUntil([&] {
        // The box's focus changes bring list view notifications in between.
        std::string t = rig::WithoutNotifications(app_.Trace());
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

TEST_F(Batch, JobWhoseFileIsGoneIsSkippedWithAWord)
{
    StartBoth();
    std::string one = Image("one.bmp"), two = Image("two.bmp"), three = Image("three.bmp");
    AddJob(one);
    AddJob(two);
    AddJob(three);
    ASSERT_TRUE(DeleteFileA(two.c_str()));
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job skipped)", 30000)) << Status();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 2, 10000));
    EXPECT_EQ(SavedNames(), (std::vector<std::string>{"one_filtered.bmp", "three_filtered.bmp"}));
    EXPECT_EQ(rig::WithRunTimesOut(app_.Log()), "Processing image: " + one + "\r\nSaved: " + standin_.dir +
                                                    "\\one_filtered.bmp\r\nSkipped, file not found: " + two +
                                                    "\r\nProcessing image: " + three + "\r\nSaved: " + standin_.dir +
                                                    "\\three_filtered.bmp\r\n" + rig::RunComplete(2, 1));

    // A missing profile skips every job; the count says how many.
    ASSERT_TRUE(DeleteFileA(profile_.c_str()));
    rig::SetText(app_.Item(IDC_STATUS), "Status:");
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (3 jobs skipped)", 10000)) << Status();
    EXPECT_EQ(CountOf(app_.Log(), "Skipped, file not found: " + profile_ + "\r\n"), 2u);
    EXPECT_EQ(CountOf(rig::WithRunTimesOut(app_.Log()), rig::RunComplete(0, 3)), 1u) << app_.Log();
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 2u);
}

TEST_F(Batch, FileDialogThatKeepsRefusingItsFileEndsTheRunWithNoFurtherStep)
{
    StartBoth("--refuse image-open unreadable.bmp");
    AddJob(Image("unreadable.bmp"));
    AddJob(Image("next.bmp"));
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("refused", 1, 10000)) << standin_.JournalText();
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, 20000)) << standin_.JournalText();
    EXPECT_EQ(box.text, "An Error Occurred:\n\nImage Open Dialog did not close\n\nThis program will now terminate.");
    EXPECT_EQ(standin_.Last().name, "refused") << "a step after the refusal:\n" << standin_.JournalText();
    rig::AnswerMessageBox(box.window);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_EQ(standin_.Last().name, "refused") << standin_.JournalText();
    EXPECT_EQ(CountOf(app_.Log(), "Image Open Dialog did not close\r\n"), 1u) << app_.Log();
    CancelStandInDialogs();
}

// Rows removed while a run goes on, at any place: no other job is skipped or
// processed twice, and rows removed before their turn are not processed.
struct RemovalCase {
    const char* name;
    int duringJob;         // removed while this job (1-based) is filtered
    std::vector<int> rows; // removed one after another, indices at that moment
    std::vector<std::string> saved;
    bool deleteKey = false; // rows selected together and removed with Delete
};

void PrintTo(const RemovalCase& c, std::ostream* os)
{
    *os << c.name;
}

class Removal : public Batch, public testing::WithParamInterface<RemovalCase> {};

TEST_P(Removal, EveryQueuedJobIsProcessedOnceOrNotAtAll)
{
    const RemovalCase& c = GetParam();
    StartBoth("--filter-ms 1500");
    std::vector<std::string> images = {Image("one.bmp"), Image("two.bmp"), Image("three.bmp")};
    for (auto& i : images)
        AddJob(i);
    Press(IDC_START);
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", static_cast<size_t>(c.duringJob), 20000))
        << standin_.JournalText();
    HWND list = app_.Item(IDC_JOB_LIST);
    if (c.deleteKey) {
        int before = rig::ListViewCount(list);
        ASSERT_TRUE(rig::SelectListViewRows(list, c.rows));
        PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
        PostMessageA(list, WM_KEYUP, VK_DELETE, 0);
        ASSERT_TRUE(
            rig::WaitUntil([&] { return rig::ListViewCount(list) == before - static_cast<int>(c.rows.size()); }));
    }
    for (int row : c.deleteKey ? std::vector<int>{} : c.rows) {
        int before = rig::ListViewCount(list);
        ASSERT_TRUE(rig::SelectListViewRows(list, {row}));
        Press(IDC_REMOVE);
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(list) == before - 1; }));
    }
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status() << "\n" << standin_.JournalText();
    ASSERT_TRUE(standin_.WaitForEvents("saved", c.saved.size(), 10000)) << standin_.JournalText();
    EXPECT_EQ(SavedNames(), c.saved);
    EXPECT_EQ(CountOf(app_.Log(), "Processing image: "), c.saved.size()) << app_.Log();
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "the process ended";
}

const std::vector<std::string> kAllThree = {"one_filtered.bmp", "two_filtered.bmp", "three_filtered.bmp"};

INSTANTIATE_TEST_SUITE_P(
    Batch, Removal,
    testing::Values(
        RemovalCase{"CurrentRowDuringJob1", 1, {0}, kAllThree}, RemovalCase{"FirstRowDuringJob2", 2, {0}, kAllThree},
        RemovalCase{"TwoLaterRowsDuringJob1", 1, {1, 1}, {"one_filtered.bmp"}},
        RemovalCase{"EveryRowDuringJob1", 1, {0, 0, 0}, {"one_filtered.bmp"}},
        RemovalCase{"CurrentAndLastRowByDeleteDuringJob1", 1, {0, 2}, {"one_filtered.bmp", "two_filtered.bmp"}, true},
        RemovalCase{"DoneAndCurrentRowByDeleteDuringJob2", 2, {0, 1}, kAllThree, true}),
    [](const testing::TestParamInfo<RemovalCase>& info) { return std::string(info.param.name); });

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
    // The whole line, rebuilt from its own numbers: the elapsed times and the
    // percent it shows, on the second of two jobs.
    int th, tm, ts, ih, im, is, percent;
    ASSERT_EQ(std::sscanf(seen.c_str(), "Elapsed Time:   Total = %d:%d:%d     Image = %d:%d:%d  (%d%% complete)", &th,
                          &tm, &ts, &ih, &im, &is, &percent),
              7)
        << seen;
    const DWORD now = 100000000;
    std::string title = "Calculating:" + std::to_string(percent) + "%";
    ProgressInput in = {};
    in.imagesDone = 1;
    in.imageTotal = 2;
    in.batchStartTick = now - static_cast<DWORD>((th * 3600 + tm * 60 + ts) * 1000);
    in.imageStartTick = now - static_cast<DWORD>((ih * 3600 + im * 60 + is) * 1000);
    in.now = now;
    in.progressWindowVisible = true;
    in.title = title.c_str();
    char rebuilt[kProgressTextSize];
    FormatProgressText(in, rebuilt, sizeof rebuilt);
    EXPECT_EQ(seen, rebuilt);
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success"), kTerminated);
}

} // namespace
