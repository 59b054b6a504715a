// The job list of tolvane.exe, driven through the open dialogs the system
// really shows: the rows that Add appends, where each dialog starts, what the
// two cancels leave behind, and names of files that do not exist.
#include "joblist_app.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using namespace jobsapp;

struct AddCase {
    const char* name;
    std::string folder;             // the folder the image dialog is made to show
    std::vector<std::string> names; // typed in this order; quoted when more than one
    std::string profile;            // full path of the profile chosen
};

TEST_F(JobListApp, EachAddAppendsOneRowPerImageInTheDialogsOrderAllWithItsProfile)
{
    // Files in the drive's root, with names no one else uses.
    const std::string tag = "tolvane-jobs-" + std::to_string(GetCurrentProcessId());
    const std::string rootB = tag + "-b.bmp", rootA = tag + "-a.bmp";
    ASSERT_TRUE(scratch_.File("C:\\" + rootB));
    ASSERT_TRUE(scratch_.File("C:\\" + rootA));

    // 3,000 camera names of 20 characters: a result of some 63,000
    // characters, far more than one image buffer of 8191 held.
    const std::string many = scratch_.Folder("jobs-many");
    std::vector<std::string> camera;
    for (int i = 0; i < 3000; ++i) {
        char name[32];
        wsprintfA(name, "Wedding_24_%05d.jpg", i);
        camera.push_back(name);
    }
    ASSERT_EQ(camera[0].size(), 20u);
    ASSERT_TRUE(MakeFiles(many, camera));

    const std::string q = Join(profiles_, "q.dnp"), r = Join(profiles_, "r.dnf");
    const AddCase cases[] = {
        {"3,000 images in one Add", many, camera, q},
        {"one image", images_, {"one.bmp"}, q},
        {"three images, not in name order", images_, {"c.bmp", "a one.bmp", "b.tif"}, r},
        {"two images in a drive's root", "C:\\", {rootB, rootA}, q},
        {"the first image once more", images_, {"one.bmp"}, r},
    };

    Rows expected;
    for (const AddCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::string typed = c.names.size() == 1 ? c.names[0] : Quoted(c.names);
        AddSeen seen = Add({kImageTitle, c.folder, typed}, {kProfileTitle, FolderOf(c.profile), c.profile});
        ASSERT_TRUE(seen.image.confirmed) << Describe(seen.image);
        ASSERT_TRUE(seen.profile.confirmed) << Describe(seen.profile);

        for (const auto& n : c.names)
            expected.push_back({Join(c.folder, n), c.profile});
        // A large Add is still inserting rows when its profile dialog has
        // closed (the dialog answers meanwhile); on a busy machine for a while.
        rig::WaitUntil([&] { return rig::ListViewCount(list_) >= static_cast<int>(expected.size()); }, 120000);
        Rows rows = JobRows();
        EXPECT_EQ(rows, expected);

        // The trace of the Add: the result's first string, then the profile.
        std::string first = c.names.size() == 1 ? Join(c.folder, c.names[0]) : c.folder;
        std::string trace = WithoutNotifications(app_.Trace());
        EXPECT_NE(trace.find("Add\nFileBuffer: " + first + "\nFileTitleBuffer: "), std::string::npos) << trace;
        EXPECT_NE(trace.find("\nProfile File Buffer: " + c.profile + "\n"), std::string::npos) << trace;
    }
    // The drive root's paths carry one separator after the drive.
    for (const auto& row : JobRows())
        EXPECT_EQ(row[0].find("\\\\"), std::string::npos) << row[0];
    ASSERT_EQ(JobRows().size(), 3007u);
    EXPECT_EQ(JobRows()[3006][0], JobRows()[3000][0]) << "the same image twice gives two rows";
    EXPECT_EQ(JobRows()[3004][0], "C:\\" + rootB);
}

TEST_F(JobListApp, EachDialogStartsWhereItsLastConfirmedChoiceWas)
{
    // The first profile dialog of a process starts in the default profile
    // folder; the test creates it when the prefix does not have it.
    ASSERT_TRUE(scratch_.EnsureFolder(kDefaultProfileDir));
    const std::string firstName = "tolvane-jobs-" + std::to_string(GetCurrentProcessId()) + ".dnp";
    const std::string first = Join(kDefaultProfileDir, firstName);
    ASSERT_TRUE(scratch_.File(first));
    const std::string q = Join(profiles_, "q.dnp");

    // The dialog falls back on the process's current folder when its start
    // location is empty or names nothing that exists, and a dialog leaves the
    // current folder in the last folder it showed. So the steps below make
    // the dialogs show some other folder last, and a start location that was
    // not remembered would show that folder, or the previous location, not
    // the expected one.

    // 1. One image in images_; the profile is picked by its bare name, which
    //    resolves only in the folder the profile dialog starts in.
    AddSeen s1 = Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, "", firstName});
    ASSERT_TRUE(s1.profile.confirmed) << Describe(s1.profile);
    EXPECT_TRUE(SameFolder(s1.profile.startFolder, kDefaultProfileDir)) << s1.profile.startFolder;

    // 2. The image dialog starts in the single image's folder; two images in
    //    other_ are chosen. The profile dialog starts in the folder of the
    //    profile just chosen; q.dnp is chosen in profiles_.
    AddSeen s2 = Add({kImageTitle, other_, Quoted({"x.jpg", "y.jpeg"})}, {kProfileTitle, profiles_, "q.dnp"});
    EXPECT_TRUE(SameFolder(s2.image.startFolder, images_)) << s2.image.startFolder;
    EXPECT_TRUE(SameFolder(s2.profile.startFolder, kDefaultProfileDir)) << s2.profile.startFolder;

    // 3. After a multiple selection the image dialog starts in its folder,
    //    the profile dialog in q.dnp's folder. The profile is then typed as
    //    a full path (the first one's) while the dialog shows images_.
    AddSeen s3 = Add({kImageTitle, images_, "c.bmp"}, {kProfileTitle, images_, first});
    EXPECT_TRUE(SameFolder(s3.image.startFolder, other_)) << s3.image.startFolder;
    EXPECT_TRUE(SameFolder(s3.profile.startFolder, profiles_)) << s3.profile.startFolder;

    // 4. A profile typed as a full path is remembered as such: the profile
    //    dialog starts in its folder, not in the folder it showed.
    AddSeen s4 = Add({kImageTitle, "", "c.bmp"}, {kProfileTitle, "", ""});
    EXPECT_TRUE(SameFolder(s4.image.startFolder, images_)) << s4.image.startFolder;
    EXPECT_TRUE(SameFolder(s4.profile.startFolder, kDefaultProfileDir)) << s4.profile.startFolder;

    EXPECT_EQ(JobRows(), (Rows{{Join(images_, "one.bmp"), first},
                               {Join(other_, "x.jpg"), q},
                               {Join(other_, "y.jpeg"), q},
                               {Join(images_, "c.bmp"), first}}))
        << "a cancelled profile dialog adds no row";
}

