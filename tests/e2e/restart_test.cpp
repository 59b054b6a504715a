// With "Continue after a failed job", a night survives Neat Image itself: a
// crash or a freeze ends that job and Neat Image is started again (here the
// stand-in, which takes its switches from the environment Tolvane passes on,
// and fires each surprise once); a close by someone stops the run cleanly;
// the failures that used to end Tolvane fail the job. And what the PC does
// when a run is done.
#include "target_session.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ostream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

using rig::CountOf;

class Restart : public rig::TargetSession {
protected:
    // The stand-in with `args`, and the test build of Tolvane with those
    // same switches in its environment, for any stand-in it starts again;
    // `env` adds variables for Tolvane alone.
    void StartRestartable(const std::string& args, const std::vector<std::pair<std::string, std::string>>& env = {})
    {
        marker_ = rig::MakeTempDir("marker") + "\\fired";
        std::string all = args;
        size_t at = all.find("{marker}");
        if (at != std::string::npos)
            all.replace(at, 8, "\"" + marker_ + "\"");
        StartStandIn(all);
        std::string inherited = "--journal \"" + standin_.journal + "\" " + all;
        SetEnvironmentVariableA("TOLVANE_STANDIN_ARGS", inherited.c_str());
        SetEnvironmentVariableA("TOLVANE_STANDIN_BRIDGE", rig::BridgeDll().c_str());
        for (const auto& v : env)
            SetEnvironmentVariableA(v.first.c_str(), v.second.c_str());
        StartTolvane("tolvane_probe");
        SetEnvironmentVariableA("TOLVANE_STANDIN_ARGS", nullptr);
        SetEnvironmentVariableA("TOLVANE_STANDIN_BRIDGE", nullptr);
        for (const auto& v : env)
            SetEnvironmentVariableA(v.first.c_str(), nullptr);
    }
    void CheckTheOption()
    {
        rig::Click(app_.Item(IDC_CONTINUE_ON_FAILURE));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::CheckState(app_.Item(IDC_CONTINUE_ON_FAILURE)) == BST_CHECKED; }));
    }
    // The stand-ins started after the first one (by Tolvane): their process
    // ids and main windows, from the journal's "start" lines.
    struct Instance {
        DWORD pid;
        HWND main;
        DWORD tick;
    };
    std::vector<Instance> LaterInstances()
    {
        std::vector<Instance> later;
        for (const rig::JournalEvent& e : standin_.EventsNamed("start")) {
            std::istringstream in(e.args);
            unsigned long pid = 0;
            long long main = 0;
            in >> pid >> main;
            if (pid != standin_.proc.pid)
                later.push_back({static_cast<DWORD>(pid), reinterpret_cast<HWND>(static_cast<INT_PTR>(main)), e.tick});
        }
        return later;
    }
    // The windows of a stand-in that a user would have to deal with.
    static int OpenWindowsBesides(DWORD pid, HWND main)
    {
        int open = 0;
        for (HWND w : rig::TopWindowsOf(pid))
            if (w != main && IsWindowVisible(w) && (rig::StyleOf(w) & WS_CAPTION) == WS_CAPTION)
                ++open;
        return open;
    }
    // Queues one image of each name, checks the option, presses Start and
    // waits for the run to complete with one failed job. The images' paths.
    std::vector<std::string> RunToOneFailure(const std::vector<std::string>& names)
    {
        std::vector<std::string> images;
        for (const std::string& name : names) {
            images.push_back(Image(name));
            AddJob(images.back());
        }
        CheckTheOption();
        Press(IDC_START);
        EXPECT_TRUE(WaitForStatus("Processing complete (1 job failed)", 120000)) << Status() << "\n" << app_.Log();
        return images;
    }
    // The session log names the image as failed for this reason.
    void ExpectFailed(const std::string& image, const std::string& reason)
    {
        std::string log = app_.Log();
        EXPECT_NE(log.find("Failed: " + image + ": " + reason + "\r\n"), std::string::npos) << log;
    }
    DWORD TickOf(const char* event)
    {
        auto events = standin_.EventsNamed(event);
        return events.empty() ? 0 : events.front().tick;
    }
    void TearDown() override
    {
        for (const Instance& i : LaterInstances())
            if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, i.pid)) {
                TerminateProcess(p, 1);
                WaitForSingleObject(p, 5000);
                CloseHandle(p);
            }
        TargetSession::TearDown();
    }
    std::string marker_;
};

