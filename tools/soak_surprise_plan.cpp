// The plans of the surprise and carry-on runs of scripts/soak: which surprise
// a run meets, at which job and step, how the stand-in is told of it and how
// Tolvane quotes it; and the set-up that every such run shares.
#include "soak_surprise.h"

#include "app/resource.h"
#include "driver_support.h"

namespace soak {
namespace surprise {
namespace {

const char* const kClosingSteps[] = {"image-open", "profile-open", "filter", "save"};
const char* const kBoxSteps[] = {"image-open", "filter", "save"};
// Where Neat Image freezes: between two steps (it stops answering at once) or
// in the middle of its filter (its progress window up, its process idle).
const char* const kFreezeSteps[] = {"image-open", "filter"};
// Texts of Neat Image's boxes, some with the runs of white space and line
// breaks that the message folds into single blanks.
const char* const kBoxTexts[] = {
    "Out of memory.",
    "Disk almost full.",
    "Cannot read   this\nimage.",
    "The profile does not fit\tthis image.\n\nUse another profile.",
    "Not enough memory to complete the operation.",
};

} // namespace

// Every run of white space folded into one blank, none at either end: how
// Tolvane quotes the text of a box.
std::string Folded(const std::string& text)
{
    std::string out;
    bool blank = false;
    for (char c : text) {
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            blank = true;
            continue;
        }
        if (blank && !out.empty())
            out += ' ';
        blank = false;
        out += c;
    }
    return out;
}

std::string Describe(const Plan& p)
{
    std::string s = p.kind == SurpriseKind::Closed   ? "closing at " + p.step
                    : p.kind == SurpriseKind::Box    ? "box at " + p.step
                    : p.kind == SurpriseKind::Crash  ? "crash at " + p.step
                    : p.kind == SurpriseKind::Freeze ? "freeze at " + p.step
                                                     : std::string("replace question");
    return s + ", job " + std::to_string(p.job) + " of " + std::to_string(p.jobs);
}

// A random plan: the kind, its step and text, and the job.
Plan RandomPlan(std::mt19937& random, int jobs)
{
    Plan plan;
    plan.jobs = jobs;
    plan.kind = static_cast<SurpriseKind>(random() % 3);
    if (plan.kind == SurpriseKind::Closed)
        plan.step = kClosingSteps[random() % (sizeof kClosingSteps / sizeof *kClosingSteps)];
    else if (plan.kind == SurpriseKind::Box)
        plan.step = kBoxSteps[random() % (sizeof kBoxSteps / sizeof *kBoxSteps)];
    else
        plan.step = "save";
    if (plan.kind == SurpriseKind::Box)
        plan.text = kBoxTexts[random() % (sizeof kBoxTexts / sizeof *kBoxTexts)];
    plan.job = 1 + static_cast<int>(random() % static_cast<unsigned>(jobs));
    return plan;
}

// A random plan of a carry-on run: a box of Neat Image's, its replace
// question, a crash at any step or a freeze; its step and text, and the job.
Plan RandomCarryOnPlan(std::mt19937& random, int jobs)
{
    Plan plan = RandomPlan(random, jobs);
    const unsigned kind = random() % 4;
    if (kind == 2) {
        plan.kind = SurpriseKind::Crash;
        plan.step = kClosingSteps[random() % (sizeof kClosingSteps / sizeof *kClosingSteps)];
    } else if (kind == 3) {
        plan.kind = SurpriseKind::Freeze;
        plan.step = kFreezeSteps[random() % (sizeof kFreezeSteps / sizeof *kFreezeSteps)];
    } else if (plan.kind == SurpriseKind::Closed) {
        // Closing stays fatal; a box instead.
        plan.kind = SurpriseKind::Box;
        plan.step = kBoxSteps[random() % (sizeof kBoxSteps / sizeof *kBoxSteps)];
        plan.text = kBoxTexts[random() % (sizeof kBoxTexts / sizeof *kBoxTexts)];
    }
    plan.carryOn = true;
    plan.stallMs = kCarryOnStallMs;
    return plan;
}

bool Restarts(SurpriseKind kind)
{
    return kind == SurpriseKind::Crash || kind == SurpriseKind::Freeze;
}

// The stand-in's switches and journal event of the surprise.
std::string Switches(const Plan& p)
{
    switch (p.kind) {
    case SurpriseKind::Closed:
    case SurpriseKind::Crash:
        return "--exit-at " + p.step + (p.step == "filter" ? " --filter-ms 600" : "");
    case SurpriseKind::Freeze:
        return "--hang-at " + p.step + (p.step == "filter" ? " --filter-ms 2000" : "");
    case SurpriseKind::Box:
        return "--box-at " + p.step + " \"" + p.text + "\"" + (p.step == "filter" ? " --filter-ms 600" : "");
    case SurpriseKind::Replace:
        break;
    }
    return "--confirm-overwrite";
}

const char* EventOf(SurpriseKind kind)
{
    switch (kind) {
    case SurpriseKind::Closed:
    case SurpriseKind::Crash:
        return "exit-at";
    case SurpriseKind::Freeze:
        return "hang-at";
    case SurpriseKind::Box:
        return "box";
    case SurpriseKind::Replace:
        break;
    }
    return "confirm";
}

DWORD BoundOf(SurpriseKind kind)
{
    return kind == SurpriseKind::Closed ? kClosedBoundMs : kBoxBoundMs;
}

namespace {

// The output the stand-in proposes for a job's image, as a bitmap.
std::string OutputOf(const std::string& image)
{
    return image.substr(0, image.rfind('.')) + "_filtered.bmp";
}

} // namespace

// A text on one line, for the notes: line breaks shown as "\n".
std::string OneLine(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c != '\r')
            out += c;
    }
    return out;
}

