// The job list code in this process: AddJobs runs on the test's main thread
// (inside which the dialogs run their modal loops) while a driver thread works
// the dialogs, and then ImageStartDir and ProfileStartDir are read directly:
// the dialog maps a start location that is a file's full path to that file's
// folder, so only the variables tell a full path from a folder.
#include "file_dialogs.h"
#include "rig.h"

#include "app/app.h"
#include "app/resource.h"
#include "jobs/jobs.h"
#include "tolvane.h"

#include <commctrl.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace dialogs;

// The start locations as the program has them before any dialog: read at
// load time, before any test can change them, so every in-process test can
// start from them whatever ran before it in the same process.
const std::string kInitialImageStartDir = ImageStartDir;
const std::string kInitialProfileStartDir = ProfileStartDir;

LRESULT CALLBACK OwnerProc(HWND w, UINT m, WPARAM wp, LPARAM lp)
{
    return DefWindowProcA(w, m, wp, lp);
}

class JobListInProcess : public testing::Test {
protected:
    void SetUp() override
    {
        // The dialogs move this process's current folder into the folders
        // they show, and a current folder cannot be removed: it is put back
        // at the end.
        GetCurrentDirectoryA(sizeof savedCurrent_, savedCurrent_);
        std::strcpy(ImageStartDir, kInitialImageStartDir.c_str());
        std::strcpy(ProfileStartDir, kInitialProfileStartDir.c_str());
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TolvaneJobsTestOwner";
        RegisterClassA(&wc); // fails harmlessly when a previous test registered it
        owner_ = CreateWindowExA(0, wc.lpszClassName, "Jobs test owner", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        ASSERT_NE(owner_, nullptr);
        JobList = CreateWindowExA(0, WC_LISTVIEWA, "", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_EDITLABELS, 0, 0, 480,
                                  260, owner_, nullptr, wc.hInstance, nullptr);
        ASSERT_NE(JobList, nullptr);
        MainDialog = owner_;
        InitJobColumns(JobList);

        images_ = scratch_.Folder("jobs-in-images");
        other_ = scratch_.Folder("jobs-in-other");
        profiles_ = scratch_.Folder("jobs-in-profiles");
        ASSERT_TRUE(MakeFiles(images_, {"one.bmp", "two.bmp"}));
        ASSERT_TRUE(MakeFiles(other_, {"x.jpg", "y.jpeg"}));
        ASSERT_TRUE(MakeFiles(profiles_, {"q.dnp", "r.dnf"}));
    }

    void TearDown() override
    {
        EXPECT_EQ(watchdog_.Strays(), "") << "dialogs or boxes the test did not answer";
        DestroyWindow(owner_);
        JobList = nullptr;
        MainDialog = nullptr;
        SetCurrentDirectoryA(savedCurrent_);
    }

    // Runs AddJobs on this thread while a driver thread works the image dialog
    // and, when that one is confirmed, the profile dialog. AddJobs returns
    // only when its dialogs are gone, so after its steps the driver cancels
    // whatever dialog or box of this process is still open (one with a title
    // it did not expect, say) until AddJobs has returned, and notes it.
    struct AddSeen {
        DialogSeen image, profile;
        std::vector<std::string> unexpected;
        std::vector<std::string> warnings; // "Warning" boxes, answered when expected
    };
    AddSeen Add(const DialogAction& image, const DialogAction& profile, bool warningExpected = false)
    {
        AddSeen seen;
        std::atomic<bool> returned{false};
        std::thread driver([&] {
            seen.image = WorkDialog(GetCurrentProcessId(), image);
            if ((!image.type.empty() || !image.wide.empty()) && seen.image.confirmed)
                seen.profile = WorkDialog(GetCurrentProcessId(), profile);
            DWORD start = GetTickCount();
            while (!returned && GetTickCount() - start < 2 * kStepMs) {
                for (HWND w : rig::TopWindowsOf(GetCurrentProcessId())) {
                    if (rig::ClassOf(w) != "#32770")
                        continue;
                    if (warningExpected && rig::TitleOf(w) == "Warning" && rig::IsMessageBox(w)) {
                        HWND text = GetDlgItem(w, 0xFFFF);
                        seen.warnings.push_back("Warning: " + (text ? rig::TextOf(text) : std::string()));
                        rig::AnswerMessageBox(w);
                        rig::WaitForWindowGone(w, 2000);
                        continue;
                    }
                    seen.unexpected.push_back(rig::TitleOf(w));
                    rig::PostCommand(w, IDCANCEL);
                    rig::WaitForWindowGone(w, 2000);
                }
                Sleep(50);
            }
        });
        AddJobs(owner_);
        returned = true;
        driver.join();
        std::string unexpected;
        for (const auto& t : seen.unexpected)
            unexpected += "[" + t + "] ";
        EXPECT_TRUE(seen.unexpected.empty()) << "windows left open and cancelled: " << unexpected;
        return seen;
    }

    Rows JobRows()
    {
        Rows rows;
        int count = static_cast<int>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0));
        for (int i = 0; i < count; ++i) {
            std::vector<std::string> row;
            for (int c = 0; c < 2; ++c) {
                char text[1024] = "";
                LVITEMA item = {};
                item.iSubItem = c;
                item.pszText = text;
                item.cchTextMax = sizeof text;
                SendMessageA(JobList, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
                row.push_back(text);
            }
            rows.push_back(row);
        }
        return rows;
    }

