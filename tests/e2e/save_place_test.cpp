// Where the outputs go and the file name box wherever the Save As dialog
// keeps it: the stand-in's Save As proposing its name without the folder and
// opening in the folder chosen last (the profile's), and its name box nested
// as in the system's newer Save dialog. Each output lands beside its image
// and is logged as saved; none lands beside the profile or in the stand-in's
// working folder. A name that cannot be put beside its image fails the job.
#include "sequence.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

using namespace sequencetest;

struct PlaceCase {
    const char* name;
    const char* switches;
    int format;
    const char* saved;    // the format the journal names
    const char* appended; // the extension Tolvane appends to "<base>_filtered.bmp"
};

void PrintTo(const PlaceCase& c, std::ostream* os)
{
    *os << c.name;
}

// The files in `folder` whose names match `pattern`.
std::vector<std::string> OutputsIn(const std::string& folder, const char* pattern = "*_filtered*")
{
    std::vector<std::string> found;
    WIN32_FIND_DATAA data;
    HANDLE find = FindFirstFileA((folder + "\\" + pattern).c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return found;
    do
        found.push_back(data.cFileName);
    while (FindNextFileA(find, &data));
    FindClose(find);
    return found;
}

class SavePlace : public Sequence, public testing::WithParamInterface<PlaceCase> {};

TEST_P(SavePlace, OutputsGoBesideTheirImages)
{
    const PlaceCase& c = GetParam();
    StartBoth(c.switches);
    // Two images in two folders, the profile in a third one.
    const std::string profiles = standin_.dir + "\\profiles";
    const std::vector<std::string> folders = {standin_.dir + "\\first", standin_.dir + "\\second"};
    ASSERT_TRUE(CreateDirectoryA(profiles.c_str(), nullptr));
    profile_ = profiles + "\\p.dnp";
    ASSERT_TRUE(rig::WriteTestProfile(profile_));
    std::vector<std::string> images, outputs;
    for (size_t i = 0; i < folders.size(); ++i) {
        ASSERT_TRUE(CreateDirectoryA(folders[i].c_str(), nullptr));
        const std::string base = i == 0 ? "a" : "b";
        images.push_back(folders[i] + "\\" + base + ".bmp");
        outputs.push_back(folders[i] + "\\" + base + "_filtered.bmp" + c.appended);
        ASSERT_TRUE(rig::WriteTestImage(images.back()));
        AddJob(images.back());
    }
    SetFormat(c.format);
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 60000)) << Status() << standin_.JournalText();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 2, 10000)) << standin_.JournalText();

    auto saved = standin_.EventsNamed("saved");
    ASSERT_EQ(saved.size(), 2u);
    std::string log = "";
    for (size_t i = 0; i < outputs.size(); ++i) {
        EXPECT_EQ(saved[i].args, std::string(c.saved) + " " + outputs[i]);
        EXPECT_TRUE(rig::FileExists(outputs[i])) << outputs[i];
        log += "Processing image: " + images[i] + "\r\nSaved: " + outputs[i] + "\r\n";
    }
    EXPECT_EQ(OutputsIn(profiles), std::vector<std::string>{}) << "beside the profile";
    EXPECT_EQ(OutputsIn(standin_.dir), std::vector<std::string>{}) << "in the stand-in's working folder";
    EXPECT_EQ(rig::WithRunTimesOut(app_.Log()), log + rig::RunComplete(2, 0));
}

const PlaceCase kPlaces[] = {
    {"BareName", "--bare-proposed-name", kTiff, "TIFF", ".tif"},
    {"BareNameSystemDialogs", "--bare-proposed-name --system-dialogs", kBitmap, "BMP", ""},
    {"NestedNameBox", "--nested-name-box", kTiff, "TIFF", ".tif"},
    {"NestedNameBoxBareNameJpeg", "--nested-name-box --bare-proposed-name", kJpeg, "JPEG", ".jpg"},
};

INSTANTIATE_TEST_SUITE_P(Save, SavePlace, testing::ValuesIn(kPlaces),
                         [](const testing::TestParamInfo<PlaceCase>& info) { return info.param.name; });

// A bare name that, put in its image's folder, makes a path longer than the
// name box's read and write allow: the job fails with the reason, here
// without "Continue after a failed job" through the fatal error; nothing is
// saved anywhere.
TEST_F(Sequence, BareNameTooLongBesideItsImageFailsTheJob)
{
    const std::string name = "l" + std::string(100, 'n') + ".bmp";
    StartBoth("--bare-proposed-name --propose \"{base}" + std::string(100, 'n') + "{ext}\"");
    const std::string folder = standin_.dir + "\\" + std::string(140, 'd');
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    const std::string image = folder + "\\l.bmp";
    ASSERT_TRUE(rig::WriteTestImage(image));
    ASSERT_GT(folder.size() + 1 + name.size(), 258u);
    SetFormat(kBitmap);
    AddJob(image);
    Start();
    ExpectFatal("Could not save: the output's full path would be longer than 258 characters: " + name);
    EXPECT_TRUE(standin_.EventsNamed("saved").empty()) << standin_.JournalText();
    EXPECT_EQ(OutputsIn(folder, "ln*"), std::vector<std::string>{});
    EXPECT_EQ(OutputsIn(standin_.dir, "ln*"), std::vector<std::string>{});
}

} // namespace
