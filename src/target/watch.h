// The watch over Neat Image during a run: its main window must still be
// there, and no window of its process may be asking a question or reporting
// an error that Tolvane did not expect. Either is reported within seconds as a
// fault (target/fault.h), with a message that says what happened.
#pragma once

#include <windows.h>

#include "target/fault.h"

// Start of a run (batch worker): records the process that owns the target
// main window, which every later look examines, and forgets what the last
// run left (a Stop may have ended it inside "&Apply").
void WatchBegin();
// Whether Neat Image has closed: its main window or its process is gone.
bool TargetGone();
// Reports that Neat Image has closed (batch worker): a fault of the kind
// Closed when its process ended with exit code 0, as when someone closes it;
// Crashed for any other code; NotResponding when the freeze watch ended it.
// The text is "Neat Image has closed" in every case.
[[noreturn]] void RaiseClosed();

// Neat Image's process as the run knows it: its executable (empty when it
// could not be read), its handle, its exit code (STILL_ACTIVE while it runs).
const wchar_t* TargetExecutable();
HANDLE TargetProcessHandle();
DWORD TargetExitCode();
// The exit code Tolvane gives a Neat Image that it ends.
constexpr UINT kEndedByTolvane = 0xDEAD;
// Ends Neat Image's process and waits (bounded) until it is gone; true when
// it is gone (batch worker, or the freeze watch).
bool EndTargetProcess();

// What the step at hand expects Neat Image to show (batch worker). Only the
// main window, the hidden application window, the progress window and what
// is expected here may be visible with a caption.
// A file dialog being awaited: a "#32770" with one of these titles, owned by
// the application window.
void WatchExpectFileDialog(const char* const* titles, int count);
// A window that the step has found or pressed: this very window, and
// nothing else.
void WatchExpectWindow(HWND window);
// The JPEG options window while it is awaited.
void WatchExpectJpegOptions();
// Nothing beyond the windows that are always there.
void WatchExpectNothing();

// On the batch worker: looks at Neat Image once. Its main window gone is a
// fault of the kind Closed ("Neat Image has closed"); a box of its own fails
// the job (Neat Image is showing "<caption>": <text>).
void WatchTarget();

// Marks the stretch in which the worker waits inside the sent "&Apply"; during
// it the progress tick looks instead (batch worker).
void WatchInsideApply(bool inside);
// On the user interface thread, from the progress tick: the same look, while
// the worker waits inside "&Apply" and cannot look itself. Returns the
// message of what it saw, with the box in *box (none when Neat Image has
// closed); nullptr when all is as expected or the worker is not inside
// "&Apply". The caller decides what follows.
const char* WatchTargetFromTick(HWND* box);
