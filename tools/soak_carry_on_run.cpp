// One carry-on run of scripts/soak (see soak_surprises.cpp): "Continue after
// a failed job" checked, a box of Neat Image's, the replace question, a crash
// or a freeze at one job, and a run that must go on past it; then the run's
// end, Neat Image (started again after a crash or a freeze) left at rest, the
// session log, the stand-in's journal and the outputs checked.
#include "soak_surprise.h"

#include "app/resource.h"
#include "driver_support.h"
#include "standin_app.h"

#include <cstdio>

namespace soak {
namespace surprise {
namespace {

// The stand-in's windows that a user would have to deal with: visible,
// captioned, other than its main window.
std::vector<HWND> StandInWindowsUp(DWORD pid, HWND main)
{
    std::vector<HWND> up;
    for (HWND w : rig::TopWindowsOf(pid))
        if (w != main && IsWindowVisible(w) && (rig::StyleOf(w) & WS_CAPTION) == WS_CAPTION)
            up.push_back(w);
    return up;
}

// An instance of the stand-in that Tolvane started, from its journal's
// "start <pid> <main window> <application window>" line.
struct Instance {
    DWORD pid = 0;
    HWND main = nullptr;
};

std::vector<Instance> LaterInstances(const rig::StandInApp& first)
{
    std::vector<Instance> later;
    for (const rig::JournalEvent& e : first.EventsNamed("start")) {
        unsigned long pid = 0;
        long long main = 0;
        if (std::sscanf(e.args.c_str(), "%lu %lld", &pid, &main) == 2 && pid != first.proc.pid)
            later.push_back({static_cast<DWORD>(pid), reinterpret_cast<HWND>(static_cast<INT_PTR>(main))});
    }
    return later;
}

// Ends an instance of the stand-in that Tolvane started, by its process id.
void EndInstance(const Instance& instance)
{
    if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, instance.pid)) {
        TerminateProcess(p, 1);
        WaitForSingleObject(p, 5000);
        CloseHandle(p);
    }
}

// The reason Tolvane gives in the session log for the job of a surprise.
std::string ReasonOf(const Plan& plan, const RunInputs& in)
{
    switch (plan.kind) {
    case SurpriseKind::Box:
        return "Neat Image is showing \"Neat Image\": " + Folded(plan.text);
    case SurpriseKind::Crash:
        return "Neat Image ended unexpectedly (exit code 0x00000063); it was started again";
    case SurpriseKind::Freeze:
        return std::string("Neat Image was not responding (") +
               (plan.step == "filter" ? "its filter made no progress for 5 minutes and used no processor time"
                                      : "its window answered no message for 60 seconds") +
               "); it was started again";
    case SurpriseKind::Closed:
    case SurpriseKind::Replace:
        break;
    }
    return "Neat Image is showing \"Confirm Save As\": " + in.outputs[in.at] +
           " already exists. Do you want to replace it?";
}

// Answers whatever the stand-in still shows, as its user would: its own
// boxes (No to the replace question), then its dialogs. False when something
// would not go.
bool AnswerStandIn(const rig::StandInApp& standin)
{
    for (int round = 0; round < 5; ++round) {
        bool any = false;
        for (HWND w : rig::TopWindowsOf(standin.proc.pid)) {
            if (!rig::IsMessageBox(w))
                continue;
            rig::AnswerMessageBox(w, rig::TitleOf(w) == "Confirm Save As" ? IDNO : IDOK);
            rig::WaitForWindowGone(w, 3000);
            any = true;
        }
        rig::WaitUntil([&] { return rig::FindTopWindow("TCalcForm", nullptr, standin.proc.pid) == nullptr; }, 5000);
        if (!CancelStandInDialogs(standin.proc.pid))
            return false;
        if (!any)
            return true;
    }
    return false;
}

} // namespace

