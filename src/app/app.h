// Application shell: the main dialog's procedure and help. The controls as
// the rest of the program reaches them are in app/controls.h.
#pragma once

#include <windows.h>

// The main dialog's procedure; only dispatches (user interface thread).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Shows the help text in an information box owned by the main dialog.
void ShowHelp();

// The help text, one string of lines each ended by a line feed.
extern const char HelpText[];
