// The job list, driven through the open dialogs the system really shows: the
// rows that Add appends, where each dialog starts, what the two cancels leave
// behind, Remove, the refused in-place edit, and the two results that do not
// fit their buffers (a selection longer than the image buffer, a single path
// longer than the image start location).
//
// Two kinds of test live here. The JobListApp tests start tolvane.exe and work
// its dialogs from this process, reading the rows across the process boundary
// and each dialog's start folder with CDM_GETFOLDERPATH on memory placed in
// the program. The JobListInProcess tests link the job list code, call AddJobs
// on the test's main thread (inside which the dialogs run their modal loops)
// while a driver thread works the dialogs, and then read ImageStartDir and
// ProfileStartDir directly: the dialog maps a start location that is a file's
// full path to that file's folder, so only the variables tell a full path
// from a folder.
//
// Every file a test selects is created by the test, under a temporary folder
// or (for the drive-root case) with a unique name in C:\, and removed again.
#include "rig.h"
#include "tolvane_app.h"

#include "app/resource.h"
#include "jobs/jobs.h"
#include "tolvane.h"

#include <commctrl.h>
#include <commdlg.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kImageTitle[] = "Select image file(s)";
const char kProfileTitle[] = "Select Noise Profile";
const char kDefaultProfileDir[] = "C:\\Program Files\\Neat Image\\PROFILES";

// The start locations as the program has them before any dialog: read at
// load time, before any test can change them, so every in-process test can
// start from them whatever ran before it in the same process.
const std::string kInitialImageStartDir = ImageStartDir;
const std::string kInitialProfileStartDir = ProfileStartDir;

// Every box a test provokes is answered by the test itself; the watchdog is
// the net for a stray one. Its grace is long enough never to race a test's
// own answer, and short enough to end a stall well inside ctest's timeout.
constexpr DWORD kWatchdogGraceMs = 20000;
// Waits for something that follows at once from an action of the test.
constexpr DWORD kStepMs = 10000;
// How long a window that must NOT appear is looked for.
constexpr DWORD kAbsentMs = 800;

// --- Files ---------------------------------------------------------------------

