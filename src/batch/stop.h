// The cooperative stop of the batch worker: an event that Stop raises and
// that the worker looks at before every step it takes against Neat Image.
#pragma once

#include <windows.h>

// Clears the stop signal for a new worker and records its thread identifier
// (user interface thread, before the worker is resumed).
void ArmStopSignal(DWORD workerThreadId);
// Raises the stop signal (user interface thread, Stop).
void RaiseStopSignal();
// Lowers it again, so that a worker that could not be terminated goes on.
void LowerStopSignal();

// On the batch worker: ends the worker thread at once when Stop has raised the
// signal. Called before every step that acts on Neat Image, writes the log or
// writes to the dialog, where the worker holds nothing another thread needs.
// Does nothing on any other thread.
void WorkerCheckpoint();
// On the batch worker: pauses for ms milliseconds, waking at once on Stop,
// and then passes a checkpoint. Elsewhere a plain pause.
void WorkerPause(DWORD ms);

// On the user interface thread: waits at most timeoutMs for the thread to
// end, meanwhile serving the messages other threads send to this one (the
// worker's writes to the dialog), but no input, timer or posted message.
// True when the thread has ended.
bool WaitServingSentMessages(HANDLE thread, DWORD timeoutMs);
