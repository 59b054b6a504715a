// The random Stops of scripts/soak: Start, then Stop at a random instant of
// the run, many times in a row. Each Stop must bring the "Success" box, the
// dialog must answer a sent WM_NULL within the limit (100 ms) from Stop until the box is
// answered, the stand-in must journal no step of Tolvane's after the box
// (only the end of what it was already doing), and the next Start must begin
// at the first row. With --fast, every Tolvane started here has "Fast
// pacing" checked, and the stand-in is slow the way a real program is (it
// loads what it opened, saves in the background, fills in the name it
// proposes after showing its Save As dialog): no command may reach it while
// it cannot take it ("ignored"), and every output saved must be filtered and
// in the format chosen.
#include "soak.h"
#include "soak_stop_checks.h"

#include "answer_probe.h"
#include "app/resource.h"
#include "driver_support.h"
#include "standin_app.h"

#include <algorithm>
#include <memory>
#include <random>

namespace soak {

// What a Stop is judged by is in soak_stop_checks.cpp.
using namespace stops;

namespace {

using tools::Fixed;

const char kTerminated[] = "Batch processing terminated.  Cancel Neat Image manually.";

// Cancels whatever dialog of the stand-in is up, as the user does after
// "Cancel Neat Image manually", and waits until the stand-in is idle: no
// window of a command up and no journal line for 300 ms. False on timeout.
bool SettleStandIn(const rig::StandInApp& standin, std::vector<std::string>& cancelled)
{
    DWORD start = GetTickCount(), quietSince = GetTickCount();
    size_t lines = standin.Events().size();
    while (GetTickCount() - start < 20000) {
        bool busy = false;
        for (HWND w : rig::TopWindowsOf(standin.proc.pid)) {
            std::string cls = rig::ClassOf(w), title = rig::TitleOf(w);
            if ((cls == "#32770" && (title == "Open" || title == "Save As")) || cls == "TSaveJPEGform") {
                rig::AnswerMessageBox(w, IDCANCEL);
                // Both "Open" boxes look alike; either kind may be the one cancelled.
                if (title == "Open") {
                    cancelled.push_back("image-open");
                    cancelled.push_back("profile-open");
                }
                if (title == "Save As")
                    cancelled.push_back("save-as");
                if (cls == "TSaveJPEGform")
                    cancelled.push_back("jpeg-options");
                rig::WaitForWindowGone(w, 3000);
                busy = true;
            } else if (cls == "TCalcForm") {
                busy = true;
            }
        }
        size_t now = standin.Events().size();
        if (busy || now != lines) {
            lines = now;
            quietSince = GetTickCount();
        } else if (GetTickCount() - quietSince >= 300) {
            return true;
        }
        Sleep(20);
    }
    return false;
}

// Presses Start and waits for the first row's status line. False (with the
// status seen) when the run did not begin at the first row.
bool StartAtFirstRow(const Tolvane& app, const std::string& firstImage, std::string& seen)
{
    const std::string want = "Processing: 1 of " + std::to_string(kStopJobs) + " -- " + firstImage;
    app.Press(IDC_START);
    return rig::WaitUntil([&] { return (seen = app.Status()) == want; }, 5000);
}

} // namespace

bool RandomStops(const std::string& out, int count, unsigned seed, StopFigures& fig, std::string& failure)
{
    const std::string dir = paths::JoinPath(out, "stops");
    tools::EnsureFolder(dir);
    std::vector<std::string> images;
    std::string profile;
    if (!WriteInputs(dir, kStopJobs, images, profile)) {
        failure = "cannot write the input images";
        return false;
    }
    // Stray boxes only: the "Success" box is answered here long before this.
    rig::Watchdog guard(8000);
    rig::StandInApp standin;
    std::string error;
    // A filter long enough that some Stops land in it; with fast pacing,
    // the slowness of a real program besides.
    const char* switches =
        FastPacing ? "--filter-ms 300 --load-ms 150 --save-ms 150 --late-name 60" : "--filter-ms 300";
    if (!standin.Start(switches, &error, dir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);
    auto app = std::make_unique<Tolvane>();
    auto startTolvane = [&]() {
        app = std::make_unique<Tolvane>();
        if (!StartTolvane(dir, *app, failure, HeapHoldMs))
            return false;
        guard.Watch(app->proc.pid);
        if (!ApplyPacing(*app, failure))
            return false;
        if (!AddJobs(*app, images, profile, kStopJobs)) {
            failure = "cannot put the jobs into the list";
            return false;
        }
        return true;
    };
    if (!startTolvane()) {
        standin.Close();
        return false;
    }

    // One whole run first, in JPEG (the longest sequence), for its length.
    SelectFormat(*app, "JPEG");
    std::string seen;
    double runMs = 0.0;
    {
        double t0 = rig::NowMs();
        if (!StartAtFirstRow(*app, images[0], seen) ||
            !rig::WaitUntil([&] { return app->Status() == "Processing complete"; }, 60000)) {
            failure = "the first whole run did not complete (status \"" + app->Status() + "\")";
            standin.Close();
            return false;
        }
        runMs = rig::NowMs() - t0;
        standin.WaitForEvents("saved", static_cast<size_t>(kStopJobs), 5000);
        CountPacingFaults(standin.Events(), 0, "JPEG", "the whole run", fig);
    }
    tools::Print("  a whole run of " + std::to_string(kStopJobs) + " jobs takes " + Fixed(runMs / 1000.0, 2) +
                 " s; Stops at random instants within it\n");
    std::vector<std::string> cancelled;
    SettleStandIn(standin, cancelled);

    // Bitmap runs are two pauses per job shorter than the JPEG run measured;
    // a Stop that comes after the end of a run is not counted and tried again.
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> instant(0.0, runMs * 0.9);
    size_t straysSeen = 0;
    int attempts = 0;
    while (fig.stops < count && attempts < count * 3) {
        ++attempts;
        const bool jpeg = attempts % 2 == 1;
        SelectFormat(*app, jpeg ? "JPEG" : "Bitmap");
        const size_t mark = standin.Events().size();
        const std::string label = "Stop " + std::to_string(fig.stops + 1) + " (" + (jpeg ? "JPEG" : "Bitmap") + ")";

        if (!StartAtFirstRow(*app, images[0], seen)) {
            ++fig.stops;
            ++fig.wrongStarts;
            fig.Note(label + ": the run began with status \"" + seen + "\"");
            rig::WaitUntil([&] { return app->Status() == "Processing complete"; }, 30000);
            SettleStandIn(standin, cancelled);
            continue;
        }
        Sleep(static_cast<DWORD>(instant(random)));
        if (app->Status() == "Processing complete") {
            ++fig.missed;
            SettleStandIn(standin, cancelled);
            continue;
        }

        // Stop, with the dialog probed from now until its box is answered.
        HWND box = nullptr;
        DWORD boxTick = 0;
        double stopToBox = 0.0;
        Left atBox;
        std::string text;
        bool slow = false;
        {
            rig::AnswerProbe probe(app->dialog, AnswerLimitMs);
            const double t0 = rig::NowMs();
            int polls = 0;
            app->Press(IDC_STOP);
            for (;;) {
                box = rig::FindTopWindow("#32770", "Success", app->proc.pid);
                if (box) {
                    boxTick = GetTickCount();
                    stopToBox = rig::NowMs() - t0;
                    atBox = StandInWindows(standin.proc.pid);
                    break;
                }
                if (rig::NowMs() - t0 > kBoxLimitMs)
                    break;
                if (++polls % 20 == 0 && app->Status() == "Processing complete")
                    break;
                Sleep(5);
            }
            if (box) {
                HWND control = nullptr;
                rig::WaitUntil(
                    [&] {
                        control = GetDlgItem(box, 0xFFFF);
                        text = control ? rig::TextOf(control) : std::string();
                        return !text.empty() || !IsWindow(box);
                    },
                    2000);
                rig::AnswerMessageBox(box);
                rig::WaitForWindowGone(box, 3000);
            }
            probe.Stop();
            fig.worstAnswerMs = std::max(fig.worstAnswerMs, probe.worstMs);
            slow = probe.slow > 0;
            if (slow)
                fig.Note(label + ": " + std::to_string(probe.slow) + " of " + std::to_string(probe.probes) +
                         " WM_NULL probes answered later than " + Fixed(AnswerLimitMs, 0) +
                         " ms or not at all (worst " + Fixed(probe.worstMs, 1) + " ms)");
        }
        if (!box && app->Status() == "Processing complete") {
            // The run ended just before the Stop: nothing to stop.
            ++fig.missed;
            SettleStandIn(standin, cancelled);
            continue;
        }
        ++fig.stops;
        if (slow)
            ++fig.slowAnswers;
        if (!box) {
            ++fig.hangs;
            fig.Note(label + ": no \"Success\" box within " + std::to_string(kBoxLimitMs / 1000) +
                     " s; Tolvane is restarted");
            rig::EndProgram(app->proc);
            SettleStandIn(standin, cancelled);
            if (!startTolvane()) {
                standin.Close();
                return false;
            }
            continue;
        }
        fig.stopToBoxMs.push_back(stopToBox);
        bool other = false;
        if (text != kTerminated) {
            other = true;
            fig.Note(label + ": the box said \"" + text + "\"");
        }
        if (!rig::WaitUntil([&] { return app->Status() == "Processing terminated"; }, 3000)) {
            other = true;
            fig.Note(label + ": status \"" + app->Status() + "\" after the box");
        }

        // Time for a worker that survived the Stop to take a few more steps,
        // then the user cancels what the stand-in still shows.
        Sleep(600);
        cancelled.clear();
        if (!SettleStandIn(standin, cancelled)) {
            other = true;
            fig.Note(label + ": the stand-in did not settle");
        }
        std::vector<rig::JournalEvent> events = standin.Events();
        InFlight flight = InFlightAt(events, boxTick, mark);
        std::string late;
        for (size_t i = mark; i < events.size(); ++i)
            if (events[i].tick > boxTick && !LegitimatelyLate(events[i], flight, atBox, jpeg, cancelled) &&
                !PostedBefore(events, i, boxTick))
                late += (late.empty() ? "" : ", ") + events[i].name + " " + events[i].args;
        if (!late.empty()) {
            ++fig.lateSteps;
            fig.Note(label + ": after the box (Stop during \"" + flight.command + "\"): " + late);
        }
        CountPacingFaults(events, mark, jpeg ? "JPEG" : "BMP", label, fig);
        if (app->Status() != "Processing terminated") {
            other = true;
            fig.Note(label + ": status became \"" + app->Status() + "\" after the Stop");
        }
        std::vector<std::string> strays = guard.Answered();
        if (strays.size() > straysSeen) {
            other = true;
            fig.Note(label + ": a stray box: " + strays.back());
            straysSeen = strays.size();
        }
        if (other)
            ++fig.otherFailures;
        if (fig.stops % 20 == 0)
            tools::Print("  " + std::to_string(fig.stops) + " Stops\n");
    }

    PostMessageA(app->dialog, WM_CLOSE, 0, 0);
    rig::WaitExit(app->proc, 10000);
    rig::EndProgram(app->proc);
    standin.Close();
    if (fig.stops < count) {
        failure = "only " + std::to_string(fig.stops) + " of " + std::to_string(count) + " Stops landed in a run";
        return false;
    }
    return true;
}

} // namespace soak
