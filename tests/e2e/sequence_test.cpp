// One job at a time driven through the stand-in: the journal shows what
// Tolvane made it do, the outputs are decoded, and every fault of the
// sequence ends the process with its message.
#include "target_session.h"

#include "app/resource.h"
#include "imageio.h"
#include "target/contract.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Indexes of the output format selector.
enum Format { kTiff = 0, kJpeg = 1, kBitmap = 2 };

// A stand-in and a Tolvane build, both with the menu bridge loaded.
class Sequence : public rig::TargetSession {
protected:
    void Start() { Press(IDC_START); }
    // Expects the process to end through the fatal-error box with message.
    void ExpectFatal(const std::string& message, DWORD timeoutMs = 30000)
    {
        rig::MessageBoxInfo box;
        ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, timeoutMs)) << "no error box";
        EXPECT_EQ(box.text, "An Error Occurred:\n\n" + message + "\n\nThis program will now terminate.");
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), app_.dialog);
        rig::AnswerMessageBox(box.window);
        DWORD code = 0;
        ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code));
        EXPECT_EQ(code, 0xFFFFFFFFu);
        std::string log = app_.Log();
        std::string last = "\r\n" + message + "\r\n";
        ASSERT_GE(log.size(), last.size());
        EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
        EXPECT_EQ(log.find(message), log.rfind(message)) << "the message is logged once";
    }
};

// The worker's part of the trace: the dialog's "WM_notify" lines, which the
// user interface thread traces whenever the list view notifies it, can land
// between any two of the worker's writes, so they are taken out.
std::string WorkerTrace(std::string trace)
{
    const std::string notify = "WM_notify\n";
    for (size_t at = trace.find(notify); at != std::string::npos; at = trace.find(notify, at))
        trace.erase(at, notify.size());
    return trace;
}

// The "." that the image "Open" wait traces once per try: the run of dots
// that stands right before the "NeatWin/" line, at the start of its line.
size_t ImageWaitDots(const std::string& fullTrace)
{
    std::string trace = WorkerTrace(fullTrace);
    size_t at = trace.find("NeatWin/Dialog/Parent: ");
    if (at == std::string::npos)
        return 0;
    size_t begin = at;
    while (begin > 0 && trace[begin - 1] == '.')
        --begin;
    if (begin > 0 && trace[begin - 1] != '\n')
        return 0; // dots that belong to some other line's text
    return at - begin;
}

// Lines after the "NeatWin/" line that begin with a "." (a dot traced by
// some other wait, in front of the next line): none is expected.
std::string DotsInOtherWaits(const std::string& fullTrace)
{
    std::string trace = WorkerTrace(fullTrace);
    size_t at = trace.find("NeatWin/Dialog/Parent: ");
    std::string found;
    if (at == std::string::npos)
        return found;
    for (size_t pos = trace.find('\n', at); pos != std::string::npos && pos + 1 < trace.size();
         pos = trace.find('\n', pos + 1)) {
        if (trace[pos + 1] == '.')
            found += trace.substr(pos + 1, trace.find('\n', pos + 1) - pos - 1) + "\n";
    }
    return found;
}

struct FormatCase {
    int format;
    const char* input;
    const char* proposeExt; // extension of the name the stand-in proposes ("" = the input's own)
    const char* expectedName;
    const char* expectedFormat;
};