// Neat Image crashes in the middle of job 2 of 4: that job fails, a new
// instance takes the next job within seconds, and the run completes.
TEST_F(Restart, CrashAtJob2Of4)
{
    StartRestartable("--exit-at filter --filter-ms 600 --surprise-only b.bmp --once {marker}");
    std::vector<std::string> images = {Image("a.bmp"), Image("b.bmp"), Image("c.bmp"), Image("d.bmp")};
    for (const std::string& image : images)
        AddJob(image);
    CheckTheOption();
    Press(IDC_START);
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job failed)", 120000)) << Status() << "\n" << app_.Log();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 3, 10000)) << standin_.JournalText();
    auto saved = standin_.EventsNamed("saved");
    ASSERT_EQ(saved.size(), 3u) << standin_.JournalText();
    EXPECT_NE(saved[0].args.find("a_filtered"), std::string::npos);
    EXPECT_NE(saved[1].args.find("c_filtered"), std::string::npos);
    EXPECT_NE(saved[2].args.find("d_filtered"), std::string::npos);
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_NE(log.find("Failed: " + images[1] +
                       ": Neat Image ended unexpectedly (exit code 0x00000063); it was started again\r\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("Run complete: 3 processed, 0 skipped, 1 failed in <time>"), std::string::npos) << log;
    auto later = LaterInstances();
    ASSERT_EQ(later.size(), 1u) << standin_.JournalText();
    EXPECT_TRUE(IsWindowVisible(later[0].main));
    EXPECT_TRUE(rig::WaitUntil([&] { return OpenWindowsBesides(later[0].pid, later[0].main) == 0; }, 3000))
        << "the new instance is not at rest";
    DWORD crash = TickOf("exit-at");
    EXPECT_LE(later[0].tick - crash, 15000u) << "the restart came late";
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "Tolvane ended";
}

// Neat Image stops answering between two steps of job 2: it is ended once
// its window has answered nothing for the (shortened) bound, and started
// again.
TEST_F(Restart, FreezeOutsideTheFilterAtJob2)
{
    StartRestartable("--hang-at image-open --surprise-only b.bmp --once {marker}",
                     {{"TOLVANE_TEST_NO_ANSWER_MS", "5000"}});
    auto images = RunToOneFailure({"a.bmp", "b.bmp", "c.bmp"});
    ExpectFailed(images[1],
                 "Neat Image was not responding (its window answered no message for 60 seconds); it was "
                 "started again");
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(standin_.proc, 1000, &code)) << "the frozen Neat Image still runs";
    auto later = LaterInstances();
    ASSERT_EQ(later.size(), 1u) << standin_.JournalText();
    EXPECT_LE(later[0].tick - TickOf("hang-at"), 90000u);
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 2u) << standin_.JournalText();
}

// The filter of job 1 stops in the middle, its progress window up and its
// process idle: ended by the (shortened) bound of a filter that makes no
// progress and uses no processor time.
TEST_F(Restart, FrozenFilter)
{
    StartRestartable("--hang-at filter --filter-ms 2000 --once {marker}", {{"TOLVANE_TEST_FILTER_IDLE_MS", "4000"}});
    auto images = RunToOneFailure({"a.bmp", "b.bmp"});
    ExpectFailed(images[0],
                 "Neat Image was not responding (its filter made no progress for 5 minutes and used no "
                 "processor time); it was started again");
    auto later = LaterInstances();
    ASSERT_EQ(later.size(), 1u) << standin_.JournalText();
    EXPECT_LE(later[0].tick - TickOf("hang-at"), 60000u);
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 1u) << standin_.JournalText();
}

