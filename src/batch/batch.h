// Batch execution: the shared batch state, Start/Stop, the worker and the
// once-a-second progress display.
#pragma once

#include <windows.h>

#include "batch/progress_text.h"
#include "batch/run_summary.h"

#include <atomic>

// The record that the Start/Stop handlers, the batch worker and the progress
// timer share. There is no lock: every field is one atomic machine word, read
// and written whole with relaxed ordering, and no field is read-modify-written
// by two threads. The counters and ticks have one writer, the worker; the
// worker handle is stored only by StartBatch while it is none, and cleared by
// the worker at its end of run or by a successful Stop.
struct BatchState {
    std::atomic<HANDLE> worker{nullptr};  // batch worker thread, or none
    std::atomic<LONG> imagesDone{0};      // jobs of this run taken so far
    std::atomic<LONG> imageTotal{0};      // rows in the job list at the start of the run
    std::atomic<DWORD> batchStartTick{0}; // GetTickCount at the start of the run
    std::atomic<DWORD> imageStartTick{0}; // GetTickCount before the current job began
    std::atomic<LONG> processed{0};       // jobs of this run driven to their end
    std::atomic<LONG> skipped{0};         // jobs of this run skipped (a file gone)
    std::atomic<LONG> failed{0};          // jobs of this run failed and carried on from
    std::atomic<bool> carryOn{false};     // "Continue after a failed job" for the job at hand
};
extern BatchState Batch;

constexpr UINT_PTR PROGRESS_TIMER_ID = 10000;
constexpr UINT PROGRESS_TIMER_PERIOD_MS = 1000;

// Start button (user interface thread): refuses while a run is active,
// otherwise starts one.
void OnStartButton();
// Finds the target and creates, prioritises and resumes the batch worker.
void StartBatch();
// Stop button (user interface thread): asks the worker to stop, waits a
// little for it while serving its messages, and terminates it only when it is
// blocked inside Neat Image; then reports the stop.
void StopBatch();
// How long Stop waits for the worker to leave by itself.
constexpr DWORD STOP_GRACE_MS = 2000;
// The batch worker's thread routine.
DWORD WINAPI BatchWorker(LPVOID parameter);
// The worker's requests to the user interface thread, sent to the main
// dialog: the progress timer belongs to the dialog's own thread, so the worker
// asks that thread to start it (kRunBegins) and to end the run (kRunEnds,
// with the RunEndCause as lParam).
constexpr UINT WM_RUN_PHASE = WM_APP + 1;
constexpr WPARAM kRunBegins = 1;
constexpr WPARAM kRunEnds = 0;
// Handles WM_RUN_PHASE (user interface thread).
void OnRunPhase(WPARAM phase, LPARAM cause);

// How a run ends.
enum class RunEndCause {
    Finished,          // the worker went through all its jobs
    StoppedOnFailures, // the worker stopped after failures in a row
    StopPressed,       // the user pressed Stop
    Fatal,             // a fatal error, on either thread
};
// The one end of a run (user interface thread): its log line, the progress
// display and the keep-awake ended (a run the worker ended then gets its
// status line from the worker); Stop's "Success" box and status; for a fatal
// error the worker is asked to stop, so that nothing of it goes on behind the
// error box.
void EndRun(RunEndCause cause);
// The fatal error's first step while a run is in progress, on whichever
// thread meets it: EndRun(RunEndCause::Fatal) on the user interface thread.
void EndRunByFatalError();

// Starts the progress display of a run (user interface thread).
void StartProgressDisplay();
// Ends the progress display of a run (user interface thread): the timer is
// killed and a tick still in the queue writes nothing.
void EndProgressDisplay();
// Keeps the PC from sleeping while a run is in progress, or lets it sleep
// again (user interface thread). The display may still turn off.
void KeepSystemAwake(bool awake);
// Writes the run's closing line to the session log.
void LogRunSummary(RunEnd end);

// Progress timer callback (user interface thread, once a second).
void CALLBACK ProgressTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD now);
