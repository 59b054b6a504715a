// The fixture of the job list tests that start tolvane.exe and work its
// dialogs from this process, reading the rows across the process boundary and
// each dialog's start folder with CDM_GETFOLDERPATH on memory placed in the
// program; and the trace readers they share.
#pragma once

#include "file_dialogs.h"
#include "rig.h"
#include "tolvane_app.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace jobsapp {

using namespace dialogs;

// How long a window that must NOT appear is looked for.
constexpr DWORD kAbsentMs = 800;

using rig::CountOf;
using rig::WithoutNotifications;

class JobListApp : public testing::Test {
protected:
    // The build under test.
    virtual const char* Build() const { return "tolvane"; }

    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(app_.Start(Build(), "", true, &error)) << error;
        scratch_.Adopt(app_.dir); // the program's copy, removed once it has ended
        watchdog_.Watch(app_.proc.pid);
        list_ = app_.Item(IDC_JOB_LIST);
        ASSERT_NE(list_, nullptr);
        images_ = scratch_.Folder("jobs-images");
        other_ = scratch_.Folder("jobs-other");
        profiles_ = scratch_.Folder("jobs-profiles");
        ASSERT_FALSE(images_.empty() || other_.empty() || profiles_.empty());
        ASSERT_TRUE(MakeFiles(
            images_, {"one.bmp", "c.bmp", "a one.bmp", "b.tif", "r0.bmp", "r1.bmp", "r2.bmp", "r3.bmp", "r4.bmp"}));
        ASSERT_TRUE(MakeFiles(other_, {"x.jpg", "y.jpeg"}));
        ASSERT_TRUE(MakeFiles(profiles_, {"q.dnp", "r.dnf"}));
    }

    void TearDown() override
    {
        EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer";
        // A dialog a failed test left open is cancelled, so that the program
        // ends cleanly.
        for (const char* title : {kImageTitle, kProfileTitle})
            if (HWND d = rig::FindTopWindow("#32770", title, app_.proc.pid))
                rig::PostCommand(d, IDCANCEL);
    }

    // Presses Add. The image dialog then runs its modal loop in the program.
    void PressAdd() { rig::Click(app_.Item(IDC_ADD)); }

    // One whole Add: the image dialog, then (if the image dialog is
    // confirmed) the profile dialog.
    struct AddSeen {
        DialogSeen image, profile;
    };
    AddSeen Add(const DialogAction& image, const DialogAction& profile)
    {
        AddSeen seen;
        size_t adds = CountOf(app_.Trace(), "Add\n");
        PressAdd();
        seen.image = WorkDialog(app_.proc.pid, image);
        if ((!image.type.empty() || !image.wide.empty()) && seen.image.confirmed)
            seen.profile = WorkDialog(app_.proc.pid, profile);
        // Add has ended once the program serves a message again outside any
        // dialog; the trace of this Add is then complete.
        EXPECT_TRUE(rig::WaitUntil([&] { return CountOf(app_.Trace(), "Add\n") > adds; }, kStepMs));
        EXPECT_TRUE(WaitIdle());
        return seen;
    }

    // Waits until no file dialog of the program is open, its main dialog is
    // enabled again (a file dialog disables its owner) and answers a message.
    bool WaitIdle()
    {
        bool idle = rig::WaitUntil(
            [&] {
                return !rig::FindTopWindow("#32770", kImageTitle, app_.proc.pid) &&
                       !rig::FindTopWindow("#32770", kProfileTitle, app_.proc.pid) && IsWindowEnabled(app_.dialog);
            },
            kStepMs);
        DWORD_PTR r = 0;
        return idle && SendMessageTimeoutA(app_.dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &r);
    }

    Rows JobRows() { return rig::ListViewRows(list_, 2); }

    // Opens the image dialog, notes its start folder and cancels it.
    std::string NextImageDialogStart()
    {
        PressAdd();
        DialogSeen s = WorkDialog(app_.proc.pid, {kImageTitle, "", ""});
        EXPECT_TRUE(s.appeared && s.closed) << Describe(s);
        EXPECT_TRUE(WaitIdle());
        return s.startFolder;
    }

    Scratch scratch_; // removed after the program has ended (declared first)
    rig::TolvaneApp app_;
    rig::Watchdog watchdog_{kWatchdogGraceMs};
    HWND list_ = nullptr;
    std::string images_, other_, profiles_;
};

} // namespace jobsapp
