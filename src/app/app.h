// Application shell: the main dialog, its output format selector and help.
#pragma once

#include <windows.h>

// The main dialog's procedure; only dispatches (user interface thread).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Fills the output format selector and preselects "Bitmap"; fatal if refused.
int InitFormatSelector();
// Shows the help text in an information box owned by the main dialog.
void ShowHelp();

// The help text, one string of lines each ended by a line feed.
extern const char HelpText[];
