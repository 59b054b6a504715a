// A job that fails in a way that leaves Neat Image where Tolvane can bring it
// back: a file dialog or the JPEG options window that does not come or does
// not close, a box of Neat Image's or of its file dialog, no proposed name.
// With "Continue after a failed job" checked, Tolvane brings Neat Image back
// to rest and goes on with the next job; without it, the failure ends the
// process as every failure does.
#pragma once

#include <windows.h>

// Thrown by JobFailed on the batch worker and caught by it around each job.
// The reason is the text the fatal error would have shown; it lives in
// storage of the failure's own until the next failure.
struct JobFailure {
    const char* reason;
};

// Whether failures of the current job may be carried on from; set by the
// worker at the start of each job from the option.
void SetContinueOnFailure(bool enabled);
bool ContinueOnFailure();

// On the batch worker: the job has failed for `reason`. Throws JobFailure when
// carrying on, else ends the process through FatalError(reason).
[[noreturn]] void JobFailed(const char* reason);

// The progress tick found this box of Neat Image's while the worker waits
// inside "&Apply" with carrying on enabled (user interface thread): keeps its
// message for the worker and answers the box, so that "&Apply" returns.
void FailDuringApply(HWND box, const char* message);
// After "&Apply" returns (batch worker): the job fails if the tick found a
// box meanwhile.
void CheckApplyFailure();

// Answers or cancels one window of Neat Image's that stands between it and
// rest: a file dialog or the JPEG options window is cancelled; a box is
// answered with its "No" or "Cancel" button, or "OK" when that is its only
// button, never "Yes". False when it has no such button. Any thread: every
// press is posted.
bool DismissTargetWindow(HWND window);

// On the batch worker, after a failed job: answers and cancels until Neat
// Image is at rest (its main window enabled, none of its boxes or dialogs
// visible, no progress window). Ends the process when Neat Image closed or is
// not at rest within WAIT_TRIES pauses: its state is then unknown.
void BringTargetToRest();
