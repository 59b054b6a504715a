// What the PC does once a run has ended by itself ("When done"), the
// countdown window before it sleeps or shuts down, and the run's progress on
// the taskbar button. User interface thread, unless said otherwise.
#pragma once

#include <windows.h>

// The items of the "When done" list, in its order.
enum class WhenDone { Nothing = 0, CloseNeatImage = 1, Sleep = 2, ShutDown = 3 };

// Fills the "When done" list of the main dialog and selects "Do nothing".
void InitWhenDone(HWND dialog);
// The item selected now (any thread: from the worker, a sent message).
WhenDone WhenDoneChoice();

// Posted by the worker once a run has ended by itself with "Sleep" or "Shut
// down" chosen: wParam the WhenDone. Starts the countdown window.
constexpr UINT WM_WHEN_DONE = WM_APP + 2;
void StartCountdown(WhenDone action);
// Whether a message belongs to the countdown window (for the message loop).
bool IsCountdownMessage(MSG* msg);

// The run's progress on the dialog's taskbar button: `done` of `total` jobs,
// the error state once a job failed; nothing once the run has ended. Nothing
// happens where the system offers no such button.
void ShowTaskbarProgress(long done, long total, bool failed);
void EndTaskbarProgress();
