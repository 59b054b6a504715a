// The job list's own commands in this process, sent to the program's dialog
// as automation would send them: job list files that cannot be read, Show
// output behind its launcher, and the context menu.
#include "rows_fixture.h"

#include "app/list_commands.h"
#include "jobs/joblist_io.h"

#include <atomic>
#include <string>
#include <thread>

namespace {

using namespace rowstest;

std::vector<std::string> Launched;

bool RecordLaunch(const char* commandLine)
{
    Launched.push_back(commandLine);
    return true;
}

std::wstring Wide(const std::string& path)
{
    wchar_t wide[1024];
    MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, 1024);
    return wide;
}

class ListCommands : public RowsInProcess {
protected:
    void SetUp() override
    {
        RowsInProcess::SetUp();
        Launched.clear();
        SetProgramLauncher(RecordLaunch);
    }
    void TearDown() override
    {
        SetProgramLauncher(nullptr);
        RowsInProcess::TearDown();
    }
    void Command(int id) { SendMessageA(dialog_, WM_COMMAND, static_cast<WPARAM>(id), 0); }
    // Six rows: done, failed, skipped, done, waiting, and one added later.
    void RunResults()
    {
        AddRows({"done1.bmp", "failed.bmp", "skipped.bmp", "done2.bmp", "waiting.bmp"});
        MarkRunWaiting(RowIdAt(4));
        SetRowState(RowIdAt(0), RowState::Done, (dir_ + "\\done1_filtered.bmp").c_str());
        SetRowState(RowIdAt(1), RowState::Failed, "Image Open Dialog did not close");
        SetRowState(RowIdAt(2), RowState::Skipped, (dir_ + "\\skipped.bmp").c_str());
        SetRowState(RowIdAt(3), RowState::Done, (dir_ + "\\done2_filtered.bmp").c_str());
        AddRows({"later.bmp"});
    }
    // Opens a job list file on this thread, where the "Warning" box it shows
    // is answered from another; gives the box's text.
    std::string OpenFile(const std::string& path)
    {
        rig::BoxAnswerer answer("Warning", GetCurrentProcessId(), 3000);
        OpenJobListFile(Wide(path).c_str());
        rig::MessageBoxInfo info;
        return answer.Answered(&info) ? info.text : "(no box)";
    }
};

TEST_F(ListCommands, AFileThatCannotBeReadOrIsNoUtf8TextAddsNothing)
{
    std::string utf16 = dir_ + "\\unicode.txt";
    ASSERT_TRUE(rig::WriteFileText(utf16, std::string("\xFF\xFE"
                                                      "C\0:\0\\\0",
                                                      8)));
    std::string latin = dir_ + "\\latin.txt";
    ASSERT_TRUE(rig::WriteFileText(latin, "C:\\a.bmp\tC:\\p.dnp\r\nC:\\Caf\xE9.bmp\tC:\\p.dnp\r\n"));
    std::string missing = dir_ + "\\missing.txt";
    EXPECT_EQ(OpenFile(utf16),
              "No job was added from " + utf16 + ": it is UTF-16 text. Save it as UTF-8 and open it again.");
    EXPECT_EQ(OpenFile(latin), "No job was added from " + latin +
                                   ": it is not UTF-8 text (line 2). Save it as UTF-8 and open it again.");
    std::string gone = OpenFile(missing);
    EXPECT_EQ(gone.rfind("No job was added from " + missing + ": it could not be read (", 0), 0u) << gone;
    EXPECT_EQ(Count(), 0);
}

