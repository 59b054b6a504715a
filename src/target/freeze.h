// The freeze watch: a thread of its own that decides when Neat Image has
// stopped responding, and then ends its process, which also releases a
// worker blocked in a send to it. It acts only while armed (a job run with
// "Continue after a failed job"); a filter that only runs slowly is never
// ended.
#pragma once

#include <windows.h>

// Starts the watch thread for a run, disarmed (batch worker, at the start of
// the run). Ends it for the run: FreezeWatchStop, from any thread.
void FreezeWatchStart();
void FreezeWatchStop();
// Arms or disarms the watch (batch worker: per job, and disarmed while Neat
// Image is started again). Arming starts every count afresh.
void FreezeWatchArm(bool armed);

// Whether Neat Image's main window gave no answer at the watch's last look,
// outside a filter: a wait does not spend its tries meanwhile (batch worker).
bool TargetBusy();
// Whether the watch ended Neat Image's process in this run, with which bound
// in *bound (a text for the log).
bool TargetEndedAsFrozen(const char** bound);
// Forgets that (batch worker, once Neat Image runs again).
void ForgetFrozen();

// The bounds, plain so that they can be tested: outside a filter, its main
// window answers no message for kNoAnswerMs in a row; during a filter, its
// progress has not moved for kFilterIdleMs while its process used no
// processor time (less than a twentieth of that time: an idle process still
// spends a little on the system's upkeep), or for kFilterStallMs at all.
struct FreezeBounds {
    DWORD noAnswerMs;
    DWORD filterIdleMs;
    DWORD filterStallMs;
};
// One second's look, as the watch sees it.
struct FreezeLook {
    bool filtering;    // the progress window is up
    bool answered;     // outside a filter: the main window answered
    int percent;       // during a filter: its progress, -1 unread
    ULONGLONG cpuTime; // the process's processor time, 100 ns units
};
// What the watch remembers between looks.
struct FreezeState {
    bool started = false;
    DWORD lastAnswer = 0;   // tick of the last answer (or of the start)
    DWORD lastProgress = 0; // tick the progress last moved (or the filter began)
    int percent = -1;
    bool wasFiltering = false;
    ULONGLONG cpuAtProgress = 0;
};
// Feeds one look taken at tick `now`; the text of the bound that was hit, or
// nullptr while Neat Image counts as responding.
const char* FreezeVerdict(FreezeState& state, const FreezeLook& look, DWORD now, const FreezeBounds& bounds);
