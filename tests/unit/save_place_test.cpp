// Where a job's output goes and which window of a file dialog is its file
// name box: the two plain rules of the save step, over texts and over
// described dialog layouts.
#include "target/name_box.h"
#include "target/output_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// -------------------------------------------------------------- output path

struct PlaceCase {
    const char* image;
    const char* name;
    OutputPlace place;
    const char* expected; // "" when nothing is placed
};

TEST(PlaceOutput, PutsANameWithoutFolderInTheImageFolder)
{
    const PlaceCase cases[] = {
        // A full path decides its own folder, wherever the image is.
        {"C:\\photos\\a.jpg", "D:\\out\\a_filtered.jpg", OutputPlace::Kept, "D:\\out\\a_filtered.jpg"},
        {"C:\\photos\\a.jpg", "c:/out/a.bmp", OutputPlace::Kept, "c:/out/a.bmp"},
        {"C:\\photos\\a.jpg", "\\\\srv\\share\\a.bmp", OutputPlace::Kept, "\\\\srv\\share\\a.bmp"},
        {"", "C:\\x\\a.bmp", OutputPlace::Kept, "C:\\x\\a.bmp"},
        // A bare name, or one below a folder, goes beside the image.
        {"C:\\photos\\a.jpg", "a_filtered.jpg", OutputPlace::InImageFolder, "C:\\photos\\a_filtered.jpg"},
        {"C:\\photos\\a.jpg", "sub\\a.jpg.tif", OutputPlace::InImageFolder, "C:\\photos\\sub\\a.jpg.tif"},
        {"C:\\a.jpg", "a_filtered.bmp", OutputPlace::InImageFolder, "C:\\a_filtered.bmp"},
        {"C:/photos/a.jpg", "b.bmp", OutputPlace::InImageFolder, "C:/photos/b.bmp"},
        {"\\\\srv\\share\\in\\a.jpg", "a.bmp", OutputPlace::InImageFolder, "\\\\srv\\share\\in\\a.bmp"},
        {"C:\\my photos\\a.b.jpg", " a .bmp", OutputPlace::InImageFolder, "C:\\my photos\\ a .bmp"},
        // A name from a drive's root goes on the image's drive.
        {"C:\\photos\\a.jpg", "\\out\\a.bmp", OutputPlace::OnImageDrive, "C:\\out\\a.bmp"},
        {"\\\\srv\\share\\in\\a.jpg", "\\out\\a.bmp", OutputPlace::OnImageDrive, "\\\\srv\\share\\out\\a.bmp"},
        {"\\\\srv\\share", "/a.bmp", OutputPlace::OnImageDrive, "\\\\srv\\share/a.bmp"},
        // What cannot be placed.
        {"C:\\photos\\a.jpg", "", OutputPlace::NoName, ""},
        {"C:\\photos\\a.jpg", "C:a.bmp", OutputPlace::DriveRelative, ""},
        {"a.jpg", "a.bmp", OutputPlace::NoImageFolder, ""},
        {"", "a.bmp", OutputPlace::NoImageFolder, ""},
        {"photos\\a.jpg", "\\a.bmp", OutputPlace::NoImageFolder, ""},
        {"\\\\srv", "\\a.bmp", OutputPlace::NoImageFolder, ""},
    };
    for (const PlaceCase& c : cases) {
        SCOPED_TRACE(std::string(c.image) + " + " + c.name);
        char out[kOutputNameSize];
        std::memset(out, '#', sizeof out);
        OutputPlace place = PlaceOutput(c.image, c.name, out, sizeof out);
        EXPECT_EQ(static_cast<int>(place), static_cast<int>(c.place));
        EXPECT_STREQ(out, c.expected);
        EXPECT_EQ(OutputPlaced(place), *c.expected != '\0');
    }
}

// The path typed back must fit the buffer the longest proposed name with its
// extension fits (254 + 4 characters): one more character fails the job,
// and nothing is written past the buffer.
TEST(PlaceOutput, LengthLimitIsTheOutputNameBuffer)
{
    ASSERT_EQ(kOutputNameSize, 259u);
    const std::string folder = "C:\\" + std::string(100, 'f') + "\\"; // 104 characters
    struct LengthCase {
        std::string image;
        std::string name;
        OutputPlace place;
    } cases[] = {
        {folder + "a.jpg", std::string(154, 'n'), OutputPlace::InImageFolder}, // 258
        {folder + "a.jpg", std::string(155, 'n'), OutputPlace::TooLong},       // 259
        {folder + "a.jpg", std::string(258, 'n'), OutputPlace::TooLong},
        {"C:\\a.jpg", "C:\\" + std::string(255, 'n'), OutputPlace::Kept}, // 258
        {"C:\\a.jpg", "C:\\" + std::string(256, 'n'), OutputPlace::TooLong},
        {"C:\\a.jpg", "\\" + std::string(255, 'n'), OutputPlace::OnImageDrive}, // 2 + 256
        {"C:\\a.jpg", "\\" + std::string(256, 'n'), OutputPlace::TooLong},
    };
    for (const LengthCase& c : cases) {
        SCOPED_TRACE(std::to_string(c.image.size()) + " + " + std::to_string(c.name.size()));
        char out[kOutputNameSize + 8];
        std::memset(out, '#', sizeof out);
        OutputPlace place = PlaceOutput(c.image.c_str(), c.name.c_str(), out, kOutputNameSize);
        EXPECT_EQ(static_cast<int>(place), static_cast<int>(c.place));
        if (OutputPlaced(place))
            EXPECT_EQ(std::strlen(out), kOutputNameSize - 1);
        else
            EXPECT_STREQ(out, "");
        for (std::size_t i = kOutputNameSize; i < sizeof out; ++i)
            EXPECT_EQ(out[i], '#') << "written past the buffer at " << i;
    }
    char none = '#';
    EXPECT_EQ(static_cast<int>(PlaceOutput("C:\\a.jpg", "a.bmp", &none, 0)), static_cast<int>(OutputPlace::TooLong));
    EXPECT_EQ(none, '#');
}

