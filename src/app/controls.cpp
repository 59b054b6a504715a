// The main dialog's controls as the rest of the program reaches them. From
// the batch worker each call is a message sent to the user interface thread,
// which serves it.
#include "app/controls.h"
#include "app/resource.h"
#include "diag/diag.h"
#include "tolvane.h"

HWND MainDialog;
HWND JobList;
HWND OutputFormatCombo;

int InitFormatSelector()
{
    SendMessageA(OutputFormatCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Tiff"));
    SendMessageA(OutputFormatCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("JPEG"));
    SendMessageA(OutputFormatCombo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>("Bitmap"));
#if defined(TOLVANE_TEST_SELECTOR_FAULT)
    // Test build only: ask for an item the selector does not hold, so that the
    // preselection is refused and the fatal path can be exercised.
    const char* initial = "No Such Format";
#else
    const char* initial = "Bitmap";
#endif
    LRESULT r = SendMessageA(OutputFormatCombo, CB_SELECTSTRING, 0, reinterpret_cast<LPARAM>(initial));
    if (r == CB_ERR || r == CB_ERRSPACE)
        FatalError("Could not set up file type combo box.");
    return 1;
}

long OutputFormatIndex()
{
    return static_cast<long>(SendMessageA(OutputFormatCombo, CB_GETCURSEL, 0, 0));
}

bool IdlePriorityChecked()
{
    return IsDlgButtonChecked(MainDialog, IDC_IDLE_PRIORITY) != 0;
}

bool ContinueOnFailureChecked()
{
    return IsDlgButtonChecked(MainDialog, IDC_CONTINUE_ON_FAILURE) != 0;
}

bool FastPacingChecked()
{
    return IsDlgButtonChecked(MainDialog, IDC_FAST_PACING) != 0;
}

void SetStatusLine(const char* text)
{
    SetDlgItemTextA(MainDialog, IDC_STATUS, text);
}

void SetProgressLine(const char* text)
{
    SetDlgItemTextA(MainDialog, IDC_PROGRESS, text);
}

void ShowBox(const char* text, const char* caption)
{
    ShowOwnBox(MainDialog, text, caption, MB_OK);
}
