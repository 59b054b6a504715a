// What the two parts of scripts/soak share: the constants of the random
// Stops, Tolvane's fast build started for a part, the jobs and the small
// input images it works on, and the two parts themselves (soak_stops.cpp,
// soak_overnight.cpp).
#pragma once

#include "app/resource.h"
#include "process.h"
#include "rig.h"

#include <windows.h>

#include <string>
#include <vector>

namespace soak {

// The dialog must answer a sent message within this (--answer-ms; 100 ms by
// default, more on a machine busy with other work).
extern double AnswerLimitMs;
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

bool StartTolvane(const std::string& dir, Tolvane& app, std::string& failure);
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

} // namespace soak
