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
// enabled). Neat Image closing stays fatal: it is run as above, and the
// session log must carry no "Failed: " line.
#include "soak.h"

#include "app/resource.h"
#include "driver_support.h"
#include "standin_app.h"

#include <algorithm>
#include <memory>
#include <random>

namespace soak {
namespace {

using tools::Fixed;

const char kErrorPrefix[] = "An Error Occurred:\n\n";
const char kErrorSuffix[] = "\n\nThis program will now terminate.";
const char kRunEnded[] = "Run ended by an error: ";

const char* const kClosingSteps[] = {"image-open", "profile-open", "filter", "save"};
const char* const kBoxSteps[] = {"image-open", "filter", "save"};
// Texts of Neat Image's boxes, some with the runs of white space and line
// breaks that the message folds into single blanks.
const char* const kBoxTexts[] = {
    "Out of memory.",
    "Disk almost full.",
    "Cannot read   this\nimage.",
    "The profile does not fit\tthis image.\n\nUse another profile.",
    "Not enough memory to complete the operation.",
};

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

std::string Describe(const Plan& p)
{
    std::string s = p.kind == SurpriseKind::Closed ? "closing at " + p.step
                    : p.kind == SurpriseKind::Box  ? "box at " + p.step
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

// The stand-in's switches and journal event of the surprise.
std::string Switches(const Plan& p)
{
    switch (p.kind) {
    case SurpriseKind::Closed:
        return "--exit-at " + p.step + (p.step == "filter" ? " --filter-ms 600" : "");
    case SurpriseKind::Box:
        return "--box-at " + p.step + " \"" + p.text + "\"" + (p.step == "filter" ? " --filter-ms 600" : "");
    case SurpriseKind::Replace:
        break;
    }
    return "--confirm-overwrite";
}

const char* EventOf(SurpriseKind kind)
{
    return kind == SurpriseKind::Closed ? "exit-at" : kind == SurpriseKind::Box ? "box" : "confirm";
}

DWORD BoundOf(SurpriseKind kind)
{
    return kind == SurpriseKind::Closed ? kClosedBoundMs : kBoxBoundMs;
}

// The output the stand-in proposes for a job's image, as a bitmap.
std::string OutputOf(const std::string& image)
{
    return image.substr(0, image.rfind('.')) + "_filtered.bmp";
}

// Cancels what the stand-in still shows of a command once its own box is
// answered (the Save As dialog after "No", an "Open" left up), so that it can
// close normally. False when something would not go.
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

bool CancelStandInDialogs(DWORD pid)
{
    for (int round = 0; round < 5; ++round) {
        bool any = false;
        for (HWND w : rig::TopWindowsOf(pid)) {
            std::string cls = rig::ClassOf(w), title = rig::TitleOf(w);
            if ((cls == "#32770" && (title == "Open" || title == "Save As")) || cls == "TSaveJPEGform") {
                rig::AnswerMessageBox(w, IDCANCEL);
                rig::WaitForWindowGone(w, 3000);
                any = true;
            }
        }
        if (!any)
            return true;
    }
    return false;
}

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
    int saved = 0;  // the stand-ins' "saved" events
    int failed = 0; // "Failed: " lines of the session log
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
};

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
    if (!StartTolvane(dir, app, failure))
        return false;
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

// One surprise run in `dir`. Fills `r`; false only when the set-up failed
// before the surprise could be made to happen (with the reason).
bool OneRun(const std::string& dir, const Plan& plan, rig::Watchdog& guard, RunResult& r, std::string& failure)
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
    HWND list = app.Item(IDC_JOB_LIST);

