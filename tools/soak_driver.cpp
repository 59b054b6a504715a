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
//
//   soak_driver [--stops N] [--jobs M] [--out FOLDER] [--seed S]
//
// --stops 0 or --jobs 0 leaves that part out. Exit code 0 when every Stop
// passed its checks and the overnight run completed; 1 when a check failed;
// 2 when the set-up failed; 3 on a usage error.
#include "driver_support.h"

#include "app/resource.h"
#include "process.h"
#include "rig.h"
#include "standin_app.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using tools::Fixed;
using tools::Pad;

const char kUsage[] = "usage: soak_driver [--stops N] [--jobs M] [--out FOLDER] [--seed S]\n";
const char kTerminated[] = "Batch processing terminated.  Cancel Neat Image manually.";
constexpr double kAnswerMs = 100.0;  // the dialog must answer a sent message within this
constexpr DWORD kBoxLimitMs = 10000; // no box by then: the Stop hung
constexpr int kStopJobs = 3;         // jobs in each run of the random Stops

// --- Tolvane and the stand-in ------------------------------------------------------

// A copy of the fast build in `dir`, started with the menu bridge, and its dialog.
struct Tolvane {
    rig::Process proc;
    HWND dialog = nullptr;
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::string Status() const { return rig::TextOf(Item(IDC_STATUS)); }
    void Press(int id) const { rig::Click(Item(id)); }
    ~Tolvane() { rig::EndProgram(proc); }
};

bool StartTolvane(const std::string& dir, Tolvane& app, std::string& failure)
{
    const std::string exe = tools::JoinPath(dir, "tolvane.exe");
    std::string error;
    if (!CopyFileA((rig::ExeDir() + "tolvane_fast.exe").c_str(), exe.c_str(), FALSE)) {
        failure = "cannot copy tolvane_fast.exe";
        return false;
    }
    if (!rig::StartProgram(exe, "", &app.proc, tools::JoinPath(dir, "tolvane-trace.txt"), rig::BridgeDll(), &error)) {
        failure = "Tolvane did not start: " + error;
        return false;
    }
    app.dialog = rig::WaitForWindow("#32770", "Tolvane", app.proc.pid, 15000);
    if (!app.dialog) {
        failure = "Tolvane's dialog did not appear";
        return false;
    }
    return true;
}

bool AddJobs(const Tolvane& app, const std::vector<std::string>& images, const std::string& profile, int count)
{
    HWND list = app.Item(IDC_JOB_LIST);
    for (int i = 0; i < count; ++i)
        if (!rig::AddListViewRow(list, {images[static_cast<size_t>(i) % images.size()], profile}))
            return false;
    return rig::ListViewCount(list) == count;
}

bool SelectFormat(const Tolvane& app, const std::string& text)
{
    HWND combo = app.Item(IDC_OUTPUT_FORMAT);
    std::vector<std::string> items = rig::ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text)
            return rig::SetComboSelection(combo, static_cast<int>(i));
    return false;
}

// Small noisy images and a profile in `dir`.
bool WriteInputs(const std::string& dir, int count, std::vector<std::string>& images, std::string& profile)
{
    for (int i = 0; i < count; ++i) {
        std::string path = tools::JoinPath(dir, "small" + std::to_string(i + 1) + ".bmp");
        if (!rig::WriteTestImage(path, 96 + 16 * i, 64 + 8 * i))
            return false;
        images.push_back(path);
    }
    profile = tools::JoinPath(dir, "soak.dnp");
    return rig::WriteTestProfile(profile);
}

