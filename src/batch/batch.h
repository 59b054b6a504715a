// Batch execution: the shared batch state, Start/Stop, the worker and the
// once-a-second progress display.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

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

// --- Pure progress computation ------------------------------------------------

// One tick's inputs, each read once from the shared state.
struct ProgressInput {
    LONG imagesDone;
    LONG imageTotal;
    DWORD batchStartTick;
    DWORD imageStartTick;
    DWORD now;
    bool progressWindowVisible; // a visible progress window was found
    const char* title;          // its title as read (at most 30 characters seen)
};

// Capacity of the progress text, terminator included.
constexpr std::size_t kProgressTextSize = 256;

// Builds the progress line for one tick into out (outSize bytes, always
// terminated). Returns the length written.
std::size_t FormatProgressText(const ProgressInput& in, char* out, std::size_t outSize);

// Appends "%d:%.2d:%.2d" for a signed number of seconds.
std::size_t FormatHms(char* out, std::size_t outSize, long long seconds);

// Reads the percentage from a progress window title of the form
// "Calculating:%d%": the exact prefix, optional white space, an optional sign
// and decimal digits (saturated to the 32-bit range); whatever follows is
// ignored. Anything else gives 0.
int ParseProgressPercent(const char* title);
