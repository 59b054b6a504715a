// The main dialog's procedure: it dispatches each message to the subsystem
// that handles it.
#include "app/app.h"
#include "app/controls.h"
#include "app/power.h"
#include "app/list_commands.h"
#include "app/resource.h"
#include "batch/batch.h"
#include "diag/diag.h"
#include "jobs/jobs.h"
#include "jobs/row_state.h"
#include "tolvane.h"

#include <commctrl.h>

namespace {

// WM_INITDIALOG: icon, controls, columns, selector, default option state.
// MainDialog is not yet set here (CreateDialogParam has not returned), which is
// why a fatal error during initialisation shows its box without an owner.
void OnInitDialog(HWND dialog)
{
    Trace("In INIT_DIALOG");
    SendMessageA(dialog, WM_SETICON, ICON_BIG,
                 reinterpret_cast<LPARAM>(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_APP))));
    InitCommonControls();
    // By class and caption, not by id: "listView1" is the caption the
    // template gives the list, and a list view of any other caption is not
    // the job list.
    JobList = FindWindowExA(dialog, nullptr, "SysListView32", "listView1");
    OutputFormatCombo = FindWindowExA(dialog, nullptr, "ComboBox", nullptr);
    InitJobColumns(JobList);
    InitRowStates(JobList);
    InitFormatSelector();
    ShowWindow(JobList, SW_SHOWNORMAL);
    CheckDlgButton(dialog, IDC_IDLE_PRIORITY, BST_CHECKED);
    InitWhenDone(dialog);
    // Files and folders dropped from Explorer, on the dialog or on the list
    // (a child without the style passes its drops up to the dialog).
    DragAcceptFiles(dialog, TRUE);
}

// WM_COMMAND: dispatch on the control id alone; the notification code is not
// looked at, so any notification of a button acts like a click. IDOK and
// IDCANCEL (Enter and Escape) fall through and do nothing.
void OnCommand(HWND dialog, int id)
{
    switch (id) {
    case IDC_ADD:
        Trace("Add\n");
        AddJobs(dialog);
        break;
    case IDC_REMOVE:
        Trace("Remove\n");
        RemoveSelectedJob();
        break;
    case IDC_START:
        Trace("Start\n");
        OnStartButton();
        break;
    case IDC_STOP:
        Trace("Stop\n");
        StopBatch();
        AfterStopButton();
        break;
    case IDC_HELP:
        ShowHelp();
        break;
    default:
        OnJobListCommand(dialog, id);
        break;
    }
}

} // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnInitDialog(dialog);
        return TRUE;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam));
        return TRUE;
    case WM_RUN_PHASE:
        OnRunPhase(wParam, lParam);
        return TRUE;
    case WM_WHEN_DONE:
        StartCountdown(static_cast<WhenDone>(wParam));
        return TRUE;
    case WM_ROW_STATE:
        OnRowStateMessage(lParam);
        return TRUE;
    case WM_CONTEXTMENU:
        return OnJobListContextMenu(dialog, reinterpret_cast<HWND>(wParam), lParam) ? TRUE : FALSE;
    case WM_NOTIFY:
        // Handled without a message result: every notification is answered
        // with 0, which also refuses an in-place edit of a job's text.
        Trace("WM_notify\n");
        // Delete and Ctrl+A in the job list.
        if (reinterpret_cast<const NMHDR*>(lParam)->hwndFrom == JobList &&
            reinterpret_cast<const NMHDR*>(lParam)->code == LVN_KEYDOWN)
            OnJobListKey(reinterpret_cast<const NMLVKEYDOWN*>(lParam)->wVKey);
        // Infotips and the records of deleted rows.
        if (reinterpret_cast<const NMHDR*>(lParam)->hwndFrom == JobList)
            OnJobListRowNotify(reinterpret_cast<NMHDR*>(lParam));
        return TRUE;
    case WM_DROPFILES:
        AddDroppedJobs(dialog, reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case WM_CLOSE:
        Trace("Closing dialog...\n");
        BeforeDialogCloses();
        DestroyWindow(dialog);
        return TRUE;
    case WM_DESTROY:
        PostQuitMessage(0);
        return TRUE;
    default:
        return FALSE;
    }
}
