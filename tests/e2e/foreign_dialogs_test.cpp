// Neat Image's file dialogs titled and captioned in a language whose texts
// Tolvane does not know ("Ouvrir", "Enregistrer sous", "&Ouvrir"): with
// "Continue after a failed job" found by their shape, pressed by their
// default button's id, each run completing its job; without it, as ever, not
// found by their titles and the run ends. And a box of Neat Image's with text alone and no button to press: with
// "Continue after a failed job" its job fails, the box is cancelled and the
// run goes on; without, the run ends with the fatal "Neat Image is showing".
#include "sequence.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using namespace sequencetest;
using rig::CountOf;

struct ForeignCase {
    const char* name;
    const char* switches;
    int format;
    const char* saved;  // the saved event's format name
    const char* suffix; // behind the image's base name in its output's name
};

void PrintTo(const ForeignCase& c, std::ostream* os)
{
    *os << c.name;
}

// The runs of this file, with or without "Continue after a failed job".
class Foreign : public Sequence {
protected:
    void CheckCarryOn()
    {
        rig::Click(app_.Item(IDC_CONTINUE_ON_FAILURE));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::CheckState(app_.Item(IDC_CONTINUE_ON_FAILURE)) == BST_CHECKED; }));
    }
    // The stand-in's visible "#32770", if one is up.
    HWND StandInDialog()
    {
        for (HWND w : rig::TopWindowsOf(standin_.proc.pid))
            if (w != standin_.main && IsWindowVisible(w) && rig::ClassOf(w) == "#32770")
                return w;
        return nullptr;
    }
};

class ForeignDialogs : public Foreign, public testing::WithParamInterface<ForeignCase> {};

TEST_P(ForeignDialogs, RunCompletesWithTheRightOutputs)
{
    const ForeignCase& c = GetParam();
    StartBoth(c.switches);
    SetFormat(c.format);
    std::string first = Image("f1.bmp");
    std::string second = Image("f2.bmp");
    AddJob(first);
    AddJob(second);
    CheckCarryOn();
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 60000)) << Status() << standin_.JournalText() << app_.Log();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 2, 10000)) << standin_.JournalText();
    auto saved = standin_.EventsNamed("saved");
    EXPECT_EQ(saved[0].args, std::string(c.saved) + " " + standin_.dir + "\\f1" + c.suffix);
    EXPECT_EQ(saved[1].args, std::string(c.saved) + " " + standin_.dir + "\\f2" + c.suffix);
    EXPECT_TRUE(standin_.EventsNamed("cancelled").empty()) << standin_.JournalText();
    // Each dialog was taken by its shape: no title Tolvane knows matched.
    EXPECT_EQ(CountOf(WorkerTrace(app_.Trace()), "recognised by its file name box and default button\n"), 6u)
        << app_.Trace();
    // The titles Tolvane looked for are in the log, once for the Start.
    std::string log = app_.Log();
    EXPECT_EQ(CountOf(log, "Dialog titles: Open \"Open\""), 1u) << log;
    EXPECT_EQ(CountOf(log, "; buttons \"&Open\", \"&Save\"\r\n"), 1u) << log;
}

const ForeignCase kForeign[] = {
    {"OwnDialogs", "--language fr", kBitmap, "BMP", "_filtered.bmp"},
    {"OwnDialogsJpeg", "--language fr", kJpeg, "JPEG", "_filtered.bmp.jpg"},
    {"SystemDialogs", "--language fr --system-dialogs", kBitmap, "BMP", "_filtered.bmp"},
};

INSTANTIATE_TEST_SUITE_P(French, ForeignDialogs, testing::ValuesIn(kForeign),
                         [](const testing::TestParamInfo<ForeignCase>& info) { return info.param.name; });

TEST_F(Foreign, WithoutCarryingOnAnUnknownTitleEndsTheRunAsEver)
{
    StartBoth("--language fr");
    AddJob(Image("f.bmp"));
    Start();
    ExpectFatal("Could not find Image Open Dialog");
    EXPECT_FALSE(standin_.Has("accepted", "image-open")) << standin_.JournalText();
    HWND dialog = StandInDialog();
    ASSERT_NE(dialog, nullptr) << standin_.JournalText();
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(standin_.WaitFor("cancelled", "image-open", 10000)) << standin_.JournalText();
}

// --------------------------------------------------------- boxes without buttons

constexpr char kBoxText[] = "Checking the image, please wait.";
const std::string kShowing = std::string("Neat Image is showing \"Neat Image\": ") + kBoxText;

using TextBox = Foreign;

struct TextBoxCase {
    const char* name;
    const char* step;
    const char* extra;
};

void PrintTo(const TextBoxCase& c, std::ostream* os)
{
    *os << c.name;
}

class TextBoxCarryOn : public TextBox, public testing::WithParamInterface<TextBoxCase> {};

// The box comes for the first image only; the second job runs as usual.
TEST_P(TextBoxCarryOn, FailsTheJobClosesTheBoxAndTheRunGoesOn)
{
    const TextBoxCase& c = GetParam();
    StartBoth(std::string("--text-box-at ") + c.step + " \"" + kBoxText + "\" --box-only t1.bmp " + c.extra);
    std::string first = Image("t1.bmp");
    std::string second = Image("t2.bmp");
    AddJob(first);
    AddJob(second);
    CheckCarryOn();
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete (1 job failed)", 60000))
        << Status() << standin_.JournalText() << app_.Log();
    EXPECT_TRUE(standin_.Has("text-box-closed", std::string(c.step) + " cancel")) << standin_.JournalText();
    EXPECT_EQ(StandInDialog(), nullptr) << "the box is still up";
    EXPECT_TRUE(IsWindowEnabled(standin_.main));
    std::string log = app_.Log();
    EXPECT_EQ(CountOf(log, "Failed: " + first + ": " + kShowing + "\r\n"), 1u) << log;
    EXPECT_FALSE(rig::FileExists(standin_.dir + "\\t1_filtered.bmp"));
    EXPECT_TRUE(rig::FileExists(standin_.dir + "\\t2_filtered.bmp"));
    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "the process ended";
}

const TextBoxCase kTextBoxes[] = {
    {"AfterImageOpen", "image-open", ""},
    // Inside "&Apply": the progress tick sees the box and answers it.
    {"MidFilter", "filter", "--filter-ms 2000"},
};

INSTANTIATE_TEST_SUITE_P(Night, TextBoxCarryOn, testing::ValuesIn(kTextBoxes),
                         [](const testing::TestParamInfo<TextBoxCase>& info) { return info.param.name; });

TEST_F(TextBox, WithoutCarryingOnItIsFatalAndTheBoxStaysForTheUser)
{
    StartBoth(std::string("--text-box-at image-open \"") + kBoxText + "\"");
    AddJob(Image("t.bmp"));
    Start();
    ExpectFatal(kShowing);
    HWND box = StandInDialog();
    ASSERT_NE(box, nullptr) << "Tolvane closed Neat Image's box" << standin_.JournalText();
    EXPECT_TRUE(standin_.EventsNamed("text-box-closed").empty()) << standin_.JournalText();
    // The test is the user who closes it.
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_TRUE(standin_.WaitFor("text-box-closed", "image-open cancel", 10000)) << standin_.JournalText();
}

} // namespace
