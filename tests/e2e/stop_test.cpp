// Stop against the stand-in, at every step of the per-image sequence: the
// "Success" box comes, the dialog keeps answering while Stop does its work,
// the stand-in sees no further step once the box is up, and the next Start
// begins again at the first row.
#include "target_session.h"

#include "answer_probe.h"
#include "app/resource.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

namespace {

const char kTerminated[] = "Batch processing terminated.  Cancel Neat Image manually.";

// Longest answer to a sent message that counts as the dialog answering. A
// Stop that blocks the dialog blocks it for its whole 2 s grace (or for
// ever); 1 s tells that apart from a machine busy with other work. How fast
// the dialog really answers is measured by scripts/soak and scripts/bench.
constexpr double kAnswerMs = 1000.0;

class Stop : public rig::TargetSession {
protected:
    // Waits for Tolvane's "Success" box, polling every 5 ms so that the tick
    // noted when it is seen lies close to its appearance. nullptr on timeout.
    HWND WaitForSuccessBox(DWORD timeoutMs, DWORD* seenTick)
    {
        DWORD start = GetTickCount();
        for (;;) {
            HWND box = rig::FindTopWindow("#32770", "Success", app_.proc.pid);
            if (box) {
                *seenTick = GetTickCount();
                return box;
            }
            if (GetTickCount() - start >= timeoutMs)
                return nullptr;
            Sleep(5);
        }
    }
    std::string BoxText(HWND box)
    {
        std::string text;
        rig::WaitUntil(
            [&] {
                HWND control = GetDlgItem(box, 0xFFFF);
                text = control ? rig::TextOf(control) : std::string();
                return !text.empty() || !IsWindow(box);
            },
            2000);
        return text;
    }
    bool WaitForFirstRow(const std::string& image, int rows)
    {
        std::string want = "Processing: 1 of " + std::to_string(rows) + " -- " + image;
        return rig::WaitUntil([&] { return Status() == want; }, 10000);
    }
    // What one Stop brought: its box (none when it did not come in time),
    // when it was seen, its owner and text, and how the dialog answered from
    // the press until the box was answered.
    struct StopSeen {
        bool box = false;
        DWORD boxTick = 0;
        HWND owner = nullptr;
        std::string text;
        int slowAnswers = 0;
        std::string answers;
    };
    // Presses Stop with the dialog probed until the box is answered; the box
    // is kept up a moment, since the dialog must answer under it too.
    StopSeen StopAndAnswer(DWORD boxWithinMs)
    {
        StopSeen seen;
        rig::AnswerProbe probe(app_.dialog, kAnswerMs);
        Press(IDC_STOP);
        HWND box = WaitForSuccessBox(boxWithinMs, &seen.boxTick);
        if (box) {
            seen.box = true;
            seen.owner = GetWindow(box, GW_OWNER);
            seen.text = BoxText(box);
            Sleep(200);
            rig::AnswerMessageBox(box);
            EXPECT_TRUE(rig::WaitForWindowGone(box, 3000));
        }
        probe.Stop();
        seen.slowAnswers = probe.slow;
        seen.answers = probe.Summary();
        return seen;
    }
};

// --- Stop while the worker holds the process heap lock ----------------------------

// The test build holds the heap lock through every pause of the worker. A
// Stop that killed the worker there would leave the lock held, and the box,
// like anything else that allocates, would wait for ever.
TEST_F(Stop, StopWhileTheWorkerHoldsTheHeapLockStillShowsTheBoxAndTheDialogAnswers)
{
    StartBoth("--never image-open", "tolvane_heaplock");
    std::string first = Image("first.bmp");
    AddJob(first);
    // A few rounds, each a few pauses into the wait for the image dialog,
    // so that the Stops land in pauses at different points.
    for (int round = 0; round < 3; ++round) {
        SCOPED_TRACE("round " + std::to_string(round + 1));
        Press(IDC_START);
        ASSERT_TRUE(WaitForFirstRow(first, 1)) << Status();
        ASSERT_TRUE(standin_.WaitForEvents("never", static_cast<size_t>(round + 1), 10000));
        Sleep(250 + 70 * round);
        StopSeen stop = StopAndAnswer(3000);
        ASSERT_TRUE(stop.box) << "no \"Success\" box within 3 s of Stop; " << stop.answers;
        EXPECT_EQ(stop.owner, app_.dialog);
        EXPECT_EQ(stop.text, kTerminated);
        EXPECT_EQ(stop.slowAnswers, 0) << stop.answers;
        ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();
    }
}

// The test build holds a lock for 2.5 s after each window enumeration of
// the worker, as a system under load may hold one of its own (the process
// heap's, the loader's, one inside USER32) while the worker searches for an
// image "Open" dialog that comes 8 s late: one such stretch outlasts Stop's
// grace. The user interface thread needs that lock only once Stop has ended
// the worker. Stops at instants spread over that search, nearly all of them
// while the lock is held: a Stop that ended the worker there would leave the
// lock held, and the dialog would hang for ever. The box may take as long as
// the worker's way to its next checkpoint.
TEST_F(Stop, StopWhileTheWorkerEnumeratesWindowsUnderAHeldLock)
{
    SetEnvironmentVariableA("TOLVANE_TEST_LOCK_HOLD_MS", "2500");
    StartBoth("--delay image-open 8000", "tolvane_heaplock");
    SetEnvironmentVariableA("TOLVANE_TEST_LOCK_HOLD_MS", nullptr);
    std::string first = Image("first.bmp");
    AddJob(first);
    // Eight instants from 1.5 s to 6.5 s after Start, in a fixed mixed order.
    const DWORD instants[] = {1500, 4357, 2214, 5786, 2929, 6500, 3643, 5071};
    int round = 0;
    size_t cancelled = 0;
    for (DWORD afterMs : instants) {
        SCOPED_TRACE("round " + std::to_string(++round) + ", Stop " + std::to_string(afterMs) + " ms after Start");
        DWORD start = GetTickCount();
        Press(IDC_START);
        ASSERT_TRUE(WaitForFirstRow(first, 1)) << Status();
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < afterMs)
            Sleep(afterMs - elapsed);
        rig::PostCommand(app_.dialog, IDC_STOP);
        DWORD seen = 0;
        HWND box = WaitForSuccessBox(8000, &seen);
        ASSERT_TRUE(box != nullptr) << "no \"Success\" box within 8 s of Stop";
        EXPECT_EQ(BoxText(box), kTerminated);
        rig::AnswerMessageBox(box);
        ASSERT_TRUE(rig::WaitForWindowGone(box, 3000));
        ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();
        // The dialog answers after the Stop: the lock was not left held.
        DWORD_PTR result = 0;
        EXPECT_NE(SendMessageTimeoutA(app_.dialog, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result), 0);
        // The late dialog of a command posted before the Stop comes after
        // it, for the user to cancel.
        size_t posted = standin_.EventsNamed("menu", "image-open").size();
        if (posted > cancelled) {
            ASSERT_TRUE(standin_.WaitForEvents("shown", posted, 10000)) << standin_.JournalText();
            HWND open = rig::FindTopWindow("#32770", "Open", standin_.proc.pid);
            ASSERT_TRUE(open != nullptr);
            rig::AnswerMessageBox(open, IDCANCEL);
            ASSERT_TRUE(standin_.WaitForEvents("cancelled", posted, 5000)) << standin_.JournalText();
            cancelled = posted;
        }
    }
}