TEST_F(Sequence, OneJobInEachFormat)
{
    const FormatCase cases[] = {
        {kBitmap, "b.bmp", "", "b_filtered.bmp", "BMP"},
        {kTiff, "t.bmp", "", "t_filtered.bmp.tif", "TIFF"},
        {kJpeg, "j.jpg", "", "j_filtered.jpg", "JPEG"},
        {kTiff, "u.tif", ".TIF", "u_filtered.TIF.tif", "TIFF"},
        {kBitmap, "w.bmp", ".jpg", "w_filtered.jpg.bmp", "BMP"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.input);
        rig::StandInApp standin;
        rig::TolvaneApp app;
        std::string error;
        std::string propose = *c.proposeExt ? std::string("--propose \"{dir}\\{base}_filtered") + c.proposeExt + "\""
                                            : std::string();
        ASSERT_TRUE(standin.Start(propose, &error)) << error;
        ASSERT_TRUE(app.Start("tolvane_fast", rig::BridgeDll(), true, &error)) << error;
        std::string image = standin.dir + "\\" + c.input;
        std::string profile = standin.dir + "\\p.dnp";
        ASSERT_TRUE(rig::WriteTestImage(image));
        ASSERT_TRUE(rig::WriteTestProfile(profile));
        ASSERT_TRUE(rig::SetComboSelection(app.Item(IDC_OUTPUT_FORMAT), c.format));
        ASSERT_TRUE(rig::AddListViewRow(app.Item(IDC_JOB_LIST), {image, profile}));
        rig::Click(app.Item(IDC_START));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::TextOf(app.Item(IDC_STATUS)) == "Processing complete"; },
                                   30000))
            << rig::TextOf(app.Item(IDC_STATUS));
        std::string output = standin.dir + "\\" + c.expectedName;
        ASSERT_TRUE(standin.WaitForEvents("saved", 1, 10000));

        // What Tolvane made the stand-in do, in order.
        std::vector<std::string> seen;
        for (auto& e : standin.Events())
            if (e.name == "image-opened" || e.name == "profile-opened" || e.name == "filter-applied" ||
                e.name == "saved" || e.name == "shown")
                seen.push_back(e.name == "filter-applied" ? e.name : e.name + " " + e.args);
        std::vector<std::string> expected = {"shown image-open", "image-opened " + image, "shown profile-open",
                                             "profile-opened " + profile, "shown calc", "filter-applied",
                                             "shown save-as"};
        if (c.format == kJpeg)
            expected.push_back("shown jpeg-options");
        expected.push_back(std::string("saved ") + c.expectedFormat + " " + output);
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(imageio::DetectFormat(output), c.expectedFormat);
        EXPECT_EQ(app.Log(), "Processing image: " + image + "\r\n");
        EXPECT_EQ(app.Trace().find("OK Clicked\n") != std::string::npos, c.format == kJpeg);
        standin.Close();
    }
}

TEST_F(Sequence, TracesOfOneJob)
{
    StartBoth("");
    std::string image = Image("a.bmp");
    AddJob(image);
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    std::string trace = app_.Trace();
    // The image "Open" wait traces one "." per try; the dialog is there at
    // the first poll.
    EXPECT_NE(trace.find("Found running instance of Neat Image\n"), std::string::npos);
    EXPECT_NE(trace.find("Found Neat Image App Window\n"), std::string::npos);
    std::string line = "NeatWin/Dialog/Parent: " +
                       std::to_string(static_cast<int>(reinterpret_cast<INT_PTR>(standin_.main))) + " / ";
    size_t at = trace.find(line);
    ASSERT_NE(at, std::string::npos) << trace;
    // The dialog comes at once: one try, or a very few on a busy machine.
    size_t dots = ImageWaitDots(trace);
    EXPECT_GE(dots, 1u) << trace;
    EXPECT_LE(dots, 5u) << trace;
    EXPECT_EQ(DotsInOtherWaits(trace), "") << trace;
    EXPECT_NE(trace.find(" / " + std::to_string(static_cast<int>(reinterpret_cast<INT_PTR>(standin_.app))) + "\n", at),
              std::string::npos);
    EXPECT_NE(trace.find("Testing: &Image vs. &Image\n"), std::string::npos);
    EXPECT_NE(trace.find("Found menu item: &Filter\n"), std::string::npos);
}

TEST_F(Sequence, SelectorChangedBetweenTwoJobsAppliesFromTheNextSave)
{
    StartBoth("--filter-ms 2500");
    std::string a = Image("a.bmp"), b = Image("b.bmp");
    SetFormat(kTiff);
    AddJob(a);
    AddJob(b);
    Start();
    // Change the selector while the second job filters.
    ASSERT_TRUE(standin_.WaitForEvents("filter-begin", 2, 30000));
    SetFormat(kBitmap);
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    // Nothing waits for the last save itself: it lands just after the run ends.
    ASSERT_TRUE(standin_.WaitForEvents("saved", 2, 10000));
    auto saved = standin_.EventsNamed("saved");
    ASSERT_EQ(saved.size(), 2u);
    EXPECT_EQ(saved[0].args, "TIFF " + standin_.dir + "\\a_filtered.bmp.tif");
    EXPECT_EQ(saved[1].args, "BMP " + standin_.dir + "\\b_filtered.bmp");
}

