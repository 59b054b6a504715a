// The test rig: bounded waits for windows, control access across processes,
// list view and combo box reads, message boxes, and a watchdog. Every wait has
// a limit, so a failing test fails fast and never hangs.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "process.h"

namespace rig {

constexpr DWORD kDefaultWaitMs = 5000;

// --- Top-level windows ---------------------------------------------------------

// One pass over the top-level windows: the first whose class and title equal
// the given ones (nullptr = any) and, when pid is not 0, that belongs to that
// process. Hidden windows count only when includeHidden is set.
HWND FindTopWindow(const char* cls, const char* title, DWORD pid = 0, bool includeHidden = false);
// The same, polled every 20 ms for at most timeoutMs.
HWND WaitForWindow(const char* cls, const char* title, DWORD pid = 0, DWORD timeoutMs = kDefaultWaitMs,
                   bool includeHidden = false);
// Waits for a window to be destroyed or hidden; false on timeout.
bool WaitForWindowGone(HWND window, DWORD timeoutMs = kDefaultWaitMs);
// All visible top-level windows of a process.
std::vector<HWND> TopWindowsOf(DWORD pid);

// --- Controls -----------------------------------------------------------------

// A child control by its id (GetDlgItem).
HWND Control(HWND parent, int id);
// The first descendant of the given class and text (nullptr = any).
HWND FindDescendant(HWND parent, const char* cls, const char* text);
// Direct children, in Z (template) order.
std::vector<HWND> Children(HWND parent);
std::string ClassOf(HWND window);
// WM_GETTEXT with a send timeout, so a hung owner cannot hang the test.
std::string TextOf(HWND window);
// GetWindowTextA: the title without sending a message to the owner.
std::string TitleOf(HWND window);
bool SetText(HWND window, const std::string& text);
// Presses a button by posting BM_CLICK: the press must not wait for whatever
// modal loop (a message box, a file dialog) the click opens.
void Click(HWND button);
// A dialog command as its owner would get it from a control, posted.
void PostCommand(HWND dialog, int id);
int CheckState(HWND button);
LONG_PTR StyleOf(HWND window);

// --- List views and combo boxes of any process --------------------------------

int ListViewCount(HWND listView);
// Rows of a list view of another process: the item structure and the text
// buffers are placed in that process's memory.
std::vector<std::vector<std::string>> ListViewRows(HWND listView, int columns);
// Appends a row to a list view of another process, one text per column, the
// way the program's own Add does (insert column 0, then set the others).
bool AddListViewRow(HWND listView, const std::vector<std::string>& texts);
// Sets the selection of the given rows (and clears it on all others).
bool SelectListViewRows(HWND listView, const std::vector<int>& rows);
std::vector<std::string> ComboItems(HWND combo);
int ComboSelection(HWND combo);
bool SetComboSelection(HWND combo, int index);

// --- Message boxes ------------------------------------------------------------

struct MessageBoxInfo {
    HWND window = nullptr;
    std::string caption;
    std::string text;
};
// Waits for a visible "#32770" box of the given caption (and process, when pid
// is not 0) and reads its text.
bool WaitForMessageBox(const char* caption, MessageBoxInfo* out, DWORD pid = 0, DWORD timeoutMs = kDefaultWaitMs);
// Presses a box's button (IDOK by default) by posting its command.
void AnswerMessageBox(HWND box, int id = IDOK);

// Answers, from a thread of its own, the first box of the given caption that
// this process (or pid) shows, keeping its text: for code under test that
// shows a box on the test's own thread.
class BoxAnswerer {
public:
    explicit BoxAnswerer(const char* caption, DWORD pid = 0, DWORD timeoutMs = kDefaultWaitMs, int answer = IDOK);
    ~BoxAnswerer();
    // Waits for the answering thread; true when a box was answered.
    bool Answered(MessageBoxInfo* info = nullptr);

private:
    std::string caption_;
    bool answered_ = false;
    MessageBoxInfo info_;
    std::thread thread_;
};

// Points this process's standard output at a temporary file for its
// lifetime, so that trace lines written in-process can be read back.
class StdoutCapture {
public:
    StdoutCapture();
    ~StdoutCapture();
    std::string Text() const;

private:
    std::string path_;
    HANDLE file_ = INVALID_HANDLE_VALUE;
    HANDLE saved_ = nullptr;
};

// The program's standard output as the C runtime's text mode writes it has
// CR LF line ends. Gives the text with each CR LF as "\n"; a line feed
// without its carriage return shows as "<bare LF>\n", so that any check for a
// traced line fails on it.
std::string FromTextMode(const std::string& raw);
// The trace without the "WM_notify" lines: the dialog traces one for every
// list view notification, which focus changes bring at any moment, between
// any two lines of the worker's.
std::string WithoutNotifications(std::string trace);
// How often `what` stands in `text` (overlapping occurrences counted).
size_t CountOf(const std::string& text, const std::string& what);

// --- Watchdog -----------------------------------------------------------------

// True for a message box: a "#32770" window with the box's text control
// (0xFFFF) and no file-name box (file dialogs may label with 0xFFFF too).
bool IsMessageBox(HWND window);

// Answers any message box of this process or of the watched processes that
// stays open longer than graceMs (and, when expectedDialogs is not empty, any
// other "#32770" window whose title is not among them), remembering each one
// as "title: text", so that a stray box fails the test or the driver instead
// of stalling it. The programs' expected dialogs are left alone.
class Watchdog {
public:
    explicit Watchdog(DWORD graceMs = 8000, std::vector<std::string> expectedDialogs = {});
    ~Watchdog();
    void Watch(DWORD pid);
    std::vector<std::string> Answered();
    // For the end of a test: answers at once every stray box that is still
    // open (after a short settle, so that a box the test has just answered
    // can close), then lists everything answered, as "{title: text} ...";
    // empty when the watchdog never had to step in.
    std::string Strays();

private:
    void Run();
    std::vector<HWND> FindStrays();
    void Answer(HWND box, bool record);
    DWORD grace_;
    std::vector<std::string> expected_;
    std::atomic<bool> stop_{false};
    std::vector<DWORD> pids_;
    std::vector<std::string> answered_;
    CRITICAL_SECTION lock_;
    std::thread thread_;
};

// --- Files --------------------------------------------------------------------

// A fresh, empty folder for one test (under the system's temporary folder),
// without trailing backslash. Every folder made here is noted; the test
// programs' entry point removes those of a test that passed.
std::string MakeTempDir(const std::string& tag);
// The folders MakeTempDir has made so far, oldest first.
std::vector<std::string> TempDirs();
// Removes the folders made from the index-th on, with all they hold, and
// forgets them. A file that a program just ended still holds is retried for
// a moment. False when something could not be removed.
bool RemoveTempDirs(size_t from = 0);
// Deletes a folder and everything in it; false when something stayed.
bool RemoveTree(const std::string& folder);
bool WriteFileText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
// Milliseconds since an arbitrary start, for bounded polling.
DWORD Now();
// Polls cond every 20 ms for at most timeoutMs.
template <typename Cond>
bool WaitUntil(Cond cond, DWORD timeoutMs = kDefaultWaitMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (cond())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return false;
        Sleep(20);
    }
}

} // namespace rig