// --- Stop at every step of the sequence -----------------------------------------

// One step of the sequence where the worker waits, how the stand-in is made to
// hold it there, and what the stand-in may still journal after the box: only
// the end of what it was already doing when Stop came.
struct StepCase {
    const char* name;
    const char* standinArgs;
    int format;                // output format selector index; -1 keeps the default
    const char* trigger;       // "event args": the worker has reached the step
    bool waitForSaveAsToClose; // the step begins when the Save As box has been confirmed
    DWORD stopAfterMs;         // how far into the step Stop is pressed
    DWORD boxWithinMs;
    // Events allowed after the box ("name" or "name args-prefix").
    std::vector<std::string> lateAllowed;
    // A window of the stand-in's that Stop leaves open (class, title, journal
    // kind), cancelled by the test as the user would; nullptr when none.
    const char* leftClass;
    const char* leftTitle;
    const char* leftKind;
};

std::ostream& operator<<(std::ostream& os, const StepCase& c)
{
    return os << c.name;
}

// The delayed windows come 2 s after their command: well inside the worker's
// wait (60 polls), so a worker that survived Stop would still find them and
// take its next step where the journal shows it.
const StepCase kSteps[] = {
    {"image Open wait",
     "--delay image-open 2000",
     -1,
     "menu image-open",
     false,
     300,
     3000,
     {"shown image-open"},
     "#32770",
     "Open",
     "image-open"},
    {"profile Open wait",
     "--delay profile-open 2000",
     -1,
     "menu profile-open",
     false,
     300,
     3000,
     {"shown profile-open"},
     "#32770",
     "Open",
     "profile-open"},
    {"Save As wait",
     "--delay save-as 2000",
     -1,
     "menu image-saveas",
     false,
     300,
     3000,
     {"shown save-as"},
     "#32770",
     "Save As",
     "save-as"},
    // The sent "&Apply" returns only when the filter is done; the stand-in
    // shows and closes its progress window and journals the result.
    {"filter",
     "--filter-ms 4000",
     -1,
     "filter-begin",
     false,
     300,
     6000,
     {"shown calc", "filter-applied"},
     nullptr,
     nullptr,
     nullptr},
    {"JPEG options wait",
     "--delay jpeg-options 2000",
     1,
     "shown save-as",
     true,
     250,
     3000,
     {"shown jpeg-options"},
     "TSaveJPEGform",
     "JPEG Save Options",
     "jpeg-options"},
};