// With no output format selected the proposed name goes back as it came:
// neither an extension of some format is added nor the JPEG options
// confirmed. A ".jpg" name makes the stand-in ask for its JPEG options,
// which the test confirms itself; a name without an extension is refused by
// the stand-in's save, under that very name.
TEST_F(Sequence, NothingSelectedSetsTheNameBackUnchanged)
{
    struct Case {
        const char* propose;
        const char* saved; // the journal's event and its args before the folder
        const char* name;
    } cases[] = {
        {"{dir}\\{base}_filtered.jpg", "saved JPEG ", "n_filtered.jpg"},
        {"{dir}\\{base}_filtered", "save-failed ", "n_filtered"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.propose);
        rig::StandInApp standin;
        rig::TolvaneApp app;
        std::string error;
        ASSERT_TRUE(standin.Start(std::string("--propose \"") + c.propose + "\"", &error)) << error;
        watchdog_.Watch(standin.proc.pid);
        ASSERT_TRUE(app.Start("tolvane_fast", rig::BridgeDll(), true, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        std::string image = standin.dir + "\\n.bmp";
        std::string profile = standin.dir + "\\p.dnp";
        ASSERT_TRUE(rig::WriteTestImage(image));
        ASSERT_TRUE(rig::WriteTestProfile(profile));
        rig::SetComboSelection(app.Item(IDC_OUTPUT_FORMAT), -1);
        ASSERT_EQ(rig::ComboSelection(app.Item(IDC_OUTPUT_FORMAT)), -1);
        ASSERT_TRUE(rig::AddListViewRow(app.Item(IDC_JOB_LIST), {image, profile}));
        rig::Click(app.Item(IDC_START));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::TextOf(app.Item(IDC_STATUS)) == "Processing complete"; },
                                   30000))
            << rig::TextOf(app.Item(IDC_STATUS));
        std::string expected = std::string(c.saved) + standin.dir + "\\" + c.name;
        // Tolvane leaves JPEG options alone; the user confirms them.
        auto saveEnded = [&] {
            return !standin.EventsNamed("saved").empty() || !standin.EventsNamed("save-failed").empty();
        };
        HWND options = nullptr;
        ASSERT_TRUE(rig::WaitUntil(
            [&] {
                options = rig::FindTopWindow("TSaveJPEGform", "JPEG Save Options", standin.proc.pid);
                return options != nullptr || saveEnded();
            },
            10000))
            << standin.JournalText();
        if (options)
            rig::Click(FindWindowExA(options, nullptr, "TBitBtn", "OK"));
        ASSERT_TRUE(rig::WaitUntil(saveEnded, 10000)) << standin.JournalText();
        auto events = standin.Events();
        std::string last;
        for (auto& e : events)
            if (e.name == "saved" || e.name == "save-failed")
                last = e.name + " " + e.args;
        EXPECT_EQ(last, expected) << standin.JournalText();
        EXPECT_EQ(app.Trace().find("OK Clicked"), std::string::npos) << "Tolvane confirmed the JPEG options";
        standin.Close();
    }
}

// Proposed names at the edges of what Tolvane reads back: an empty one, and
// full paths longer than 254 characters, which are cut to 254 before the
// extension test (so a name that ends in the extension only beyond the cut
// gets it appended).
TEST_F(Sequence, ProposedNamesEmptyAndLongerThan254Characters)
{
    struct Case {
        const char* name;
        int format;
        size_t length;   // of the whole proposed path; 0: an empty proposal
        const char* end; // the proposal's last characters
        const char* ext; // what Tolvane appends
    } cases[] = {
        {"empty", kBitmap, 0, "", ".bmp"},
        {"255 characters ending in .bmp", kBitmap, 255, ".bmp", ".bmp"},
        {"300 characters ending in .tif", kTiff, 300, ".tif", ".tif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = rig::MakeTempDir("standin");
        ASSERT_FALSE(dir.empty());
        std::string proposal;
        if (c.length > 0) {
            proposal = dir + "\\";
            ASSERT_LT(proposal.size() + std::strlen(c.end), c.length);
            proposal += std::string(c.length - proposal.size() - std::strlen(c.end), 'p') + c.end;
        }
        // An empty name is taken relative to the dialog's folder, the image's.
        std::string expected = c.length > 0 ? proposal.substr(0, 254) + c.ext : dir + "\\" + c.ext;
        rig::StandInApp standin;
        rig::TolvaneApp app;
        std::string error;
        ASSERT_TRUE(standin.Start("--propose \"" + proposal + "\"", &error, dir)) << error;
        watchdog_.Watch(standin.proc.pid);
        ASSERT_TRUE(app.Start("tolvane_fast", rig::BridgeDll(), true, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        std::string image = dir + "\\e.bmp";
        std::string profile = dir + "\\p.dnp";
        ASSERT_TRUE(rig::WriteTestImage(image));
        ASSERT_TRUE(rig::WriteTestProfile(profile));
        ASSERT_TRUE(rig::SetComboSelection(app.Item(IDC_OUTPUT_FORMAT), c.format));
        ASSERT_TRUE(rig::AddListViewRow(app.Item(IDC_JOB_LIST), {image, profile}));
        rig::Click(app.Item(IDC_START));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::TextOf(app.Item(IDC_STATUS)) == "Processing complete"; },
                                   30000))
            << rig::TextOf(app.Item(IDC_STATUS));
        ASSERT_TRUE(rig::WaitUntil(
            [&] {
                return !standin.EventsNamed("saved").empty() || !standin.EventsNamed("save-failed").empty();
            },
            10000))
            << standin.JournalText();
        auto saved = standin.EventsNamed("saved");
        ASSERT_EQ(saved.size(), 1u) << standin.JournalText();
        EXPECT_EQ(saved[0].args, std::string(c.format == kTiff ? "TIFF " : "BMP ") + expected);
        EXPECT_TRUE(rig::FileExists(expected));
        standin.Close();
    }
}