// Sends the dialog WM_NULL every 20 ms from a thread of its own, from the
// moment it is made until Stop(), and counts the answers slower than
// kAnswerMs or missing (a short bounded wait with SMTO_ABORTIFHUNG, so a hung
// dialog cannot hold the driver).
class AnswerProbe {
public:
    explicit AnswerProbe(HWND dialog) : dialog_(dialog)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~AnswerProbe() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    int probes = 0;
    int slow = 0;
    double worstMs = 0.0;

private:
    void Run()
    {
        while (!stop_) {
            double start = tools::NowMs();
            DWORD_PTR result = 0;
            bool answered =
                SendMessageTimeoutA(dialog_, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_NORMAL, 250, &result) != 0;
            double took = tools::NowMs() - start;
            ++probes;
            if (!answered || took > kAnswerMs)
                ++slow;
            worstMs = std::max(worstMs, took);
            Sleep(20);
        }
    }
    HWND dialog_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// --- Random Stops ----------------------------------------------------------------

// The stand-in's windows that a Stop can leave up, and the journal kinds of
// the three that a user cancels.
struct Left {
    bool imageOrProfileOpen = false;  // "#32770" "Open"
    bool saveAs = false;              // "#32770" "Save As"
    bool jpeg = false;                // "TSaveJPEGform"
    bool calc = false;                // "TCalcForm": filtering
};

Left StandInWindows(DWORD pid)
{
    Left l;
    for (HWND w : rig::TopWindowsOf(pid)) {
        std::string cls = rig::ClassOf(w), title = rig::TitleOf(w);
        if (cls == "#32770" && title == "Open")
            l.imageOrProfileOpen = true;
        else if (cls == "#32770" && title == "Save As")
            l.saveAs = true;
        else if (cls == "TSaveJPEGform")
            l.jpeg = true;
        else if (cls == "TCalcForm")
            l.calc = true;
    }
    return l;
}

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

// The command the stand-in was handling when the box appeared: the last
// "menu" event up to then, and what had happened since.
struct InFlight {
    std::string command;               // image-open, profile-open, filter-apply, image-saveas or ""
    std::vector<std::string> shown;    // "shown" kinds journaled since that command
};

InFlight InFlightAt(const std::vector<rig::JournalEvent>& events, DWORD boxTick, size_t from)
{
    InFlight f;
    for (size_t i = from; i < events.size() && events[i].tick <= boxTick; ++i) {
        if (events[i].name == "menu") {
            f.command = events[i].args;
            f.shown.clear();
        } else if (events[i].name == "shown") {
            f.shown.push_back(events[i].args);
        }
    }
    return f;
}

bool Contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

// Whether a journal event after the box is the stand-in finishing what it was
// already doing (or answering the user's cancel), rather than a step Tolvane
// took after the box:
// - the window its command had already requested appearing ("shown <kind>");
// - a filter already under way running to its end;
// - the result of a dialog that Tolvane had already confirmed: its window had
//   been shown and was gone when the box appeared (the stand-in then loads or
//   saves and journals the result a moment later);
// - the cancels the driver made while settling the stand-in.
bool LegitimatelyLate(const rig::JournalEvent& e, const InFlight& f, const Left& atBox, bool jpeg,
                      const std::vector<std::string>& cancelled)
{
    const std::string& c = f.command;
    if (e.name == "cancelled")
        return Contains(cancelled, e.args);
    if (e.name == "shown") {
        if (c == "image-open" || c == "profile-open" || c == "image-saveas")
            return (e.args == c || (c == "image-saveas" && (e.args == "save-as" || e.args == "jpeg-options")));
        return c == "filter-apply" && e.args == "calc";
    }
    if (e.name == "filter-begin" || e.name == "filter-applied" || e.name == "filter-failed")
        return c == "filter-apply";
    if (e.name == "image-opened" || e.name == "open-failed")
        return c == "image-open" && Contains(f.shown, "image-open") && !atBox.imageOrProfileOpen;
    if (e.name == "profile-opened" || e.name == "profile-failed")
        return c == "profile-open" && Contains(f.shown, "profile-open") && !atBox.imageOrProfileOpen;
    if (e.name == "saved" || e.name == "save-failed") {
        if (c != "image-saveas")
            return false;
        if (jpeg)
            return Contains(f.shown, "jpeg-options") && !atBox.jpeg;
        return Contains(f.shown, "save-as") && !atBox.saveAs;
    }
    return false;  // menu, busy, never, hidden, ...: a step after the box
}

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
    std::vector<std::string> notes;  // the first few failures, described
    void Note(const std::string& s)
    {
        if (notes.size() < 20)
            notes.push_back(s);
    }
};

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

// Presses Start and waits for the first row's status line. False (with the
// status seen) when the run did not begin at the first row.
bool StartAtFirstRow(const Tolvane& app, const std::string& firstImage, std::string& seen)
{
    const std::string want = "Processing: 1 of " + std::to_string(kStopJobs) + " -- " + firstImage;
    app.Press(IDC_START);
    return rig::WaitUntil([&] { return (seen = app.Status()) == want; }, 5000);
}

