// Job list files through the program's own dialogs: Save writes exactly the
// rows, Remove done jobs leaves the failed and skipped ones, Open brings every
// row back in order; a file with bad lines adds only its good ones, with one
// box; a file that is no text adds nothing.
#include "states.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace statestest;

TEST_F(States, SaveRemoveDoneJobsAndOpenAgain)
{
    StartBoth("--refuse image-open bad.bmp");
    std::vector<std::string> jobs = Queue({"caf\xE9.bmp", "bad.bmp", "gone.bmp", "two.bmp"});
    ASSERT_TRUE(DeleteFileA(jobs[2].c_str()));
    CheckCarryOn();
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job failed, 1 job skipped)", 30000)) << Status();
    Rows all = rig::ListViewRows(List(), 2);
    ASSERT_EQ(all.size(), 4u);

    // Save, typed without its extension: the file gets ".txt".
    std::string saved = standin_.dir + "\\jobs.txt";
    rig::PostCommand(app_.dialog, IDC_SAVE_JOB_LIST);
    ASSERT_TRUE(UseListDialog("Save job list", standin_.dir + "\\jobs"));
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::FileExists(saved); }));
    EXPECT_EQ(rig::ReadFileText(saved), Utf8Lines(all));

    // Remove done jobs: the failed and the skipped job stay, in order.
    rig::PostCommand(app_.dialog, IDC_REMOVE_DONE_JOBS);
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(List()) == 2; })) << rig::ListViewCount(List());
    EXPECT_EQ(rig::ListViewRows(List(), 2), (Rows{all[1], all[2]}));
    EXPECT_EQ(Images(), (std::vector<int>{kFailed, kSkipped}));

    // Saved again over the same file: the system asks first.
    rig::PostCommand(app_.dialog, IDC_SAVE_JOB_LIST);
    std::string question;
    ASSERT_TRUE(UseListDialog("Save job list", saved, &question));
    EXPECT_NE(question.find("already exists"), std::string::npos) << question;
    ASSERT_TRUE(rig::WaitUntil([&] {
        return rig::ReadFileText(saved) == Utf8Lines({all[1], all[2]});
    })) << rig::ReadFileText(saved);
    ASSERT_TRUE(rig::WriteFileText(saved, Utf8Lines(all)));

    // Every row removed, Open brings them all back, in order.
    ASSERT_TRUE(rig::SelectListViewRows(List(), {0, 1}));
    PostMessageA(List(), WM_KEYDOWN, VK_DELETE, 0);
    PostMessageA(List(), WM_KEYUP, VK_DELETE, 0);
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(List()) == 0; }));
    rig::PostCommand(app_.dialog, IDC_OPEN_JOB_LIST);
    ASSERT_TRUE(UseListDialog("Open job list", saved));
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(List()) == 4; }));
    EXPECT_EQ(rig::ListViewRows(List(), 2), all);
    EXPECT_EQ(Images(), (std::vector<int>{kNone, kNone, kNone, kNone}));
}

TEST_F(States, AJobListWithBadLinesAddsOnlyItsGoodOnesWithOneBox)
{
    StartBoth();
    std::string good1 = Image("good1.bmp"), good2 = Image("good2.bmp");
    std::string file = standin_.dir + "\\mixed.txt";
    std::string longPath = "C:\\" + std::string(300, 'x') + ".bmp";
    ASSERT_TRUE(rig::WriteFileText(file, "\xEF\xBB\xBF" + Line(good1) +      // 1
                                             good1 + " " + profile_ + "\n" + // 2: no TAB
                                             "\r\n" +                        // 3
                                             longPath + "\t" + profile_ +    // 4: too long
                                             "\n   \n\n" + Line(good2)));    // 5 to 7, then 8
    rig::PostCommand(app_.dialog, IDC_OPEN_JOB_LIST);
    ASSERT_TRUE(UseListDialog("Open job list", file));
    EXPECT_EQ(AnswerBox("Warning"),
              "2 lines of the job list were not added (2 jobs were added):\n"
              "line 2: no TAB between the image and the noise profile.\n"
              "line 4: a path longer than 254 characters.");
    EXPECT_EQ(rig::ListViewRows(List(), 2), (Rows{{good1, profile_}, {good2, profile_}}));

    // A file that is no text adds nothing and says why.
    std::string binary = standin_.dir + "\\binary.txt";
    ASSERT_TRUE(rig::WriteFileText(binary, Line(good1) + std::string("\0\x01\x02", 3)));
    rig::PostCommand(app_.dialog, IDC_OPEN_JOB_LIST);
    ASSERT_TRUE(UseListDialog("Open job list", binary));
    EXPECT_EQ(AnswerBox("Warning"),
              "No job was added from " + binary + ": it is not a text file (a zero byte on line 2).");
    EXPECT_EQ(rig::ListViewCount(List()), 2);
}

// During a run the list's commands act as Add and Remove do: the worker
// follows its jobs by identity, so none moves past it, and rows opened from
// a file during the run are no jobs of it.
TEST_F(States, TheListsCommandsDuringARunMoveNoJobPastTheWorker)
{
    StartBoth("--filter-ms 1000");
    std::vector<std::string> jobs = Queue({"a.bmp", "b.bmp", "c.bmp", "d.bmp"});
    std::string later = Image("later.bmp");
    std::string file = standin_.dir + "\\later.txt";
    ASSERT_TRUE(rig::WriteFileText(file, Line(later)));
    Press(IDC_START);
    ASSERT_TRUE(rig::WaitUntil([&] { return Images()[2] == kRunning; }, 30000)) << Describe(Images());

    rig::PostCommand(app_.dialog, IDC_REMOVE_DONE_JOBS);
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(List()) == 2; }));
    EXPECT_EQ(rig::ListViewRows(List(), 1), (Rows{{jobs[2]}, {jobs[3]}}));
    rig::PostCommand(app_.dialog, IDC_OPEN_JOB_LIST);
    ASSERT_TRUE(UseListDialog("Open job list", file));
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(List()) == 3; }));

    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    EXPECT_EQ(rig::ListViewRows(List(), 2), (Rows{{jobs[2], profile_}, {jobs[3], profile_}, {later, profile_}}));
    EXPECT_EQ(Images(), (std::vector<int>{kDone, kDone, kNone}));
    ASSERT_TRUE(standin_.WaitForEvents("saved", 4, 10000));
    std::vector<std::string> saved;
    for (const auto& e : standin_.EventsNamed("saved"))
        saved.push_back(e.args.substr(e.args.find_last_of('\\') + 1));
    EXPECT_EQ(saved,
              (std::vector<std::string>{"a_filtered.bmp", "b_filtered.bmp", "c_filtered.bmp", "d_filtered.bmp"}));
}

} // namespace
