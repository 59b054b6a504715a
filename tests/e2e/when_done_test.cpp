// "When done": what the PC does once a run has ended by itself. Its list
// starts on "Do nothing" at every start; "Close Neat Image" closes it after
// the run; "Sleep" and "Shut down" count down in a window of their own, which
// Cancel closes, and at its end the test build records the call it stands in
// for.
#include "target_session.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class WhenDone : public rig::TargetSession {
protected:
    void StartWithCountdown(const char* seconds)
    {
        StartStandIn();
        SetEnvironmentVariableA("TOLVANE_TEST_COUNTDOWN_S", seconds);
        StartTolvane("tolvane_probe");
        SetEnvironmentVariableA("TOLVANE_TEST_COUNTDOWN_S", nullptr);
    }
    void RunOneJob(int whenDone)
    {
        ASSERT_TRUE(rig::SetComboSelection(app_.Item(IDC_WHEN_DONE), whenDone));
        AddJob(Image("w.bmp"));
        Press(IDC_START);
        ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    }
    // The countdown window: Tolvane's own, owned by its dialog.
    HWND WaitForCountdown(DWORD timeoutMs)
    {
        HWND found = nullptr;
        rig::WaitUntil(
            [&] {
                for (HWND w : rig::TopWindowsOf(app_.proc.pid))
                    if (w != app_.dialog && IsWindowVisible(w) && rig::TitleOf(w) == "Tolvane" &&
                        GetWindow(w, GW_OWNER) == app_.dialog)
                        found = w;
                return found != nullptr;
            },
            timeoutMs);
        return found;
    }
};

TEST_F(WhenDone, ListStartsOnDoNothing)
{
    StartBoth();
    HWND list = app_.Item(IDC_WHEN_DONE);
    EXPECT_EQ(rig::ComboItems(list),
              (std::vector<std::string>{"Do nothing", "Close Neat Image", "Sleep", "Shut down"}));
    EXPECT_EQ(rig::ComboSelection(list), 0);
    EXPECT_EQ(rig::TextOf(app_.Item(IDC_WHEN_DONE_LABEL)), "When done:");
}

TEST_F(WhenDone, CloseNeatImageClosesItAfterTheRun)
{
    StartBoth();
    RunOneJob(1);
    DWORD code = 1;
    ASSERT_TRUE(rig::WaitExit(standin_.proc, 10000, &code)) << "Neat Image still runs";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(standin_.EventsNamed("saved").size(), 1u) << standin_.JournalText();
    EXPECT_NE(app_.Log().find("When done: closing Neat Image\r\n"), std::string::npos) << app_.Log();
}

TEST_F(WhenDone, SleepCountsDownThenCallsTheSystem)
{
    StartWithCountdown("3");
    RunOneJob(2);
    HWND countdown = WaitForCountdown(5000);
    ASSERT_TRUE(countdown != nullptr) << "no countdown";
    std::string text = rig::TextOf(rig::Control(countdown, IDC_COUNTDOWN_TEXT));
    EXPECT_EQ(text.compare(0, 25, "The PC will sleep in 3 se"), 0) << text;
    ASSERT_TRUE(rig::WaitForWindowGone(countdown, 8000)) << "the countdown did not end";
    ASSERT_TRUE(rig::WaitUntil([&] { return app_.Trace().find("Power: sleep") != std::string::npos; }, 3000))
        << app_.Trace();
    EXPECT_NE(app_.Log().find("When done: sleeping now\r\n"), std::string::npos) << app_.Log();
    EXPECT_TRUE(IsWindow(standin_.main)) << "sleeping closes nothing";
}

TEST_F(WhenDone, ShutDownCountdownIsCancelled)
{
    StartWithCountdown("30");
    RunOneJob(3);
    HWND countdown = WaitForCountdown(5000);
    ASSERT_TRUE(countdown != nullptr) << "no countdown";
    std::string text = rig::TextOf(rig::Control(countdown, IDC_COUNTDOWN_TEXT));
    EXPECT_EQ(text.compare(0, 28, "The PC will shut down in 30 "), 0) << text;
    rig::PostCommand(countdown, IDCANCEL);
    ASSERT_TRUE(rig::WaitForWindowGone(countdown, 3000));
    Sleep(1500);
    EXPECT_EQ(app_.Trace().find("Power: "), std::string::npos) << app_.Trace();
    EXPECT_NE(app_.Log().find("When done: cancelled\r\n"), std::string::npos) << app_.Log();
    EXPECT_TRUE(IsWindow(standin_.main)) << "Neat Image was closed";
}

} // namespace
