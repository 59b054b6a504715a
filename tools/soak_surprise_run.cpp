// One surprise run of scripts/soak (see soak_surprises.cpp): the surprise
// made to happen at its job and step, then Tolvane's "Error" box, its exit
// code, its session log, the stand-in's journal and the outputs checked.
#include "soak_surprise.h"

#include "app/resource.h"
#include "driver_support.h"
#include "standin_app.h"

namespace soak {
namespace surprise {
namespace {

using tools::Fixed;

const char kErrorPrefix[] = "An Error Occurred:\n\n";
const char kErrorSuffix[] = "\n\nThis program will now terminate.";
const char kRunEnded[] = "Run ended by an error: ";

} // namespace

// Cancels what the stand-in still shows of a command once its own box is
// answered (the Save As dialog after "No", an "Open" left up), so that it can
// close normally. False when something would not go.
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

} // namespace surprise
} // namespace soak
