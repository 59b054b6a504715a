// The surprises of an unattended night, each made to happen for real by a
// switch of the stand-in: Neat Image closing at every step, a box of its own
// at every step, its Save As dialog asking whether to replace a file, a JPEG
// options window that exists hidden, and the system's own file dialogs with
// their own boxes. Each surprise ends the run within seconds, with a message
// that says what happened, and nothing reaches Neat Image after it. Also the
// refused posts of a Neat Image with higher rights, the keep-awake calls,
// the progress line after the end of a run, and a Stop that meets the
// worker inside a box of its own.
#include "sequence.h"

#include "target/send.h"
#include "target/watch_text.h"

#include <gtest/gtest.h>

#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace sequencetest;

// How long after a surprise its message must be up.
constexpr DWORD kClosedBoundMs = 2000;
constexpr DWORD kBoxBoundMs = 3000;

std::string FileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

struct SurpriseCase {
    const char* name;
    const char* switches;
    const char* event;   // the stand-in's journal event of the surprise
    const char* message; // Tolvane's fatal message; "{out}" is the output's path
    DWORD boundMs;
    enum { kNone, kSaved, kKept } output; // no output; saved before the surprise; an earlier one, kept as it was
    int jobs = 1;                         // a second job must not start after the surprise
};

void PrintTo(const SurpriseCase& c, std::ostream* os)
{
    *os << c.name;
}

class Surprise : public Sequence, public testing::WithParamInterface<SurpriseCase> {
protected:
    // Waits for the fatal box, notes when it was first seen, then checks the
    // whole fatal path; gives that tick.
    DWORD ExpectFatalSeen(const std::string& message)
    {
        rig::MessageBoxInfo box;
        EXPECT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, 30000)) << standin_.JournalText();
        DWORD seen = GetTickCount();
        ExpectFatal(message, 1000);
        return seen;
    }
    // Answers the stand-in's own box (Neat Image's box stays up for the user;
    // here the test is that user).
    void AnswerStandInBox(int answer = IDOK)
    {
        for (HWND w : rig::TopWindowsOf(standin_.proc.pid))
            if (IsWindowVisible(w) && rig::IsMessageBox(w))
                rig::AnswerMessageBox(w, answer);
    }
};

TEST_P(Surprise, EndsTheRunWithinSecondsWithItsMessage)
{
    const SurpriseCase& c = GetParam();
    StartBoth(c.switches);
    std::string image = Image("s.bmp");
    std::string output = standin_.dir + "\\s_filtered.bmp";
    const std::string kept = "an earlier output, not to be replaced";
    if (c.output == SurpriseCase::kKept) {
        ASSERT_TRUE(rig::WriteFileText(output, kept));
    }
    AddJob(image);
    std::string second = Image("s2.bmp");
    if (c.jobs > 1)
        AddJob(second);
    Start();

    std::string message = c.message;
    size_t at = message.find("{out}");
    if (at != std::string::npos)
        message.replace(at, 5, output);
    DWORD seen = ExpectFatalSeen(message);

    auto events = standin_.Events();
    size_t surprise = events.size();
    for (size_t i = 0; i < events.size(); ++i)
        if (events[i].name == c.event) {
            surprise = i;
            break;
        }
    ASSERT_LT(surprise, events.size()) << "no \"" << c.event << "\"\n" << standin_.JournalText();
    EXPECT_EQ(surprise + 1, events.size()) << "events after the surprise\n" << standin_.JournalText();
    DWORD took = seen - events[surprise].tick;
    std::printf("%s: the message %lu ms after the surprise\n", c.name, static_cast<unsigned long>(took));
    EXPECT_LE(took, c.boundMs) << "the message came late";
    if (c.output == SurpriseCase::kKept) {
        EXPECT_EQ(FileBytes(output), kept);
    } else {
        EXPECT_EQ(rig::FileExists(output), c.output == SurpriseCase::kSaved);
    }
    EXPECT_FALSE(rig::FileExists(standin_.dir + "\\s2_filtered.bmp"));
    EXPECT_EQ(standin_.EventsNamed("menu", "image-open").size(), 1u) << standin_.JournalText();
    AnswerStandInBox(c.output == SurpriseCase::kKept ? IDNO : IDOK);
}