    Scratch scratch_;
    rig::Watchdog watchdog_{kWatchdogGraceMs};
    char savedCurrent_[MAX_PATH] = "";
    HWND owner_ = nullptr;
    std::string images_, other_, profiles_;
};

TEST_F(JobListInProcess, RememberedLocationsAreTheFullPathOfOneFileOrTheFolderOfSeveral)
{
    EXPECT_EQ(kInitialImageStartDir, "");
    EXPECT_EQ(kInitialProfileStartDir, kDefaultProfileDir);
    const std::string q = Join(profiles_, "q.dnp"), r = Join(profiles_, "r.dnf");

    AddSeen one = Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    ASSERT_TRUE(one.profile.confirmed) << Describe(one.image) << " / " << Describe(one.profile);
    EXPECT_EQ(std::string(ImageStartDir), Join(images_, "one.bmp")) << "a single file: its full path";
    EXPECT_EQ(std::string(ProfileStartDir), q);

    // The dialogs are given those full paths and start in their folders.
    AddSeen several = Add({kImageTitle, other_, Quoted({"y.jpeg", "x.jpg"})}, {kProfileTitle, "", "r.dnf"});
    EXPECT_TRUE(SameFolder(several.image.startFolder, images_)) << several.image.startFolder;
    EXPECT_TRUE(SameFolder(several.profile.startFolder, profiles_)) << several.profile.startFolder;
    EXPECT_EQ(std::string(ImageStartDir), other_) << "several files: their folder";
    EXPECT_EQ(std::string(ProfileStartDir), r);

    AddSeen back = Add({kImageTitle, "", "x.jpg"}, {kProfileTitle, images_, q});
    EXPECT_TRUE(SameFolder(back.image.startFolder, other_)) << back.image.startFolder;
    EXPECT_EQ(std::string(ImageStartDir), Join(other_, "x.jpg"));
    EXPECT_EQ(std::string(ProfileStartDir), q) << "a profile typed as a full path elsewhere";

    EXPECT_EQ(JobRows(), (Rows{{Join(images_, "one.bmp"), q},
                               {Join(other_, "y.jpeg"), r},
                               {Join(other_, "x.jpg"), r},
                               {Join(other_, "x.jpg"), q}}));
}

TEST_F(JobListInProcess, CancelledImageDialogKeepsBothCancelledProfileDialogKeepsTheImageChoice)
{
    const std::string q = Join(profiles_, "q.dnp");
    std::strcpy(ImageStartDir, Join(images_, "one.bmp").c_str());
    std::strcpy(ProfileStartDir, q.c_str());

    rig::StdoutCapture capture;
    AddSeen cancelled = Add({kImageTitle, other_, ""}, {kProfileTitle, "", ""});
    EXPECT_TRUE(cancelled.image.appeared && cancelled.image.closed) << Describe(cancelled.image);
    EXPECT_FALSE(cancelled.profile.appeared);
    EXPECT_EQ(std::string(ImageStartDir), Join(images_, "one.bmp"));
    EXPECT_EQ(std::string(ProfileStartDir), q);
    EXPECT_EQ(capture.Text(), "") << "nothing traced";

    AddSeen half = Add({kImageTitle, other_, "y.jpeg"}, {kProfileTitle, images_, ""});
    ASSERT_TRUE(half.profile.appeared && half.profile.closed) << Describe(half.profile);
    EXPECT_EQ(std::string(ImageStartDir), Join(other_, "y.jpeg")) << "the image choice just made";
    EXPECT_EQ(std::string(ProfileStartDir), q);
    EXPECT_EQ(capture.Text(), "FileBuffer: " + Join(other_, "y.jpeg") + "\nFileTitleBuffer: y.jpeg\n");
    EXPECT_TRUE(JobRows().empty());
}