struct FaultCase {
    const char* name;
    const char* switches;
    int format;
    const char* message;
};

void PrintTo(const FaultCase& c, std::ostream* os) { *os << c.name; }

// Every fault of the sequence, provoked through the stand-in's switches. Each
// ends the process through the error box, logs the message last and once,
// and exits with -1.
class SequenceFault : public Sequence, public testing::WithParamInterface<FaultCase> {};

TEST_P(SequenceFault, EndsTheProcessWithItsMessage)
{
    const FaultCase& c = GetParam();
    StartBoth(c.switches);
    SetFormat(c.format);
    AddJob(Image("f.bmp"));
    Start();
    ExpectFatal(c.message);
}

const FaultCase kFaults[] = {
    {"ImageOpenNeverShown", "--never image-open", kBitmap, "Could not find Image Open Dialog"},
    {"ImageOpenWrongTitle", "--wrong-title image-open", kBitmap, "Could not find Image Open Dialog"},
    {"ImageOpenHidden", "--hidden image-open", kBitmap, "Could not find Image Open Dialog"},
    {"ProfileOpenNeverShown", "--never profile-open", kBitmap, "Could not find Profile Open Dialog"},
    {"SaveAsNeverShown", "--never save-as", kBitmap, "Could not find Save As Dialog"},
    {"SaveAsWrongTitle", "--wrong-title save-as", kBitmap, "Could not find Save As Dialog"},
    {"ImageOpenWithoutEdit", "--no-edit image-open", kBitmap, "Could not get handle to edit box"},
    {"ProfileOpenWithoutEdit", "--no-edit profile-open", kBitmap, "Could not get handle to edit box"},
    {"SaveAsWithoutEdit", "--no-edit save-as", kBitmap, "Could not get handle to edit box"},
    {"ImageOpenWithoutOpenButton", "--no-button image-open", kBitmap, "Could not get handle to OK button"},
    {"ProfileOpenWithoutOpenButton", "--no-button profile-open", kBitmap, "Could not get handle to OK button"},
    {"SaveAsWithoutSaveButton", "--no-button save-as", kBitmap, "Could not get handle to Save button"},
    {"JpegOptionsNeverShown", "--never jpeg-options", kJpeg, "Could not get handle to JPEG Save window"},
    {"JpegOptionsWithoutOk", "--no-button jpeg-options", kJpeg, "Could not get handle to OK button"},
    {"FilterApplyMissing", "--no-menu-item filter-apply", kBitmap, "Could not find Filter Apply menu item"},
    {"ImageOpenAfterTheLastPoll", "--delay image-open 30000", kBitmap, "Could not find Image Open Dialog"},
};

INSTANTIATE_TEST_SUITE_P(Faults, SequenceFault, testing::ValuesIn(kFaults),
                         [](const testing::TestParamInfo<FaultCase>& info) { return info.param.name; });

