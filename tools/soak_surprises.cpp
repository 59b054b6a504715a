// The surprises of scripts/soak: runs against the stand-in, each with one
// surprise of an unattended night at a random job and step, made to happen
// for real by a switch of the stand-in:
//
// - Neat Image closing (--exit-at image-open|profile-open|filter|save):
//   "Neat Image has closed" within 2 s;
// - a box of Neat Image's (--box-at image-open|filter|save TEXT):
//   Neat Image is showing "Neat Image": TEXT within 3 s;
// - the replace question of its Save As dialog (--confirm-overwrite, with
//   one job's output there beforehand): Neat Image is showing "Confirm Save
//   As": <output> already exists. Do you want to replace it? within 3 s.
//
// The stand-in's switches act at every matching step, so the surprise comes
// at the first job that reaches its step. The replace question is put at job
// k by letting only job k's output exist beforehand: one run of all the jobs.
// Closing and the box come at the first job of a run, so for job k the same
// Tolvane first runs jobs 1 .. k-1 to the end against a stand-in without the
// switch; the stand-in is then started again with the switch, those rows are
// removed, and the second run begins at job k.
//
// Each run must end with Tolvane's "Error" box carrying exactly the message,
// within the bound, counted from the stand-in's journal tick of the surprise
// to the moment the box is seen (both GetTickCount); Tolvane must exit with
// -1, its session log must end with the message, the run's closing line
// "Run ended by an error: ..." right before it; the stand-in must journal
// nothing after the surprise; and no job from the surprise on may leave an
// output (an output that was there beforehand stays byte for byte). The
// stand-in's own box is answered here (No to the replace question), and both
// programs are ended after each run.
//
// The carry-on runs do the same with "Continue after a failed job" checked
// and four jobs. A box of Neat Image's (put at job k with --box-only and that
// job's file name) and the replace question (job k's output alone there
// beforehand) come in one run of all the jobs, which must go on: the status
// "Processing complete (1 job failed)", one "Failed: <image>: <message>" line
// in the session log, outputs for every other job and none for job k (but
// for a box after its save), the existing output byte for byte, and Neat
// Image left at rest (no box or dialog of its own up, its main window
// enabled). Neat Image crashing (--exit-at) or freezing (--hang-at) comes
// once, at job k (--surprise-only with its file name, --once with a marker
// file): Tolvane, the probe build with its freeze bounds shortened, must fail
// that job with the crash's or the freeze's reason and start Neat Image
// again, exactly once: the new instance takes its switches from the
// environment Tolvane passes on, goes on with the next job, and is the one
// left at rest. Neat Image closing stays fatal, as above.
#include "soak_surprise.h"

#include "driver_support.h"

#include <random>

