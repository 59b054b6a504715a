// The batch worker: runs every job of the job list through Neat Image, in row
// order, on a thread of its own.
//
// It reaches the dialog's controls only through sent messages, which the user
// interface thread serves; so it advances only while that thread keeps
// retrieving messages.
#include "app/resource.h"
#include "batch/batch.h"
#include "diag/diag.h"
#include "target/target.h"
#include "tolvane.h"

#include <commctrl.h>

#include <cstring>

namespace {

// Reads one column of a job-list row into buf (256 bytes), with a text limit
// of 255. False when the control refuses the read.
bool ReadJobText(int row, int column, char* buf)
{
    LVITEMA item = {};
    item.mask = LVIF_TEXT;
    item.iItem = row;
    item.iSubItem = column;
    item.pszText = buf;
    item.cchTextMax = 255;
    buf[0] = '\0';
    if (!SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return false;
    // The control may point pszText at its own copy instead of filling ours.
    if (item.pszText != buf && item.pszText != nullptr)
        std::strncpy(buf, item.pszText, 254);
    // At most 254 characters, as the text limit of 255 gives on Windows. Wine's
    // list view fills all 255 bytes of a longer text and leaves no terminator.
    buf[254] = '\0';
    buf[255] = '\0';
    return true;
}

// True when the row no longer exists: rows removed during the run.
bool RowIsGone(int row)
{
    return row >= static_cast<int>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0));
}

} // namespace

DWORD WINAPI BatchWorker(LPVOID)
{
    Batch.imagesDone = 0;
    Batch.imageTotal = static_cast<LONG>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0));
    Batch.batchStartTick = GetTickCount();

    if (IsDlgButtonChecked(MainDialog, IDC_IDLE_PRIORITY)) {
        if (!SetTargetPriorityClass(IDLE_PRIORITY_CLASS))
            MessageBoxA(MainDialog,
                        "Could not set Idle Priority.  This should not cause any \nproblems, but may make your "
                        "machine less responsive while \nNeat Image is processing images.",
                        "Tolvane warning", MB_OK);
    } else {
        SetTargetPriorityClass(NORMAL_PRIORITY_CLASS);
    }
    SetTimer(MainDialog, PROGRESS_TIMER_ID, PROGRESS_TIMER_PERIOD_MS, ProgressTimerProc);

    char imagePath[256];
    char profilePath[256];
    // Two 10-digit counts and a 254-character path, with room to spare.
    char status[300];

    while (Batch.imagesDone < Batch.imageTotal) {
        LONG i = Batch.imagesDone;
        if (!ReadJobText(i, 0, imagePath)) {
            // Rows removed during the run end it as if the last row was
            // reached; a row that exists but cannot be read is an error.
            if (RowIsGone(i))
                break;
            FatalError("Unknown error getting next image in list");
        }
        if (!ReadJobText(i, 1, profilePath)) {
            if (RowIsGone(i))
                break;
            FatalError("Unknown error getting next profile in list");
        }
        FormatText(status, sizeof status, "Processing: %d of %d -- %s", static_cast<int>(i + 1),
                   static_cast<int>(Batch.imageTotal), imagePath);
        SetDlgItemTextA(MainDialog, IDC_STATUS, status);
        Batch.imageStartTick = GetTickCount();
        ProcessImage(imagePath, profilePath);
        Batch.imagesDone = i + 1;
    }

    Batch.worker = nullptr;
    Trace("Thread ended...\n\n");
    SetDlgItemTextA(MainDialog, IDC_STATUS, "Processing complete");
    SetDlgItemTextA(MainDialog, IDC_PROGRESS, "");
    KillTimer(MainDialog, PROGRESS_TIMER_ID);
    return 0;
}