// ------------------------------------------------------------ file name box

// A described window: its class, id, parent (index; -1 the dialog) and state.
ChildLook Child(const char* className, int id, int parent, bool visible = true, bool enabled = true)
{
    ChildLook look = {};
    std::strncpy(look.className, className, sizeof look.className - 1);
    look.id = id;
    look.parent = parent;
    look.visible = visible;
    look.enabled = enabled;
    return look;
}

struct LayoutCase {
    const char* layout;
    std::vector<ChildLook> children;
    int expected; // index of the name box, -1 for none
};

TEST(ChooseFileNameBox, FindsTheBoxInEveryLayout)
{
    const LayoutCase cases[] = {
        {"legacy dialog: a direct Edit (edt1)",
         {Child("Static", 1090, -1), Child("Edit", 1152, -1), Child("ListBox", 1120, -1), Child("Button", 1, -1)},
         1},
        {"the first of two direct Edits", {Child("Edit", 1152, -1), Child("Edit", 1153, -1)}, 0},
        {"class names in other letter case", {Child("BUTTON", 1, -1), Child("edit", 1152, -1)}, 1},
        {"cmb13: ComboBox 1148 with an Edit",
         {Child("Static", 1091, -1), Child("ComboBox", 1148, -1), Child("Edit", 1001, 1), Child("Button", 1, -1)},
         2},
        {"newer Open dialog: ComboBoxEx32 1148 > ComboBox > Edit",
         {Child("DUIViewWndClassName", 0, -1), Child("DirectUIHWND", 0, 0), Child("CtrlNotifySink", 0, 1),
          Child("ComboBoxEx32", 1148, -1), Child("ComboBox", 1148, 3), Child("Edit", 1148, 4), Child("Button", 1, -1),
          Child("Button", 2, -1)},
         5},
        {"newer Save dialog: DUIViewWndClassName > DirectUIHWND > FloatNotifySink > ComboBox > Edit",
         {Child("DUIViewWndClassName", 0, -1), Child("DirectUIHWND", 0, 0), Child("CtrlNotifySink", 0, 1),
          Child("SHELLDLL_DefView", 0, 2), Child("FloatNotifySink", 0, 1), Child("ComboBox", 1001, 4),
          Child("Edit", 1001, 5), Child("FloatNotifySink", 0, 1), Child("ComboBox", 1136, 7), Child("Button", 1, -1),
          Child("Button", 2, -1)},
         6},
        {"newer Save dialog whose address bar edit comes first",
         {Child("WorkerW", 0, -1), Child("ReBarWindow32", 0, 0), Child("Address Band Root", 0, 1),
          Child("ComboBoxEx32", 0xA205, 2), Child("ComboBox", 0xA205, 3), Child("Edit", 0xA205, 4),
          Child("DUIViewWndClassName", 0, -1), Child("DirectUIHWND", 0, 6), Child("FloatNotifySink", 0, 7),
          Child("ComboBox", 1001, 8), Child("Edit", 1001, 9)},
         10},
        {"a hidden direct Edit beside a visible combo box",
         {Child("Edit", 1152, -1, false), Child("ComboBoxEx32", 1148, -1), Child("ComboBox", 1148, 1),
          Child("Edit", 1148, 2)},
         3},
        {"a shown, disabled direct Edit beside an enabled combo box's Edit",
         {Child("Edit", 1152, -1, true, false), Child("ComboBox", 1148, -1), Child("Edit", 1001, 1)},
         2},
        {"only disabled edits: the shown one before the hidden one",
         {Child("Edit", 1152, -1, false, false), Child("FloatNotifySink", 0, -1), Child("ComboBox", 1001, 1),
          Child("Edit", 1001, 2, true, false)},
         3},
        {"only hidden edits: the direct one, as the dialog may not show it yet",
         {Child("ComboBox", 1148, -1, false), Child("Edit", 1001, 0, false), Child("Edit", 1152, -1, false)},
         2},
        {"in a combo box of the wrong id, or in an unseen parent, an Edit is not the box",
         {Child("ComboBox", 1136, -1), Child("Edit", 1001, 0), Child("Edit", 1001, -2), Child("Edit", 1001, 99)},
         -1},
        {"ComboBoxEx32 1148 is preferred over a FloatNotifySink",
         {Child("FloatNotifySink", 0, -1), Child("ComboBox", 1001, 0), Child("Edit", 1001, 1),
          Child("ComboBoxEx32", 1148, -1), Child("ComboBox", 0, 3), Child("Edit", 1001, 4)},
         5},
        {"no box at all: only buttons and a list",
         {Child("ListBox", 1120, -1), Child("Button", 1, -1), Child("Button", 2, -1)},
         -1},
        {"no box but a direct control 1152 of another class",
         {Child("Button", 1, -1), Child("RichEdit20A", 1152, -1)},
         1},
        {"an empty dialog", {}, -1},
        {"parents that loop end the walk",
         {Child("ComboBox", 7, 1), Child("ComboBox", 8, 0), Child("Edit", 1001, 1)},
         -1},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.layout);
        EXPECT_EQ(ChooseFileNameBox(c.children.data(), static_cast<int>(c.children.size())), c.expected);
    }
}

} // namespace
