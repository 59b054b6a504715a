// Job list: the list view of image/profile pairs, Add, drops, Remove and the
// list's keys.
#pragma once

#include <windows.h>
#include <commdlg.h>
#include <shellapi.h>

#include "jobs/nextjob.h"
#include "jobs/dialog_result.h"

#include <cstddef>
#include <string>
#include <vector>

// UTF-16 units of the image dialog's result buffer, terminator included: room
// for a folder and more than 20,000 names of 20 characters.
#if defined(TOLVANE_TEST_SELECTION_UNITS)
constexpr std::size_t kSelectionUnits = TOLVANE_TEST_SELECTION_UNITS;
#else
constexpr std::size_t kSelectionUnits = 1u << 19;
#endif

// The images of one Add or drop that become jobs, and how many do not.
struct JobPaths {
    std::vector<std::string> paths; // ANSI full paths, in order
    int tooLong = 0;                // more than kMaxJobPath bytes
    int notInCodePage = 0;          // names the code page cannot hold
    int notImages = 0;              // dropped files outside the image filter
};

// What became of the profile dialog.
enum class ProfileChoice { Cancelled, Taken, TooLong, NotInCodePage };

// Set while an Add or a drop has its dialogs or boxes open (user interface
// thread only).
extern bool AddBusy;

// Inserts the two columns into the job list (user interface thread). Returns 1.
int InitJobColumns(HWND listView);
// Walks the user through the image and profile dialogs and appends one job
// per chosen image (user interface thread).
void AddJobs(HWND owner);
// Queues the files and folders of a WM_DROPFILES as Add would, with one
// profile dialog for them all, and releases the drop (user interface thread).
void AddDroppedJobs(HWND owner, HDROP drop);
// Shows the profile dialog, reusing the members of ofn that it does not set,
// and converts the chosen path into profile (profileSize bytes).
ProfileChoice ChooseProfile(OPENFILENAMEW* ofn, char* profile, std::size_t profileSize);
// Appends one row per path, all with one profile, and keeps answering sent
// messages meanwhile.
void InsertJobs(const std::vector<std::string>& paths, const char* profilePath);
// One "Warning" box for the images that did not become jobs, with a line for
// each reason; or, when the profile was refused, one line for all of them.
void WarnNotAdded(const JobPaths& refused, ProfileChoice profile);
// Removes the first selected job, if any (the Remove button).
void RemoveSelectedJob();
// Removes every selected job (the Delete key).
void RemoveSelectedJobs();
// Removes the rows at these indexes (ascending), from the last up, serving
// the worker's reads between the deletions.
void RemoveRows(const std::vector<int>& rows);
// Serves the messages other threads have sent to this thread, at most every
// 20 ms (*last: the tick of the last time), during a long change of the list.
void ServeSentMessages(DWORD* last);
// Selects every job (Ctrl+A).
void SelectAllJobs();
// A key pressed in the job list (its LVN_KEYDOWN): Delete and Ctrl+A.
void OnJobListKey(WORD key);
// Appends one row: the image path in column 0, the profile path in column 1.
int InsertJob(const char* imagePath, const char* profilePath);
