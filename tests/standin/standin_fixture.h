// What the stand-in's tests share: test images, windows found by their owner, sends with a limit, the
// stand-in process with its two file-dialog round trips, and the fixture that starts it beside a noisy
// image and a noise profile.
#pragma once

#include "rig.h"
#include "standin_app.h"

#include "commands.h"
#include "imageio.h"

#include <gtest/gtest.h>

#include <string>

namespace standintest {

using standin::IDM_FILTER_APPLY;
using standin::IDM_IMAGE_OPEN;
using standin::IDM_IMAGE_SAVEAS;
using standin::IDM_PROFILE_OPEN;

constexpr DWORD kWaitMs = 5000;
constexpr double kNoiseSigma = 15.0;

// ---- Test images ----------------------------------------------------------------------------------------

struct Scene {
    imageio::Image clean;
    imageio::Image noisy;
};

// Smooth gradients, hard-edged blocks and a disc, then Gaussian noise of the
// given strength with a fixed seed.
Scene MakeScene(int w, int h, double sigma);

// ---- Journal --------------------------------------------------------------------------------------------

using Event = rig::JournalEvent;

// ---- Window helpers -------------------------------------------------------------------------------------

// A top-level window of exact class and title (nullptr = any) whose parent,
// as GetParent reports it, is `owner`.
HWND FindOwned(HWND owner, const char* cls, const char* title, bool includeHidden = false);

HWND WaitOwned(HWND owner, const char* cls, const char* title, DWORD timeoutMs = kWaitMs, bool includeHidden = false);

// SendMessage with a limit; false when it did not return in time.
bool SendBounded(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs = kWaitMs, LRESULT* result = nullptr);

std::string EditText(HWND edit);

// ---- The stand-in process -------------------------------------------------------------------------------

// The stand-in process of the rig, started without the menu bridge unless
// one is given, with the two file-dialog round trips these tests make.
class Standin : public rig::StandInApp {
public:
    bool Start(const std::string& dir, const std::string& args, std::string* error, const std::string& dll = "")
    {
        return rig::StandInApp::Start(args, error, dir, dll);
    }
    std::string Journal() const { return JournalText(); }

    // Posts an open command, waits for the visible "Open" dialog owned by the
    // application window, types the path and presses "&Open" with BM_CLICK.
    ::testing::AssertionResult OpenThrough(int command, const std::string& path) const
    {
        Post(command);
        HWND dlg = WaitOwned(app, "#32770", "Open");
        if (!dlg)
            return ::testing::AssertionFailure() << "no Open dialog\n" << JournalText();
        HWND edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
        HWND open = FindWindowExA(dlg, nullptr, "Button", "&Open");
        if (!edit || !open)
            return ::testing::AssertionFailure() << "Open dialog without name box or &Open button";
        if (!SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())))
            return ::testing::AssertionFailure() << "WM_SETTEXT not answered";
        if (!SendBounded(open, BM_CLICK, 0, 0))
            return ::testing::AssertionFailure() << "BM_CLICK not answered";
        if (!rig::WaitForWindowGone(dlg))
            return ::testing::AssertionFailure() << "the Open dialog stayed";
        return ::testing::AssertionSuccess();
    }

    // Posts Save As, waits for the dialog, reads the proposed name into
    // *proposed, types `name` (empty: keep the proposal) and presses "&Save"
    // with a WM_COMMAND carrying its identifier and BN_CLICKED.
    ::testing::AssertionResult SaveThrough(const std::string& name, std::string* proposed = nullptr) const
    {
        Post(IDM_IMAGE_SAVEAS);
        HWND dlg = WaitOwned(app, "#32770", "Save As");
        if (!dlg)
            return ::testing::AssertionFailure() << "no Save As dialog\n" << JournalText();
        HWND edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
        HWND save = FindWindowExA(dlg, nullptr, "Button", "&Save");
        if (!edit || !save)
            return ::testing::AssertionFailure() << "Save As dialog without name box or &Save button";
        if (proposed)
            *proposed = EditText(edit);
        if (!name.empty() && !SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str())))
            return ::testing::AssertionFailure() << "WM_SETTEXT not answered";
        WPARAM wp = MAKEWPARAM(GetDlgCtrlID(save) & 0xFFFF, BN_CLICKED);
        if (!SendBounded(dlg, WM_COMMAND, wp, reinterpret_cast<LPARAM>(save)))
            return ::testing::AssertionFailure() << "the &Save command was not answered";
        return ::testing::AssertionSuccess();
    }
};

class StandinTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = rig::MakeTempDir("standin");
        ASSERT_FALSE(dir_.empty());
        image_ = dir_ + "\\noisy scene.bmp";
        profile_ = dir_ + "\\grain.dnp";
        scene_ = MakeScene(320, 240, kNoiseSigma);
        std::string error;
        ASSERT_TRUE(imageio::SaveImage(image_, scene_.noisy, imageio::Format::BMP, 90, &error)) << error;
        ASSERT_TRUE(rig::WriteFileText(profile_, "# stand-in noise profile\nsigma=15\nradius=2\n"));
    }

    void TearDown() override { EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer"; }

    void Start(const std::string& args = "", const std::string& dll = "")
    {
        std::string error;
        ASSERT_TRUE(app_.Start(dir_, args, &error, dll)) << error;
        watchdog_.Watch(app_.proc.pid);
    }

    void ExpectCleanExit()
    {
        DWORD code = 12345;
        ASSERT_TRUE(app_.Close(&code)) << "the stand-in did not end\n" << app_.Journal();
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(app_.Last().name, "exit") << app_.Journal();
    }

    // Opens the test image and the profile through their dialogs.
    void OpenImageAndProfile()
    {
        ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
        ASSERT_TRUE(app_.WaitFor("image-opened", image_)) << app_.Journal();
        ASSERT_TRUE(app_.OpenThrough(IDM_PROFILE_OPEN, profile_));
        ASSERT_TRUE(app_.WaitFor("profile-opened", profile_)) << app_.Journal();
    }

    std::string dir_;
    std::string image_;
    std::string profile_;
    Scene scene_;
    Standin app_;
    rig::Watchdog watchdog_{15000};
};

} // namespace standintest
