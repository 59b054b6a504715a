// The batch worker's life cycle in-process, where its thread handle can be
// watched: the worker never closes its own handle (Stop may still be about to
// use it), and the user interface thread releases it at the next Start.
#include "rig.h"

#include "batch/batch.h"
#include "tolvane.h"

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

// Serves the worker's sent messages on this thread until cond holds.
template <typename Cond>
bool PumpUntil(Cond cond, DWORD timeoutMs = 5000)
{
    DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

class BatchInProcess : public testing::Test {
protected:
    void SetUp() override
    {
        MainDialog = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        JobList = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | LVS_REPORT, 0, 0, 10, 10, MainDialog, nullptr,
                                  nullptr, nullptr);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.lpszClassName = "TForm1";
        RegisterClassA(&wc);
        target_ = CreateWindowExA(0, "TForm1", "Neat Image", WS_POPUP | WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(target_);
        DestroyWindow(MainDialog);
    }
    // One run of the empty list, to its end.
    HANDLE RunToTheEnd()
    {
        StartBatch();
        HANDLE worker = Batch.worker;
        EXPECT_NE(worker, nullptr);
        EXPECT_TRUE(PumpUntil([] { return Batch.worker == nullptr; }));
        EXPECT_EQ(WaitForSingleObject(worker, 5000), WAIT_OBJECT_0);
        return worker;
    }
    HWND target_ = nullptr;
};

TEST_F(BatchInProcess, FinishedWorkerHandleIsReleasedAtTheNextStart)
{
    HANDLE first = RunToTheEnd();
    DWORD flags = 0;
    // Still open after the worker's own end of run.
    EXPECT_TRUE(GetHandleInformation(first, &flags));
    HANDLE second = RunToTheEnd();
    // Closed before the next worker was created: its value is now invalid, or
    // the new worker's handle took its place.
    EXPECT_TRUE(!GetHandleInformation(first, &flags) || second == first)
        << "the first worker's handle is still open";
    EXPECT_EQ(Batch.imagesDone, 0);
    EXPECT_EQ(Batch.imageTotal, 0);
}

} // namespace
