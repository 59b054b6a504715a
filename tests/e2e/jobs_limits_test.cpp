// Results of tolvane.exe's open dialogs that do not fit their buffers: a
// selection longer than the image buffer, and paths longer than the 254
// characters Neat Image takes whole.
#include "joblist_app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace jobsapp;

// The test build whose image dialog buffer holds 8192 units: the same code
// with a capacity a test can exceed with a few hundred files.
class SmallSelectionApp : public JobListApp {
protected:
    const char* Build() const override { return "tolvane_small_selection"; }
};

TEST_F(SmallSelectionApp, SelectionTooLargeForTheImageBufferAddsNothing)
{
    const std::string q = Join(profiles_, "q.dnp");
    AddSeen set = Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    ASSERT_TRUE(set.profile.confirmed) << Describe(set.profile);
    const Rows one = {{Join(images_, "one.bmp"), q}};
    ASSERT_EQ(JobRows(), one);

    // 170 names of 50 characters: a result of about 8700 characters, more
    // than the 8191 this build's image dialog is given.
    const std::string many = scratch_.Folder("jobs-many");
    std::vector<std::string> names;
    for (int i = 0; i < 170; ++i) {
        char name[64];
        wsprintfA(name, "image_with_a_rather_long_descriptive_name_%04d.bmp", i);
        names.push_back(name);
    }
    ASSERT_TRUE(MakeFiles(many, names));
    size_t resultSize = many.size() + 1 + 1;
    for (const auto& n : names)
        resultSize += n.size() + 1;
    ASSERT_GT(resultSize, 8191u);

    // Windows refuses such a selection; Wine 8 reports success with the
    // result cut at the buffer's end (the last name cut short, no closing
    // empty string). Either way the program tells the user and adds nothing,
    // and no profile dialog follows.
    PressAdd();
    DialogSeen image = WorkDialog(app_.proc.pid, {kImageTitle, many, Quoted(names)});
    ASSERT_TRUE(image.appeared) << Describe(image);
    rig::MessageBoxInfo box;
    std::string warning = "(no box)";
    if (rig::WaitForMessageBox("Warning", &box, app_.proc.pid, kStepMs)) {
        warning = box.text;
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), app_.dialog);
        rig::AnswerMessageBox(box.window);
        rig::WaitForWindowGone(box.window);
    }
    DialogSeen profile = WorkDialog(app_.proc.pid, {kProfileTitle, profiles_, "q.dnp"}, 1000);
    ASSERT_TRUE(WaitIdle());
    RecordProperty("image_dialog", Describe(image));
    RecordProperty("profile_dialog", Describe(profile));

    DWORD code = 0;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 200, &code)) << "the program ended, code " << code;
    Rows rows = JobRows();
    EXPECT_EQ(rows.size(), 1u) << "image dialog " << Describe(image) << "; profile dialog " << Describe(profile)
                               << "; last row [" << (rows.empty() ? std::string() : rows.back()[0]) << "]";
    for (const auto& r : rows)
        EXPECT_TRUE(rig::FileExists(r[0])) << "a row names a file that does not exist: " << r[0];
    // The user is told why nothing was added.
    EXPECT_EQ(warning,
              "Too many files were selected at once, so none was added.  One Add takes at most 8190 "
              "characters of file names, folder included (about 377 names of 20 characters).  Select fewer "
              "files and try again.");
    EXPECT_FALSE(profile.appeared) << "no profile dialog after a refused selection";
    // Nothing is remembered either: the image dialog still starts in images_.
    std::string start = NextImageDialogStart();
    EXPECT_TRUE(SameFolder(start, images_)) << start;
}

