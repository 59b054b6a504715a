// A job that fails in a way that leaves Neat Image where Tolvane can bring it
// back: a file dialog or the JPEG options window that does not come or does
// not close, a box of Neat Image's or of its file dialog, no proposed name.
// The batch worker decides whether the run carries on from it; bringing Neat
// Image back to rest is here.
#pragma once

#include <windows.h>

#include "target/fault.h"

// On the batch worker: the job has failed for `reason` (FaultKind::JobFailed).
[[noreturn]] void JobFailed(const char* reason);

// The progress tick found this box of Neat Image's while the worker waits
// inside "&Apply", and the run carries on from it (user interface thread):
// keeps its message for the worker and answers the box, so that "&Apply"
// returns.
void FailDuringApply(HWND box, const char* message);
// After "&Apply" returns (batch worker): the job fails if the tick found a
// box meanwhile.
void CheckApplyFailure();
// Forgets a box the tick found for a run that has ended (batch worker, at the
// start of a run).
void ForgetApplyFailure();

// How a window of Neat Image's that stands between it and rest is answered,
// from what it holds: a file dialog is cancelled; a box gets its "No" or
// "Cancel" button, or "OK" when that is its only button, never "Yes"; the
// JPEG options window without those is closed; a box without any button
// (a task dialog, a toolkit's own box) is sent IDCANCEL, then WM_CLOSE if it
// is still there a moment later. None: it cannot be answered.
enum class RestAnswer { CancelFileDialog, PressNo, PressCancel, PressOk, Close, CancelThenClose, None };
struct RestWindowFacts {
    bool fileDialog;  // a "#32770" with a file name box
    bool jpegOptions; // the JPEG options window
    int buttons;      // its visible push buttons
    bool hasNo, hasCancel, hasOk;
};
RestAnswer ChooseRestAnswer(const RestWindowFacts& facts);

// Answers or cancels one window of Neat Image's by ChooseRestAnswer. False
// when it cannot be answered. Any thread: every press is posted, and the one
// wait (before WM_CLOSE) is a fraction of a second.
bool DismissTargetWindow(HWND window);

// On the batch worker, after a failed job: answers and cancels until Neat
// Image is at rest (its main window enabled, none of its boxes or dialogs
// visible, no progress window). A fault when Neat Image closed (Closed) or is
// not at rest within WAIT_TRIES pauses (Contract: its state is then unknown).
void BringTargetToRest();
