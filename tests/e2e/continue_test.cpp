// "Continue after a failed job": a job that fails in a way that leaves Neat
// Image where Tolvane can bring it back is logged with its reason and the run
// goes on; Tolvane never replaces an existing output by its own answer;
// three failures in a row stop the run and keep the process and the list.
// What a crashed or closed Neat Image means is in restart_test.cpp.
#include "target_session.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using rig::CountOf;

class CarryOn : public rig::TargetSession {
protected:
    void CheckTheOption()
    {
        rig::Click(app_.Item(IDC_CONTINUE_ON_FAILURE));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::CheckState(app_.Item(IDC_CONTINUE_ON_FAILURE)) == BST_CHECKED; }));
    }
    // An image in a sub-folder of the stand-in's, so that several files of
    // one name (the one the stand-in refuses) can be queued.
    std::string ImageIn(const std::string& folder, const std::string& name)
    {
        std::string dir = standin_.dir + "\\" + folder;
        CreateDirectoryA(dir.c_str(), nullptr);
        std::string path = dir + "\\" + name;
        EXPECT_TRUE(rig::WriteTestImage(path));
        return path;
    }
    static std::string Output(const std::string& image)
    {
        size_t dot = image.rfind('.');
        return image.substr(0, dot) + "_filtered" + image.substr(dot);
    }
    static std::string Bytes(const std::string& path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    // The stand-in's windows that a user would have to deal with: visible,
    // captioned, other than its main window.
    std::vector<std::string> StandInWindowsLeftOpen()
    {
        std::vector<std::string> open;
        for (HWND w : rig::TopWindowsOf(standin_.proc.pid))
            if (w != standin_.main && IsWindowVisible(w) && (rig::StyleOf(w) & WS_CAPTION) == WS_CAPTION)
                open.push_back(rig::ClassOf(w) + " \"" + rig::TitleOf(w) + "\"");
        return open;
    }
};

TEST_F(CarryOn, FailedJobsAreLoggedAndTheRunGoesOn)
{
    StartBoth(
        "--refuse image-open bad.bmp --confirm-overwrite --box-at image-open \"Cannot read this image.\" "
        "--box-only boxed.bmp");
    std::string conf = Image("conf.bmp");
    const std::string kept = "an earlier output";
    ASSERT_TRUE(rig::WriteFileText(Output(conf), kept));
    std::vector<std::string> jobs = {
        Image("ok1.bmp"), ImageIn("a", "bad.bmp"), Image("ok2.bmp"), conf,
        Image("ok3.bmp"), Image("boxed.bmp"),      Image("ok4.bmp"), ImageIn("b", "bad.bmp"),
        Image("ok5.bmp"), Image("ok6.bmp")};
    for (const std::string& job : jobs)
        AddJob(job);
    CheckTheOption();
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (4 jobs failed)", 150000)) << Status() << standin_.JournalText();

    const std::vector<size_t> failed = {1, 3, 5, 7};
    for (size_t i = 0; i < jobs.size(); ++i) {
        bool fails = std::find(failed.begin(), failed.end(), i) != failed.end();
        SCOPED_TRACE(jobs[i]);
        if (jobs[i] == conf)
            EXPECT_EQ(Bytes(Output(conf)), kept) << "an existing output was replaced";
        else
            EXPECT_EQ(rig::FileExists(Output(jobs[i])), !fails);
    }
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 6u) << standin_.JournalText();
    EXPECT_TRUE(standin_.EventsNamed("confirm-answered", "yes").empty()) << standin_.JournalText();

    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_EQ(CountOf(log, "Failed: "), 4u) << log;
    EXPECT_EQ(CountOf(log, "Failed: " + jobs[1] + ": Image Open Dialog did not close\r\n"), 1u) << log;
    EXPECT_EQ(CountOf(log, "Failed: " + conf + ": Neat Image is showing \"Confirm Save As\": " + Output(conf) +
                               " already exists. Do you want to replace it?\r\n"),
              1u)
        << log;
    EXPECT_EQ(
        CountOf(log, "Failed: " + jobs[5] + ": Neat Image is showing \"Neat Image\": Cannot read this image.\r\n"), 1u)
        << log;
    EXPECT_EQ(CountOf(log, "Failed: " + jobs[7] + ": Image Open Dialog did not close\r\n"), 1u) << log;
    EXPECT_EQ(CountOf(log, "Run complete: 6 processed, 0 skipped, 4 failed in <time>\r\n"), 1u) << log;

    // Neat Image at rest: no box or dialog left, its main window enabled.
    EXPECT_EQ(StandInWindowsLeftOpen(), std::vector<std::string>{});
    EXPECT_TRUE(IsWindowEnabled(standin_.main));
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "the process ended";
}

TEST_F(CarryOn, ThreeFailuresInARowStopTheRunAndKeepTheList)
{
    StartBoth("--refuse image-open bad.bmp");
    std::vector<std::string> jobs = {Image("first.bmp"), ImageIn("a", "bad.bmp"), ImageIn("b", "bad.bmp"),
                                     ImageIn("c", "bad.bmp"), Image("last.bmp")};
    for (const std::string& job : jobs)
        AddJob(job);
    CheckTheOption();
    Press(IDC_START);
    EXPECT_EQ(AnswerBox("Warning", 120000),
              "Processing stopped: 3 jobs in a row failed. Their reasons are in the session log.");
    EXPECT_EQ(Status(), "Processing stopped: 3 jobs in a row failed");
    EXPECT_EQ(rig::ListViewCount(app_.Item(IDC_JOB_LIST)), 5);
    EXPECT_EQ(standin_.EventsNamed("menu", "image-open").size(), 4u) << "the job after the third failure ran";
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_EQ(CountOf(log, "Failed: "), 3u) << log;
    EXPECT_EQ(CountOf(log, "Run stopped: 1 processed, 0 skipped, 3 failed in <time>\r\n"), 1u) << log;
    EXPECT_EQ(StandInWindowsLeftOpen(), std::vector<std::string>{});
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "the process ended";
}

} // namespace
