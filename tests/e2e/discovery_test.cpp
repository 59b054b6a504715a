// Discovery, priority and menu lookup of Tolvane's own code against the
// running stand-in, from this test process. The menu bridge is loaded here
// too, so that the cross-process menu walk works under Wine as on Windows.
#include "rig.h"
#include "standin_app.h"

#include "commands.h"
#include "target/contract.h"
#include "target/target.h"
#include "tolvane.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DWORD PriorityOf(DWORD pid)
{
    HANDLE p = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, pid);
    DWORD c = p ? GetPriorityClass(p) : 0;
    if (p)
        CloseHandle(p);
    return c;
}

class StandInDiscovery : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_NE(LoadLibraryA(rig::BridgeDll().c_str()), nullptr); }
    void Start(rig::StandInApp& s, const std::string& args = "")
    {
        std::string error;
        ASSERT_TRUE(s.Start(args, &error)) << error;
        watchdog_.Watch(s.proc.pid);
    }
    void TearDown() override { EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer"; }
    rig::Watchdog watchdog_;
};

TEST_F(StandInDiscovery, FindsTheRunningStandInAndSetsItsPriority)
{
    rig::StandInApp s;
    Start(s);
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, s.main);
    EXPECT_EQ(TargetAppWindow, s.app);

    EXPECT_EQ(SetTargetPriorityClass(IDLE_PRIORITY_CLASS), 1);
    EXPECT_EQ(PriorityOf(s.proc.pid), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    EXPECT_EQ(SetTargetPriorityClass(NORMAL_PRIORITY_CLASS), 1);
    EXPECT_EQ(PriorityOf(s.proc.pid), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));

    // Gone: no process behind the recorded window any more.
    s.Close();
    rig::StdoutCapture out;
    EXPECT_EQ(SetTargetPriorityClass(IDLE_PRIORITY_CLASS), 0);
    EXPECT_EQ(out.Text(), "Could not get process ID\n");
}

TEST_F(StandInDiscovery, ClassSuffixQualifiesALowerCaseTitleDoesNot)
{
    rig::StandInApp suffixed;
    Start(suffixed, "--class-suffix Extra --main-title \"Neat Image 1.1 (build 7)\"");
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, suffixed.main);
    suffixed.Close();

    rig::StandInApp lower;
    Start(lower, "--main-title \"neat image\" --app-title \"neat image\"");
    rig::BoxAnswerer answer("Warning");
    EXPECT_EQ(FindTargetWindows(), 0);
    EXPECT_TRUE(answer.Answered());
}

TEST_F(StandInDiscovery, WithTwoInstancesTheFirstInEnumerationOrderWins)
{
    rig::StandInApp a, b;
    Start(a);
    Start(b);
    // The first main window that the system enumerates, whichever it is.
    HWND first = nullptr;
    for (HWND w = GetTopWindow(nullptr); w && !first; w = GetWindow(w, GW_HWNDNEXT))
        if (w == a.main || w == b.main)
            first = w;
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, first);
}

TEST_F(StandInDiscovery, MenuCommandsOfTheStandInThroughTheBridge)
{
    rig::StandInApp s;
    Start(s);
    ASSERT_EQ(FindTargetWindows(), 1);
    struct Case {
        const char* menu;
        const char* item;
        int id;
    } cases[] = {
        {kMenuImage, kItemOpen, standin::IDM_IMAGE_OPEN},
        {kMenuProfile, kItemOpen, standin::IDM_PROFILE_OPEN},
        {kMenuFilter, kItemApply, standin::IDM_FILTER_APPLY},
        {kMenuImage, kItemSaveAs, standin::IDM_IMAGE_SAVEAS},
        {"&image", kItemOpen, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindMenuCommand(TargetMainWindow, c.menu, c.item), c.id) << c.menu << " > " << c.item;
}

TEST_F(StandInDiscovery, MissingMenuItemGivesMinusOne)
{
    rig::StandInApp s;
    Start(s, "--no-menu-item filter-apply");
    ASSERT_EQ(FindTargetWindows(), 1);
    rig::StdoutCapture out;
    EXPECT_EQ(FindMenuCommand(TargetMainWindow, kMenuFilter, kItemApply), -1);
    EXPECT_NE(out.Text().find("Ooops...couldn't find the requested menu item!\n"), std::string::npos) << out.Text();
    EXPECT_EQ(FindMenuCommand(TargetMainWindow, kMenuImage, kItemOpen), standin::IDM_IMAGE_OPEN);
}

} // namespace