std::string Join(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

std::string FolderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

bool SameFolder(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

bool MakeFiles(const std::string& folder, const std::vector<std::string>& names)
{
    for (const auto& n : names)
        if (!rig::WriteFileText(Join(folder, n), "test image\r\n"))
            return false;
    return true;
}

// Deletes a folder and everything in it.
void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(Join(folder, "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = Join(folder, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

// A folder below `base` whose full path has exactly `length` characters,
// made of nested segments of at most 100 characters.
std::string MakeDeepFolder(const std::string& base, size_t length)
{
    if (base.empty() || base.size() + 2 > length)
        return std::string();
    std::string path = base;
    while (path.size() < length) {
        size_t remaining = length - path.size();
        size_t segment = remaining - 1 < 100 ? remaining - 1 : 100;
        if (remaining - 1 - segment == 1)
            --segment; // a last segment needs at least one character
        path += "\\" + std::string(segment, 'd');
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
    return path;
}

// The test's own folders and the files it put in C:\, removed on scope exit.
class Scratch {
public:
    ~Scratch()
    {
        for (const auto& f : files_)
            DeleteFileA(f.c_str());
        for (auto it = folders_.rbegin(); it != folders_.rend(); ++it)
            RemoveTree(*it);
    }
    std::string Folder(const std::string& tag)
    {
        std::string f = rig::MakeTempDir(tag);
        if (!f.empty())
            folders_.push_back(f);
        return f;
    }
    // A folder someone else made, removed at the end as well.
    void Adopt(const std::string& folder)
    {
        if (!folder.empty())
            folders_.push_back(folder);
    }
    // A folder that is removed at the end only if this call created it.
    bool EnsureFolder(const std::string& path)
    {
        if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES)
            return true;
        std::string parent = FolderOf(path);
        if (parent.size() > 3 && !EnsureFolder(parent))
            return false;
        if (!CreateDirectoryA(path.c_str(), nullptr))
            return false;
        folders_.push_back(path);
        return true;
    }
    // A file removed at the end (its folder may stay).
    bool File(const std::string& path)
    {
        files_.push_back(path);
        return rig::WriteFileText(path, "test file\r\n");
    }

private:
    std::vector<std::string> folders_;
    std::vector<std::string> files_;
};

// --- The open dialog ---------------------------------------------------------

// The folder an Explorer-style open dialog shows, asked with CDM_GETFOLDERPATH.
// The answer is written through the message's pointer inside the dialog's own
// process, so the buffer is placed there (this works for a dialog of this
// process as well).
std::string DialogFolder(HWND dialog)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return std::string();
    const SIZE_T size = 1024;
    std::string folder;
    void* remote = VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE);
    if (remote) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(dialog, CDM_GETFOLDERPATH, size, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                3000, &result) &&
            static_cast<LONG_PTR>(result) > 0) {
            char text[size] = "";
            SIZE_T got = 0;
            ReadProcessMemory(process, remote, text, size, &got);
            text[size - 1] = '\0';
            folder = text;
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return folder;
}

// The file-name box: an Edit inside a ComboBox inside the ComboBoxEx32 1148.
HWND FileNameBox(HWND dialog)
{
    HWND comboEx = FindWindowExA(dialog, nullptr, "ComboBoxEx32", nullptr);
    return comboEx ? rig::FindDescendant(comboEx, "Edit", nullptr) : nullptr;
}

// Names as a user types several of them: each in double quotes.
std::string Quoted(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& n : names)
        text += (text.empty() ? "\"" : " \"") + n + "\"";
    return text;
}

// Visible "#32770" windows of the process other than the main dialog and the
// given dialog: boxes the dialog raised. Each is answered; its caption and
// text are returned.
std::vector<std::string> AnswerBoxes(DWORD pid, HWND except)
{
    std::vector<std::string> seen;
    for (HWND w : rig::TopWindowsOf(pid)) {
        if (w == except || rig::ClassOf(w) != "#32770" || rig::TitleOf(w) == "Tolvane")
            continue;
        if (rig::TitleOf(w) == kImageTitle || rig::TitleOf(w) == kProfileTitle) {
            // A file dialog raises its boxes under its own caption; a box
            // has a text control with id 0xFFFF, the dialog has none.
            if (!GetDlgItem(w, 0xFFFF))
                continue;
        }
        HWND text = GetDlgItem(w, 0xFFFF);
        seen.push_back(rig::TitleOf(w) + ": " + (text ? rig::TextOf(text) : std::string()));
        rig::AnswerMessageBox(w, IDOK);
        rig::WaitForWindowGone(w, 2000);
    }
    return seen;
}

// What a test does with one file dialog.
struct DialogAction {
    const char* title;
    std::string show; // a folder to open first (typed, then OK), or empty
    std::string type; // the text to confirm with; empty: cancel the dialog
};

// What was seen of one file dialog.
struct DialogSeen {
    bool appeared = false;
    std::string startFolder;        // the folder it showed when it opened
    std::vector<std::string> boxes; // boxes it raised (answered)
    bool confirmed = false;         // gone after Open, without a box
    bool closed = false;            // gone at the end, however
};

// Works one file dialog of process pid as a user would: waits for it, notes
// the folder it starts in, opens `show` by typing it and pressing Open, types
// `type` and presses Open (or presses Cancel). Open is posted, never sent, so
// a box the dialog raises cannot block this thread. A box is answered and the
// dialog then cancelled, so nothing is ever left open.
DialogSeen WorkDialog(DWORD pid, const DialogAction& action, DWORD appearMs = kStepMs)
{
    DialogSeen seen;
    HWND dialog = rig::WaitForWindow("#32770", action.title, pid, appearMs);
    if (!dialog)
        return seen;
    seen.appeared = true;
    auto gone = [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); };
    auto cancel = [&] {
        rig::PostCommand(dialog, IDCANCEL);
        seen.closed = rig::WaitUntil(gone, kStepMs);
        return seen;
    };
    rig::WaitUntil([&] { return !(seen.startFolder = DialogFolder(dialog)).empty(); }, 3000);
    HWND box = FileNameBox(dialog);
    HWND open = GetDlgItem(dialog, IDOK);
    if (!box || !open)
        return cancel();

    if (!action.show.empty() && !SameFolder(DialogFolder(dialog), action.show)) {
        rig::SetText(box, action.show);
        rig::Click(open);
        bool shown = rig::WaitUntil([&] { return SameFolder(DialogFolder(dialog), action.show); }, kStepMs);
        seen.boxes = AnswerBoxes(pid, dialog);
        if (!shown || !seen.boxes.empty())
            return cancel();
    }
    if (action.type.empty())
        return cancel();

    rig::SetText(box, action.type);
    rig::Click(open);
    rig::WaitUntil(
        [&] {
            std::vector<std::string> boxes = AnswerBoxes(pid, dialog);
            seen.boxes.insert(seen.boxes.end(), boxes.begin(), boxes.end());
            return gone() || !boxes.empty();
        },
        kStepMs);
    if (!gone())
        return cancel();
    seen.confirmed = seen.boxes.empty();
    seen.closed = true;
    return seen;
}

