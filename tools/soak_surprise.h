// What the surprise runs and the carry-on runs of scripts/soak share: the
// plan of a run, what it found, what it works on, and the steps both kinds of
// run take. soak_surprise_plan.cpp makes the plans and sets a run up,
// soak_surprise_run.cpp runs one to Tolvane's "Error" box,
// soak_carry_on_run.cpp one that goes on past its failed job, and
// soak_surprises.cpp repeats them.
#pragma once

#include "soak.h"

#include <windows.h>

#include <random>
#include <string>
#include <vector>

namespace soak {
namespace surprise {

// What one run is made to meet.
struct Plan {
    SurpriseKind kind = SurpriseKind::Closed;
    std::string step; // image-open, profile-open, filter or save
    std::string text; // the box's text, as the stand-in is given it
    int job = 1;      // 1-based: the job at which the surprise comes
    int jobs = kSurpriseJobs;
    bool carryOn = false; // "Continue after a failed job" checked
    DWORD stallMs = kStallMs;
};

// What one run found: the checks it failed, each with a note.
struct RunResult {
    bool stall = false;
    bool wrongMessage = false;
    bool late = false;
    bool eventsAfter = false;
    bool wrongOutput = false;
    bool wrongEnd = false;
    bool leftOpen = false;
    bool other = false;
    bool measured = false;
    double tookMs = 0.0;
    int saved = 0;    // the stand-ins' "saved" events
    int failed = 0;   // "Failed: " lines of the session log
    int restarts = 0; // instances of the stand-in that Tolvane started
    std::vector<std::string> notes;
    void Note(bool& flag, const std::string& s)
    {
        flag = true;
        notes.push_back(s);
    }
};

// What a surprise run works on: its images and profile, their outputs, the
// index of the job with the surprise, and the text of the earlier output the
// replace question must leave alone.
struct RunInputs {
    std::vector<std::string> images;
    std::string profile;
    std::vector<std::string> outputs;
    size_t at = 0;
    std::string kept;
    std::string switches; // for a crash or a freeze: the stand-in's, as Tolvane passes them on
};

// Neat Image's freeze bounds in the probe build of a carry-on run: its window
// answering nothing this long, its filter idle this long.
constexpr DWORD kNoAnswerMs = 5000;
constexpr DWORD kFilterIdleMs = 4000;

// --- Plans, texts and set-up (soak_surprise_plan.cpp) ----------------------------------

std::string Folded(const std::string& text);
std::string Describe(const Plan& p);
Plan RandomPlan(std::mt19937& random, int jobs);
Plan RandomCarryOnPlan(std::mt19937& random, int jobs);
// Whether Tolvane starts Neat Image again after this surprise.
bool Restarts(SurpriseKind kind);
std::string Switches(const Plan& p);
const char* EventOf(SurpriseKind kind);
DWORD BoundOf(SurpriseKind kind);
std::string OneLine(const std::string& text);
bool SetUpRun(const std::string& dir, const Plan& plan, rig::Watchdog& guard, RunInputs& in, Tolvane& app,
              std::string& failure);

// --- One run (soak_surprise_run.cpp, soak_carry_on_run.cpp) ---------------------------

bool CancelStandInDialogs(DWORD pid);
bool OneRun(const std::string& dir, const Plan& plan, rig::Watchdog& guard, RunResult& r, std::string& failure);
bool CarryOnRun(const std::string& dir, const Plan& plan, rig::Watchdog& guard, RunResult& r, std::string& failure);

} // namespace surprise
} // namespace soak