const SurpriseCase kSurprises[] = {
    {"ClosedAtImageOpen", "--exit-at image-open", "exit-at", "Neat Image has closed", kClosedBoundMs,
     SurpriseCase::kNone},
    {"ClosedAtProfileOpen", "--exit-at profile-open", "exit-at", "Neat Image has closed", kClosedBoundMs,
     SurpriseCase::kNone},
    {"ClosedMidFilter", "--exit-at filter --filter-ms 1500", "exit-at", "Neat Image has closed", kClosedBoundMs,
     SurpriseCase::kNone},
    {"ClosedAtSave", "--exit-at save", "exit-at", "Neat Image has closed", kClosedBoundMs, SurpriseCase::kNone},
    {"BoxAfterImageOpen", "--box-at image-open \"Cannot read   this\nimage.\"", "box",
     "Neat Image is showing \"Neat Image\": Cannot read this image.", kBoxBoundMs, SurpriseCase::kNone},
    {"BoxMidFilter", "--box-at filter \"Out of memory.\" --filter-ms 2000", "box",
     "Neat Image is showing \"Neat Image\": Out of memory.", kBoxBoundMs, SurpriseCase::kNone},
    {"BoxAfterSave", "--box-at save \"Disk almost full.\"", "box",
     "Neat Image is showing \"Neat Image\": Disk almost full.", kBoxBoundMs, SurpriseCase::kSaved},
    // The box comes as the next job is about to start: no command of it may
    // reach Neat Image, whose box would handle it behind its back.
    {"BoxAfterSaveBeforeTheNextJob", "--box-at save \"Disk almost full.\"", "box",
     "Neat Image is showing \"Neat Image\": Disk almost full.", kBoxBoundMs, SurpriseCase::kSaved, 2},
    {"ClosedAtSaveBeforeTheNextJob", "--exit-at save", "exit-at", "Neat Image has closed", kClosedBoundMs,
     SurpriseCase::kNone, 2},
    {"ReplaceQuestion", "--confirm-overwrite", "confirm",
     "Neat Image is showing \"Confirm Save As\": {out} already exists. Do you want to replace it?", kBoxBoundMs,
     SurpriseCase::kKept},
};

INSTANTIATE_TEST_SUITE_P(Night, Surprise, testing::ValuesIn(kSurprises),
                         [](const testing::TestParamInfo<SurpriseCase>& info) { return info.param.name; });

// A JPEG options window created hidden at start-up is not the one to press:
// Tolvane waits until a save shows it, presses it, and sees it close.
TEST_F(Sequence, JpegOptionsWindowCreatedHiddenIsPressedOnlyOnceShown)
{
    StartBoth("--jpeg-form-hidden --delay jpeg-options 1500"); // the hidden window is there long before
    SetFormat(kJpeg);
    AddJob(Image("h1.bmp"));
    AddJob(Image("h2.bmp"));
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status() << standin_.JournalText();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 2, 10000)) << standin_.JournalText();
    EXPECT_TRUE(standin_.EventsNamed("ignored").empty()) << standin_.JournalText();
    EXPECT_TRUE(standin_.EventsNamed("busy").empty()) << standin_.JournalText();
    EXPECT_EQ(standin_.EventsNamed("saved", "JPEG ").size(), 2u) << standin_.JournalText();
}

// Windows drops the posts of a program with lower rights than Neat Image's.
TEST_F(Sequence, RefusedPostNamesTheRights)
{
    SetEnvironmentVariableA("TOLVANE_TEST_REFUSE_POST", "1");
    StartBoth("", "tolvane_probe");
    SetEnvironmentVariableA("TOLVANE_TEST_REFUSE_POST", nullptr);
    AddJob(Image("r.bmp"));
    Start();
    ExpectFatal(kRefusedCommand);
    EXPECT_TRUE(standin_.EventsNamed("menu").empty()) << standin_.JournalText();
}

