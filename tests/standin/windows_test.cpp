// The stand-in's windows and switches, driven from outside: its two top-level
// windows and the discovery rule, the title and class switches, delayed
// windows, a close while a dialog is open, bad command lines, and the menu
// bar read across processes through the test environment's menu bridge.
#include "standin_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

using namespace standintest;

TEST_F(StandinTest, WindowsJournalStartAndCleanExit)
{
    Start();
    EXPECT_EQ(app_.startPid, app_.proc.pid);
    ASSERT_TRUE(IsWindow(app_.main));
    ASSERT_TRUE(IsWindow(app_.app));
    EXPECT_EQ(rig::ClassOf(app_.main), "TForm1");
    EXPECT_EQ(rig::ClassOf(app_.app), "TApplication");
    EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image");
    EXPECT_EQ(rig::TitleOf(app_.app), "Neat Image");
    EXPECT_EQ(GetWindow(app_.main, GW_OWNER), app_.app) << "the application window owns the main window";
    EXPECT_TRUE(IsWindowVisible(app_.main));
    EXPECT_NE(GetMenu(app_.main), nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(app_.main, &pid);
    EXPECT_EQ(pid, app_.proc.pid);

    // The discovery rule: the first top-level windows titled "Neat Image..."
    // of class "TForm1..." and "TApplication..." are these two.
    EXPECT_EQ(rig::FindTopWindow("TForm1", nullptr, app_.proc.pid), app_.main);
    EXPECT_EQ(rig::FindTopWindow("TApplication", "Neat Image", app_.proc.pid, true), app_.app);

    // Priority changes from outside are accepted.
    HANDLE h = OpenProcess(PROCESS_SET_INFORMATION, FALSE, app_.proc.pid);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(SetPriorityClass(h, IDLE_PRIORITY_CLASS));
    CloseHandle(h);

    ExpectCleanExit();
}

TEST_F(StandinTest, TitleAndClassSwitches)
{
    Start("--main-title \"Neat Image fixed\" --app-title \"Neat Image app\" --class-suffix Q");
    EXPECT_EQ(rig::ClassOf(app_.main), "TForm1Q");
    EXPECT_EQ(rig::ClassOf(app_.app), "TApplicationQ");
    EXPECT_EQ(rig::TitleOf(app_.app), "Neat Image app");
    EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image fixed");
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image fixed") << "a fixed title stays";
    ExpectCleanExit();
}

TEST_F(StandinTest, DelayedWindowsAppearLaterWhileMessagesAreServed)
{
    Start("--delay image-open 1500");
    DWORD start = rig::Now();
    app_.Post(IDM_IMAGE_OPEN);
    ASSERT_TRUE(app_.WaitFor("menu", "image-open"));
    // Still answering while it waits.
    EXPECT_TRUE(SendBounded(app_.main, WM_GETTEXTLENGTH, 0, 0, 500));
    EXPECT_EQ(FindOwned(app_.app, "#32770", "Open"), nullptr);
    HWND dlg = WaitOwned(app_.app, "#32770", "Open", 30000);
    DWORD took = rig::Now() - start;
    ASSERT_NE(dlg, nullptr);
    // Never earlier than asked; how much later is a figure of scripts/bench.
    EXPECT_GE(took, 1500u);
    ExpectCleanExit();
}

TEST_F(StandinTest, CloseWhileADialogIsOpenEndsCleanly)
{
    Start();
    app_.Post(IDM_IMAGE_OPEN);
    HWND dlg = WaitOwned(app_.app, "#32770", "Open");
    ASSERT_NE(dlg, nullptr);
    // A second command while the first is in its dialog is dropped.
    app_.Post(IDM_PROFILE_OPEN);
    EXPECT_TRUE(app_.WaitFor("busy", "profile-open")) << app_.Journal();
    ExpectCleanExit();
    EXPECT_TRUE(app_.Has("cancelled", "image-open"));
}

TEST_F(StandinTest, BadCommandLinesPrintUsageAndExitWith2)
{
    const char* cases[] = {
        "--bogus",
        "--delay image-open",
        "--delay nothing 10",
        "--never",
        "--never calc",
        "--no-edit jpeg-options",
        "--no-menu-item save",
        "--filter-ms soon",
        "--journal",
        "--exit-at nowhere",
        "--box-at profile-open x",
        "--box-at filter",
        "--language de",
        "--language",
        "--text-box-at profile-open x",
        "--text-box-at save",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        rig::Process p;
        const std::string out = dir_ + "\\usage.txt";
        std::string error;
        ASSERT_TRUE(rig::StartProgram(rig::ExeDir() + "standin.exe", args, &p, out, "", &error)) << error;
        DWORD code = 12345;
        bool ended = rig::WaitExit(p, 10000, &code);
        rig::EndProgram(p);
        ASSERT_TRUE(ended);
        EXPECT_EQ(code, 2u);
        EXPECT_NE(rig::ReadFileText(out).find("usage: standin"), std::string::npos);
    }
}

// ---- The menu bar, read across processes through the test environment's menu bridge ----------------------

struct MenuItem {
    std::string caption; // "" for a separator
    UINT type = 0;
    UINT id = 0;
    std::vector<MenuItem> items;
};

std::vector<MenuItem> ReadMenu(HMENU menu, int depth = 0)
{
    std::vector<MenuItem> out;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE | MIIM_SUBMENU | MIIM_ID;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info))
            break;
        MenuItem item;
        item.type = info.fType;
        item.caption = (info.fType & MFT_SEPARATOR) ? "" : text;
        item.id = info.hSubMenu ? 0 : GetMenuItemID(menu, i);
        if (info.hSubMenu && depth == 0)
            item.items = ReadMenu(info.hSubMenu, 1);
        out.push_back(item);
    }
    return out;
}

class StandinMenuTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        bridge_ = rig::ExeDir() + "menubridge.dll";
        if (!rig::FileExists(bridge_))
            GTEST_SKIP() << "menubridge.dll is not beside the test";
        // Redirects this program's menu calls on foreign menus to the owner.
        ASSERT_NE(LoadLibraryA(bridge_.c_str()), nullptr);
    }
    std::string bridge_;
};

TEST_F(StandinMenuTest, MenuBarCaptionsAndMissingItems)
{
    using standin::IDM_EXIT;
    using standin::IDM_HELP_ABOUT;
    using standin::IDM_IMAGE_CLOSE;
    struct Case {
        const char* args;
        std::vector<std::pair<std::string, std::vector<std::pair<std::string, UINT>>>> bar;
    };
    const std::string sep; // separator
    const Case cases[] = {
        {"",
         {{"&Image",
           {{"&Open...\tCtrl+O", IDM_IMAGE_OPEN},
            {"Save &as...\tCtrl+S", IDM_IMAGE_SAVEAS},
            {sep, 0},
            {"&Close", IDM_IMAGE_CLOSE},
            {sep, 0},
            {"E&xit", IDM_EXIT}}},
          {"&Profile", {{"&Open...\tCtrl+P", IDM_PROFILE_OPEN}}},
          {"&Filter", {{"&Apply\tF5", IDM_FILTER_APPLY}}},
          {"&Help", {{"&About...", IDM_HELP_ABOUT}}}}},
        {"--no-menu-item filter-apply --no-menu-item image-saveas",
         {{"&Image",
           {{"&Open...\tCtrl+O", IDM_IMAGE_OPEN},
            {sep, 0},
            {"&Close", IDM_IMAGE_CLOSE},
            {sep, 0},
            {"E&xit", IDM_EXIT}}},
          {"&Profile", {{"&Open...\tCtrl+P", IDM_PROFILE_OPEN}}},
          {"&Filter", {}},
          {"&Help", {{"&About...", IDM_HELP_ABOUT}}}}},
        {"--no-menu-item image-open --no-menu-item profile-open",
         {{"&Image",
           {{"Save &as...\tCtrl+S", IDM_IMAGE_SAVEAS},
            {sep, 0},
            {"&Close", IDM_IMAGE_CLOSE},
            {sep, 0},
            {"E&xit", IDM_EXIT}}},
          {"&Profile", {}},
          {"&Filter", {{"&Apply\tF5", IDM_FILTER_APPLY}}},
          {"&Help", {{"&About...", IDM_HELP_ABOUT}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error, bridge_)) << error;
        std::vector<MenuItem> bar = ReadMenu(GetMenu(app.main));
        ASSERT_EQ(bar.size(), c.bar.size());
        for (size_t i = 0; i < bar.size(); ++i) {
            EXPECT_EQ(bar[i].caption, c.bar[i].first);
            EXPECT_EQ(bar[i].type, static_cast<UINT>(MFT_STRING));
            ASSERT_EQ(bar[i].items.size(), c.bar[i].second.size()) << bar[i].caption;
            for (size_t j = 0; j < bar[i].items.size(); ++j) {
                const MenuItem& item = bar[i].items[j];
                const bool separator = c.bar[i].second[j].first.empty();
                EXPECT_EQ(item.type, separator ? static_cast<UINT>(MFT_SEPARATOR) : static_cast<UINT>(MFT_STRING));
                EXPECT_EQ(item.caption, c.bar[i].second[j].first);
                if (!separator) {
                    EXPECT_EQ(item.id, c.bar[i].second[j].second) << item.caption;
                }
            }
        }
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code));
        EXPECT_EQ(code, 0u);
    }
}

} // namespace
