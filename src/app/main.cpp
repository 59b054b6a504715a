// Process entry: creates the main dialog and runs the message loop.
#include "app/app.h"
#include "app/power.h"
#include "app/resource.h"
#include "target/titles.h"
#include "tolvane.h"

#include <windows.h>
#include <commctrl.h>

// Runs on the user interface thread for the life of the process. The dialog is
// shown by its own WS_VISIBLE style, so the command line and show command are
// not used. Timer callbacks of the progress display arrive through this loop.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    InitCommonControls();
    // The titles of the system's own file dialogs, in its display language,
    // read once before any run can look for them.
    LoadSystemDialogTitles();
    MainDialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, MainDialogProc, 0);

    MSG msg;
    // GetMessage gives -1 only for a bad window filter; never loop on it.
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageA(MainDialog, &msg) || IsCountdownMessage(&msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