    // The jobs before the surprise, for the closing and the box: a whole run
    // of them against a stand-in without the switch, then their rows removed.
    size_t first = 0;
    if (plan.kind != SurpriseKind::Replace && at > 0) {
        rig::StandInApp plain;
        std::string error;
        const std::string plainDir = paths::JoinPath(dir, "standin-before");
        tools::EnsureFolder(plainDir);
        if (!plain.Start("", &error, plainDir)) {
            failure = "the stand-in did not start: " + error;
            return false;
        }
        guard.Watch(plain.proc.pid);
        std::vector<std::string> before(images.begin(), images.begin() + static_cast<long>(at));
        if (!AddJobs(app, before, profile, static_cast<int>(at))) {
            failure = "cannot put the jobs into the list";
            return false;
        }
        app.Press(IDC_START);
        if (!rig::WaitUntil([&] { return app.Status() == "Processing complete"; }, 30000) ||
            !plain.WaitForEvents("saved", at, 5000)) {
            failure = "the run of the jobs before the surprise did not complete (status \"" + app.Status() + "\")";
            return false;
        }
        r.saved += static_cast<int>(plain.EventsNamed("saved").size());
        plain.Close();
        // Remove takes one selected row a press.
        for (size_t left = at; left > 0; --left) {
            if (!rig::SelectListViewRows(list, {0})) {
                failure = "cannot select a row done";
                return false;
            }
            app.Press(IDC_REMOVE);
            if (!rig::WaitUntil([&] { return rig::ListViewCount(list) == static_cast<int>(left) - 1; }, 5000)) {
                failure = "a row done was not removed";
                return false;
            }
        }
        first = at;
    }
    std::vector<std::string> queued(images.begin() + static_cast<long>(first), images.end());
    if (!AddJobs(app, queued, profile, static_cast<int>(queued.size()))) {
        failure = "cannot put the jobs into the list";
        return false;
    }

