// The per-image sequence's faults, each ending the process with its message;
// a dialog that shows up late but within the tries; and the pacing of each
// step with the product's own one-second pause, read from the journal.
#include "sequence.h"

#include "target/contract.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace sequencetest;

struct FaultCase {
    const char* name;
    const char* switches;
    int format;
    const char* message;
};

void PrintTo(const FaultCase& c, std::ostream* os)
{
    *os << c.name;
}

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
    {"ImageOpenMissing", "--no-menu-item image-open", kBitmap, "Could not find Image Open Dialog"},
    {"ProfileOpenMissing", "--no-menu-item profile-open", kBitmap, "Could not find Profile Open Dialog"},
    {"SaveAsMissing", "--no-menu-item image-saveas", kBitmap, "Could not find Save As Dialog"},
    {"ImageOpenAfterTheLastPoll", "--delay image-open 30000", kBitmap, "Could not find Image Open Dialog"},
    // An empty name would save as ".bmp" in Neat Image's current folder.
    {"ProposedNameEmpty", "--propose \"\"", kBitmap, "Neat Image proposed no file name"},
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
    const char* const kSteps[] = {"menu image-open", "menu profile-open", "menu filter-apply",
                                  "filter-applied",  "menu image-saveas", "saved"};
    struct Gap {
        int from, to; // indexes into kSteps
        DWORD pauses; // Bitmap
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