TEST_F(JobListInProcess, FirstStringLongerThan255CharactersKeepsThePreviousImageLocation)
{
    const std::string q = Join(profiles_, "q.dnp");
    const std::string deep = MakeDeepFolder(scratch_.Folder("jobs-in-deep"), 200);
    ASSERT_FALSE(deep.empty());
    const std::string previous = Join(images_, "one.bmp");
    for (size_t length : {255u, 256u, 259u}) {
        SCOPED_TRACE(length);
        std::string name = "len" + std::to_string(length) + "_";
        name += std::string(length - deep.size() - 1 - name.size() - 4, 'n') + ".bmp";
        const std::string path = Join(deep, name);
        ASSERT_EQ(path.size(), length);
        ASSERT_TRUE(MakeFiles(deep, {name}));
        std::strcpy(ImageStartDir, previous.c_str());

        AddSeen s = Add({kImageTitle, "", path}, {kProfileTitle, profiles_, "q.dnp"}, true);
        ASSERT_TRUE(s.profile.closed) << Describe(s.image) << " / " << Describe(s.profile);
        // No job (the path is too long to reach Neat Image whole), but the
        // start location: 255 characters fit the 256 bytes; more keep the
        // previous value. The box follows the profile dialog; the dialog's
        // driver or the one of Add answers it, whichever sees it first.
        EXPECT_TRUE(JobRows().empty());
        std::vector<std::string> boxes = s.profile.boxes;
        boxes.insert(boxes.end(), s.warnings.begin(), s.warnings.end());
        EXPECT_EQ(boxes, std::vector<std::string>{"Warning: 1 of the selected files was not added: its path is longer "
                                                  "than 254 characters."});
        EXPECT_EQ(std::string(ImageStartDir), length <= 255 ? path : previous);
    }
}

// A drop as Explorer hands it over: a DROPFILES block with the paths in
// UTF-16, owned by the receiver from the moment it is posted.
HDROP MakeDrop(const std::vector<std::string>& paths)
{
    std::wstring list;
    for (const auto& p : paths) {
        wchar_t wide[MAX_PATH];
        MultiByteToWideChar(CP_ACP, 0, p.c_str(), -1, wide, MAX_PATH);
        list += wide;
        list += L'\0';
    }
    list += L'\0';
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + list.size() * sizeof(wchar_t));
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::memcpy(reinterpret_cast<char*>(drop) + sizeof(DROPFILES), list.data(), list.size() * sizeof(wchar_t));
    GlobalUnlock(memory);
    return static_cast<HDROP>(memory);
}

// The program's main dialog from its own template, in this process: drops
// and keys reach the job list through its dialog procedure.
class MainDialogInProcess : public JobListInProcess {
protected:
    void SetUp() override
    {
        JobListInProcess::SetUp();
        dialog_ = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);
        ASSERT_NE(dialog_, nullptr);
        MainDialog = dialog_;
        ASSERT_NE(JobList, nullptr);
    }
    void TearDown() override
    {
        DestroyWindow(dialog_);
        // The dialog's WM_DESTROY posts WM_QUIT, which would end the next
        // test's modal loops at once.
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ;
        JobListInProcess::TearDown();
    }

    // Serves this thread's messages (the drop, the profile dialog's modal
    // loop inside it) until done is set, at most kStepMs * 3.
    void PumpUntil(const std::atomic<bool>& done)
    {
        DWORD start = GetTickCount();
        while (!done && GetTickCount() - start < 3 * kStepMs) {
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                if (IsDialogMessageA(dialog_, &msg))
                    continue;
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        }
    }

    // Posts a drop of the paths to the dialog and works the profile dialogs
    // it raises: the first one with `profile`, any further one cancelled and
    // counted. Returns how many profile dialogs appeared.
    int Drop(const std::vector<std::string>& paths, const DialogAction& profile)
    {
        std::atomic<bool> done{false};
        int dialogs = 0;
        std::thread driver([&] {
            DialogSeen first = WorkDialog(GetCurrentProcessId(), profile);
            dialogs += first.appeared ? 1 : 0;
            while (WorkDialog(GetCurrentProcessId(), {kProfileTitle, "", ""}, 800).appeared)
                ++dialogs;
            done = true;
        });
        PostMessageA(dialog_, WM_DROPFILES, reinterpret_cast<WPARAM>(MakeDrop(paths)), 0);
        PumpUntil(done);
        driver.join();
        return dialogs;
    }

    int SelectedCount() { return static_cast<int>(SendMessageA(JobList, LVM_GETSELECTEDCOUNT, 0, 0)); }

    HWND dialog_ = nullptr;
};

