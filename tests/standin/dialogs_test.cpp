// The stand-in's file dialogs, driven from outside: what Tolvane relies on in
// each (owner, name box, buttons) and its cancel, every fault switch that
// shapes them or the JPEG options window, and the proposed name.
#include "standin_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace standintest;

TEST_F(StandinTest, FileDialogsMeetTheContractAndCancel)
{
    Start();
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));

    struct Case {
        int command;
        const char* title;
        const char* kind;
        const char* button;
    };
    const Case cases[] = {
        {IDM_IMAGE_OPEN, "Open", "image-open", "&Open"},
        {IDM_PROFILE_OPEN, "Open", "profile-open", "&Open"},
        {IDM_IMAGE_SAVEAS, "Save As", "save-as", "&Save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        app_.Post(c.command);
        HWND dlg = WaitOwned(app_.app, "#32770", c.title);
        ASSERT_NE(dlg, nullptr) << app_.Journal();
        // The journal line follows the showing of the window.
        EXPECT_TRUE(rig::WaitUntil([&] { return app_.Has("shown", c.kind); }, 3000));
        EXPECT_EQ(GetParent(dlg), app_.app);

        // The name box is the first Edit among the direct children.
        HWND firstEdit = nullptr;
        for (HWND child : rig::Children(dlg)) {
            if (rig::ClassOf(child) == "Edit") {
                firstEdit = child;
                break;
            }
        }
        ASSERT_NE(firstEdit, nullptr);
        EXPECT_EQ(FindWindowExA(dlg, nullptr, "Edit", nullptr), firstEdit);
        EXPECT_EQ(GetParent(firstEdit), dlg) << "a direct child";
        HWND button = FindWindowExA(dlg, nullptr, "Button", c.button);
        ASSERT_NE(button, nullptr);
        HWND cancel = FindWindowExA(dlg, nullptr, "Button", "Cancel");
        ASSERT_NE(cancel, nullptr);

        ASSERT_TRUE(SendBounded(cancel, BM_CLICK, 0, 0));
        EXPECT_TRUE(rig::WaitForWindowGone(dlg));
        EXPECT_TRUE(app_.WaitFor("cancelled", c.kind)) << app_.Journal();
    }
    ExpectCleanExit();
}