    rig::StandInApp standin;
    std::string error;
    const std::string standinDir = paths::JoinPath(dir, "standin");
    tools::EnsureFolder(standinDir);
    if (!standin.Start(Switches(plan), &error, standinDir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);

    std::string message;
    if (plan.kind == SurpriseKind::Closed)
        message = "Neat Image has closed";
    else if (plan.kind == SurpriseKind::Box)
        message = "Neat Image is showing \"Neat Image\": " + Folded(plan.text);
    else
        message =
            "Neat Image is showing \"Confirm Save As\": " + outputs[at] + " already exists. Do you want to replace it?";

    // Start, then look for Tolvane's "Error" box every 5 ms; any other box of
    // Tolvane's, or its end without one, ends the wait early.
    app.Press(IDC_START);
    HWND box = nullptr;
    DWORD seenTick = 0;
    std::string otherBox;
    const DWORD t0 = GetTickCount();
    bool ended = false;
    while (GetTickCount() - t0 < plan.stallMs) {
        box = rig::FindTopWindow("#32770", "Error", app.proc.pid);
        if (box) {
            seenTick = GetTickCount();
            break;
        }
        for (HWND w : rig::TopWindowsOf(app.proc.pid))
            if (rig::IsMessageBox(w) && rig::TitleOf(w) != "Error")
                otherBox = rig::TitleOf(w);
        if (!otherBox.empty())
            break;
        if (WaitForSingleObject(app.proc.process, 0) == WAIT_OBJECT_0) {
            ended = true;
            break;
        }
        Sleep(5);
    }
    if (!box) {
        r.Note(r.stall, "no \"Error\" box within " + std::to_string(plan.stallMs / 1000) + " s" +
                            (otherBox.empty() ? "" : " (Tolvane showed \"" + otherBox + "\")") +
                            (ended ? " (Tolvane ended)" : "") + ", status \"" + app.Status() + "\"");
    } else {
        std::string text;
        rig::WaitUntil(
            [&] {
                HWND control = GetDlgItem(box, 0xFFFF);
                text = control ? rig::TextOf(control) : std::string();
                return !text.empty() || !IsWindow(box);
            },
            2000);
        if (text != kErrorPrefix + message + kErrorSuffix)
            r.Note(r.wrongMessage, "the box said \"" + OneLine(text) + "\"");
        if (GetWindow(box, GW_OWNER) != app.dialog)
            r.Note(r.other, "the \"Error\" box is not owned by Tolvane's dialog");
        rig::AnswerMessageBox(box);
        DWORD code = 0;
        if (!rig::WaitExit(app.proc, 10000, &code))
            r.Note(r.other, "Tolvane did not exit within 10 s of its \"Error\" box");
        else if (code != 0xFFFFFFFFu)
            r.Note(r.other, "Tolvane exited with " + std::to_string(static_cast<long>(code)) + ", not -1");

        // The session log ends with the message, the run's closing line right
        // before it.
        std::string log = rig::ReadFileText(paths::JoinPath(dir, "tolvane_log.txt"));
        // With "Continue after a failed job" a closed Neat Image is still no
        // failed job of a run that goes on.
        r.failed = static_cast<int>(rig::CountOf(log, "Failed: "));
        if (plan.carryOn && r.failed != 0)
            r.Note(r.wrongMessage, "the session log has " + std::to_string(r.failed) + " \"Failed: \" lines");
        const std::string last = "\r\n" + message + "\r\n";
        if (log.size() < last.size() || log.compare(log.size() - last.size(), last.size(), last) != 0) {
            std::string tail = log.size() > 160 ? log.substr(log.size() - 160) : log;
            r.Note(r.wrongMessage, "the session log does not end with the message; it ends \"" + OneLine(tail) + "\"");
        } else {
            const size_t lineStart = log.size() - last.size();
            size_t before = lineStart == 0 ? std::string::npos : log.rfind("\r\n", lineStart - 1);
            before = before == std::string::npos ? 0 : before + 2;
            if (log.compare(before, sizeof kRunEnded - 1, kRunEnded) != 0)
                r.Note(r.wrongMessage, "no \"" + std::string(kRunEnded) + "...\" line right before the logged message");
        }
    }

    // Whatever a dying Tolvane had posted would be journaled by now.
    Sleep(300);
    std::vector<rig::JournalEvent> events = standin.Events();
    for (const rig::JournalEvent& e : events)
        r.saved += e.name == "saved";
    size_t surprise = events.size();
    for (size_t i = 0; i < events.size(); ++i) {
        const rig::JournalEvent& e = events[i];
        if (e.name == EventOf(plan.kind) && (plan.kind == SurpriseKind::Replace || e.args == plan.step)) {
            surprise = i;
            break;
        }
    }
    if (surprise == events.size()) {
        r.Note(r.other, std::string("the stand-in journaled no \"") + EventOf(plan.kind) + "\"");
    } else {
        if (box) {
            // Both ticks are GetTickCount: the box was seen after the event.
            r.measured = true;
            r.tookMs = static_cast<double>(static_cast<long>(seenTick - events[surprise].tick));
            if (seenTick - events[surprise].tick > BoundOf(plan.kind))
                r.Note(r.late, "the message came " + Fixed(r.tookMs, 0) + " ms after the surprise");
        }
        std::string after;
        for (size_t i = surprise + 1; i < events.size(); ++i)
            after += (after.empty() ? "" : ", ") + events[i].name +
                     (events[i].args.empty() ? "" : " " + events[i].args) + " (+" +
                     std::to_string(static_cast<long>(events[i].tick - events[surprise].tick)) + " ms)";
        if (!after.empty())
            r.Note(r.eventsAfter, "journaled after the surprise: " + after);
        if (plan.kind == SurpriseKind::Replace && events[surprise].args != outputs[at])
            r.Note(r.other, "the stand-in asked about " + events[surprise].args);
    }

    // The stand-in's own box, answered as its user would; a closed stand-in
    // ended with its own exit code.
    if (plan.kind == SurpriseKind::Closed) {
        DWORD code = 0;
        if (!rig::WaitExit(standin.proc, 5000, &code) || code != 99)
            r.Note(r.other, "the stand-in did not end with its --exit-at code");
    } else {
        const char* caption = plan.kind == SurpriseKind::Box ? "Neat Image" : "Confirm Save As";
        HWND own = rig::WaitForWindow("#32770", caption, standin.proc.pid, 3000);
        if (!own) {
            r.Note(r.other, std::string("the stand-in showed no \"") + caption + "\" box");
        } else {
            rig::AnswerMessageBox(own, plan.kind == SurpriseKind::Box ? IDOK : IDNO);
            if (!rig::WaitForWindowGone(own, 3000))
                r.Note(r.other, std::string("the stand-in's \"") + caption + "\" box would not go");
        }
        // A filter under way runs to its end once its box is answered.
        rig::WaitUntil([&] { return rig::FindTopWindow("TCalcForm", nullptr, standin.proc.pid) == nullptr; }, 5000);
        if (!CancelStandInDialogs(standin.proc.pid))
            r.Note(r.other, "a dialog of the stand-in would not close");
        DWORD code = 0;
        if (!standin.Close(&code, 5000))
            r.Note(r.other, "the stand-in did not close within 5 s");
    }
    rig::EndProgram(standin.proc);
    rig::EndProgram(app.proc);

    // Outputs: every job before the surprise saved; at the surprise only a
    // box after the save leaves one (and an output there beforehand stays as
    // it was); after it none.
    for (size_t i = 0; i < outputs.size(); ++i) {
        const std::string& o = outputs[i];
        const std::string job = "job " + std::to_string(i + 1);
        if (i == at && plan.kind == SurpriseKind::Replace) {
            if (rig::ReadFileText(o) != kept)
                r.Note(r.wrongOutput, job + ": the existing output " + o + " was changed");
            continue;
        }
        const bool want = i < at || (i == at && plan.kind == SurpriseKind::Box && plan.step == "save");
        if (rig::FileExists(o) != want)
            r.Note(r.wrongOutput, job + ": " + o + (want ? " is missing" : " exists"));
    }
    return true;
}

// The stand-in's windows that a user would have to deal with: visible,
// captioned, other than its main window.
std::vector<HWND> StandInWindowsUp(const rig::StandInApp& standin)
{
    std::vector<HWND> up;
    for (HWND w : rig::TopWindowsOf(standin.proc.pid))
        if (w != standin.main && IsWindowVisible(w) && (rig::StyleOf(w) & WS_CAPTION) == WS_CAPTION)
            up.push_back(w);
    return up;
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
    const std::string switches = plan.kind == SurpriseKind::Box
                                     ? Switches(plan) + " --box-only " + paths::FileNameOf(images[at])
                                     : Switches(plan);
    if (!standin.Start(switches, &error, standinDir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);

    const std::string message = plan.kind == SurpriseKind::Box
                                    ? "Neat Image is showing \"Neat Image\": " + Folded(plan.text)
                                    : "Neat Image is showing \"Confirm Save As\": " + outputs[at] +
                                          " already exists. Do you want to replace it?";
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
    // main window enabled. A stalled run is ended first.
    if (!finished)
        rig::EndProgram(app.proc);
    Sleep(200);
    std::string up;
    for (HWND w : StandInWindowsUp(standin))
        up += (up.empty() ? "" : ", ") + rig::ClassOf(w) + " \"" + rig::TitleOf(w) + "\"";
    if (!up.empty())
        r.Note(r.leftOpen, "left up in the stand-in: " + up);
    if (!IsWindowEnabled(standin.main))
        r.Note(r.leftOpen, "the stand-in's main window is disabled");

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
        if (plan.kind == SurpriseKind::Box) {
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
    if (finished && answered != surprises)
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
    if (!AnswerStandIn(standin))
        r.Note(r.other, "a dialog of the stand-in would not close");
    DWORD code = 0;
    if (!standin.Close(&code, 5000))
        r.Note(r.other, "the stand-in did not close within 5 s");
    rig::EndProgram(standin.proc);
    rig::EndProgram(app.proc);

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
} // namespace

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
        Plan plan = RandomPlan(random, kCarryOnJobs);
        plan.carryOn = true;
        plan.stallMs = kCarryOnStallMs;

        const std::string dir = paths::JoinPath(root, "run" + std::to_string(n));
        rig::RemoveTree(dir);
        tools::EnsureFolder(dir);
        const std::string label = "Carry-on " + std::to_string(n) + " (" + Describe(plan) + ")";
        RunResult r;
        std::string why;
        const bool ran =
            plan.kind == SurpriseKind::Closed ? OneRun(dir, plan, guard, r, why) : CarryOnRun(dir, plan, guard, r, why);
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