TEST_F(Sequence, DialogThatShowsUpLateButWithinTheTriesIsFound)
{
    // 60 polls 100 ms apart in this build: 3 s late is well within them.
    StartBoth("--delay image-open 3000 --delay save-as 2000");
    AddJob(Image("late.bmp"));
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    EXPECT_TRUE(standin_.WaitForEvents("saved", 1, 10000));
    // One "." per try of the image "Open" wait, and none in the others (the
    // "Save As" wait here also takes many tries). Each try pauses 100 ms, so
    // the tries fit into the time from the "Open" command to the opened
    // image; about 30 of them, fewer on a busy machine.
    std::string trace = app_.Trace();
    auto menu = standin_.EventsNamed("menu", "image-open");
    auto opened = standin_.EventsNamed("image-opened");
    ASSERT_EQ(menu.size(), 1u);
    ASSERT_EQ(opened.size(), 1u);
    size_t dots = ImageWaitDots(trace);
    EXPECT_GE(dots, 10u) << trace;
    EXPECT_LE(dots, (opened[0].tick - menu[0].tick) / 100 + 2) << trace;
    EXPECT_LE(dots, static_cast<size_t>(WAIT_TRIES)) << trace;
    EXPECT_EQ(DotsInOtherWaits(trace), "") << trace;
}

// With the product's own one-second pause, each step of the sequence seen in
// the stand-in's journal: every gap between two events is its own number of
// pauses, plus a little for the work in it. Each gap has its tolerance, so a
// slow step on a busy machine is not summed with the others, yet one pause
// too many or too few in any step shows. The filter runs longer than one
// pause: were "&Apply" posted rather than sent, "Save As" would arrive
// within a pause of the filter's end (or while it still runs).
TEST_F(Sequence, PacingWithTheProductPause)
{
    StartBoth("--filter-ms 1500", "tolvane");
    std::string a = Image("pace.bmp");
    std::string j = Image("pace.jpg");
    AddJob(a);
    Start();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 1, 40000));
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000));
    SetFormat(kJpeg);
    rig::AddListViewRow(app_.Item(IDC_JOB_LIST), {j, profile_}); // second row; a new run starts at row 0
    ASSERT_TRUE(rig::SelectListViewRows(app_.Item(IDC_JOB_LIST), {0}));
    rig::Click(app_.Item(IDC_REMOVE));
    ASSERT_TRUE(rig::WaitUntil([&] { return rig::ListViewCount(app_.Item(IDC_JOB_LIST)) == 1; }));
    Start();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 2, 40000));
    ASSERT_TRUE(WaitForStatus("Processing complete", 10000));

    EXPECT_TRUE(standin_.EventsNamed("busy").empty()) << "a command came while another was in its dialog\n"
                                                       << standin_.JournalText();
    // The events of one job, in the order they must come.
    const char* const kSteps[] = {"menu image-open",   "menu profile-open", "menu filter-apply",
                                  "filter-applied",    "menu image-saveas", "saved"};
    struct Gap {
        int from, to;  // indexes into kSteps
        DWORD pauses;  // Bitmap
        DWORD jpegPauses;
        const char* what;
    } gaps[] = {
        {0, 1, 2, 2, "image Open command to the profile's: a poll and the pause after Open"},
        {1, 2, 2, 2, "profile Open command to the filter's: a poll and the pause after Open"},
        {3, 4, 1, 1, "end of filtering to the Save As command: the pause after Apply"},
        {4, 5, 2, 4, "Save As command to the saved file (JPEG: and its options)"},
    };
    // A gap starts with an event of the stand-in's, stamped once it has
    // handled Tolvane's message, so it may look a little shorter than its
    // pauses; what one step adds on top stays well under one pause.
    const long kEarlyMs = 150, kLateMs = 700;
    std::vector<rig::JournalEvent> events = standin_.Events();
    size_t pos = 0;
    for (int job = 0; job < 2; ++job) {
        SCOPED_TRACE(job == 0 ? "Bitmap job" : "JPEG job");
        DWORD tick[6] = {};
        for (int s = 0; s < 6; ++s) {
            while (pos < events.size() && (events[pos].name + " " + events[pos].args).rfind(kSteps[s], 0) != 0)
                ++pos;
            ASSERT_LT(pos, events.size()) << "no \"" << kSteps[s] << "\"\n" << standin_.JournalText();
            tick[s] = events[pos].tick;
        }
        for (const Gap& g : gaps) {
            long pauses = static_cast<long>(job == 0 ? g.pauses : g.jpegPauses);
            long gap = static_cast<long>(tick[g.to] - tick[g.from]);
            std::printf("%s job, %s: %ld ms for %ld pauses\n", job == 0 ? "Bitmap" : "JPEG", g.what, gap, pauses);
            EXPECT_GE(gap, pauses * 1000 - kEarlyMs) << g.what;
            EXPECT_LE(gap, pauses * 1000 + kLateMs) << g.what;
        }
    }
}

} // namespace