// One carry-on run of a box of Neat Image's or of the replace question in
// `dir`: all the jobs in one run, which must go on past the failed job.
// Fills `r`; false only when the set-up failed (with the reason).
bool CarryOnRun(const std::string& dir, const Plan& plan, rig::Watchdog& guard, RunResult& r, std::string& failure)
{
    RunInputs in;
    Tolvane app;
    if (!SetUpRun(dir, plan, guard, in, app, failure))
        return false;
    const std::vector<std::string>& images = in.images;
    const std::string& profile = in.profile;
    const std::vector<std::string>& outputs = in.outputs;
    const size_t at = in.at;
    const std::string& kept = in.kept;
    if (!AddJobs(app, images, profile, plan.jobs)) {
        failure = "cannot put the jobs into the list";
        return false;
    }

    rig::StandInApp standin;
    std::string error;
    const std::string standinDir = paths::JoinPath(dir, "standin");
    tools::EnsureFolder(standinDir);
    const std::string switches = !in.switches.empty() ? in.switches
                                 : plan.kind == SurpriseKind::Box
                                     ? Switches(plan) + " --box-only " + paths::FileNameOf(images[at])
                                     : Switches(plan);
    if (!standin.Start(switches, &error, standinDir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);

    const std::string message = ReasonOf(plan, in);
    const bool restarts = Restarts(plan.kind);
    const int others = plan.jobs - 1;
    const bool savedAtSurprise = plan.kind == SurpriseKind::Box && plan.step == "save";

    // Start, then wait for the run's end: a status "Processing complete ..."
    // or "Processing stopped ...", a box of Tolvane's, or its end.
    app.Press(IDC_START);
    std::string status, boxSeen;
    bool ended = false, finished = false;
    const DWORD t0 = GetTickCount();
    while (GetTickCount() - t0 < plan.stallMs) {
        status = app.Status();
        if (status.compare(0, 19, "Processing complete") == 0 || status.compare(0, 18, "Processing stopped") == 0) {
            finished = true;
            break;
        }
        for (HWND w : rig::TopWindowsOf(app.proc.pid)) {
            if (!rig::IsMessageBox(w))
                continue;
            std::string text;
            rig::WaitUntil(
                [&] {
                    HWND control = GetDlgItem(w, 0xFFFF);
                    text = control ? rig::TextOf(control) : std::string();
                    return !text.empty() || !IsWindow(w);
                },
                2000);
            boxSeen = "\"" + rig::TitleOf(w) + "\": " + OneLine(text);
            rig::AnswerMessageBox(w);
            rig::WaitForWindowGone(w, 3000);
            break;
        }
        if (!boxSeen.empty())
            break;
        if (WaitForSingleObject(app.proc.process, 0) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        Sleep(20);
    }
    if (finished) {
        // A box of Tolvane's right after the end of the run would be a failure too.
        Sleep(300);
        for (HWND w : rig::TopWindowsOf(app.proc.pid))
            if (rig::IsMessageBox(w)) {
                boxSeen = "\"" + rig::TitleOf(w) + "\" after the run";
                rig::AnswerMessageBox(w);
                rig::WaitForWindowGone(w, 3000);
            }
    }
    if (!boxSeen.empty())
        r.Note(r.wrongEnd, "Tolvane showed " + boxSeen + " (status \"" + app.Status() + "\")");
    else if (ended)
        r.Note(r.wrongEnd, "Tolvane ended during the run (status \"" + status + "\")");
    else if (!finished)
        r.Note(r.stall,
               "no end of the run within " + std::to_string(plan.stallMs / 1000) + " s, status \"" + status + "\"");
    else if (status.compare(0, 18, "Processing stopped") == 0)
        r.Note(r.wrongEnd, "the run stopped: \"" + status + "\"");
    else if (status != "Processing complete (1 job failed)")
        r.Note(r.wrongMessage, "the status read \"" + status + "\"");
    if (finished && WaitForSingleObject(app.proc.process, 0) == WAIT_OBJECT_0)
        r.Note(r.wrongEnd, "Tolvane ended after the run");

    // Neat Image at rest once the run is over: nothing of its own up, its
    // main window enabled; after a crash or a freeze, the one instance that
    // Tolvane started, with the first one ended. A stalled run is ended first.
    if (!finished)
        rig::EndProgram(app.proc);
    Sleep(200);
    const std::vector<Instance> later = LaterInstances(standin);
    r.restarts = static_cast<int>(later.size());
    Instance current{standin.proc.pid, standin.main};
    if (restarts) {
        if (later.size() != 1)
            r.Note(r.other, "Neat Image was started again " + std::to_string(later.size()) + " times, not once");
        if (WaitForSingleObject(standin.proc.process, 0) != WAIT_OBJECT_0)
            r.Note(r.other, "the first stand-in still runs");
        if (!later.empty())
            current = later.back();
    } else if (!later.empty()) {
        r.Note(r.other, "Neat Image was started again without a crash or a freeze");
    }
    if (!restarts || !later.empty()) {
        std::string up;
        if (!rig::WaitUntil([&] { return StandInWindowsUp(current.pid, current.main).empty(); }, restarts ? 3000 : 0))
            for (HWND w : StandInWindowsUp(current.pid, current.main))
                up += (up.empty() ? "" : ", ") + rig::ClassOf(w) + " \"" + rig::TitleOf(w) + "\"";
        if (!up.empty())
            r.Note(r.leftOpen, "left up in the stand-in: " + up);
        if (!IsWindowEnabled(current.main))
            r.Note(r.leftOpen, "the stand-in's main window is disabled");
    }

    // The session log: one "Failed: " line, for the job of the surprise,
    // with the message, and the run's summary.
    const std::string log = rig::ReadFileText(paths::JoinPath(dir, "tolvane_log.txt"));
    r.failed = static_cast<int>(rig::CountOf(log, "Failed: "));
    const std::string line = "Failed: " + images[at] + ": " + message + "\r\n";
    if (r.failed != 1 || rig::CountOf(log, line) != 1) {
        std::string failedLines;
        for (size_t p = log.find("Failed: "); p != std::string::npos; p = log.find("Failed: ", p + 1))
            failedLines += (failedLines.empty() ? "" : " | ") + OneLine(log.substr(p, log.find("\r\n", p) - p));
        r.Note(r.wrongMessage, std::to_string(r.failed) + " \"Failed: \" lines, not the one due: " +
                                   (failedLines.empty() ? "none" : failedLines));
    }
    const std::string summary = "Run complete: " + std::to_string(others) + " processed, 0 skipped, 1 failed in ";
    if (finished && rig::CountOf(log, summary) != 1)
        r.Note(r.wrongMessage, "no \"" + summary + "...\" line in the session log");

    // The journal: the surprise once, at the job planned, answered (by
    // Tolvane: nothing of the stand-in's is answered here before this), and
    // never a Yes to the replace question.
    std::vector<rig::JournalEvent> events = standin.Events();
    int surprises = 0, answered = 0, yes = 0;
    std::string askedAbout;
    for (const rig::JournalEvent& e : events) {
        r.saved += e.name == "saved";
        if (restarts) {
            surprises += e.name == EventOf(plan.kind) && e.args == plan.step;
        } else if (plan.kind == SurpriseKind::Box) {
            surprises += e.name == "box" && e.args == plan.step;
            answered += e.name == "box-answered";
        } else {
            if (e.name == "confirm") {
                ++surprises;
                askedAbout = e.args;
            }
            answered += e.name == "confirm-answered";
            yes += e.name == "confirm-answered" && e.args == "yes";
        }
    }
    if (surprises != 1)
        r.Note(r.other, std::string("the stand-in journaled ") + std::to_string(surprises) + " \"" +
                            EventOf(plan.kind) + "\" events, not 1");
    if (finished && !restarts && answered != surprises)
        r.Note(r.leftOpen, "the stand-in's box was answered " + std::to_string(answered) + " times of " +
                               std::to_string(surprises));
    if (yes > 0)
        r.Note(r.wrongOutput, "the replace question was answered Yes");
    if (plan.kind == SurpriseKind::Replace && surprises == 1 && askedAbout != outputs[at])
        r.Note(r.other, "the stand-in asked about " + askedAbout);
    const int savesDue = others + (savedAtSurprise ? 1 : 0);
    if (finished && r.saved != savesDue)
        r.Note(r.wrongOutput,
               "the stand-in saved " + std::to_string(r.saved) + " times, not " + std::to_string(savesDue));

    // Whatever is still up is answered here; the stand-in must then close.
    // The instances Tolvane started are ended by their process ids.
    if (!restarts) {
        if (!AnswerStandIn(standin))
            r.Note(r.other, "a dialog of the stand-in would not close");
        DWORD code = 0;
        if (!standin.Close(&code, 5000))
            r.Note(r.other, "the stand-in did not close within 5 s");
    }
    rig::EndProgram(standin.proc);
    rig::EndProgram(app.proc);
    for (const Instance& i : later)
        EndInstance(i);

    // Outputs: every other job's there; the failed job's only for a box after
    // its save; an output there beforehand as it was.
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string& o = outputs[i];
        const std::string job = "job " + std::to_string(i + 1);
        if (i == at && plan.kind == SurpriseKind::Replace) {
            if (rig::ReadFileText(o) != kept)
                r.Note(r.wrongOutput, job + ": the existing output " + o + " was changed");
            continue;
        }
        const bool want = i != at || savedAtSurprise;
        if (rig::FileExists(o) != want)
            r.Note(r.wrongOutput, job + ": " + o + (want ? " is missing" : " exists"));
        else if (want && tools::FileSize(o) <= 0)
            r.Note(r.wrongOutput, job + ": " + o + " is empty");
    }
    return true;
}

} // namespace surprise
} // namespace soak