namespace soak {

// The plans and the runs themselves are in soak_surprise_plan.cpp,
// soak_surprise_run.cpp and soak_carry_on_run.cpp.
using namespace surprise;

bool RandomSurprises(const std::string& out, int count, unsigned seed, SurpriseFigures& fig, std::string& failure)
{
    const std::string root = paths::JoinPath(out, "surprises");
    tools::EnsureFolder(root);
    // Stray boxes only, and only after the stall limit: the surprise's own
    // box must stay up until the run is over, to be answered here.
    rig::Watchdog guard(kStallMs + 10000);
    std::mt19937 random(seed);
    int setupFailures = 0;
    size_t straysSeen = 0;
    for (int n = 1; n <= count; ++n) {
        const Plan plan = RandomPlan(random, kSurpriseJobs);

        const std::string dir = paths::JoinPath(root, "run" + std::to_string(n));
        rig::RemoveTree(dir);
        tools::EnsureFolder(dir);
        const std::string label = "Surprise " + std::to_string(n) + " (" + Describe(plan) + ")";
        RunResult r;
        std::string why;
        if (!OneRun(dir, plan, guard, r, why)) {
            // Not a surprise run at all: the set-up failed. A few are tried
            // again; many end the part.
            fig.Note(label + ": set-up failed: " + why);
            if (++setupFailures > 3) {
                failure = "the set-up failed " + std::to_string(setupFailures) + " times; last: " + why;
                return false;
            }
            --n;
            continue;
        }
        std::vector<std::string> strays = guard.Answered();
        if (strays.size() > straysSeen) {
            r.Note(r.other, "a stray box: " + strays.back());
            straysSeen = strays.size();
        }

        ++fig.runs;
        SurpriseKindFigures& k = fig.kinds[static_cast<int>(plan.kind)];
        ++k.runs;
        ++k.steps[plan.step];
        ++fig.atJob[plan.job - 1];
        if (r.measured)
            k.surpriseToMessageMs.push_back(r.tookMs);
        fig.stalls += r.stall;
        fig.wrongMessages += r.wrongMessage;
        fig.lateMessages += r.late;
        fig.eventsAfter += r.eventsAfter;
        fig.wrongOutputs += r.wrongOutput;
        fig.otherFailures += r.other;
        for (const std::string& s : r.notes)
            fig.Note(label + ": " + s);
        if (r.notes.empty())
            rig::RemoveTree(dir); // a run that passed leaves nothing behind
        if (fig.runs % 10 == 0)
            tools::Print("  " + std::to_string(fig.runs) + " surprises\n");
    }
    return true;
}

bool RandomCarryOn(const std::string& out, int count, unsigned seed, CarryOnFigures& fig, std::string& failure)
{
    const std::string root = paths::JoinPath(out, "carry-on");
    tools::EnsureFolder(root);
    // Stray boxes only, after the stall limit: Tolvane answers the
    // stand-in's boxes itself, and its own fatal box is answered here.
    rig::Watchdog guard(kCarryOnStallMs + 10000);
    std::mt19937 random(seed ^ 0x5eedc0deu);
    int setupFailures = 0;
    size_t straysSeen = 0;
    for (int n = 1; n <= count; ++n) {
        const Plan plan = RandomCarryOnPlan(random, kCarryOnJobs);

        const std::string dir = paths::JoinPath(root, "run" + std::to_string(n));
        rig::RemoveTree(dir);
        tools::EnsureFolder(dir);
        const std::string label = "Carry-on " + std::to_string(n) + " (" + Describe(plan) + ")";
        RunResult r;
        std::string why;
        const bool ran = CarryOnRun(dir, plan, guard, r, why);
        if (!ran) {
            fig.Note(label + ": set-up failed: " + why);
            if (++setupFailures > 3) {
                failure = "the set-up failed " + std::to_string(setupFailures) + " times; last: " + why;
                return false;
            }
            --n;
            continue;
        }
        std::vector<std::string> strays = guard.Answered();
        if (strays.size() > straysSeen) {
            r.Note(r.other, "a stray box: " + strays.back());
            straysSeen = strays.size();
        }

        ++fig.runs;
        ++fig.kinds[static_cast<int>(plan.kind)];
        ++fig.atJob[plan.job - 1];
        fig.jobsSaved += r.saved;
        fig.jobsFailed += r.failed;
        fig.restarts += r.restarts;
        fig.stalls += r.stall;
        fig.wrongMessages += r.wrongMessage;
        fig.wrongOutputs += r.wrongOutput;
        fig.wrongEnds += r.wrongEnd;
        fig.leftOpen += r.leftOpen;
        fig.otherFailures += r.other || r.late || r.eventsAfter;
        for (const std::string& s : r.notes)
            fig.Note(label + ": " + s);
        if (r.notes.empty())
            rig::RemoveTree(dir); // a run that passed leaves nothing behind
        if (fig.runs % 10 == 0)
            tools::Print("  " + std::to_string(fig.runs) + " carry-on runs\n");
    }
    return true;
}

} // namespace soak
