// Faults at the edges of a run: what a Stop inside "&Apply" leaves for the
// next run, a fatal error met by the progress tick, a command missing from
// the menu, and a Stop while a missing control is being reported.
#include "sequence.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace sequencetest;

class RunFaults : public Sequence {
protected:
    // The visible boxes of Tolvane's captioned `caption`.
    int BoxesOfTolvane(const char* caption)
    {
        int count = 0;
        for (HWND w : rig::TopWindowsOf(app_.proc.pid))
            if (IsWindowVisible(w) && rig::IsMessageBox(w) && rig::TitleOf(w) == caption)
                ++count;
        return count;
    }
    // Answers the stand-in's own visible box; false when there is none.
    bool AnswerStandInBox()
    {
        for (HWND w : rig::TopWindowsOf(standin_.proc.pid))
            if (IsWindowVisible(w) && rig::IsMessageBox(w)) {
                rig::AnswerMessageBox(w);
                return true;
            }
        return false;
    }
};

// A Stop that ends the worker inside "&Apply" must not leave the watch
// believing the next run is inside "&Apply" too: its progress tick would then
// take the worker's own image "Open" dialog, kept open here by a file it
// refuses, for a box of Neat Image's.
TEST_F(RunFaults, StopInsideApplyLeavesNothingForTheNextRun)
{
    StartBoth("--filter-ms 4000 --refuse image-open r.bmp");
    std::string first = Image("a.bmp");
    AddJob(first);
    AddJob(Image("r.bmp"));
    Start();
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 1, 20000)) << standin_.JournalText();
    Sleep(300);
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success", 10000), "Batch processing terminated.  Cancel Neat Image manually.");
    ASSERT_TRUE(WaitForStatus("Processing terminated", 10000)) << Status();
    ASSERT_TRUE(standin_.WaitForEvents("filter-applied", 1, 10000)) << standin_.JournalText();

    // The next run skips the first job (its image is gone) and meets the
    // refusing dialog before any "&Apply": the dialog's own wait ends it.
    ASSERT_TRUE(DeleteFileA(first.c_str()));
    Start();
    ExpectFatal("Image Open Dialog did not close");
}

// A box of Neat Image's in the middle of the filter, without carrying on: the
// progress tick meets it and shows the fatal error once, the worker goes no
// further once Neat Image's box is answered behind it, and the process ends
// when the error box is answered.
TEST_F(RunFaults, FatalErrorOfTheTickIsShownOnceAndStopsTheWorker)
{
    StartBoth("--box-at filter \"Out of memory.\" --filter-ms 2000");
    AddJob(Image("b.bmp"));
    AddJob(Image("c.bmp"));
    Start();
    rig::MessageBoxInfo error;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &error, app_.proc.pid, 30000)) << standin_.JournalText();
    EXPECT_EQ(error.text,
              "An Error Occurred:\n\nNeat Image is showing \"Neat Image\": Out of memory.\n\nThis program "
              "will now terminate.");
    // Neat Image's box stays up for more than two ticks: the error box
    // must not come again meanwhile.
    Sleep(2500);
    EXPECT_EQ(BoxesOfTolvane("Error"), 1) << "the error box came again";
    // Neat Image's box answered: its "&Apply" returns to the worker, which
    // must go no further.
    ASSERT_TRUE(AnswerStandInBox()) << standin_.JournalText();
    ASSERT_TRUE(standin_.WaitForEvents("box-answered", 1, 5000)) << standin_.JournalText();
    Sleep(2500); // more than two ticks, time enough for the worker's next steps
    EXPECT_EQ(BoxesOfTolvane("Error"), 1) << "the error box came again";
    EXPECT_NE(Status(), "Processing complete");
    EXPECT_TRUE(standin_.EventsNamed("menu", "image-saveas").empty()) << standin_.JournalText();
    std::string log = app_.Log();
    EXPECT_EQ(log.find("Processing image: " + standin_.dir + "\\c.bmp"), std::string::npos) << log;
    rig::AnswerMessageBox(error.window);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code)) << "Tolvane still runs after its error box";
    EXPECT_EQ(code, 0xFFFFFFFFu);
}

// A command that opens a file dialog and is not in Neat Image's menu fails
// at once: nothing is posted, and no wait for its dialog begins.
TEST_F(RunFaults, MissingDialogCommandFailsWithoutWaitingForItsDialog)
{
    StartBoth("--no-menu-item image-open");
    AddJob(Image("m.bmp"));
    Start();
    ExpectFatal("Could not find Image Open Dialog");
    std::string trace = WorkerTrace(app_.Trace());
    EXPECT_EQ(trace.find(".........."), std::string::npos) << "the image dialog was waited for\n" << trace;
}

// A Stop that comes while a missing control is reported (the report first
// waits a moment for a Neat Image that may be closing) ends the run as a
// Stop: the worker leaves that wait at once.
TEST_F(RunFaults, StopDuringTheReportOfAMissingControlIsAStop)
{
    StartBoth("--no-edit image-open");
    AddJob(Image("e.bmp"));
    Start();
    ASSERT_TRUE(standin_.WaitForEvents("shown", 1, 20000)) << standin_.JournalText();
    Sleep(400);
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success", 6000), "Batch processing terminated.  Cancel Neat Image manually.");
    EXPECT_EQ(BoxesOfTolvane("Error"), 0);
    ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();
    // The stand-in's dialog, left open by the Stop, is the user's to cancel.
    HWND open = rig::FindTopWindow("#32770", "Open", standin_.proc.pid);
    if (open != nullptr)
        rig::PostCommand(open, IDCANCEL);
}

} // namespace