TEST_F(ListCommands, ShowOutputStartsExplorerWithTheDoneRowsOutputSelected)
{
    RunResults();
    std::string output = dir_ + "\\done2_filtered.bmp";
    ASSERT_TRUE(rig::WriteFileText(output, "saved"));
    Focus(3);
    Command(IDC_SHOW_OUTPUT);
    EXPECT_EQ(Launched, std::vector<std::string>{"explorer.exe /select,\"" + output + "\""});
    // Rows that are not done show nothing.
    for (int row : {1, 2, 4, 5}) {
        Focus(row);
        Command(IDC_SHOW_OUTPUT);
    }
    EXPECT_EQ(Launched.size(), 1u);
    // A done row whose output has gone since: a box says so.
    Focus(0);
    rig::BoxAnswerer answer("Warning", GetCurrentProcessId(), 3000);
    Command(IDC_SHOW_OUTPUT);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(answer.Answered(&box));
    EXPECT_EQ(box.text, "The output " + dir_ + "\\done1_filtered.bmp no longer exists.");
    EXPECT_EQ(Launched.size(), 1u);
}

TEST_F(ListCommands, TheMenuOffersWhatTheRowsAllow)
{
    struct Item {
        UINT id;
        std::string text;
        bool enabled;
    };
    auto itemsOf = [](HMENU menu) {
        std::vector<Item> items;
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[64] = "";
            GetMenuStringA(menu, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
            UINT state = GetMenuState(menu, static_cast<UINT>(i), MF_BYPOSITION);
            items.push_back({GetMenuItemID(menu, i), text, (state & (MF_GRAYED | MF_DISABLED)) == 0});
        }
        DestroyMenu(menu);
        return items;
    };
    auto check = [](const std::vector<Item>& items, bool removeDone, bool show) {
        ASSERT_EQ(items.size(), 5u);
        const Item expected[] = {{IDC_OPEN_JOB_LIST, "Open job list...", true},
                                 {IDC_SAVE_JOB_LIST, "Save job list...", true},
                                 {0, "", true},
                                 {IDC_REMOVE_DONE_JOBS, "Remove done jobs", removeDone},
                                 {IDC_SHOW_OUTPUT, "Show output", show}};
        for (size_t i = 0; i < items.size(); ++i) {
            SCOPED_TRACE(i);
            EXPECT_EQ(items[i].id, expected[i].id);
            EXPECT_EQ(items[i].text, expected[i].text);
            if (expected[i].id != 0) {
                EXPECT_EQ(items[i].enabled, expected[i].enabled);
            }
        }
    };
    AddRows({"a.bmp"});
    Focus(0);
    check(itemsOf(BuildJobListMenu()), false, false);
    SendMessageA(JobList, LVM_DELETEALLITEMS, 0, 0);
    RunResults();
    Focus(1);
    check(itemsOf(BuildJobListMenu()), true, false);
    Focus(3);
    check(itemsOf(BuildJobListMenu()), true, true);
}

TEST_F(ListCommands, TheMenuFromTheKeyboardOpensAtTheFocusedRow)
{
    AddRows({"a.bmp", "b.bmp", "c.bmp", "d.bmp"});
    Focus(2);
    RECT label = {};
    label.left = LVIR_LABEL;
    ASSERT_TRUE(SendMessageA(JobList, LVM_GETITEMRECT, 2, reinterpret_cast<LPARAM>(&label)));
    POINT expected = {label.left, label.bottom};
    ClientToScreen(JobList, &expected);
    // The menu runs its own loop on this thread; another thread notes where
    // it opened and closes it with Escape.
    std::atomic<bool> seen{false};
    RECT at = {};
    std::thread closer([&] {
        HWND menu = rig::WaitForWindow("#32768", nullptr, GetCurrentProcessId(), 5000);
        if (menu == nullptr)
            return;
        GetWindowRect(menu, &at);
        seen = true;
        PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
    });
    SendMessageA(dialog_, WM_CONTEXTMENU, reinterpret_cast<WPARAM>(JobList), static_cast<LPARAM>(-1));
    closer.join();
    ASSERT_TRUE(seen) << "no menu opened";
    EXPECT_NEAR(at.left, expected.x, 3);
    EXPECT_NEAR(at.top, expected.y, 3);
    EXPECT_EQ(rig::FindTopWindow("#32768", nullptr, GetCurrentProcessId()), nullptr) << "the menu stayed open";
}

} // namespace
