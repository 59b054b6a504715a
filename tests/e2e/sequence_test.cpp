// One job at a time driven through the stand-in: the journal shows what
// Tolvane made it do and the outputs are decoded. This file: one job in each
// format, the trace of one job, the selector changed between two jobs, and
// proposed names at the edges of what Tolvane reads back.
#include "sequence.h"

#include "app/resource.h"
#include "imageio.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace sequencetest;

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
        {kBitmap, "b.bmp", "", "b_filtered.bmp", "BMP"},         {kTiff, "t.bmp", "", "t_filtered.bmp.tif", "TIFF"},
        {kJpeg, "j.jpg", "", "j_filtered.jpg", "JPEG"},          {kTiff, "u.tif", ".TIF", "u_filtered.TIF.tif", "TIFF"},
        {kBitmap, "w.bmp", ".jpg", "w_filtered.jpg.bmp", "BMP"},
    };
    for (const FormatCase& c : cases) {
        SCOPED_TRACE(c.input);
        rig::StandInApp standin;
        rig::TolvaneApp app;
        std::string error;
        std::string propose =
            *c.proposeExt ? std::string("--propose \"{dir}\\{base}_filtered") + c.proposeExt + "\"" : std::string();
        ASSERT_TRUE(standin.Start(propose, &error)) << error;
        ASSERT_TRUE(app.Start("tolvane_fast", rig::BridgeDll(), true, &error)) << error;
        std::string image;
        ASSERT_TRUE(RunOneJob(app, standin.dir, c.input, c.format, &image));
        std::string output = standin.dir + "\\" + c.expectedName;
        ASSERT_TRUE(standin.WaitForEvents("saved", 1, 10000));

        // What Tolvane made the stand-in do, in order.
        std::vector<std::string> seen;
        for (auto& e : standin.Events())
            if (e.name == "image-opened" || e.name == "profile-opened" || e.name == "filter-applied" ||
                e.name == "saved" || e.name == "shown")
                seen.push_back(e.name == "filter-applied" ? e.name : e.name + " " + e.args);
        std::vector<std::string> expected = {"shown image-open",   "image-opened " + image,
                                             "shown profile-open", "profile-opened " + standin.dir + "\\p.dnp",
                                             "shown calc",         "filter-applied",
                                             "shown save-as"};
        if (c.format == kJpeg)
            expected.push_back("shown jpeg-options");
        expected.push_back(std::string("saved ") + c.expectedFormat + " " + output);
        EXPECT_EQ(seen, expected);
        EXPECT_EQ(imageio::DetectFormat(output), c.expectedFormat);
        EXPECT_EQ(rig::WithRunTimesOut(app.Log()),
                  "Processing image: " + image + "\r\nSaved: " + output + "\r\n" + rig::RunComplete(1, 0));
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
    std::string line =
        "NeatWin/Dialog/Parent: " + std::to_string(static_cast<int>(reinterpret_cast<INT_PTR>(standin_.main))) + " / ";
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
// confirmed. A ".jpg" name makes the stand-in ask for its JPEG options, which
// Tolvane did not expect: the watch ends the run on that window, left for the
// user (here the test) to confirm; a name without an extension is refused by
// the stand-in's save, under that very name, and the job, whose output was
// never written, fails without ending the run.
TEST_F(Sequence, NothingSelectedSetsTheNameBackUnchanged)
{
    struct Case {
        const char* propose;
        const char* saved; // the journal's event and its args before the folder
        const char* name;
        bool jpegOptions; // the stand-in shows its JPEG options window
    } cases[] = {
        {"{dir}\\{base}_filtered.jpg", "saved JPEG ", "n_filtered.jpg", true},
        {"{dir}\\{base}_filtered", "save-failed ", "n_filtered", false},
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
        if (c.jpegOptions) {
            rig::MessageBoxInfo box;
            ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app.proc.pid, 30000)) << standin.JournalText();
            EXPECT_NE(box.text.find("Neat Image is showing \"JPEG Save Options\""), std::string::npos) << box.text;
            rig::AnswerMessageBox(box.window);
            DWORD code = 0;
            EXPECT_TRUE(rig::WaitExit(app.proc, 10000, &code));
        } else {
            ASSERT_TRUE(rig::WaitUntil(
                [&] { return rig::TextOf(app.Item(IDC_STATUS)) == "Processing complete (1 job failed)"; }, 30000))
                << rig::TextOf(app.Item(IDC_STATUS));
            std::string failed = "Failed: " + image + ": Neat Image wrote no " + standin.dir + "\\" + c.name + "\r\n";
            EXPECT_NE(app.Log().find(failed), std::string::npos) << app.Log();
        }
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

// Proposed names at the edge of what Tolvane reads back: full paths longer
// than 254 characters, which are cut to 254 before the extension test (so a
// name that ends in the extension only beyond the cut gets it appended). An
// empty one is a fault (sequence_faults_test.cpp).
TEST_F(Sequence, ProposedNamesLongerThan254Characters)
{
    struct Case {
        const char* name;
        int format;
        size_t length;   // of the whole proposed path
        const char* end; // the proposal's last characters
        const char* ext; // what Tolvane appends
    } cases[] = {
        {"255 characters ending in .bmp", kBitmap, 255, ".bmp", ".bmp"},
        {"300 characters ending in .tif", kTiff, 300, ".tif", ".tif"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string dir = rig::MakeTempDir("standin");
        ASSERT_FALSE(dir.empty());
        std::string proposal = dir + "\\";
        ASSERT_LT(proposal.size() + std::strlen(c.end), c.length);
        proposal += std::string(c.length - proposal.size() - std::strlen(c.end), 'p') + c.end;
        std::string expected = proposal.substr(0, 254) + c.ext;
        rig::StandInApp standin;
        rig::TolvaneApp app;
        std::string error;
        ASSERT_TRUE(standin.Start("--propose \"" + proposal + "\"", &error, dir)) << error;
        watchdog_.Watch(standin.proc.pid);
        ASSERT_TRUE(app.Start("tolvane_fast", rig::BridgeDll(), true, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        std::string image;
        ASSERT_TRUE(RunOneJob(app, dir, "e.bmp", c.format, &image));
        ASSERT_TRUE(rig::WaitUntil(
            [&] { return !standin.EventsNamed("saved").empty() || !standin.EventsNamed("save-failed").empty(); },
            10000))
            << standin.JournalText();
        auto saved = standin.EventsNamed("saved");
        ASSERT_EQ(saved.size(), 1u) << standin.JournalText();
        EXPECT_EQ(saved[0].args, std::string(c.format == kTiff ? "TIFF " : "BMP ") + expected);
        EXPECT_TRUE(rig::FileExists(expected));
        standin.Close();
    }
}

} // namespace