std::string Describe(const DialogSeen& s)
{
    std::string d = s.appeared ? "appeared in [" + s.startFolder + "]" : "did not appear";
    if (s.appeared && !s.closed)
        d += ", did not close";
    if (s.confirmed)
        d += ", confirmed";
    for (const auto& b : s.boxes)
        d += ", box {" + b + "}";
    return d;
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The trace without the lines the dialog writes for list view notifications,
// which focus changes may bring at any time.
std::string WithoutNotifications(std::string trace)
{
    const std::string line = "WM_notify\n";
    for (size_t at = trace.find(line); at != std::string::npos; at = trace.find(line, at))
        trace.erase(at, line.size());
    return trace;
}

using Rows = std::vector<std::vector<std::string>>;

// =============================================================================
// tolvane.exe driven from outside
// =============================================================================

class JobListApp : public testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(app_.Start("tolvane", "", true, &error)) << error;
        scratch_.Adopt(app_.dir); // the program's copy, removed once it has ended
        watchdog_.Watch(app_.proc.pid);
        list_ = app_.Item(IDC_JOB_LIST);
        ASSERT_NE(list_, nullptr);
        images_ = scratch_.Folder("jobs-images");
        other_ = scratch_.Folder("jobs-other");
        profiles_ = scratch_.Folder("jobs-profiles");
        ASSERT_FALSE(images_.empty() || other_.empty() || profiles_.empty());
        ASSERT_TRUE(MakeFiles(images_, {"one.bmp", "c.bmp", "a one.bmp", "b.tif", "r0.bmp", "r1.bmp", "r2.bmp",
                                        "r3.bmp", "r4.bmp"}));
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
        if (!image.type.empty() && seen.image.confirmed)
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

    const std::string q = Join(profiles_, "q.dnp"), r = Join(profiles_, "r.dnf");
    const AddCase cases[] = {
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
    ASSERT_EQ(JobRows().size(), 7u);
    EXPECT_EQ(JobRows()[6][0], JobRows()[0][0]) << "the same image twice gives two rows";
    EXPECT_EQ(JobRows()[4][0], "C:\\" + rootB);
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

TEST_F(JobListApp, RemoveDeletesOnlyTheFirstSelectedRow)
{
    const std::string q = Join(profiles_, "q.dnp");
    Add({kImageTitle, images_, Quoted({"r0.bmp", "r1.bmp", "r2.bmp", "r3.bmp", "r4.bmp"})},
        {kProfileTitle, profiles_, "q.dnp"});
    auto row = [&](int i) { return std::vector<std::string>{Join(images_, "r" + std::to_string(i) + ".bmp"), q}; };
    ASSERT_EQ(JobRows(), (Rows{row(0), row(1), row(2), row(3), row(4)}));

    auto remove = [&] {
        size_t removes = CountOf(app_.Trace(), "Remove\n");
        rig::Click(app_.Item(IDC_REMOVE));
        EXPECT_TRUE(rig::WaitUntil([&] { return CountOf(app_.Trace(), "Remove\n") > removes; }));
        EXPECT_TRUE(WaitIdle());
    };

    ASSERT_TRUE(rig::SelectListViewRows(list_, {}));
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(1), row(2), row(3), row(4)})) << "nothing selected: nothing removed";

    ASSERT_TRUE(rig::SelectListViewRows(list_, {1, 3}));
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(2), row(3), row(4)})) << "the second row only";

    // The fourth row is still selected: the next press removes it.
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(2), row(4)}));

    ASSERT_TRUE(rig::SelectListViewRows(list_, {2}));
    remove();
    EXPECT_EQ(JobRows(), (Rows{row(0), row(2)})) << "the last row";
}

