// Process-wide state of Tolvane, gathered in one place.
//
// Each value is defined in the .cpp file of the subsystem that writes it. The
// window handles are written once on the user interface thread during
// start-up; the batch state is shared by the user interface thread and the
// batch worker under the rules written beside it in batch/batch.h.
#pragma once

#include <windows.h>

// --- Application shell (app/) ------------------------------------------------
extern HWND MainDialog;        // the modeless main dialog; owner of every box
extern HWND JobList;           // the job list view (control 102)
extern HWND OutputFormatCombo; // the output format selector (control 112)

// --- Job list (jobs/) ----------------------------------------------------------
extern char ImageStartDir[256];   // start location of the image dialog
extern char ProfileStartDir[256]; // start location of the profile dialog

// --- Target application (target/) ---------------------------------------------
extern HWND TargetMainWindow; // main window: menu bar, gets the priority class
extern HWND TargetAppWindow;  // application window: parent of its file dialogs

// --- Diagnostics (diag/) ----------------------------------------------------------
extern char LogPath[1024]; // the session log's path, rebuilt on every open attempt
