// The rows of tolvane.exe's job list once added: Remove, and the refused
// in-place edit.
#include "joblist_app.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace jobsapp;

TEST_F(JobListApp, RemoveDeletesOnlyTheFirstSelectedRow)
{
    const std::string q = Join(profiles_, "q.dnp");
    Add({kImageTitle, images_, Quoted({"r0.bmp", "r1.bmp", "r2.bmp", "r3.bmp", "r4.bmp"})},
        {kProfileTitle, profiles_, "q.dnp"});
    auto row = [&](int i) { return std::vector<std::string>{Join(images_, "r" + std::to_string(i) + ".bmp"), q}; };
    ASSERT_EQ(JobRows(), (Rows{row(0), row(1), row(2), row(3), row(4)}));

    auto remove = [&] {
        size_t removes = CountOf(app_.Trace(), "Remove\n");
        rig::Click(app_.Item(IDC_REMOVE));
        EXPECT_TRUE(rig::WaitUntil([&] { return CountOf(app_.Trace(), "Remove\n") > removes; }));
        EXPECT_TRUE(WaitIdle());
    };

    ASSERT_TRUE(rig::SelectListViewRows(list_, {}));
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(1), row(2), row(3), row(4)})) << "nothing selected: nothing removed";

    ASSERT_TRUE(rig::SelectListViewRows(list_, {1, 3}));
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(2), row(3), row(4)})) << "the second row only";

    // The fourth row is still selected: the next press removes it.
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(2), row(4)}));

    ASSERT_TRUE(rig::SelectListViewRows(list_, {2}));
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(2)})) << "the last row";
}

TEST_F(JobListApp, InPlaceEditOfARowIsRefused)
{
    const std::string q = Join(profiles_, "q.dnp");
    Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    const Rows before = {{Join(images_, "one.bmp"), q}};
    ASSERT_EQ(JobRows(), before);

    // Ended once with Enter (which asks to keep the new text), once by the
    // edit losing the focus.
    for (UINT end : {static_cast<UINT>(WM_KEYDOWN), static_cast<UINT>(WM_KILLFOCUS)}) {
        SCOPED_TRACE(end == WM_KEYDOWN ? "Enter" : "focus lost");
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutA(list_, LVM_EDITLABELA, 0, 0, SMTO_ABORTIFHUNG, 3000, &result));
        HWND edit = reinterpret_cast<HWND>(result);
        ASSERT_NE(edit, nullptr) << "the list view's style allows starting an edit";
        EXPECT_EQ(rig::TextOf(edit), before[0][0]);
        ASSERT_TRUE(rig::SetText(edit, "C:\\renamed.bmp"));
        EXPECT_EQ(rig::TextOf(edit), "C:\\renamed.bmp");
        if (end == WM_KEYDOWN) {
            PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
        } else {
            PostMessageA(edit, WM_KILLFOCUS, 0, 0);
        }
        EXPECT_TRUE(rig::WaitUntil([&] { return !IsWindow(edit); })) << "the edit ended";
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(JobRows(), before) << "the row keeps its text";
    }
    EXPECT_NE(app_.Trace().find("WM_notify\n"), std::string::npos);
}

} // namespace