TEST_F(JobListApp, InPlaceEditOfARowIsRefused)
{
    const std::string q = Join(profiles_, "q.dnp");
    Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    const Rows before = {{Join(images_, "one.bmp"), q}};
    ASSERT_EQ(JobRows(), before);

    // Ended once with Enter (which asks to keep the new text), once by the
    // edit losing the focus.
    for (UINT end : {static_cast<UINT>(WM_KEYDOWN), static_cast<UINT>(WM_KILLFOCUS)}) {
        SCOPED_TRACE(end == WM_KEYDOWN ? "Enter" : "focus lost");
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutA(list_, LVM_EDITLABELA, 0, 0, SMTO_ABORTIFHUNG, 3000, &result));
        HWND edit = reinterpret_cast<HWND>(result);
        ASSERT_NE(edit, nullptr) << "the list view's style allows starting an edit";
        EXPECT_EQ(rig::TextOf(edit), before[0][0]);
        ASSERT_TRUE(rig::SetText(edit, "C:\\renamed.bmp"));
        EXPECT_EQ(rig::TextOf(edit), "C:\\renamed.bmp");
        if (end == WM_KEYDOWN) {
            PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
            PostMessageA(edit, WM_KEYUP, VK_RETURN, 0);
        } else {
            PostMessageA(edit, WM_KILLFOCUS, 0, 0);
        }
        EXPECT_TRUE(rig::WaitUntil([&] { return !IsWindow(edit); })) << "the edit ended";
        ASSERT_TRUE(WaitIdle());
        EXPECT_EQ(JobRows(), before) << "the row keeps its text";
    }
    EXPECT_NE(app_.Trace().find("WM_notify\n"), std::string::npos);
}

TEST_F(JobListApp, SelectionTooLargeForTheImageBufferAddsNothing)
{
    const std::string q = Join(profiles_, "q.dnp");
    AddSeen set = Add({kImageTitle, images_, "one.bmp"}, {kProfileTitle, profiles_, "q.dnp"});
    ASSERT_TRUE(set.profile.confirmed) << Describe(set.profile);
    const Rows one = {{Join(images_, "one.bmp"), q}};
    ASSERT_EQ(JobRows(), one);

    // 170 names of 50 characters: a result of about 8700 characters, more
    // than the 8191 the image dialog is given.
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
    EXPECT_EQ(warning, "Too many files were selected at once, so none was added.  Select fewer files and try again.");
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
            EXPECT_EQ(warning, "Warning: 1 of the selected files was not added: its path is longer than 254 characters.");
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

// =============================================================================
// The job list code in this process: the remembered values read directly
// =============================================================================

LRESULT CALLBACK OwnerProc(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcA(w, m, wp, lp); }

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
        owner_ = CreateWindowExA(0, wc.lpszClassName, "Jobs test owner", WS_OVERLAPPEDWINDOW, 0, 0, 500, 300,
                                 nullptr, nullptr, wc.hInstance, nullptr);
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