// The PC is kept awake from Start to the end of the run, and after a Stop.
TEST_F(Sequence, KeepsThePcAwakeFromStartToTheEndOfTheRun)
{
    StartBoth("--filter-ms 3000", "tolvane_probe");
    AddJob(Image("k.bmp"));
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    std::string trace = WorkerTrace(app_.Trace());
    size_t awake = trace.find("Execution state: 0x80000001\n");
    size_t started = trace.find("Thread started...");
    size_t ended = trace.find("Thread ended...");
    size_t asleep = trace.find("Execution state: 0x80000000\n");
    ASSERT_NE(awake, std::string::npos) << trace;
    ASSERT_NE(asleep, std::string::npos) << trace;
    EXPECT_LT(awake, started) << trace;
    EXPECT_GT(asleep, ended) << trace;
    EXPECT_EQ(rig::CountOf(trace, "Execution state: "), 2u) << trace;

    // A run that is stopped lets the PC sleep again too.
    Start();
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 2, 20000)) << standin_.JournalText();
    Press(IDC_STOP);
    EXPECT_EQ(AnswerBox("Success", 10000), "Batch processing terminated.  Cancel Neat Image manually.");
    ASSERT_TRUE(WaitForStatus("Processing terminated", 10000)) << Status();
    trace = WorkerTrace(app_.Trace());
    EXPECT_EQ(rig::CountOf(trace, "Execution state: 0x80000001\n"), 2u) << trace;
    EXPECT_EQ(rig::CountOf(trace, "Execution state: 0x80000000\n"), 2u) << trace;
    EXPECT_EQ(trace.compare(trace.rfind("Execution state: "), 28, "Execution state: 0x80000000\n"), 0) << trace;
}

// Once the status says "Processing complete", no tick writes the progress
// line again: with the end of the run held up between the status and the
// emptied progress line, the line keeps what it showed, then empties.
TEST_F(Sequence, NoProgressTextAfterProcessingComplete)
{
    SetEnvironmentVariableA("TOLVANE_TEST_DELAY_RUN_END", "2500");
    StartBoth("--filter-ms 1500", "tolvane_probe");
    SetEnvironmentVariableA("TOLVANE_TEST_DELAY_RUN_END", nullptr);
    AddJob(Image("t.bmp"));
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    std::string first = Progress();
    std::vector<std::string> changes;
    DWORD start = GetTickCount();
    std::string last = first;
    while (GetTickCount() - start < 3500) {
        std::string now = Progress();
        if (now != last) {
            changes.push_back(now);
            last = now;
        }
        Sleep(20);
    }
    ASSERT_FALSE(first.empty()) << "the delay was not in force";
    EXPECT_EQ(changes, std::vector<std::string>{""}) << "the line was written after the run ended; it first showed\n"
                                                     << first;
}

// A Stop that meets the worker inside its own box (here the fatal error of
// a dialog that never came) waits for the box instead of killing the worker
// in it: the box stays, and answering it ends the process as a fatal error
// does.
TEST_F(Sequence, StopNeverKillsTheWorkerInsideItsOwnBox)
{
    StartBoth("--never image-open");
    AddJob(Image("n.bmp"));
    Start();
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, 30000));
    rig::PostCommand(app_.dialog, IDC_STOP);
    Sleep(2000 + 1500); // past Stop's grace
    EXPECT_TRUE(IsWindow(box.window) && IsWindowVisible(box.window)) << "the worker was killed inside its box";
    rig::MessageBoxInfo success;
    EXPECT_FALSE(rig::WaitForMessageBox("Success", &success, app_.proc.pid, 100));
    rig::AnswerMessageBox(box.window);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
}

