// The batch worker's life cycle in-process, where its thread handle can be
// watched: the worker never closes its own handle (Stop may still be about to
// use it), and the user interface thread releases it at the next Start.
#include "pump.h"
#include "rig.h"

#include "app/resource.h"
#include "batch/batch.h"
#include "tolvane.h"

#include <string>

#include <commctrl.h>
#include <gtest/gtest.h>

namespace {

using rig::PumpUntil;

class BatchInProcess : public testing::Test {
protected:
    void SetUp() override
    {
        MainDialog = CreateWindowExA(0, "STATIC", "main", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
        // The controls the worker and the timer write to or read.
        status_ = Child("STATIC", IDC_STATUS, 0);
        progress_ = Child("STATIC", IDC_PROGRESS, 0);
        idle_ = Child("BUTTON", IDC_IDLE_PRIORITY, BS_AUTOCHECKBOX);
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
        HANDLE worker = Batch.worker.load();
        EXPECT_NE(worker, nullptr);
        EXPECT_TRUE(PumpUntil([] { return Batch.worker == nullptr; }));
        // Its last steps still send to this thread: keep serving them.
        EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }));
        return worker;
    }
    HWND Child(const char* cls, int id, DWORD style)
    {
        return CreateWindowExA(0, cls, "", WS_CHILD | style, 0, 0, 10, 10, MainDialog,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }
    std::string Text(HWND w)
    {
        char buf[512] = "";
        GetWindowTextA(w, buf, sizeof buf);
        return buf;
    }
    HWND target_ = nullptr;
    HWND status_ = nullptr, progress_ = nullptr, idle_ = nullptr;
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
    EXPECT_TRUE(!GetHandleInformation(first, &flags) || second == first) << "the first worker's handle is still open";
    EXPECT_EQ(Batch.imagesDone.load(), 0);
    EXPECT_EQ(Batch.imageTotal.load(), 0);
}

TEST_F(BatchInProcess, IdleClassRefusedShowsTheWarningAndTheRunGoesOn)
{
    // The target is gone by the time the worker sets its priority.
    HWND gone = CreateWindowExA(0, "TForm1", "Neat Image", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    TargetMainWindow = gone;
    DestroyWindow(gone);
    SendMessageA(idle_, BM_SETCHECK, BST_CHECKED, 0);
    Batch.worker = reinterpret_cast<HANDLE>(1); // as StartBatch would have stored it
    rig::BoxAnswerer answer("Tolvane warning");
    HANDLE worker = CreateThread(nullptr, 0, BatchWorker, nullptr, 0, nullptr);
    ASSERT_NE(worker, nullptr);
    // Serve the worker's sent messages until it has really ended.
    EXPECT_TRUE(PumpUntil([&] { return WaitForSingleObject(worker, 0) == WAIT_OBJECT_0; }, 10000));
    CloseHandle(worker);
    EXPECT_EQ(Batch.worker.load(), nullptr);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(answer.Answered(&box));
    EXPECT_EQ(box.text,
              "Could not set Idle Priority.  This should not cause any \nproblems, but may make your machine "
              "less responsive while \nNeat Image is processing images.");
    EXPECT_EQ(Text(status_), "Processing complete");
    EXPECT_EQ(Text(progress_), "");
}

TEST_F(BatchInProcess, ProgressTimerReadsOnlyTheFirst30CharactersOfAVisibleProgressWindow)
{
    Batch.imagesDone = 0;
    Batch.imageTotal = 1;
    Batch.batchStartTick = 1000;
    Batch.imageStartTick = 1000;
    StartProgressDisplay();
    // No progress window: the elapsed line alone.
    ProgressTimerProc(MainDialog, WM_TIMER, PROGRESS_TIMER_ID, 11000);
    EXPECT_EQ(Text(progress_), "Elapsed Time:   Total = 0:00:10     Image = 0:00:10");

    WNDCLASSA wc = {};
    wc.lpfnWndProc = DefWindowProcA;
    wc.lpszClassName = "TCalcForm";
    RegisterClassA(&wc);
    // 31 characters: the last digit lies past the 30 that are read.
    HWND calc = CreateWindowExA(0, "TCalcForm", "Calculating:0000000000000000025", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, nullptr, nullptr);
    ProgressTimerProc(MainDialog, WM_TIMER, PROGRESS_TIMER_ID, 11000);
    EXPECT_EQ(Text(progress_), "Elapsed Time:   Total = 0:00:10     Image = 0:00:10")
        << "a hidden window counts for nothing";

    ShowWindow(calc, SW_SHOWNOACTIVATE);
    ProgressTimerProc(MainDialog, WM_TIMER, PROGRESS_TIMER_ID, 11000);
    EXPECT_EQ(Text(progress_),
              "Elapsed Time:   Total = 0:00:10     Image = 0:00:10  (2% complete)\n"
              "Remaining Time:    Image = 0:08:10");
    DestroyWindow(calc);

    // A tick still in the queue when the run ended writes nothing.
    EndProgressDisplay();
    SetWindowTextA(progress_, "");
    ProgressTimerProc(MainDialog, WM_TIMER, PROGRESS_TIMER_ID, 12000);
    EXPECT_EQ(Text(progress_), "") << "a tick after the end of the run";
}

} // namespace