bool Allowed(const rig::JournalEvent& e, const std::vector<std::string>& allowed)
{
    std::string line = e.name + (e.args.empty() ? "" : " " + e.args);
    for (const std::string& a : allowed)
        if (line.compare(0, a.size(), a) == 0 && (line.size() == a.size() || line[a.size()] == ' '))
            return true;
    return false;
}

class StopAtStep : public Stop, public testing::WithParamInterface<StepCase> {};

TEST_P(StopAtStep, BoxComesDialogAnswersNoLateStepAndNextStartBeginsAtTheFirstRow)
{
    const StepCase& step = GetParam();
    StartBoth(step.standinArgs);
    std::string first = Image("first.bmp");
    std::string second = Image("second.bmp");
    AddJob(first);
    AddJob(second);
    if (step.format >= 0)
        SetFormat(step.format);

    Press(IDC_START);
    ASSERT_TRUE(WaitForFirstRow(first, 2)) << Status();
    std::string triggerName = step.trigger, triggerArgs;
    size_t blank = triggerName.find(' ');
    if (blank != std::string::npos) {
        triggerArgs = triggerName.substr(blank + 1);
        triggerName.resize(blank);
    }
    ASSERT_TRUE(standin_.WaitFor(triggerName, triggerArgs, 15000)) << standin_.JournalText();
    if (step.waitForSaveAsToClose) {
        HWND saveAs = rig::WaitForWindow("#32770", "Save As", standin_.proc.pid, 5000);
        ASSERT_TRUE(saveAs != nullptr);
        ASSERT_TRUE(rig::WaitForWindowGone(saveAs, 5000));
    }
    Sleep(step.stopAfterMs);

    // Stop, with the dialog probed from now until its box is answered.
    StopSeen stop = StopAndAnswer(step.boxWithinMs);
    ASSERT_TRUE(stop.box) << "no \"Success\" box within " << step.boxWithinMs << " ms of Stop; " << stop.answers;
    EXPECT_EQ(stop.owner, app_.dialog);
    EXPECT_EQ(stop.text, kTerminated);
    EXPECT_EQ(stop.slowAnswers, 0) << stop.answers;
    DWORD boxTick = stop.boxTick;
    ASSERT_TRUE(WaitForStatus("Processing terminated", 5000)) << Status();

    // Let the stand-in finish what it was doing, then give a worker that
    // survived the Stop time for several pauses' worth of further steps.
    if (step.leftClass)
        EXPECT_TRUE(rig::WaitForWindow(step.leftClass, step.leftTitle, standin_.proc.pid, 5000) != nullptr);
    else
        EXPECT_TRUE(standin_.WaitForEvents("filter-applied", 1, 10000));
    Sleep(1500);
    std::string late;
    for (const rig::JournalEvent& e : standin_.Events())
        if (e.tick > boxTick && !Allowed(e, step.lateAllowed))
            late += "  " + e.name + " " + e.args + "\n";
    EXPECT_EQ(late, "") << "journal events after the box (seen at " << boxTick << "):\n" << standin_.JournalText();
    EXPECT_EQ(Status(), "Processing terminated") << "the stopped worker wrote its end of run";

    // What the user does after "Cancel Neat Image manually".
    if (step.leftClass) {
        HWND left = rig::FindTopWindow(step.leftClass, step.leftTitle, standin_.proc.pid);
        ASSERT_TRUE(left != nullptr);
        rig::AnswerMessageBox(left, IDCANCEL);
        ASSERT_TRUE(standin_.WaitFor("cancelled", step.leftKind, 5000)) << standin_.JournalText();
    }

    // The next run begins again at the first row and completes.
    const size_t mark = standin_.Events().size();
    Press(IDC_START);
    ASSERT_TRUE(WaitForFirstRow(first, 2)) << Status();
    ASSERT_TRUE(WaitForStatus("Processing complete", 60000)) << Status();
    ASSERT_TRUE(rig::WaitUntil([&] { return standin_.EventsNamed("saved").size() >= 2; }, 10000))
        << standin_.JournalText();
    std::vector<std::string> opened, saved;
    std::vector<rig::JournalEvent> events = standin_.Events();
    for (size_t i = mark; i < events.size(); ++i) {
        if (events[i].name == "image-opened")
            opened.push_back(events[i].args);
        if (events[i].name == "saved")
            saved.push_back(events[i].args);
    }
    ASSERT_EQ(opened.size(), 2u) << standin_.JournalText();
    EXPECT_EQ(opened[0], first);
    EXPECT_EQ(opened[1], second);
    ASSERT_EQ(saved.size(), 2u) << standin_.JournalText();
    EXPECT_NE(saved[0].find("first_filtered"), std::string::npos) << saved[0];
    EXPECT_NE(saved[1].find("second_filtered"), std::string::npos) << saved[1];
}

std::string StepName(const testing::TestParamInfo<StepCase>& info)
{
    std::string name;
    for (const char* p = info.param.name; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p)))
            name += *p;
    return name;
}

INSTANTIATE_TEST_SUITE_P(EveryStep, StopAtStep, testing::ValuesIn(kSteps), StepName);

} // namespace
