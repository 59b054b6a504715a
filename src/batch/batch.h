// Batch execution: the shared batch state, Start/Stop, the worker and the
// once-a-second progress display.
#pragma once

#include <windows.h>

#include "batch/progress_text.h"

// The record that the Start/Stop handlers, the batch worker and the progress
// timer share. There is no lock: every field is one aligned machine word that
// is written and read whole, and no field is read-modified-written by two
// threads. The counters and ticks have one writer, the worker; the worker
// handle is stored only by StartBatch while it is none, and cleared by the
// worker at its end of run or by a successful Stop.
struct BatchState {
    HANDLE volatile worker;           // batch worker thread, or none
    volatile LONG imagesDone;         // jobs finished in this run (= current row)
    volatile LONG imageTotal;         // rows in the job list at the start of the run
    volatile DWORD batchStartTick;    // GetTickCount at the start of the run
    volatile DWORD imageStartTick;    // GetTickCount before the current job began
};
extern BatchState Batch;

constexpr UINT_PTR PROGRESS_TIMER_ID = 10000;
constexpr UINT PROGRESS_TIMER_PERIOD_MS = 1000;

// Start button (user interface thread): refuses while a run is active,
// otherwise starts one.
void OnStartButton();
// Finds the target and creates, prioritises and resumes the batch worker.
void StartBatch();
// Stop button (user interface thread): ends the worker wherever it is.
void StopBatch();
// The batch worker's thread routine.
DWORD WINAPI BatchWorker(LPVOID parameter);
// Progress timer callback (user interface thread, once a second).
void CALLBACK ProgressTimerProc(HWND window, UINT message, UINT_PTR timerId, DWORD now);
