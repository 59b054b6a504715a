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

// On the batch worker: marks the stretch in which it waits inside a message
// sent to Neat Image with no bound ("&Apply"). There it holds no lock of this
// process, so that is the one place where Stop may end it.
void WorkerInsideTarget(bool inside);

// What became of a worker that Stop offered to end.
enum class EndWorker { NotInsideTarget, Ended, Refused };
// On the user interface thread: ends the worker with TerminateThread only if
// it is waiting inside Neat Image, checked while it is suspended so that it
// cannot leave that wait meanwhile; otherwise lets it go on to its next
// checkpoint. *error receives the system's error code when ending it failed.
EndWorker EndWorkerInsideTarget(HANDLE worker, DWORD* error);

// Test builds only: holds the process heap lock (TOLVANE_TEST_HEAP_HOLD_MS),
// or a lock that stands for one of the system's (TOLVANE_TEST_LOCK_HOLD_MS),
// for a while after each window enumeration of the batch worker, as a busy
// system may, so that a Stop landing there shows whether it could leave the
// lock held. Elsewhere nothing.
void AfterWindowEnumeration();
// Test builds only: the user interface thread takes that stand-in lock once
// Stop has ended the worker, as its next steps would take the system's.
void AfterStopForTest();

// On the user interface thread: waits at most timeoutMs for the thread to
// end, meanwhile serving the messages other threads send to this one (the
// worker's writes to the dialog), but no input, timer or posted message.
// True when the thread has ended.
bool WaitServingSentMessages(HANDLE thread, DWORD timeoutMs);
