// What the parts of scripts/soak share: the constants of the random Stops
// and of the surprises, Tolvane's fast build started for a part, its options,
// the jobs and the small input images it works on, and the parts themselves
// (soak_stops.cpp, soak_overnight.cpp, soak_surprises.cpp).
#pragma once

#include "app/resource.h"
#include "process.h"
#include "rig.h"

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace soak {

// The dialog must answer a sent message within this (--answer-ms; 100 ms by
// default, more on a machine busy with other work).
extern double AnswerLimitMs;
// --fast: the random Stops and the surprises run with "Fast pacing" checked.
extern bool FastPacing;
// The random Stops: when not 0, Tolvane's test build that holds the process
// heap lock this many milliseconds after each of the worker's window
// enumerations (and through its pauses) is the one stopped.
extern unsigned HeapHoldMs;
constexpr DWORD kBoxLimitMs = 10000; // no box by then: the Stop hung
constexpr int kStopJobs = 3;         // jobs in each run of the random Stops

// --- Tolvane and its jobs -----------------------------------------------------------

// A copy of the fast build in `dir`, started with the menu bridge, and its dialog.
struct Tolvane {
    rig::Process proc;
    HWND dialog = nullptr;
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::string Status() const { return rig::TextOf(Item(IDC_STATUS)); }
    void Press(int id) const { rig::Click(Item(id)); }
    ~Tolvane() { rig::EndProgram(proc); }
};

// `build` names the test build copied (the fast one when empty); a heap
// hold asks for the build that holds the heap lock.
bool StartTolvane(const std::string& dir, Tolvane& app, std::string& failure, unsigned heapHoldMs = 0,
                  const std::string& build = "");
// Checks a check box of the dialog (clicked only when it is not checked yet)
// and waits until it reads BST_CHECKED. False when it does not.
bool CheckOption(const Tolvane& app, int id);
// "Fast pacing" checked when FastPacing is set. False (with the reason) when
// the box would not take it.
bool ApplyPacing(const Tolvane& app, std::string& failure);
bool AddJobs(const Tolvane& app, const std::vector<std::string>& images, const std::string& profile, int count);
bool SelectFormat(const Tolvane& app, const std::string& text);
// Small noisy images and a profile in `dir`.
bool WriteInputs(const std::string& dir, int count, std::vector<std::string>& images, std::string& profile);

// --- Random Stops (soak_stops.cpp) ----------------------------------------------------

struct StopFigures {
    int stops = 0;
    int hangs = 0;
    int lateSteps = 0;     // Stops after whose box the stand-in journaled a step
    int slowAnswers = 0;   // Stops during which the dialog once answered late or not at all
    int wrongStarts = 0;   // Starts that did not begin at the first row
    int otherFailures = 0; // wrong box text, wrong status, a stand-in that would not settle, a stray box
    int missed = 0;        // runs that ended before the Stop (not counted)
    int ignored = 0;       // commands the stand-in ignored: they came while it could not take them
    int wrongOutputs = 0;  // outputs saved unfiltered or in another format than chosen
    std::vector<double> stopToBoxMs;
    double worstAnswerMs = 0.0;
    std::vector<std::string> notes; // the first few failures, described
    void Note(const std::string& s)
    {
        if (notes.size() < 20)
            notes.push_back(s);
    }
};

// `count` Stops at random instants of runs of kStopJobs jobs, in `out`\stops.
// False (with the reason) when the set-up failed or too few Stops landed.
bool RandomStops(const std::string& out, int count, unsigned seed, StopFigures& fig, std::string& failure);

// --- Overnight run (soak_overnight.cpp) -------------------------------------------------

// One run of `jobs` jobs in `out`\overnight; the growth figures go to `report`.
bool Overnight(const std::string& out, int jobs, std::string& report, std::string& failure);

// --- Surprises (soak_surprises.cpp) ----------------------------------------------------

constexpr int kSurpriseJobs = 3;       // jobs of each surprise run; the surprise comes at one of them
constexpr DWORD kClosedBoundMs = 2000; // Neat Image closing: "Neat Image has closed" by then
constexpr DWORD kBoxBoundMs = 3000;    // a box of Neat Image's, the replace question: its message by then
constexpr DWORD kStallMs = 30000;      // no message by then: the run stalled

// Closed, Box and Replace end a run with Tolvane's "Error" box; with
// "Continue after a failed job" a Box or the replace question fails its job,
// and Neat Image crashing (Crash) or freezing (Freeze) fails its job and gets
// Neat Image started again.
enum class SurpriseKind { Closed = 0, Box, Replace, Crash, Freeze };
constexpr int kSurpriseKinds = 5;

struct SurpriseKindFigures {
    int runs = 0;
    std::map<std::string, int> steps;        // runs per step of the surprise
    std::vector<double> surpriseToMessageMs; // journal tick of the surprise to the "Error" box seen
};

struct SurpriseFigures {
    int runs = 0;
    SurpriseKindFigures kinds[3];   // by SurpriseKind
    int atJob[kSurpriseJobs] = {};  // runs per job of the surprise
    int stalls = 0;                 // no "Error" box within kStallMs
    int wrongMessages = 0;          // the box's text, or the end of the session log, not the message
    int lateMessages = 0;           // the box later than the kind's bound
    int eventsAfter = 0;            // runs in which the stand-in journaled something after the surprise
    int wrongOutputs = 0;           // an output after the surprise, a missing earlier one, a replaced one
    int otherFailures = 0;          // exit code, the box's owner, the stand-in's own box or end, a stray box
    std::vector<std::string> notes; // the first few failures, described
    void Note(const std::string& s)
    {
        if (notes.size() < 30)
            notes.push_back(s);
    }
};

// `count` runs in `out`\surprises, each with one random surprise at a random
// job and step. False (with the reason) when the set-up failed repeatedly.
bool RandomSurprises(const std::string& out, int count, unsigned seed, SurpriseFigures& fig, std::string& failure);

// --- Surprises with "Continue after a failed job" (soak_surprises.cpp) ------------------

constexpr int kCarryOnJobs = 4;          // jobs of each carry-on run; the surprise comes at one of them
constexpr DWORD kCarryOnStallMs = 60000; // no end of the run (or fatal box) by then: the run stalled

struct CarryOnFigures {
    int runs = 0;
    int kinds[kSurpriseKinds] = {}; // runs by SurpriseKind
    int atJob[kCarryOnJobs] = {};   // runs per job of the surprise
    int restarts = 0;               // instances of Neat Image that Tolvane started again
    int jobsSaved = 0;              // the stand-in's "saved" events over all runs
    int jobsFailed = 0;             // "Failed: " lines over all session logs
    int wrongOutputs = 0;           // runs with a missing, an unexpected or a replaced output
    int stalls = 0;                 // no end within kCarryOnStallMs
    int wrongMessages = 0;          // runs whose "Failed: " line, summary, status or "Error" box was not the one due
    int wrongEnds = 0;              // runs that ended otherwise than due: Tolvane ended, showed a box, stopped
    int leftOpen = 0;               // runs after which Neat Image was not at rest
    int otherFailures = 0;          // the stand-in's journal, its exit, a stray box
    std::vector<std::string> notes; // the first few failures, described
    void Note(const std::string& s)
    {
        if (notes.size() < 30)
            notes.push_back(s);
    }
};

// `count` runs in `out`\carry-on, with "Continue after a failed job"
// checked and one random surprise at a random job. False (with the reason)
// when the set-up failed repeatedly.
bool RandomCarryOn(const std::string& out, int count, unsigned seed, CarryOnFigures& fig, std::string& failure);

} // namespace soak