// Someone closes Neat Image during job 2: it is not started again behind
// their back; the run stops cleanly and Tolvane keeps its list.
TEST_F(Restart, OrdinaryCloseStopsTheRun)
{
    StartRestartable("--close-at image-open --surprise-only b.bmp");
    std::string a = Image("a.bmp"), b = Image("b.bmp"), c = Image("c.bmp");
    AddJob(a);
    AddJob(b);
    AddJob(c);
    CheckTheOption();
    Press(IDC_START);
    EXPECT_EQ(AnswerBox("Warning", 60000), "Processing stopped: Neat Image was closed. 1 of 3 jobs were done.");
    EXPECT_EQ(Status(), "Processing stopped: Neat Image was closed");
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_NE(log.find("Failed: " + b + ": Neat Image was closed\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Run stopped: 1 processed, 0 skipped, 1 failed in <time>"), std::string::npos) << log;
    EXPECT_TRUE(LaterInstances().empty()) << standin_.JournalText();
    EXPECT_EQ(rig::ListViewCount(app_.Item(IDC_JOB_LIST)), 3);
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "Tolvane ended";
}

// What used to end Tolvane fails the job; Neat Image, in a state Tolvane
// cannot vouch for, is ended and started again, and Tolvane goes on.
struct FormerlyFatal {
    const char* name;
    const char* switches;
    const char* env; // a variable set to 1 for Tolvane, or nullptr
    const char* text;
};

void PrintTo(const FormerlyFatal& c, std::ostream* os)
{
    *os << c.name;
}

class RestartAfter : public Restart, public testing::WithParamInterface<FormerlyFatal> {};

TEST_P(RestartAfter, AFailureThatUsedToEndTolvane)
{
    const FormerlyFatal& c = GetParam();
    std::vector<std::pair<std::string, std::string>> env;
    if (c.env != nullptr)
        env.emplace_back(c.env, "1");
    StartRestartable(c.switches, env);
    auto images = RunToOneFailure({"a.bmp"});
    ExpectFailed(images[0], std::string(c.text) + "; Neat Image was ended and started again");
    auto later = LaterInstances();
    ASSERT_EQ(later.size(), 1u) << standin_.JournalText();
    EXPECT_TRUE(rig::WaitUntil([&] { return OpenWindowsBesides(later[0].pid, later[0].main) == 0; }, 3000))
        << "the new instance is not at rest";
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "Tolvane ended";
}

const FormerlyFatal kFormerlyFatal[] = {
    {"ControlMissing", "--no-edit profile-open", nullptr, "Could not get handle to edit box"},
    {"CommandMissing", "--no-menu-item filter-apply", nullptr, "Could not find Filter Apply menu item"},
    {"ButtonMissing", "--no-button save-as", nullptr, "Could not get handle to Save button"},
    {"CommandRefused", "", "TOLVANE_TEST_REFUSE_POST",
     "Neat Image refused a command from Tolvane: start both programs with the same rights"},
};

INSTANTIATE_TEST_SUITE_P(WithTheOption, RestartAfter, testing::ValuesIn(kFormerlyFatal),
                         [](const testing::TestParamInfo<FormerlyFatal>& info) { return info.param.name; });

// Without the option, a crash is the fatal error it always was.
TEST_F(Restart, WithoutTheOptionACrashStaysFatal)
{
    StartRestartable("--exit-at filter --filter-ms 600 --once {marker}");
    AddJob(Image("a.bmp"));
    Press(IDC_START);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, 30000));
    EXPECT_EQ(box.text, "An Error Occurred:\n\nNeat Image has closed\n\nThis program will now terminate.");
    rig::AnswerMessageBox(box.window);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_TRUE(LaterInstances().empty());
}

} // namespace
