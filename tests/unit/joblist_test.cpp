// The job list code in this process: AddJobs runs on the test's main thread
// (inside which the dialogs run their modal loops) while a driver thread works
// the dialogs, and then ImageStartDir and ProfileStartDir are read directly:
// the dialog maps a start location that is a file's full path to that file's
// folder, so only the variables tell a full path from a folder.
#include "file_dialogs.h"
#include "rig.h"

#include "jobs/jobs.h"
#include "tolvane.h"

#include <commctrl.h>
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
            if (!image.type.empty() && seen.image.confirmed)
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

} // namespace
