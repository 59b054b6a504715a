// The open dialogs of the job list as its tests work them, from this process
// or from outside: the files a test selects and their removal (Scratch), the
// folder a dialog shows, and WorkDialog, which works one image or profile
// dialog as a user would and tells what it saw (DialogSeen, Describe).
//
// Every file a test selects is created by the test, under a temporary folder
// or (for the drive-root case) with a unique name in C:\, and removed again.
#pragma once

#include "rig.h"

#include <windows.h>

#include <string>
#include <vector>

namespace dialogs {

const char kImageTitle[] = "Select image file(s)";
const char kProfileTitle[] = "Select Noise Profile";
const char kDefaultProfileDir[] = "C:\\Program Files\\Neat Image\\PROFILES";

// Every box a test provokes is answered by the test itself; the watchdog is
// the net for a stray one. Its grace is long enough never to race a test's
// own answer, and short enough to end a stall well inside ctest's timeout.
constexpr DWORD kWatchdogGraceMs = 20000;
// Waits for something that follows at once from an action of the test.
constexpr DWORD kStepMs = 10000;

using Rows = std::vector<std::vector<std::string>>;

// --- Files ---------------------------------------------------------------------

std::string Join(const std::string& folder, const std::string& name);
std::string FolderOf(const std::string& path);
bool SameFolder(const std::string& a, const std::string& b);
bool MakeFiles(const std::string& folder, const std::vector<std::string>& names);

// Deletes a folder and everything in it.
void RemoveTree(const std::string& folder);

// A folder below `base` whose full path has exactly `length` characters,
// made of nested segments of at most 100 characters.
std::string MakeDeepFolder(const std::string& base, size_t length);

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
std::string DialogFolder(HWND dialog);

// The file-name box: an Edit inside a ComboBox inside the ComboBoxEx32 1148.
HWND FileNameBox(HWND dialog);

// Names as a user types several of them: each in double quotes.
std::string Quoted(const std::vector<std::string>& names);

// Visible "#32770" windows of the process other than the main dialog and the
// given dialog: boxes the dialog raised. Each is answered; its caption and
// text are returned.
std::vector<std::string> AnswerBoxes(DWORD pid, HWND except);

// What a test does with one file dialog.
struct DialogAction {
    const char* title;
    std::string show; // a folder to open first (typed, then OK), or empty
    std::string type; // the text to confirm with; empty: cancel the dialog
    // Typed instead of `type` when not empty: a name the ANSI code page
    // cannot hold reaches the box whole only in UTF-16.
    std::wstring wide = {};
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
DialogSeen WorkDialog(DWORD pid, const DialogAction& action, DWORD appearMs = kStepMs);

std::string Describe(const DialogSeen& s);

} // namespace dialogs