TEST_F(MainDialogInProcess, DropOfFilesAndAFolderAsksTheProfileOnceAndQueuesInOrder)
{
    const std::string q = Join(profiles_, "q.dnp");
    // The folder: images out of name order and in mixed case, a file the
    // image filter does not show, a hidden image and an image in a subfolder.
    const std::string folder = scratch_.Folder("jobs-in-drop");
    ASSERT_TRUE(MakeFiles(folder, {"b.JPG", "c.tif", "notes.txt", "a.jpg", "h.jpg"}));
    SetFileAttributesA(Join(folder, "h.jpg").c_str(), FILE_ATTRIBUTE_HIDDEN);
    ASSERT_TRUE(CreateDirectoryA(Join(folder, "sub.jpg").c_str(), nullptr));
    ASSERT_TRUE(MakeFiles(Join(folder, "sub.jpg"), {"d.jpg"}));

    int dialogs = Drop({Join(other_, "y.jpeg"), Join(images_, "one.bmp"), folder}, {kProfileTitle, profiles_, "q.dnp"});
    EXPECT_EQ(dialogs, 1) << "one profile dialog for the whole drop";
    EXPECT_EQ(JobRows(), (Rows{{Join(other_, "y.jpeg"), q},
                               {Join(images_, "one.bmp"), q},
                               {Join(folder, "a.jpg"), q},
                               {Join(folder, "b.JPG"), q},
                               {Join(folder, "c.tif"), q}}));
    EXPECT_EQ(std::string(ProfileStartDir), q);

    // A cancelled profile dialog adds nothing.
    EXPECT_EQ(Drop({Join(images_, "two.bmp")}, {kProfileTitle, "", ""}), 1);
    EXPECT_EQ(JobRows().size(), 5u);

    // A path that does not fit its column shows whole in a tip.
    EXPECT_TRUE(SendMessageA(JobList, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & LVS_EX_LABELTIP);
}

TEST_F(MainDialogInProcess, DeleteRemovesEverySelectedRowAndCtrlASelectsAll)
{
    for (int i = 0; i < 5; ++i)
        InsertJob(("C:\\r" + std::to_string(i) + ".bmp").c_str(), "C:\\q.dnp");
    auto press = [&](WPARAM key, bool control) {
        BYTE keys[256];
        GetKeyboardState(keys);
        BYTE saved = keys[VK_CONTROL];
        keys[VK_CONTROL] = control ? 0x80 : 0;
        SetKeyboardState(keys);
        SendMessageA(JobList, WM_KEYDOWN, key, 0);
        keys[VK_CONTROL] = saved;
        SetKeyboardState(keys);
    };
    auto select = [&](std::vector<int> rows) {
        LVITEMA item = {};
        item.stateMask = LVIS_SELECTED;
        SendMessageA(JobList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
        item.state = LVIS_SELECTED;
        for (int r : rows)
            SendMessageA(JobList, LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(&item));
    };
    auto images = [&] {
        std::vector<std::string> names;
        for (const auto& row : JobRows())
            names.push_back(row[0]);
        return names;
    };

    select({1, 3, 4});
    press(VK_DELETE, false);
    EXPECT_EQ(images(), (std::vector<std::string>{"C:\\r0.bmp", "C:\\r2.bmp"}));

    select({});
    press('A', false);
    EXPECT_EQ(SelectedCount(), 0) << "A alone selects nothing";
    press('A', true);
    EXPECT_EQ(SelectedCount(), 2);
    press(VK_DELETE, false);
    EXPECT_TRUE(JobRows().empty());
    press(VK_DELETE, false); // nothing left: nothing happens
    EXPECT_TRUE(JobRows().empty());
}

} // namespace