bool RandomStops(const std::string& out, int count, unsigned seed, StopFigures& fig, std::string& failure)
{
    const std::string dir = tools::JoinPath(out, "stops");
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
    // A filter long enough that some Stops land in it.
    if (!standin.Start("--filter-ms 300", &error, dir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);
    auto app = std::make_unique<Tolvane>();
    auto startTolvane = [&]() {
        app = std::make_unique<Tolvane>();
        if (!StartTolvane(dir, *app, failure))
            return false;
        guard.Watch(app->proc.pid);
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
        double t0 = tools::NowMs();
        if (!StartAtFirstRow(*app, images[0], seen) ||
            !rig::WaitUntil([&] { return app->Status() == "Processing complete"; }, 60000)) {
            failure = "the first whole run did not complete (status \"" + app->Status() + "\")";
            standin.Close();
            return false;
        }
        runMs = tools::NowMs() - t0;
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
            AnswerProbe probe(app->dialog);
            const double t0 = tools::NowMs();
            int polls = 0;
            app->Press(IDC_STOP);
            for (;;) {
                box = rig::FindTopWindow("#32770", "Success", app->proc.pid);
                if (box) {
                    boxTick = GetTickCount();
                    stopToBox = tools::NowMs() - t0;
                    atBox = StandInWindows(standin.proc.pid);
                    break;
                }
                if (tools::NowMs() - t0 > kBoxLimitMs)
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
                         " WM_NULL probes answered later than 100 ms or not at all (worst " +
                         Fixed(probe.worstMs, 1) + " ms)");
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
            if (events[i].tick > boxTick && !LegitimatelyLate(events[i], flight, atBox, jpeg, cancelled))
                late += (late.empty() ? "" : ", ") + events[i].name + " " + events[i].args;
        if (!late.empty()) {
            ++fig.lateSteps;
            fig.Note(label + ": after the box (Stop during \"" + flight.command + "\"): " + late);
        }
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

// --- Overnight run ---------------------------------------------------------------

struct Sample {
    bool memoryOk = false;
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;
    SIZE_T pagefile = 0;
    SIZE_T committedPrivate = 0;  // committed MEM_PRIVATE regions, summed over VirtualQueryEx
    DWORD gdi = 0, gdiError = 0;
    DWORD user = 0, userError = 0;
    int windows = 0;  // the process's windows, top-level and child
};

BOOL CALLBACK CountChild(HWND, LPARAM lp)
{
    ++*reinterpret_cast<int*>(lp);
    return TRUE;
}

Sample SampleProcess(HANDLE process, DWORD pid)
{
    Sample s;
    PROCESS_MEMORY_COUNTERS_EX pmc = {};
    pmc.cb = sizeof pmc;
    if (GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&pmc), sizeof pmc)) {
        s.memoryOk = true;
        s.workingSet = pmc.WorkingSetSize;
        s.privateBytes = pmc.PrivateUsage;
        s.pagefile = pmc.PagefileUsage;
    }
    // Wine leaves PrivateUsage at 0; the committed private regions are the
    // same measure, read from the address space itself.
    MEMORY_BASIC_INFORMATION mbi;
    for (const char* at = nullptr; VirtualQueryEx(process, at, &mbi, sizeof mbi) == sizeof mbi;) {
        if (mbi.State == MEM_COMMIT && mbi.Type == MEM_PRIVATE)
            s.committedPrivate += mbi.RegionSize;
        const char* next = static_cast<const char*>(mbi.BaseAddress) + mbi.RegionSize;
        if (next <= at)
            break;
        at = next;
    }
    SetLastError(0);
    s.gdi = GetGuiResources(process, GR_GDIOBJECTS);
    s.gdiError = s.gdi == 0 ? GetLastError() : 0;
    SetLastError(0);
    s.user = GetGuiResources(process, GR_USEROBJECTS);
    s.userError = s.user == 0 ? GetLastError() : 0;
    for (HWND w : rig::TopWindowsOf(pid)) {
        ++s.windows;
        EnumChildWindows(w, CountChild, reinterpret_cast<LPARAM>(&s.windows));
    }
    return s;
}

std::string Kib(SIZE_T bytes) { return Fixed(static_cast<double>(bytes) / 1024.0, 0) + " KiB"; }

std::string Growth(long long a, long long b, const std::string& unit, double scale)
{
    long long d = b - a;
    return (d >= 0 ? "+" : "") + Fixed(static_cast<double>(d) / scale, 0) + unit;
}

bool Overnight(const std::string& out, int jobs, std::string& report, std::string& failure)
{
    const std::string dir = tools::JoinPath(out, "overnight");
    tools::EnsureFolder(dir);
    DeleteFileA(tools::JoinPath(dir, "tolvane_log.txt").c_str());
    std::vector<std::string> images;
    std::string profile;
    if (!WriteInputs(dir, 5, images, profile)) {
        failure = "cannot write the input images";
        return false;
    }
    rig::Watchdog guard(0, {"Tolvane", "Open", "Save As"});
    rig::StandInApp standin;
    std::string error;
    if (!standin.Start("", &error, dir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);
    Tolvane app;
    if (!StartTolvane(dir, app, failure)) {
        standin.Close();
        return false;
    }
    guard.Watch(app.proc.pid);
    tools::Print("  putting " + std::to_string(jobs) + " jobs into the list ...");
    if (!AddJobs(app, images, profile, jobs) || !SelectFormat(app, "Bitmap")) {
        failure = "cannot put the jobs into the list";
        standin.Close();
        return false;
    }
    tools::Print(" started\n");

    const std::string afterTen = "Processing: 11 of " + std::to_string(jobs) + " -- ";
    Sample first, last;
    bool haveFirst = false;
    const double t0 = tools::NowMs();
    const double limitMs = jobs * 5000.0 + 60000.0;
    int lastShown = 0;
    app.Press(IDC_START);
    for (;;) {
        std::string status = app.Status();
        if (!haveFirst && (status.compare(0, afterTen.size(), afterTen) == 0 || status == "Processing complete")) {
            first = SampleProcess(app.proc.process, app.proc.pid);
            haveFirst = true;
        }
        if (status == "Processing complete")
            break;
        int n = 0;
        if (std::sscanf(status.c_str(), "Processing: %d of", &n) == 1 && n / 100 > lastShown / 100) {
            lastShown = n;
            tools::Print("  job " + std::to_string(n) + " of " + std::to_string(jobs) + " after " +
                         Fixed((tools::NowMs() - t0) / 1000.0, 0) + " s\n");
        }
        if (WaitForSingleObject(app.proc.process, 0) == WAIT_OBJECT_0) {
            failure = "Tolvane ended during the run";
            break;
        }
        if (!guard.Answered().empty()) {
            failure = "a box came up: " + guard.Answered().front();
            break;
        }
        if (tools::NowMs() - t0 > limitMs) {
            failure = "no \"Processing complete\" within " + Fixed(limitMs / 1000.0, 0) + " s (status \"" + status +
                      "\")";
            break;
        }
        Sleep(100);
    }
    const double runMs = tools::NowMs() - t0;
    if (failure.empty()) {
        Sleep(1000);  // the last save lands just after "Processing complete"
        last = SampleProcess(app.proc.process, app.proc.pid);
    }
    size_t saved = standin.EventsNamed("saved").size();
    PostMessageA(app.dialog, WM_CLOSE, 0, 0);
    rig::WaitExit(app.proc, 10000);
    rig::EndProgram(app.proc);
    standin.Close();
    if (!failure.empty())
        return false;
    if (saved != static_cast<size_t>(jobs)) {
        failure = "the stand-in saved " + std::to_string(saved) + " of " + std::to_string(jobs) + " images";
        return false;
    }

    std::ostringstream r;
    r << "Overnight run: " << jobs << " jobs of small images in " << Fixed(runMs / 1000.0, 1) << " s ("
      << Fixed(runMs / jobs, 0) << " ms per job), all saved\n";
    r << Pad("", 30) << Pad("after job 10", 16, true) << Pad("at the end", 16, true) << Pad("growth", 16, true) << "\n";
    if (first.memoryOk && last.memoryOk) {
        r << Pad("working set", 30) << Pad(Kib(first.workingSet), 16, true) << Pad(Kib(last.workingSet), 16, true)
          << Pad(Growth(static_cast<long long>(first.workingSet), static_cast<long long>(last.workingSet), " KiB",
                        1024.0),
                 16, true)
          << "\n";
        auto row = [&](const char* label, SIZE_T a, SIZE_T b) {
            r << Pad(label, 30) << Pad(Kib(a), 16, true) << Pad(Kib(b), 16, true)
              << Pad(Growth(static_cast<long long>(a), static_cast<long long>(b), " KiB", 1024.0), 16, true) << "\n";
        };
        if (first.privateBytes != 0 && last.privateBytes != 0) {
            row("private bytes", first.privateBytes, last.privateBytes);
        } else {
            r << Pad("private bytes", 30) << "no figure: PrivateUsage is 0\n";
            row("  pagefile usage instead", first.pagefile, last.pagefile);
        }
        row("committed private memory", first.committedPrivate, last.committedPrivate);
    } else {
        r << "memory: GetProcessMemoryInfo failed\n";
    }
    auto count = [&](const char* label, DWORD a, DWORD aErr, DWORD b, DWORD bErr) {
        if (a == 0 || b == 0) {
            r << Pad(label, 30) << "no figure: GetGuiResources returned " << a << " (error " << aErr << ") and " << b
              << " (error " << bErr << ")" << (aErr == ERROR_CALL_NOT_IMPLEMENTED ? ", not implemented" : "")
              << "\n";
        } else {
            r << Pad(label, 30) << Pad(std::to_string(a), 16, true) << Pad(std::to_string(b), 16, true)
              << Pad(Growth(a, b, "", 1.0), 16, true) << "\n";
        }
    };
    count("GDI objects", first.gdi, first.gdiError, last.gdi, last.gdiError);
    count("USER objects", first.user, first.userError, last.user, last.userError);
    if (first.gdi == 0 || first.user == 0 || last.gdi == 0 || last.user == 0)
        r << Pad("  its windows instead", 30) << Pad(std::to_string(first.windows), 16, true)
          << Pad(std::to_string(last.windows), 16, true) << Pad(Growth(first.windows, last.windows, "", 1.0), 16, true)
          << "\n";
    report = r.str();
    return true;
}

}  // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    tools::Options opt(argc, argv);
    const long stops = opt.Number("--stops", 200);
    const long jobs = opt.Number("--jobs", 1000);
    const long seed = opt.Number("--seed", static_cast<long>(GetTickCount() & 0x7fffffff));
    std::string out = opt.Value("--out");
    std::string unknown = opt.Unknown({"--stops", "--jobs", "--out", "--seed"});
    if (!unknown.empty() || stops < 0 || stops > 100000 || jobs < 0 || (jobs > 0 && jobs < 11) || jobs > 100000) {
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
    if (stops > 0) {
        tools::Print("Random Stops: " + std::to_string(stops) + " (seed " + std::to_string(seed) + ")\n");
        StopFigures fig;
        std::string failure;
        if (!RandomStops(out, static_cast<int>(stops), static_cast<unsigned>(seed), fig, failure)) {
            std::fprintf(stderr, "soak_driver: random Stops: %s\n", failure.c_str());
            code = 2;
        }
        std::ostringstream r;
        r << "\nRandom Stops: " << fig.stops << " (runs that ended before their Stop, not counted: " << fig.missed
          << ")\n";
        r << "  hangs (no box within " << kBoxLimitMs / 1000 << " s): " << fig.hangs << "\n";
        r << "  late target steps:               " << fig.lateSteps << "\n";
        r << "  dialog slower than 100 ms:       " << fig.slowAnswers << " (worst answer "
          << Fixed(fig.worstAnswerMs, 1) << " ms)\n";
        r << "  next Start not at the first row: " << fig.wrongStarts << "\n";
        r << "  other failures:                  " << fig.otherFailures << "\n";
        if (!fig.stopToBoxMs.empty())
            r << "  Stop to box: median " << Fixed(Median(fig.stopToBoxMs), 1) << " ms, worst "
              << Fixed(*std::max_element(fig.stopToBoxMs.begin(), fig.stopToBoxMs.end()), 1) << " ms\n";
        for (const std::string& n : fig.notes)
            r << "  - " << n << "\n";
        tools::Print(r.str());
        if (code == 0 && (fig.hangs || fig.lateSteps || fig.slowAnswers || fig.wrongStarts || fig.otherFailures))
            code = 1;
    }
    if (jobs > 0) {
        tools::Print("\nOvernight run: " + std::to_string(jobs) + " jobs\n");
        std::string report, failure;
        if (Overnight(out, static_cast<int>(jobs), report, failure)) {
            tools::Print(report);
        } else {
            std::fprintf(stderr, "soak_driver: overnight run: %s\n", failure.c_str());
            if (code == 0)
                code = 1;
        }
    }
    if (temporary && code == 0)
        rig::RemoveTempDirs(0);
    else
        tools::Print("\nFiles: " + out + "\n");
    return code;
}
