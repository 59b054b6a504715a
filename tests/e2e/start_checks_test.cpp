// What Start checks before a night on a real desktop: a session log that
// cannot be written and a Neat Image that runs with higher rights each refuse
// the run with a "Warning" box, before anything reaches Neat Image; a
// minimised Neat Image is restored and the run goes on.
#include "target_session.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

const char kRightsText[] = "Neat Image refused a command from Tolvane: start both programs with the same rights";

class StartChecks : public rig::TargetSession {
protected:
    // The test build of Tolvane with `level` standing for Neat Image's
    // integrity level (none: its real one), beside a stand-in started first.
    void StartWithTargetLevel(const char* level)
    {
        StartStandIn();
        SetEnvironmentVariableA("TOLVANE_TEST_TARGET_INTEGRITY", level);
        StartTolvane("tolvane_probe");
        SetEnvironmentVariableA("TOLVANE_TEST_TARGET_INTEGRITY", nullptr);
    }
    // Presses Start on one queued job and expects the refusal box with
    // `text`, then that no run began: nothing reached Neat Image, the status
    // line is as it was, no worker was started.
    void ExpectStartRefused(const std::string& text)
    {
        AddJob(Image("r.bmp"));
        size_t events = standin_.Events().size();
        std::string status = Status();
        Press(IDC_START);
        EXPECT_EQ(AnswerBox("Warning"), text);
        // A run would have sent its first command well within this.
        Sleep(1500);
        EXPECT_EQ(standin_.Events().size(), events) << standin_.JournalText();
        EXPECT_EQ(Status(), status);
        EXPECT_EQ(app_.Trace().find("Thread started"), std::string::npos) << app_.Trace();
    }
    void RunToCompletion()
    {
        Press(IDC_START);
        ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status() << "\n" << app_.Trace();
    }
};

// The system's own text for an error code, as the box quotes it: without
// its line end and full stop.
std::string SystemText(DWORD error)
{
    char text[512] = "";
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             sizeof text, nullptr);
    std::string s(text, n);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r' || s.back() == ' ' || s.back() == '.'))
        s.pop_back();
    return s;
}

// A folder where the log file would be: the open fails as a folder under
// Program Files fails, with "access denied". The refusal names the path and
// that reason; once the folder is gone, Start runs and the log is written.
TEST_F(StartChecks, UnwritableLogRefusesStartWithThePathAndTheReason)
{
    StartBoth("", "tolvane_probe");
    ASSERT_TRUE(CreateDirectoryA(app_.log.c_str(), nullptr)) << app_.log;
    ExpectStartRefused("Cannot write the session log \"" + app_.log + "\": " + SystemText(ERROR_ACCESS_DENIED) +
                       ". Move Tolvane to a folder you can write to, such as your Documents, and start it again.");

    ASSERT_TRUE(RemoveDirectoryA(app_.log.c_str()));
    RunToCompletion();
    std::string log = rig::WithRunTimesOut(app_.Log());
    EXPECT_EQ(log.compare(0, 18, "Processing image: "), 0) << log;
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 1u) << standin_.JournalText();
}

struct LevelCase {
    const char* name;
    const char* level; // Neat Image's, as the test build's seam takes it
    bool refused;
};

std::ostream& operator<<(std::ostream& out, const LevelCase& c)
{
    return out << c.name;
}

class StartRights : public StartChecks, public testing::WithParamInterface<LevelCase> {};

// Only a level above Tolvane's own refuses (the system level is above any
// process a test runs); a lower one, or one that cannot be read, lets the run
// go on. A refusal leaves an earlier session log as it was.
TEST_P(StartRights, OnlyAHigherLevelRefusesStart)
{
    const LevelCase& c = GetParam();
    app_.earlierLog = "earlier session\r\n";
    StartWithTargetLevel(c.level);
    if (c.refused) {
        ExpectStartRefused(kRightsText);
        EXPECT_EQ(app_.Log(), "earlier session\r\n");
        return;
    }
    AddJob(Image("r.bmp"));
    RunToCompletion();
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 1u) << standin_.JournalText();
}

INSTANTIATE_TEST_SUITE_P(Levels, StartRights,
                         testing::Values(LevelCase{"System", "0x4000", true}, LevelCase{"Low", "0x1000", false},
                                         LevelCase{"Unreadable", "unreadable", false}),
                         [](const testing::TestParamInfo<LevelCase>& info) { return info.param.name; });

// A Neat Image left minimised is restored at Start, and the run completes.
TEST_F(StartChecks, MinimisedNeatImageIsRestored)
{
    StartBoth("--start-minimised", "tolvane_probe");
    ASSERT_TRUE(standin_.Has("minimised", "iconic")) << standin_.JournalText();
    ASSERT_TRUE(IsIconic(standin_.main));
    AddJob(Image("m.bmp"));
    RunToCompletion();
    EXPECT_FALSE(IsIconic(standin_.main)) << "Neat Image is still minimised";
    EXPECT_TRUE(IsWindowVisible(standin_.main));
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 1u) << standin_.JournalText();
}

} // namespace
