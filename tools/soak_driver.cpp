// Endurance figures for scripts/soak, against the stand-in with the fast test
// build of Tolvane (100 ms pause):
//
// - Random Stops: Start, then Stop at a random instant of the run, many times
//   in a row. Each Stop must bring the "Success" box, the dialog must answer
//   a sent WM_NULL within 100 ms from Stop until the box is answered, the
//   stand-in must journal no step of Tolvane's after the box (only the end of
//   what it was already doing), and the next Start must begin at the first
//   row. Prints the count, the hangs, the late steps and the median and worst
//   time from Stop to the box.
// - Overnight run: one run of many jobs of small images. Samples Tolvane's
//   working set, private bytes and GDI and USER object counts after job 10
//   and at the end, and prints the growth.
// - Surprises: runs of a few jobs, each with one surprise at a random job
//   and step: Neat Image closing, a box of its own, or its replace question.
//   Each must end with Tolvane's "Error" box carrying exactly the message
//   within 2 s (closing) or 3 s, Tolvane exiting with -1, the message last
//   in its session log after the run's closing line, no journal event of the
//   stand-in after the surprise and no output after it. Prints the runs per
//   kind, the median and worst time from the surprise to the message, the
//   stalls, wrong and late messages, events after the surprise and wrong
//   outputs.
//
// - Carry-on surprises: runs of four jobs with "Continue after a failed job"
//   checked, each with one surprise at a random job: a box of Neat Image's,
//   its replace question, Neat Image crashing at any step, or freezing
//   between two steps or in its filter (the probe build, its freeze bounds
//   shortened to 5 s and 4 s). Each must fail that job alone: the status
//   "Processing complete (1 job failed)", one "Failed: <image>: <reason>"
//   line with the exact reason, the other jobs' outputs, none for the failed
//   job (but for a box after its save), an existing output byte for byte,
//   Neat Image left at rest, and after a crash or a freeze exactly one new
//   instance, started by Tolvane. Prints the runs, restarts, jobs saved and
//   failed, wrong outputs, stalls (no end within 60 s), wrong messages, wrong
//   ends and Neat Image not at rest.
//
//   soak_driver [--stops N] [--jobs M] [--surprises K] [--surprises-carry-on C]
//               [--fast] [--out FOLDER] [--seed S] [--answer-ms MS] [--heap-hold MS]
//
// --stops 0, --jobs 0, --surprises 0 or --surprises-carry-on 0 (the default)
// leaves that part out. --fast checks "Fast pacing" before each Start of the
// random Stops and of the surprises. --heap-hold MS stops the test build that
// holds the process heap lock MS ms after each of the worker's window
// enumerations and through its pauses, as a busy system may. Exit code 0 when every Stop and every
// surprise passed its checks and the overnight run completed; 1 when a check
// failed; 2 when the set-up failed; 3 on a usage error.
//
// The random Stops are in soak_stops.cpp, the overnight run in
// soak_overnight.cpp, the surprises in soak_surprises.cpp, the session with
// Tolvane they share in soak_session.cpp.
#include "soak.h"

#include "driver_support.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

namespace soak {
double AnswerLimitMs = 100.0;
bool FastPacing = false;
unsigned HeapHoldMs = 0;
} // namespace soak

