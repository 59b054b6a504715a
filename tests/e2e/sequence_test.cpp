// One job at a time driven through the stand-in: the journal shows what
// Tolvane made it do, the outputs are decoded, and every fault of the
// sequence ends the process with its message.
#include "target_session.h"

#include "app/resource.h"
#include "imageio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
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
    EXPECT_EQ(trace.substr(0, at).back(), '.');
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

TEST_F(Sequence, NothingSelectedSetsTheNameBackUnchanged)
{
    StartBoth("");
    std::string image = Image("n.bmp");
    rig::SetComboSelection(app_.Item(IDC_OUTPUT_FORMAT), -1);
    ASSERT_EQ(rig::ComboSelection(app_.Item(IDC_OUTPUT_FORMAT)), -1);
    AddJob(image);
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 1, 10000));
    EXPECT_EQ(standin_.EventsNamed("saved")[0].args, "BMP " + standin_.dir + "\\n_filtered.bmp");
    EXPECT_TRUE(standin_.EventsNamed("shown", "jpeg-options").empty());
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
    {"ImageOpenAfterTheLastPoll", "--delay image-open 9000", kBitmap, "Could not find Image Open Dialog"},
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
    // One "." per try of the image "Open" wait: about 30 of them.
    std::string trace = app_.Trace();
    size_t dots = std::count(trace.begin(), trace.end(), '.');
    EXPECT_GE(dots, 20u);
    EXPECT_LE(dots, 60u + 20u);
}

// With the product's own one-second pause: seven pauses per image, nine for
// JPEG, on top of the stand-in's own work, measured from its journal.
TEST_F(Sequence, PacingWithTheProductPause)
{
    StartBoth("", "tolvane");
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

    auto menus = standin_.EventsNamed("menu");
    auto filtered = standin_.EventsNamed("filter-applied");
    auto saved = standin_.EventsNamed("saved");
    ASSERT_EQ(menus.size(), 8u);
    ASSERT_EQ(filtered.size(), 2u);
    for (int job = 0; job < 2; ++job) {
        // From the image "Open" command to the profile's, from that to the
        // filter's (2 + 2 pauses), and from the end of filtering to the save
        // (3 pauses, 5 with the JPEG options).
        const auto* m = &menus[static_cast<size_t>(job) * 4];
        DWORD span = (m[2].tick - m[0].tick) + (saved[static_cast<size_t>(job)].tick - filtered[static_cast<size_t>(job)].tick);
        DWORD pauses = job == 0 ? 7 : 9;
        std::printf("job %d: %lu ms for %lu pauses\n", job, span, pauses);
        EXPECT_GE(span, pauses * 1000 - 50);
        EXPECT_LE(span, pauses * 1000 + 1500);
    }
}

} // namespace