// Every fault of the automation's failure table, one switch at a time.
TEST_F(StandinTest, FaultSwitchesShapeTheWindows)
{
    enum Expect { Never, WrongTitle, Hidden, NoEdit, NoButton };
    struct Case {
        const char* args;
        int command;
        const char* kind;
        const char* title; // the title when right
        Expect expect;
        const char* shown;  // the title actually shown (WrongTitle)
        const char* button; // the button that is missing (NoButton)
    };
    const Case cases[] = {
        {"--never image-open", IDM_IMAGE_OPEN, "image-open", "Open", Never, nullptr, nullptr},
        {"--never profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", Never, nullptr, nullptr},
        {"--never save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", Never, nullptr, nullptr},
        {"--wrong-title image-open", IDM_IMAGE_OPEN, "image-open", "Open", WrongTitle, "open", nullptr},
        {"--wrong-title profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", WrongTitle, "open", nullptr},
        {"--wrong-title save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", WrongTitle, "save as", nullptr},
        {"--hidden profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", Hidden, nullptr, nullptr},
        {"--no-edit image-open", IDM_IMAGE_OPEN, "image-open", "Open", NoEdit, nullptr, nullptr},
        {"--no-edit profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", NoEdit, nullptr, nullptr},
        {"--no-edit save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", NoEdit, nullptr, nullptr},
        {"--no-button image-open", IDM_IMAGE_OPEN, "image-open", "Open", NoButton, nullptr, "&Open"},
        {"--no-button profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", NoButton, nullptr, "&Open"},
        {"--no-button save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", NoButton, nullptr, "&Save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        app.Post(c.command);
        ASSERT_TRUE(app.WaitFor("menu", c.kind == std::string("save-as") ? "image-saveas" : c.kind));
        switch (c.expect) {
        case Never:
            EXPECT_TRUE(app.WaitFor("never", c.kind)) << app.Journal();
            EXPECT_EQ(WaitOwned(app.app, "#32770", nullptr, 1000, true), nullptr) << "no dialog at all";
            break;
        case WrongTitle: {
            HWND dlg = WaitOwned(app.app, "#32770", c.shown);
            EXPECT_NE(dlg, nullptr) << app.Journal();
            EXPECT_EQ(FindOwned(app.app, "#32770", c.title), nullptr);
            break;
        }
        case Hidden: {
            EXPECT_TRUE(app.WaitFor("hidden", c.kind)) << app.Journal();
            EXPECT_NE(FindOwned(app.app, "#32770", c.title, true), nullptr) << "created";
            EXPECT_EQ(FindOwned(app.app, "#32770", c.title, false), nullptr) << "but never shown";
            break;
        }
        case NoEdit: {
            HWND dlg = WaitOwned(app.app, "#32770", c.title);
            ASSERT_NE(dlg, nullptr) << app.Journal();
            EXPECT_EQ(FindWindowExA(dlg, nullptr, "Edit", nullptr), nullptr);
            break;
        }
        case NoButton: {
            HWND dlg = WaitOwned(app.app, "#32770", c.title);
            ASSERT_NE(dlg, nullptr) << app.Journal();
            EXPECT_NE(FindWindowExA(dlg, nullptr, "Edit", nullptr), nullptr);
            EXPECT_EQ(FindWindowExA(dlg, nullptr, "Button", c.button), nullptr);
            EXPECT_NE(FindWindowExA(dlg, nullptr, "Button", "Cancel"), nullptr);
            break;
        }
        }
        // Whatever the fault, the application still answers and closes cleanly,
        // even with its dialog (visible or not) still open.
        EXPECT_TRUE(SendBounded(app.main, WM_GETTEXTLENGTH, 0, 0, 2000));
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

TEST_F(StandinTest, JpegOptionsFaultSwitches)
{
    enum Expect { Never, NoOk, WrongTitle, Hidden };
    struct Case {
        const char* args;
        Expect expect;
    };
    const Case cases[] = {
        {"--never jpeg-options", Never},
        {"--no-button jpeg-options", NoOk},
        {"--wrong-title jpeg-options", WrongTitle},
        {"--hidden jpeg-options", Hidden},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        ASSERT_TRUE(app.OpenThrough(IDM_IMAGE_OPEN, image_));
        ASSERT_TRUE(app.WaitFor("image-opened", image_));
        const std::string output = dir_ + "\\fault" + std::to_string(++round) + ".jpg";
        ASSERT_TRUE(app.SaveThrough(output));

        if (c.expect == Never) {
            EXPECT_TRUE(app.WaitFor("never", "jpeg-options")) << app.Journal();
            // A command posted behind: once it is journaled, whatever the
            // swallowed one could have shown would be there.
            app.Post(-1);
            EXPECT_TRUE(app.WaitFor("menu", "other")) << app.Journal();
            EXPECT_EQ(rig::FindTopWindow("TSaveJPEGform", nullptr, app.proc.pid, true), nullptr);
        } else {
            HWND jpeg = rig::WaitForWindow("TSaveJPEGform", nullptr, app.proc.pid, kWaitMs, true);
            ASSERT_NE(jpeg, nullptr) << app.Journal();
            EXPECT_EQ(GetParent(jpeg), app.app);
            // Found as soon as it exists, hidden, before its buttons and its
            // showing: a shown one is complete.
            if (c.expect != Hidden)
                rig::WaitUntil([&] { return IsWindowVisible(jpeg) != FALSE; }, kWaitMs);
            switch (c.expect) {
            case NoOk:
                EXPECT_TRUE(IsWindowVisible(jpeg));
                EXPECT_EQ(rig::TitleOf(jpeg), "JPEG Save Options");
                EXPECT_EQ(FindWindowExA(jpeg, nullptr, "TBitBtn", "OK"), nullptr);
                EXPECT_NE(FindWindowExA(jpeg, nullptr, "TBitBtn", "Cancel"), nullptr);
                break;
            case WrongTitle:
                EXPECT_TRUE(IsWindowVisible(jpeg));
                EXPECT_EQ(rig::TitleOf(jpeg), "jpeg save options");
                EXPECT_NE(FindWindowExA(jpeg, nullptr, "TBitBtn", "OK"), nullptr);
                break;
            case Hidden:
                EXPECT_TRUE(app.WaitFor("hidden", "jpeg-options")) << app.Journal();
                EXPECT_FALSE(IsWindowVisible(jpeg));
                break;
            case Never:
                break;
            }
            // Closing the options window cancels the save.
            PostMessageA(jpeg, WM_CLOSE, 0, 0);
            EXPECT_TRUE(app.WaitFor("cancelled", "jpeg-options")) << app.Journal();
        }
        EXPECT_FALSE(rig::FileExists(output)) << "nothing is saved without the options confirmed";
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

TEST_F(StandinTest, ProposedNamePatternAndExtensionCase)
{
    Start("--propose \"{dir}\\{base}_out.TIF\"");
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    std::string proposed;
    ASSERT_TRUE(app_.SaveThrough("", &proposed));
    const std::string expected = dir_ + "\\noisy scene_out.TIF";
    EXPECT_EQ(proposed, expected);
    // The extension chooses the format regardless of its letter case.
    ASSERT_TRUE(app_.WaitFor("saved", "TIFF " + expected)) << app_.Journal();
    EXPECT_EQ(imageio::DetectFormat(expected), "TIFF");
    ExpectCleanExit();
}

} // namespace