TEST_F(JobListApp, CancelsLeaveTheRowsAndKeepWhatTheConfirmedDialogsSet)
{
    const std::string q = Join(profiles_, "q.dnp");
    AddSeen set = Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    ASSERT_TRUE(set.profile.confirmed) << Describe(set.profile);
    const Rows one = {{Join(images_, "one.bmp"), q}};
    ASSERT_EQ(JobRows(), one);

    // Cancel in the image dialog, after it was made to show other_: no
    // profile dialog, no row, no trace beyond "Add", and both dialogs still
    // start where they did.
    std::string before = app_.Trace();
    PressAdd();
    DialogSeen cancelled = WorkDialog(app_.proc.pid, {kImageTitle, other_, ""});
    ASSERT_TRUE(cancelled.appeared && cancelled.closed) << Describe(cancelled);
    EXPECT_TRUE(SameFolder(cancelled.startFolder, images_)) << cancelled.startFolder;
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(rig::WaitForWindow("#32770", kProfileTitle, app_.proc.pid, kAbsentMs), nullptr);
    EXPECT_EQ(WithoutNotifications(app_.Trace()), WithoutNotifications(before) + "Add\n");
    EXPECT_EQ(JobRows(), one);

    // Cancel in the profile dialog: no row, but the image dialog's choice
    // (other_, a multiple selection) is remembered; the profile dialog still
    // starts at q.dnp's folder. The profile dialog is made to show images_
    // before the cancel.
    AddSeen half = Add({kImageTitle, other_, Quoted({"y.jpeg", "x.jpg"})}, {kProfileTitle, images_, ""});
    EXPECT_TRUE(SameFolder(half.image.startFolder, images_)) << half.image.startFolder;
    ASSERT_TRUE(half.profile.appeared && half.profile.closed) << Describe(half.profile);
    EXPECT_TRUE(SameFolder(half.profile.startFolder, profiles_)) << half.profile.startFolder;
    EXPECT_EQ(rig::WaitForWindow("#32770", kProfileTitle, app_.proc.pid, kAbsentMs), nullptr);
    EXPECT_EQ(JobRows(), one);
    std::string trace = app_.Trace();
    EXPECT_NE(trace.find("FileBuffer: " + other_ + "\n"), std::string::npos) << trace;
    EXPECT_EQ(CountOf(trace, "Profile File Buffer: "), 1u) << trace;

    // The next Add: the image dialog starts in other_, the profile dialog
    // still at q.dnp's folder.
    AddSeen next = Add({kImageTitle, "", "x.jpg"}, {kProfileTitle, "", "r.dnf"});
    EXPECT_TRUE(SameFolder(next.image.startFolder, other_)) << next.image.startFolder;
    EXPECT_TRUE(SameFolder(next.profile.startFolder, profiles_)) << next.profile.startFolder;
    EXPECT_EQ(JobRows(), (Rows{one[0], {Join(other_, "x.jpg"), Join(profiles_, "r.dnf")}}));
}

TEST_F(JobListApp, NamesOfFilesThatDoNotExistAreRefusedAndAddNothing)
{
    // Both dialogs take existing files only: a name that resolves to nothing
    // raises the dialog's box (answered here), the dialog stays open, and the
    // test then cancels it.
    AddSeen image = Add({kImageTitle, images_, "missing.bmp"}, {kProfileTitle, "", ""});
    EXPECT_FALSE(image.image.confirmed);
    EXPECT_TRUE(image.image.closed);
    ASSERT_EQ(image.image.boxes.size(), 1u) << Describe(image.image);
    RecordProperty("image_box", image.image.boxes[0]);
    EXPECT_FALSE(image.profile.appeared);

    AddSeen profile = Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "missing.dnp"});
    EXPECT_TRUE(profile.image.confirmed) << Describe(profile.image);
    EXPECT_FALSE(profile.profile.confirmed);
    EXPECT_TRUE(profile.profile.closed);
    EXPECT_EQ(profile.profile.boxes.size(), 1u) << Describe(profile.profile);

    EXPECT_TRUE(JobRows().empty());
    EXPECT_EQ(CountOf(app_.Trace(), "Profile File Buffer: "), 0u) << app_.Trace();
}

} // namespace