// The set-up every surprise run shares, in `dir`: the inputs, for the replace
// question the only output there beforehand, and Tolvane started with Bitmap,
// the pacing of the soak and, for a carry-on run, "Continue after a failed
// job" checked. False (with the reason) when any of it failed.
bool SetUpRun(const std::string& dir, const Plan& plan, rig::Watchdog& guard, RunInputs& in, Tolvane& app,
              std::string& failure)
{
    if (!WriteInputs(dir, plan.jobs, in.images, in.profile)) {
        failure = "cannot write the input images";
        return false;
    }
    for (const std::string& image : in.images)
        in.outputs.push_back(OutputOf(image));
    in.at = static_cast<size_t>(plan.job - 1);
    in.kept = "an earlier output of job " + std::to_string(plan.job) + ", not to be replaced (" +
              std::to_string(GetTickCount()) + ")\r\n";
    if (plan.kind == SurpriseKind::Replace && !rig::WriteFileText(in.outputs[in.at], in.kept)) {
        failure = "cannot write the existing output";
        return false;
    }
    if (Restarts(plan.kind)) {
        // The stand-in Tolvane starts again gets its switches, journal and
        // menu bridge from the environment Tolvane passes on; the surprise
        // fires once, for the image of its job, so the new instance goes on
        // normally. The probe build's freeze bounds are shortened to seconds.
        in.switches = Switches(plan) + " --surprise-only " + paths::FileNameOf(in.images[in.at]) + " --once \"" +
                      paths::JoinPath(dir, "fired") + "\"";
        const std::string inherited =
            "--journal \"" + paths::JoinPath(paths::JoinPath(dir, "standin"), "journal.txt") + "\" " + in.switches;
        const std::pair<const char*, std::string> env[] = {
            {"TOLVANE_STANDIN_ARGS", inherited},
            {"TOLVANE_STANDIN_BRIDGE", rig::BridgeDll()},
            {"TOLVANE_TEST_NO_ANSWER_MS", std::to_string(kNoAnswerMs)},
            {"TOLVANE_TEST_FILTER_IDLE_MS", std::to_string(kFilterIdleMs)}};
        for (const auto& v : env)
            SetEnvironmentVariableA(v.first, v.second.c_str());
        const bool started = StartTolvane(dir, app, failure, 0, "tolvane_probe.exe");
        for (const auto& v : env)
            SetEnvironmentVariableA(v.first, nullptr);
        if (!started)
            return false;
    } else if (!StartTolvane(dir, app, failure)) {
        return false;
    }
    guard.Watch(app.proc.pid);
    if (!SelectFormat(app, "Bitmap")) {
        failure = "cannot select the Bitmap format";
        return false;
    }
    if (!ApplyPacing(app, failure))
        return false;
    if (plan.carryOn && !CheckOption(app, IDC_CONTINUE_ON_FAILURE)) {
        failure = "\"Continue after a failed job\" would not read checked";
        return false;
    }
    return true;
}

} // namespace surprise
} // namespace soak
