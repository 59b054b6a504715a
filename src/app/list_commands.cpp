// The job list's own commands and its context menu (see list_commands.h).
#include "app/list_commands.h"
#include "app/controls.h"
#include "app/resource.h"
#include "batch/batch.h"
#include "diag/diag.h"
#include "jobs/joblist_io.h"
#include "jobs/jobs.h"
#include "jobs/row_state.h"
#include "tolvane.h"

#include <commctrl.h>
#include <windowsx.h>

#include <cstring>

namespace {

// Starts the program as a user would, detached; the test build's probes
// trace the command line instead, so that no test ever starts Explorer.
bool StartProgram(const char* commandLine)
{
#if defined(TOLVANE_TEST_PROBES)
    Trace("Would start: %s\n", commandLine);
    return true;
#else
    // CreateProcessA may write into the command line: a copy of our own.
    char line[kRowTextSize + 64];
    FormatText(line, sizeof line, "%s", commandLine);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(nullptr, line, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
#endif
}

ProgramLauncher Launcher = StartProgram;

bool IsOutputPath(const char* path)
{
    return (path[0] != '\0' && path[1] == ':' && path[2] == '\\') || (path[0] == '\\' && path[1] == '\\');
}

// Whether Show output can act on this row: a done job whose output Tolvane
// typed as a full path.
bool CanShowOutput(int row)
{
    JobId id = RowIdAt(row);
    return row >= 0 && RowStateOf(id) == RowState::Done && IsOutputPath(RowTextOf(id));
}

// Explorer, opened on the folder of a done job's output with the output
// selected.
void ShowOutput()
{
    int row = ShowOutputRow();
    if (!CanShowOutput(row))
        return;
    const char* output = RowTextOf(RowIdAt(row));
    char command[kRowTextSize + 64];
    ExplorerSelectCommand(command, sizeof command, output);
    Trace("Show output: %s\n", command);
    char text[kRowTextSize + 100];
    DWORD attributes = GetFileAttributesA(output);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
        FormatText(text, sizeof text, "The output %s no longer exists.", output);
        ShowBox(text, "Warning");
    } else if (!Launcher(command)) {
        FormatText(text, sizeof text, "Explorer could not be started to show %s.", output);
        ShowBox(text, "Warning");
    }
}

// Where a menu asked for from the keyboard opens: below the focused row's
// label, brought into view first, or at the list's corner when no row has
// the focus.
POINT KeyboardMenuPoint(HWND list)
{
    POINT at = {0, 0};
    int focused = static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0) {
        SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(focused), FALSE);
        RECT label = {};
        label.left = LVIR_LABEL;
        if (SendMessageA(list, LVM_GETITEMRECT, static_cast<WPARAM>(focused), reinterpret_cast<LPARAM>(&label))) {
            at.x = label.left;
            at.y = label.bottom;
        }
    }
    ClientToScreen(list, &at);
    return at;
}

} // namespace

// Built afresh at each right-click, so that its items follow the rows.
HMENU BuildJobListMenu()
{
    HMENU menu = CreatePopupMenu();
    if (menu == nullptr)
        return nullptr;
    // Open and Save have dialogs of their own, as Add has: one at a time.
    UINT files = AddBusy ? MF_GRAYED : MF_ENABLED;
    bool anyDone = !RowsInState(RowState::Done, RowState::Done).empty();
    AppendMenuA(menu, MF_STRING | files, IDC_OPEN_JOB_LIST, "Open job list...");
    AppendMenuA(menu, MF_STRING | files, IDC_SAVE_JOB_LIST, "Save job list...");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING | (anyDone && !AddBusy ? MF_ENABLED : MF_GRAYED), IDC_REMOVE_DONE_JOBS,
                "Remove done jobs");
    AppendMenuA(menu, MF_STRING | (CanShowOutput(ShowOutputRow()) ? MF_ENABLED : MF_GRAYED), IDC_SHOW_OUTPUT,
                "Show output");
    return menu;
}

// WM_CONTEXTMENU comes up from the list (and from its header) to the dialog.
bool OnJobListContextMenu(HWND dialog, HWND from, LPARAM at)
{
    // The list's header passes a click on it up through the list.
    if (from != JobList && GetParent(from) != JobList)
        return false;
    POINT point = {GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    if (point.x == -1 && point.y == -1)
        point = KeyboardMenuPoint(JobList);
    HMENU menu = BuildJobListMenu();
    if (menu == nullptr)
        return true;
    // The chosen item comes to the dialog as WM_COMMAND, as the buttons' do.
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, point.x, point.y, 0, dialog, nullptr);
    DestroyMenu(menu);
    return true;
}

// The menu's items and automation reach these through the same WM_COMMAND.
bool OnJobListCommand(HWND dialog, int id)
{
    switch (id) {
    case IDC_OPEN_JOB_LIST:
        Trace("Open job list\n");
        OpenJobList(dialog);
        return true;
    case IDC_SAVE_JOB_LIST:
        Trace("Save job list\n");
        SaveJobList(dialog);
        return true;
    case IDC_REMOVE_DONE_JOBS:
        Trace("Remove done jobs\n");
        RemoveDoneJobs();
        return true;
    case IDC_SHOW_OUTPUT:
        ShowOutput();
        return true;
    default:
        return false;
    }
}

// A right-click gives the clicked row the focus; from the keyboard the
// focused row is the one the menu opened at.
int ShowOutputRow()
{
    int focused = static_cast<int>(SendMessageA(JobList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED));
    if (focused >= 0 &&
        (SendMessageA(JobList, LVM_GETITEMSTATE, static_cast<WPARAM>(focused), LVIS_SELECTED) & LVIS_SELECTED) != 0)
        return focused;
    return static_cast<int>(SendMessageA(JobList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// Quoted, so that a path with blanks or commas reaches Explorer whole.
std::size_t ExplorerSelectCommand(char* out, std::size_t outSize, const char* path)
{
    return FormatText(out, outSize, "explorer.exe /select,\"%s\"", path);
}

// The seam through which tests see what would be started.
void SetProgramLauncher(ProgramLauncher launcher)
{
    Launcher = launcher != nullptr ? launcher : StartProgram;
}

// Only once the worker is gone: a worker Stop could not end goes on with
// its job.
void AfterStopButton()
{
    if (Batch.worker.load(std::memory_order_relaxed) == nullptr)
        RowsAfterStop();
}

// Closing ends the process and the worker with it: the jobs it did not
// finish are kept first.
void BeforeDialogCloses()
{
    if (Batch.worker.load(std::memory_order_relaxed) != nullptr)
        WriteUnfinishedJobs();
}
