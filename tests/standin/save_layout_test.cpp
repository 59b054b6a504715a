// The stand-in's Save As dialog as the system's newer one behaves on Windows:
// the name box nested four levels down (--nested-name-box) and the proposed
// name without its folder, in the folder chosen last (--bare-proposed-name).
#include "standin_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace standintest;

// The Edit at the end of DUIViewWndClassName > DirectUIHWND > FloatNotifySink
// > ComboBox under `dlg`, or null.
HWND NestedEdit(HWND dlg)
{
    HWND window = dlg;
    for (const char* cls : {"DUIViewWndClassName", "DirectUIHWND", "FloatNotifySink", "ComboBox", "Edit"}) {
        window = FindWindowExA(window, nullptr, cls, nullptr);
        if (window == nullptr)
            return nullptr;
    }
    return window;
}

TEST_F(StandinTest, SaveAsLikeTheSystemsNewerDialog)
{
    struct Case {
        const char* args;
        bool nested;
        bool bare;
    } cases[] = {
        {"", false, false},
        {"--nested-name-box", true, false},
        {"--bare-proposed-name", false, true},
        {"--nested-name-box --bare-proposed-name", true, true},
    };
    // The profile in a folder of its own: the folder chosen last.
    const std::string profiles = dir_ + "\\profiles";
    ASSERT_TRUE(CreateDirectoryA(profiles.c_str(), nullptr));
    profile_ = profiles + "\\grain.dnp";
    ASSERT_TRUE(rig::WriteFileText(profile_, "# stand-in noise profile\nsigma=15\nradius=2\n"));
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        ASSERT_TRUE(app.OpenThrough(IDM_IMAGE_OPEN, image_));
        ASSERT_TRUE(app.OpenThrough(IDM_PROFILE_OPEN, profile_));
        ASSERT_TRUE(app.WaitFor("profile-opened", profile_)) << app.Journal();

        app.Post(IDM_IMAGE_SAVEAS);
        HWND dlg = WaitOwned(app.app, "#32770", "Save As");
        ASSERT_NE(dlg, nullptr) << app.Journal();
        HWND direct = FindWindowExA(dlg, nullptr, "Edit", nullptr);
        HWND nested = NestedEdit(dlg);
        EXPECT_EQ(direct == nullptr, c.nested);
        EXPECT_EQ(nested != nullptr, c.nested);
        if (c.nested) {
            EXPECT_EQ(GetDlgItem(dlg, 1148), nullptr);
            EXPECT_EQ(GetDlgItem(dlg, 1152), nullptr);
            EXPECT_TRUE(IsWindowVisible(nested));
        }
        HWND box = c.nested ? nested : direct;
        ASSERT_NE(box, nullptr);
        const std::string proposed = c.bare ? "noisy scene_filtered.bmp" : dir_ + "\\noisy scene_filtered.bmp";
        EXPECT_EQ(EditText(box), proposed);
        // The folder the dialog shows (its "Look in" line).
        EXPECT_EQ(rig::TextOf(GetDlgItem(dlg, 1091)), c.bare ? profiles : dir_);

        // A full path typed into the box, wherever it is, decides the folder.
        const std::string output = dir_ + "\\typed" + std::to_string(++round) + ".bmp";
        ASSERT_TRUE(SendBounded(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(output.c_str())));
        HWND save = FindWindowExA(dlg, nullptr, "Button", "&Save");
        ASSERT_NE(save, nullptr);
        ASSERT_TRUE(SendBounded(dlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(save)));
        EXPECT_TRUE(app.WaitFor("saved", "BMP " + output)) << app.Journal();
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

} // namespace
