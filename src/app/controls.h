// The main dialog's controls as the rest of the program reaches them: their
// handles, and one call for each thing read from or written to them.
#pragma once

#include <windows.h>

// Fills the output format selector and preselects "Bitmap"; fatal if refused.
int InitFormatSelector();

// The dialog's controls as the rest of the program uses them. Each is one
// call on the calling thread; from the batch worker it is a message sent to
// the user interface thread, which serves it.
// The output format selector's index (0 "Tiff", 1 "JPEG", 2 "Bitmap"), or -1
// when nothing is selected.
long OutputFormatIndex();
// Whether the idle priority option is checked.
bool IdlePriorityChecked();
// Whether "Continue after a failed job" is checked.
bool ContinueOnFailureChecked();
// Whether "Fast pacing" is checked.
bool FastPacingChecked();
// Writes the status line (control 105) and the progress line (control 110).
void SetStatusLine(const char* text);
void SetProgressLine(const char* text);
// Shows a box with one OK button owned by the main dialog, and returns once
// the user has closed it (the warnings, Stop's "Success" and "Error").
void ShowBox(const char* text, const char* caption);
