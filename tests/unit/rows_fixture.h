// The main dialog from the program's own template in this process, for the
// tests of the job states and of the list's commands: they reach the list
// through the program's own dialog procedure, as a user's clicks and the
// worker's messages do.
#pragma once

#include "pump.h"
#include "rig.h"

#include "app/app.h"
#include "app/resource.h"
#include "jobs/jobs.h"
#include "jobs/row_state.h"
#include "tolvane.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace rowstest {

class RowsInProcess : public testing::Test {
protected:
    void SetUp() override
    {
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        MainDialog = dialog_;
        ASSERT_NE(JobList, nullptr);
        dir_ = rig::MakeTempDir("rows");
        ASSERT_FALSE(dir_.empty());
    }
    void TearDown() override
    {
        EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer";
        DestroyWindow(dialog_);
        // The dialog's WM_DESTROY posts WM_QUIT, which would end the next
        // test's modal loops at once.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ;
        MainDialog = nullptr;
        JobList = nullptr;
    }

    // Appends jobs as Add does: "<dir>\<name>" with one profile.
    void AddRows(const std::vector<std::string>& names)
    {
        for (const std::string& name : names)
            InsertJob((dir_ + "\\" + name).c_str(), (dir_ + "\\p.dnp").c_str());
    }
    int Count() const { return static_cast<int>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0)); }
    // The item image of a row's column 0, as automation reads it.
    static int ImageOf(int row)
    {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = row;
        item.iImage = -99;
        SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.iImage;
    }
    std::vector<int> Images() const
    {
        std::vector<int> images;
        for (int i = 0; i < Count(); ++i)
            images.push_back(ImageOf(i));
        return images;
    }
    static std::string TextOf(int row, int column)
    {
        char text[512] = "";
        LVITEMA item = {};
        item.mask = LVIF_TEXT;
        item.iItem = row;
        item.iSubItem = column;
        item.pszText = text;
        item.cchTextMax = sizeof text - 1;
        SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
        return item.pszText != nullptr ? item.pszText : text;
    }
    std::vector<std::string> ImagePaths() const
    {
        std::vector<std::string> rows;
        for (int i = 0; i < Count(); ++i)
            rows.push_back(TextOf(i, 0));
        return rows;
    }
    // Selects one row and gives it the focus, as a click does.
    static void Focus(int row)
    {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
        item.state = 0;
        SendMessageA(JobList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        item.state = LVIS_SELECTED | LVIS_FOCUSED;
        SendMessageA(JobList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    }
    HWND dialog_ = nullptr;
    std::string dir_;
    rig::Watchdog watchdog_{20000};
};

// The image indexes of states, as the list shows them.
constexpr int kNone = 0, kWaiting = 1, kRunning = 2, kDone = 3, kFailed = 4, kSkipped = 5;

} // namespace rowstest
