// Fast pacing against a stand-in that is slow the way a real program is: one
// job in each format under each slowness, with the product's own one-second
// pause as the bound of every pause that fast pacing cuts short. The journal
// shows whether a command came while the stand-in could not take it.
#include "sequence.h"

#include "app/resource.h"
#include "imageio.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace sequencetest;

struct SlownessCase {
    const char* switches;
    int format;
    const char* input;
    const char* expectedName;
    const char* expectedFormat;
};

// Starting with each kind of window just shown: the dialog's controls come
// after it (--staged-dialog), the items "&Filter" and "Save &as..." stay
// disabled while the image and the profile load (--load-ms), the output grows
// on disk after the dialogs have closed (--save-ms), the Save As dialog
// fills in the name it proposes after it shows (--late-name).
const char kStaged[] = "--staged-dialog image-open 400 --staged-dialog profile-open 400 --staged-dialog save-as 400";
const char kLoad[] = "--load-ms 600";
const char kSave[] = "--save-ms 600";
const char kLateName[] = "--late-name 400";

TEST_F(Sequence, FastPacingOneJobInEachFormatUnderEachSlowness)
{
    const SlownessCase cases[] = {
        {kStaged, kBitmap, "b.bmp", "b_filtered.bmp", "BMP"},    {kStaged, kJpeg, "j.jpg", "j_filtered.jpg", "JPEG"},
        {kStaged, kTiff, "t.bmp", "t_filtered.bmp.tif", "TIFF"}, {kLoad, kBitmap, "b.bmp", "b_filtered.bmp", "BMP"},
        {kLoad, kJpeg, "j.jpg", "j_filtered.jpg", "JPEG"},       {kLoad, kTiff, "t.bmp", "t_filtered.bmp.tif", "TIFF"},
        {kSave, kBitmap, "b.bmp", "b_filtered.bmp", "BMP"},      {kSave, kJpeg, "j.jpg", "j_filtered.jpg", "JPEG"},
        {kSave, kTiff, "t.bmp", "t_filtered.bmp.tif", "TIFF"},   {kLateName, kBitmap, "b.bmp", "b_filtered.bmp", "BMP"},
        {kLateName, kJpeg, "j.jpg", "j_filtered.jpg", "JPEG"},
    };
    for (const SlownessCase& c : cases) {
        SCOPED_TRACE(std::string(c.switches) + ", " + c.input + " to " + c.expectedFormat);
        rig::StandInApp standin;
        rig::TolvaneApp app;
        std::string error;
        ASSERT_TRUE(standin.Start(c.switches, &error)) << error;
        watchdog_.Watch(standin.proc.pid);
        ASSERT_TRUE(app.Start("tolvane", rig::BridgeDll(), true, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        rig::Click(app.Item(IDC_FAST_PACING));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::CheckState(app.Item(IDC_FAST_PACING)) == BST_CHECKED; }));
        std::string image;
        ASSERT_TRUE(RunOneJob(app, standin.dir, c.input, c.format, &image)) << standin.JournalText();
        std::string output = standin.dir + "\\" + c.expectedName;
        // The job ends once its output is complete: the file is there when
        // the run reports its end.
        auto events = standin.Events();
        ASSERT_FALSE(standin.EventsNamed("saved").empty()) << "the run ended before its output was saved\n"
                                                           << standin.JournalText();

        // What the stand-in did, in order; loading may end at any point of
        // the profile's steps, so its events are checked apart.
        std::vector<std::string> seen;
        bool loading = false;
        for (auto& e : events) {
            if (e.name == "loading")
                loading = true;
            else if (e.name == "loaded")
                loading = false;
            else if (e.name == "menu" && (e.args == "filter-apply" || e.args == "image-saveas")) {
                EXPECT_FALSE(loading) << "\"" << e.args << "\" came while the stand-in loaded\n"
                                      << standin.JournalText();
            }
            if (e.name == "menu" || e.name == "shown" || e.name == "controls" || e.name == "named" ||
                e.name == "image-opened" || e.name == "profile-opened" || e.name == "save-begin" || e.name == "saved" ||
                e.name == "ignored" || e.name == "busy")
                seen.push_back(e.name + " " + e.args);
            else if (e.name == "filter-applied")
                seen.push_back(e.name);
        }
        const bool staged = c.switches == kStaged;
        const bool saveMs = c.switches == kSave;
        const bool lateName = c.switches == kLateName;
        std::vector<std::string> expected = {"menu image-open", "shown image-open"};
        if (staged)
            expected.push_back("controls image-open");
        expected.insert(expected.end(), {"image-opened " + image, "menu profile-open", "shown profile-open"});
        if (staged)
            expected.push_back("controls profile-open");
        expected.insert(expected.end(), {"profile-opened " + standin.dir + "\\p.dnp", "menu filter-apply", "shown calc",
                                         "filter-applied", "menu image-saveas", "shown save-as"});
        if (staged)
            expected.push_back("controls save-as");
        if (lateName)
            expected.push_back("named save-as");
        if (c.format == kJpeg)
            expected.push_back("shown jpeg-options");
        if (saveMs)
            expected.push_back("save-begin " + output);
        expected.push_back(std::string("saved ") + c.expectedFormat + " " + output);
        EXPECT_EQ(seen, expected) << standin.JournalText();
        EXPECT_EQ(imageio::DetectFormat(output), c.expectedFormat);
        EXPECT_EQ(rig::WithRunTimesOut(app.Log()),
                  "Processing image: " + image + "\r\nSaved: " + output + "\r\n" + rig::RunComplete(1, 0));
        standin.Close();
    }
}

} // namespace