namespace {

using soak::kBoxLimitMs;
using tools::Fixed;
using tools::Pad;

const char kUsage[] =
    "usage: soak_driver [--stops N] [--jobs M] [--surprises K] [--surprises-carry-on C] [--fast] [--out FOLDER]\n"
    "                   [--seed S] [--answer-ms MS] [--heap-hold MS]\n";

std::string Milliseconds(const std::vector<double>& v)
{
    if (v.empty())
        return "-";
    return Fixed(tools::Median(v), 0) + " / " + Fixed(*std::max_element(v.begin(), v.end()), 0) + " ms";
}

} // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    tools::CommandLine opt(argc, argv);
    const long stops = opt.Number("--stops", 200);
    const long jobs = opt.Number("--jobs", 1000);
    const long surprises = opt.Number("--surprises", 50);
    const long carryOn = opt.Number("--surprises-carry-on", 0);
    soak::FastPacing = opt.Has("--fast");
    soak::HeapHoldMs = static_cast<unsigned>(opt.Number("--heap-hold", 0));
    const long seed = opt.Number("--seed", static_cast<long>(GetTickCount() & 0x7fffffff));
    const long answerMs = opt.Number("--answer-ms", 100);
    soak::AnswerLimitMs = static_cast<double>(answerMs);
    // With the heap held by the worker, the dialog's thread waits for it too,
    // for as long as a hold or two: that is the held heap, not a hang.
    if (soak::HeapHoldMs > 0 && soak::AnswerLimitMs < 3.0 * soak::HeapHoldMs + 100.0)
        soak::AnswerLimitMs = 3.0 * soak::HeapHoldMs + 100.0;
    std::string out = opt.Value("--out");
    std::string unknown = opt.Unknown({"--stops", "--jobs", "--surprises", "--surprises-carry-on", "--fast", "--out",
                                       "--seed", "--answer-ms", "--heap-hold"});
    if (!unknown.empty() || stops < 0 || stops > 100000 || jobs < 0 || (jobs > 0 && jobs < 11) || jobs > 100000 ||
        surprises < 0 || surprises > 100000 || carryOn < 0 || carryOn > 100000 || answerMs < 1 || answerMs > 60000 ||
        opt.Number("--heap-hold", 0) < 0 || opt.Number("--heap-hold", 0) > 5000 || !opt.Value("--fast").empty()) {
        std::fputs(kUsage, stderr);
        std::fputs("--jobs is 0 (no overnight run) or at least 11\n", stderr);
        return 3;
    }
    // Without --out the files go to a temporary folder, removed when all passed.
    const bool temporary = out.empty();
    if (temporary)
        out = rig::MakeTempDir("soak");
    while (!out.empty() && (out.back() == '\\' || out.back() == '/'))
        out.pop_back();
    if (!tools::EnsureFolder(out)) {
        std::fprintf(stderr, "soak_driver: cannot create %s\n", out.c_str());
        return 2;
    }

    int code = 0;
    const std::string pacing = soak::FastPacing ? "fast pacing" : "specified pacing";
    if (stops > 0) {
        tools::Print("Random Stops: " + std::to_string(stops) + ", " + pacing + " (seed " + std::to_string(seed) + ")" +
                     (soak::HeapHoldMs > 0
                          ? ", heap held " + std::to_string(soak::HeapHoldMs) + " ms after each enumeration"
                          : std::string()) +
                     "\n");
        soak::StopFigures fig;
        std::string failure;
        if (!soak::RandomStops(out, static_cast<int>(stops), static_cast<unsigned>(seed), fig, failure)) {
            std::fprintf(stderr, "soak_driver: random Stops: %s\n", failure.c_str());
            code = 2;
        }
        std::ostringstream r;
        r << "\nRandom Stops, " << pacing << ": " << fig.stops
          << " (runs that ended before their Stop, not counted: " << fig.missed << ")\n";
        r << "  hangs (no box within " << kBoxLimitMs / 1000 << " s): " << fig.hangs << "\n";
        r << "  late target steps:               " << fig.lateSteps << "\n";
        r << "  dialog slower than " << Fixed(soak::AnswerLimitMs, 0) << " ms:       " << fig.slowAnswers
          << " (worst answer " << Fixed(fig.worstAnswerMs, 1) << " ms)\n";
        r << "  next Start not at the first row: " << fig.wrongStarts << "\n";
        r << "  ignored commands:                " << fig.ignored << "\n";
        r << "  wrong outputs:                   " << fig.wrongOutputs << "\n";
        r << "  other failures:                  " << fig.otherFailures << "\n";
        if (!fig.stopToBoxMs.empty())
            r << "  Stop to box: median " << Fixed(tools::Median(fig.stopToBoxMs), 1) << " ms, worst "
              << Fixed(*std::max_element(fig.stopToBoxMs.begin(), fig.stopToBoxMs.end()), 1) << " ms\n";
        for (const std::string& n : fig.notes)
            r << "  - " << n << "\n";
        tools::Print(r.str());
        if (code == 0 && (fig.hangs || fig.lateSteps || fig.slowAnswers || fig.wrongStarts || fig.ignored ||
                          fig.wrongOutputs || fig.otherFailures))
            code = 1;
    }
    if (jobs > 0) {
        tools::Print("\nOvernight run: " + std::to_string(jobs) + " jobs\n");
        std::string report, failure;
        if (soak::Overnight(out, static_cast<int>(jobs), report, failure)) {
            tools::Print(report);
        } else {
            std::fprintf(stderr, "soak_driver: overnight run: %s\n", failure.c_str());
            if (code == 0)
                code = 1;
        }
    }
    if (surprises > 0) {
        tools::Print("\nSurprises: " + std::to_string(surprises) + ", " + pacing + " (seed " + std::to_string(seed) +
                     ")\n");
        soak::SurpriseFigures fig;
        std::string failure;
        if (!soak::RandomSurprises(out, static_cast<int>(surprises), static_cast<unsigned>(seed), fig, failure)) {
            std::fprintf(stderr, "soak_driver: surprises: %s\n", failure.c_str());
            if (code == 0)
                code = 2;
        }
        static const char* const kKinds[] = {"Neat Image closing", "box of Neat Image's", "replace question"};
        static const DWORD kBounds[] = {soak::kClosedBoundMs, soak::kBoxBoundMs, soak::kBoxBoundMs};
        std::ostringstream r;
        r << "\nSurprises, " << pacing << ": " << fig.runs << " runs of " << soak::kSurpriseJobs
          << " jobs (surprise at job";
        for (int j = 0; j < soak::kSurpriseJobs; ++j)
            r << (j ? ", " : " ") << j + 1 << ": " << fig.atJob[j];
        r << ")\n";
        r << "  " << Pad("kind", 22) << Pad("runs", 6, true) << Pad("bound", 8, true)
          << Pad("surprise to message, median / worst", 38, true) << "   steps\n";
        for (int k = 0; k < 3; ++k) {
            const soak::SurpriseKindFigures& f = fig.kinds[k];
            std::string steps;
            for (const auto& s : f.steps)
                steps += (steps.empty() ? "" : ", ") + s.first + " " + std::to_string(s.second);
            r << "  " << Pad(kKinds[k], 22) << Pad(std::to_string(f.runs), 6, true)
              << Pad(std::to_string(kBounds[k] / 1000) + " s", 8, true)
              << Pad(Milliseconds(f.surpriseToMessageMs), 38, true) << "   " << steps << "\n";
        }
        r << "  stalls (no message within " << soak::kStallMs / 1000 << " s): " << fig.stalls << "\n";
        r << "  wrong messages:                  " << fig.wrongMessages << "\n";
        r << "  late messages (over the bound):  " << fig.lateMessages << "\n";
        r << "  events after the surprise:       " << fig.eventsAfter << "\n";
        r << "  wrong outputs:                   " << fig.wrongOutputs << "\n";
        r << "  other failures:                  " << fig.otherFailures << "\n";
        for (const std::string& n : fig.notes)
            r << "  - " << n << "\n";
        tools::Print(r.str());
        if (code == 0 && (fig.runs < surprises || fig.stalls || fig.wrongMessages || fig.lateMessages ||
                          fig.eventsAfter || fig.wrongOutputs || fig.otherFailures))
            code = 1;
    }
    if (carryOn > 0) {
        tools::Print("\nCarry-on surprises: " + std::to_string(carryOn) + ", " + pacing + " (seed " +
                     std::to_string(seed) + ")\n");
        soak::CarryOnFigures fig;
        std::string failure;
        if (!soak::RandomCarryOn(out, static_cast<int>(carryOn), static_cast<unsigned>(seed), fig, failure)) {
            std::fprintf(stderr, "soak_driver: carry-on surprises: %s\n", failure.c_str());
            if (code == 0)
                code = 2;
        }
        std::ostringstream r;
        r << "\nCarry-on surprises, " << pacing << ": " << fig.runs << " runs of " << soak::kCarryOnJobs
          << " jobs with \"Continue after a failed job\" (box " << fig.kinds[1] << ", replace question " << fig.kinds[2]
          << ", crash " << fig.kinds[3] << ", freeze " << fig.kinds[4] << "; at job";
        for (int j = 0; j < soak::kCarryOnJobs; ++j)
            r << (j ? ", " : " ") << j + 1 << ": " << fig.atJob[j];
        r << ")\n";
        r << "  restarts of Neat Image:          " << fig.restarts << "\n";
        r << "  jobs saved:                      " << fig.jobsSaved << "\n";
        r << "  jobs failed:                     " << fig.jobsFailed << "\n";
        r << "  wrong outputs:                   " << fig.wrongOutputs << "\n";
        r << "  stalls (no end within " << soak::kCarryOnStallMs / 1000 << " s):    " << fig.stalls << "\n";
        r << "  wrong messages:                  " << fig.wrongMessages << "\n";
        r << "  wrong ends:                      " << fig.wrongEnds << "\n";
        r << "  Neat Image not at rest:          " << fig.leftOpen << "\n";
        r << "  other failures:                  " << fig.otherFailures << "\n";
        for (const std::string& n : fig.notes)
            r << "  - " << n << "\n";
        tools::Print(r.str());
        if (code == 0 && (fig.runs < carryOn || fig.stalls || fig.wrongMessages || fig.wrongOutputs || fig.wrongEnds ||
                          fig.leftOpen || fig.otherFailures))
            code = 1;
    }
    if (temporary && code == 0)
        rig::RemoveTempDirs(0);
    else
        tools::Print("\nFiles: " + out + "\n");
    return code;
}