// Against the system's own file dialogs (as Neat Image shows them, through
// the system, with a hook procedure): their layout, their own boxes.
class SystemDialogs : public Sequence {
protected:
    // The stand-in's visible box, owned by one of its file dialogs: the
    // message the watch gives for it, from the box's own caption and text.
    std::string SystemBoxMessage()
    {
        for (HWND w : rig::TopWindowsOf(standin_.proc.pid)) {
            if (!IsWindowVisible(w) || !rig::IsMessageBox(w))
                continue;
            std::string texts;
            for (HWND child : rig::Children(w))
                if (rig::ClassOf(child) == "Static")
                    texts += rig::TextOf(child) + " ";
            char message[kWatchMessageSize];
            FormatBoxMessage(message, sizeof message, rig::TitleOf(w).c_str(), texts.c_str());
            return message;
        }
        return "(no box of the stand-in's)";
    }
    void AnswerStandInBox(int answer)
    {
        for (HWND w : rig::TopWindowsOf(standin_.proc.pid))
            if (IsWindowVisible(w) && rig::IsMessageBox(w))
                rig::AnswerMessageBox(w, answer);
    }
};

TEST_F(SystemDialogs, RunOfEachFormatCompletes)
{
    StartBoth("--system-dialogs");
    const struct {
        int format;
        const char* name;
        const char* saved;
    } runs[] = {{kTiff, "a.bmp", "TIFF"}, {kJpeg, "b.bmp", "JPEG"}, {kBitmap, "c.bmp", "BMP"}};
    size_t done = 0;
    for (const auto& r : runs) {
        SCOPED_TRACE(r.saved);
        rig::SetText(app_.Item(IDC_STATUS), "Status:");
        SetFormat(r.format);
        AddJob(Image(r.name));
        ASSERT_TRUE(rig::SelectListViewRows(app_.Item(IDC_JOB_LIST), {0}));
        if (done > 0)
            rig::Click(app_.Item(IDC_REMOVE)); // the earlier row: each run has one job
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(app_.Item(IDC_JOB_LIST)) == 1; }));
        Start();
        ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status() << standin_.JournalText();
        ASSERT_TRUE(standin_.WaitForEvents("saved", ++done, 10000)) << standin_.JournalText();
        EXPECT_EQ(standin_.EventsNamed("saved").back().args.rfind(r.saved, 0), 0u) << standin_.JournalText();
    }
}

// An image deleted after Tolvane checked it exists and before the dialog
// takes it: the system's "File not found" box comes inside the press.
TEST_F(SystemDialogs, MissingImageEndsTheRunWithTheSystemsOwnBoxText)
{
    StartBoth("--system-dialogs --delay image-open 1500");
    std::string image = Image("gone.bmp");
    AddJob(image);
    Start();
    ASSERT_TRUE(standin_.WaitFor("menu", "image-open", 20000)) << standin_.JournalText();
    ASSERT_TRUE(DeleteFileA(image.c_str()));
    ASSERT_TRUE(rig::WaitUntil([&] { return SystemBoxMessage().rfind("Neat Image", 0) == 0; }, 20000))
        << standin_.JournalText();
    ExpectFatal(SystemBoxMessage(), 5000);
    EXPECT_TRUE(standin_.EventsNamed("image-opened").empty()) << standin_.JournalText();
    AnswerStandInBox(IDOK);
}

// An output that exists already: the system's own "replace?" question, which
// Tolvane never answers; the file stays as it was.
TEST_F(SystemDialogs, ExistingOutputEndsTheRunWithTheReplaceQuestion)
{
    StartBoth("--system-dialogs");
    std::string image = Image("x.bmp");
    std::string output = standin_.dir + "\\x_filtered.bmp";
    ASSERT_TRUE(rig::WriteFileText(output, "keep me"));
    AddJob(image);
    Start();
    ASSERT_TRUE(rig::WaitUntil([&] { return SystemBoxMessage().rfind("Neat Image", 0) == 0; }, 30000))
        << standin_.JournalText();
    std::string message = SystemBoxMessage();
    ExpectFatal(message, 5000);
    EXPECT_NE(message.find("replace"), std::string::npos) << message;
    EXPECT_EQ(FileBytes(output), "keep me");
    EXPECT_TRUE(standin_.EventsNamed("saved").empty()) << standin_.JournalText();
    AnswerStandInBox(IDNO);
}

} // namespace
