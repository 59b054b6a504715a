// The state of each job in the list, in this process: the images, the rows a
// run marks, the worker's changes through the dialog, the infotips and the
// records of deleted rows.
#include "rows_fixture.h"

#include <atomic>
#include <cstring>
#include <thread>

namespace {

using namespace rowstest;

// The pixels of one image of the list drawn on white.
std::vector<COLORREF> Pixels(HIMAGELIST images, int index)
{
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, 16, 16};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ImageList_Draw(images, index, dc, 0, 0, ILD_NORMAL);
    std::vector<COLORREF> pixels;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            pixels.push_back(GetPixel(dc, x, y));
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// Asks the dialog for a row's infotip as the list does, through WM_NOTIFY;
// the text buffer has guard bytes after its cchTextMax.
std::string InfoTip(HWND dialog, int row, const std::string& label, int size = 1024, bool* guardIntact = nullptr)
{
    std::vector<char> text(static_cast<size_t>(size) + 16, 'G');
    std::memcpy(text.data(), label.c_str(), std::min(label.size() + 1, static_cast<size_t>(size)));
    NMLVGETINFOTIPA tip = {};
    tip.hdr.hwndFrom = JobList;
    tip.hdr.idFrom = IDC_JOB_LIST;
    tip.hdr.code = LVN_GETINFOTIPA;
    tip.dwFlags = label.empty() ? LVGIT_UNFOLDED : 0;
    tip.pszText = text.data();
    tip.cchTextMax = size;
    tip.iItem = row;
    SendMessageA(dialog, WM_NOTIFY, IDC_JOB_LIST, reinterpret_cast<LPARAM>(&tip));
    if (guardIntact != nullptr)
        *guardIntact = std::string(text.data() + size, 16) == std::string(16, 'G');
    return std::string(text.data(), strnlen(text.data(), static_cast<size_t>(size)));
}

TEST_F(RowsInProcess, EveryStateHasAnImageOfItsOwn)
{
    HIMAGELIST images = reinterpret_cast<HIMAGELIST>(SendMessageA(JobList, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(images, nullptr);
    ASSERT_EQ(ImageList_GetImageCount(images), kRowStateCount);
    int cx = 0, cy = 0;
    ASSERT_TRUE(ImageList_GetIconSize(images, &cx, &cy));
    EXPECT_EQ(cx, 16);
    EXPECT_EQ(cy, 16);
    std::vector<std::vector<COLORREF>> drawn;
    for (int i = 0; i < kRowStateCount; ++i)
        drawn.push_back(Pixels(images, i));
    EXPECT_EQ(drawn[kNone], std::vector<COLORREF>(256, RGB(255, 255, 255))) << "no state draws nothing";
    for (int a = 0; a < kRowStateCount; ++a)
        for (int b = a + 1; b < kRowStateCount; ++b)
            EXPECT_NE(drawn[a], drawn[b]) << "images " << a << " and " << b << " look the same";
    EXPECT_NE(SendMessageA(JobList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_INFOTIP, 0);
}

TEST_F(RowsInProcess, ARunMarksItsRowsWaitingAndRowsAddedLaterHaveNoState)
{
    AddRows({"a.bmp", "b.bmp", "c.bmp"});
    EXPECT_EQ(Images(), (std::vector<int>{kNone, kNone, kNone}));
    MarkRunWaiting(RowIdAt(1));
    EXPECT_EQ(Images(), (std::vector<int>{kWaiting, kWaiting, kNone}));
    AddRows({"d.bmp"});
    EXPECT_EQ(Images(), (std::vector<int>{kWaiting, kWaiting, kNone, kNone}));
    EXPECT_EQ(RowStateOf(RowIdAt(0)), RowState::Waiting);
    EXPECT_EQ(RowStateOf(RowIdAt(3)), RowState::None);
    // A new run clears what the last one left.
    SetRowState(RowIdAt(0), RowState::Failed, "Image Open Dialog did not close");
    MarkRunWaiting(RowIdAt(3));
    EXPECT_EQ(Images(), (std::vector<int>{kWaiting, kWaiting, kWaiting, kWaiting}));
    EXPECT_STREQ(RowTextOf(RowIdAt(0)), "");
}

TEST_F(RowsInProcess, TheWorkerChangesStatesThroughTheDialog)
{
    AddRows({"a.bmp", "b.bmp", "c.bmp"});
    JobId first = RowIdAt(0), second = RowIdAt(1);
    std::atomic<int> step{0};
    std::thread worker([&] {
        MarkRunWaiting(RowIdAt(2));
        SetRowState(first, RowState::Running, nullptr);
        SetRowState(first, RowState::Done, "C:\\out\\a_filtered.bmp");
        SetRowState(second, RowState::Running, nullptr);
        step = 1;
        // The job driven last turns out failed at the run's closing look.
        SetDrivenRowState(RowState::Failed, "Neat Image is showing \"Neat Image\": late");
        SetRowState(999999, RowState::Done, "no such row");
        step = 2;
    });
    EXPECT_TRUE(rig::PumpUntil([&] { return step == 2; }, 10000));
    worker.join();
    EXPECT_EQ(Images(), (std::vector<int>{kDone, kFailed, kWaiting}));
    EXPECT_STREQ(RowTextOf(first), "C:\\out\\a_filtered.bmp");
    EXPECT_STREQ(RowTextOf(second), "Neat Image is showing \"Neat Image\": late");
}

TEST_F(RowsInProcess, InfotipsGiveTheStateAndItsReasonOrOutput)
{
    AddRows({"a.bmp", "b.bmp", "c.bmp", "d.bmp", "e.bmp", "f.bmp"});
    MarkRunWaiting(RowIdAt(4));
    SetRowState(RowIdAt(1), RowState::Running, nullptr);
    SetRowState(RowIdAt(2), RowState::Done, "C:\\out\\c_filtered.bmp");
    SetRowState(RowIdAt(3), RowState::Failed, "Image Open Dialog did not close");
    SetRowState(RowIdAt(4), RowState::Skipped, "C:\\gone\\e.bmp");
    struct Row {
        int row;
        const char* tip;
    };
    const Row rows[] = {
        {0, "Waiting"},
        {1, "Running"},
        {2, "Done: C:\\out\\c_filtered.bmp"},
        {3, "Failed: Image Open Dialog did not close"},
        {4, "Skipped, file not found: C:\\gone\\e.bmp"},
        {5, "untouched"}, // no state: the list's own tip stays
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.row);
        std::string label = r.row == 5 ? "untouched" : "";
        EXPECT_EQ(InfoTip(dialog_, r.row, label), r.tip);
    }
    // A label the column cuts short comes first, the state on a line after it.
    EXPECT_EQ(InfoTip(dialog_, 3, "C:\\a long\\path.bmp"),
              "C:\\a long\\path.bmp\r\nFailed: Image Open Dialog did not close");
    // A short buffer is cut, never overrun.
    bool intact = false;
    EXPECT_EQ(InfoTip(dialog_, 2, "", 9, &intact), "Done: C:");
    EXPECT_TRUE(intact);
    EXPECT_EQ(InfoTip(dialog_, 3, "C:\\label", 12, &intact), "C:\\label\r\nF");
    EXPECT_TRUE(intact);
}

TEST_F(RowsInProcess, ADeletedRowTakesItsStateWithIt)
{
    AddRows({"a.bmp", "b.bmp", "c.bmp"});
    JobId first = RowIdAt(0), second = RowIdAt(1), third = RowIdAt(2);
    MarkRunWaiting(third);
    SetRowState(second, RowState::Done, "C:\\out\\b.bmp");
    SendMessageA(JobList, LVM_DELETEITEM, 1, 0);
    EXPECT_EQ(RowStateOf(second), RowState::None);
    EXPECT_EQ(RowStateOf(first), RowState::Waiting);
    // A change for a row that is gone does nothing, not even to its neighbours.
    SetRowState(second, RowState::Failed, "late");
    EXPECT_EQ(Images(), (std::vector<int>{kWaiting, kWaiting}));
    SendMessageA(JobList, LVM_DELETEALLITEMS, 0, 0);
    EXPECT_EQ(RowStateOf(first), RowState::None);
    EXPECT_EQ(RowStateOf(third), RowState::None);
}

} // namespace
