// The job list's own commands as the dialog dispatches them: its context menu
// (right-click, Shift+F10 or the menu key), commands 120 to 123 (which
// automation can send too), Show output, and what a Stop or a close during
// a run means for the rows. User interface thread only.
#pragma once

#include <windows.h>

#include <cstddef>

// WM_CONTEXTMENU: the job list's menu when `from` is the list; at the point
// `at` (screen coordinates), or at the focused row when it came from the
// keyboard (lParam -1). False when the message is not the list's.
bool OnJobListContextMenu(HWND dialog, HWND from, LPARAM at);
// The menu as it would be shown now: its items' states follow the rows. The
// caller destroys it.
HMENU BuildJobListMenu();
// Commands IDC_OPEN_JOB_LIST to IDC_SHOW_OUTPUT; false for any other id.
bool OnJobListCommand(HWND dialog, int id);

// The row Show output acts on: the focused row when it is selected, else the
// first selected row, or -1.
int ShowOutputRow();
// The command line that opens Explorer with the file selected:
//   explorer.exe /select,"<path>"
// written into out (outSize bytes, always terminated); returns the length.
std::size_t ExplorerSelectCommand(char* out, std::size_t outSize, const char* path);
// Starts a program from its command line; the product starts it (the test
// build's probes only trace it), tests put their own in its place.
using ProgramLauncher = bool (*)(const char* commandLine);
void SetProgramLauncher(ProgramLauncher launcher);

// After the Stop button: a stopped run leaves its driven job waiting again.
void AfterStopButton();
// WM_CLOSE: while a run is in progress, its unfinished jobs are written to
// their file first.
void BeforeDialogCloses();