// Paths of more than 254 characters would reach Neat Image cut, naming
// another file or none: Add refuses them with one "Warning" box, and adds the
// rest of the selection.
TEST_F(JobListApp, PathsLongerThan254CharactersAreRefusedAndTheRestIsAdded)
{
    const std::string q = Join(profiles_, "q.dnp");
    Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    ASSERT_EQ(JobRows().size(), 1u);

    // Answers the one "Warning" box an Add may raise after its dialogs.
    auto addAnsweringWarning = [&](const DialogAction& image, std::string* warning) {
        PressAdd();
        DialogSeen i = WorkDialog(app_.proc.pid, image);
        EXPECT_TRUE(i.confirmed) << Describe(i);
        // The box follows the profile dialog at once; the dialog's driver
        // answers it as one of the boxes it raised.
        DialogSeen p = WorkDialog(app_.proc.pid, {kProfileTitle, profiles_, "q.dnp"});
        EXPECT_TRUE(p.closed) << Describe(p);
        *warning = "(no box)";
        if (!p.boxes.empty())
            *warning = p.boxes.front();
        rig::MessageBoxInfo box;
        if (p.boxes.empty() && rig::WaitForMessageBox("Warning", &box, app_.proc.pid, 2000)) {
            *warning = "Warning: " + box.text;
            EXPECT_EQ(GetWindow(box.window, GW_OWNER), app_.dialog);
            rig::AnswerMessageBox(box.window);
            rig::WaitForWindowGone(box.window);
        }
        EXPECT_LE(p.boxes.size(), 1u) << Describe(p);
        EXPECT_TRUE(WaitIdle());
    };

    const std::string deep = MakeDeepFolder(scratch_.Folder("jobs-deep"), 200);
    ASSERT_FALSE(deep.empty()) << "cannot create a folder of 200 characters";
    struct {
        size_t length;
        bool added;
    } singles[] = {{254, true}, {255, false}, {259, false}};
    size_t rows = 1;
    for (const auto& c : singles) {
        SCOPED_TRACE(c.length);
        std::string name = "len" + std::to_string(c.length) + "_";
        name += std::string(c.length - deep.size() - 1 - name.size() - 4, 'n') + ".bmp";
        const std::string path = Join(deep, name);
        ASSERT_EQ(path.size(), c.length);
        ASSERT_TRUE(MakeFiles(deep, {name}));

        std::string warning;
        addAnsweringWarning({kImageTitle, "", path}, &warning);
        rows += c.added ? 1 : 0;
        Rows now = JobRows();
        ASSERT_EQ(now.size(), rows);
        if (c.added) {
            EXPECT_EQ(warning, "(no box)");
            EXPECT_EQ(now.back(), (std::vector<std::string>{path, q}));
        } else {
            EXPECT_EQ(warning,
                      "Warning: 1 of the selected files was not added: its path is longer than 254 characters.");
        }
    }

    // One selection in the deep folder: two names fit, two give paths of 255
    // and 259 characters.
    std::vector<std::string> names = {"ok1.bmp", std::string(54 - 4, 'a') + ".bmp", "ok2.bmp",
                                      std::string(58 - 4, 'b') + ".bmp"};
    ASSERT_TRUE(MakeFiles(deep, names));
    ASSERT_EQ(Join(deep, names[1]).size(), 255u);
    ASSERT_EQ(Join(deep, names[3]).size(), 259u);
    std::string warning;
    addAnsweringWarning({kImageTitle, deep, Quoted(names)}, &warning);
    EXPECT_EQ(warning, "Warning: 2 of the selected files were not added: their paths are longer than 254 characters.");
    Rows now = JobRows();
    ASSERT_EQ(now.size(), rows + 2);
    EXPECT_EQ(now[rows], (std::vector<std::string>{Join(deep, "ok1.bmp"), q}));
    EXPECT_EQ(now[rows + 1], (std::vector<std::string>{Join(deep, "ok2.bmp"), q}));
}

// A name the code page cannot hold has only a look-alike in it ("Lodz.jpg"
// for "Łódź.jpg" under code page 1252), which may name another file: Add
// refuses such names with one "Warning" box and adds the rest.
TEST_F(JobListApp, NamesTheCodePageCannotHoldAreRefusedNeverQueuedAsALookAlike)
{
    ASSERT_EQ(GetACP(), 1252u) << "this test is written for code page 1252";
    const std::string q = Join(profiles_, "q.dnp");
    const std::string folder = scratch_.Folder("jobs-codepage");
    // The file, and a file of its look-alike name beside it.
    for (const wchar_t* name : {L"\u0141\u00f3d\u017a.jpg", L"\u0179le.jpg"}) {
        wchar_t path[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, folder.c_str(), -1, path, MAX_PATH);
        lstrcatW(path, L"\\");
        lstrcatW(path, name);
        HANDLE f = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        CloseHandle(f);
    }
    ASSERT_TRUE(MakeFiles(folder, {"Lodz.jpg", "ok.jpg"}));

    struct {
        const char* name;
        std::wstring typed;
        Rows added;
        std::string warning;
    } const cases[] = {
        {"one name",
         L"\u0141\u00f3d\u017a.jpg",
         {},
         "Warning: 1 of the selected files was not added: its name holds characters that this system's code page "
         "cannot hold."},
        {"two of four names",
         L"\"\u0141\u00f3d\u017a.jpg\" \"ok.jpg\" \"\u0179le.jpg\" \"Lodz.jpg\"",
         {{Join(folder, "ok.jpg"), q}, {Join(folder, "Lodz.jpg"), q}},
         "Warning: 2 of the selected files were not added: their names hold characters that this system's code "
         "page cannot hold."},
    };
    Rows expected;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PressAdd();
        DialogSeen image = WorkDialog(app_.proc.pid, {kImageTitle, folder, "", c.typed});
        ASSERT_TRUE(image.confirmed) << Describe(image);
        DialogSeen profile = WorkDialog(app_.proc.pid, {kProfileTitle, profiles_, "q.dnp"});
        ASSERT_TRUE(profile.closed) << Describe(profile);
        std::string warning = profile.boxes.empty() ? "(no box)" : profile.boxes.front();
        rig::MessageBoxInfo box;
        if (profile.boxes.empty() && rig::WaitForMessageBox("Warning", &box, app_.proc.pid, 2000)) {
            warning = "Warning: " + box.text;
            rig::AnswerMessageBox(box.window);
            rig::WaitForWindowGone(box.window);
        }
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(warning, c.warning);
        expected.insert(expected.end(), c.added.begin(), c.added.end());
        EXPECT_EQ(JobRows(), expected);
    }
}

} // namespace
