// Figures for scripts/bench: how much time Tolvane adds to each image beyond
// its fixed pauses and the target's own work, how quickly its dialog answers
// during a run, what one progress tick costs, how long Stop takes to report,
// its CPU time, memory and size, and the stand-in's own speed. Nothing is
// asserted: the figures are printed and written as
// key=value lines to results.txt in the output folder.
//
//   bench_driver --out FOLDER [--images N] [--filter-ms MS] [--timeout SECONDS]
//
// Two runs of the product build (1000 ms pause) against the stand-in with a
// fixed filter time: one with Bitmap output, one with JPEG. Jobs go straight
// into the job list; no file dialogs are involved.
#include "driver_support.h"
#include "scenes.h"

#include "app/resource.h"
#include "batch/batch.h"
#include "commands.h"
#include "imageio.h"
#include "process.h"
#include "rig.h"
#include "standin_app.h"
#include "tolvane.h"

#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using tools::Fixed;
using tools::Pad;

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kPauseMs = 1000.0;  // the product's pause after each step

const char kUsage[] = "usage: bench_driver --out FOLDER [--images N] [--filter-ms MS] [--timeout SECONDS]\n";

struct Results {
    std::vector<std::pair<std::string, std::string>> items;
    void Add(const std::string& key, const std::string& value) { items.emplace_back(key, value); }
    void Add(const std::string& key, double value, int decimals) { Add(key, Fixed(value, decimals)); }
};

double Mean(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v)
        s += x;
    return v.empty() ? 0.0 : s / v.size();
}

double Max(const std::vector<double>& v) { return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end()); }

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p / 100.0 * v.size()));
    return v[i == 0 ? 0 : std::min(i, v.size()) - 1];
}

double CpuMs(HANDLE process)
{
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return -1.0;
    auto ms = [](const FILETIME& f) {
        return ((static_cast<unsigned long long>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 10000.0;
    };
    return ms(kernel) + ms(user);
}

bool CalcWindowVisible()
{
    HWND calc = FindWindowA("TCalcForm", nullptr);
    return calc && IsWindowVisible(calc);
}

// Sends the dialog WM_NULL every 20 ms from a thread of its own and keeps
// how long each answer took, noting whether the stand-in was filtering.
class Probe {
public:
    explicit Probe(HWND dialog) : dialog_(dialog)
    {
        thread_ = std::thread([this] { Run(); });
    }
    ~Probe() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    std::vector<double> all, filtering;
    int timeouts = 0;

private:
    void Run()
    {
        double next = tools::NowMs();
        while (!stop_) {
            double a = tools::NowMs();
            DWORD_PTR result = 0;
            bool answered = SendMessageTimeoutA(dialog_, WM_NULL, 0, 0, SMTO_NORMAL, 2000, &result) != 0;
            double took = tools::NowMs() - a;
            if (!answered)
                ++timeouts;
            all.push_back(took);
            if (CalcWindowVisible())
                filtering.push_back(took);
            next += 20.0;
            double wait = next - tools::NowMs();
            if (wait < 0) {
                next = tools::NowMs();
                wait = 0;
            }
            Sleep(static_cast<DWORD>(wait));
        }
    }
    HWND dialog_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct Kind {
    const char* key;       // results prefix and folder name
    const char* selector;  // text in the output format selector
    imageio::Format format;
    int pauses;            // pauses per image in this format
};

// Time to encode the given output again in its format: the stand-in's own
// save work, which nothing in Tolvane's sequence overlaps. Median of three.
double SaveMs(const std::string& output, imageio::Format format, const std::string& scratch)
{
    imageio::Image img;
    if (!imageio::LoadImage(output, img))
        return 0.0;
    std::vector<double> t;
    for (int i = 0; i < 3; ++i) {
        double a = tools::NowMs();
        imageio::SaveImage(scratch, img, format, 90);
        t.push_back(tools::NowMs() - a);
    }
    DeleteFileA(scratch.c_str());
    std::sort(t.begin(), t.end());
    return t[1];
}

struct Settings {
    std::string out;
    int images = 5;
    long filterMs = 500;
    long timeoutS = 0;
};

// One run: N jobs through the product build, one output format.
bool BenchRun(const Settings& set, const Kind& kind, Results& res, std::string& failure)
{
    const std::string dir = tools::JoinPath(set.out, kind.key);
    tools::EnsureFolder(dir);
    DeleteFileA(tools::JoinPath(dir, "journal.txt").c_str());
    DeleteFileA(tools::JoinPath(dir, "tolvane_log.txt").c_str());
    std::vector<std::string> images;
    for (int i = 0; i < set.images; ++i) {
        std::string path = tools::JoinPath(dir, "image" + std::to_string(i + 1) + ".bmp");
        imageio::Image clean = scenes::Render(i % scenes::Count(), kWidth, kHeight);
        if (!imageio::SaveImage(path, scenes::AddSensorNoise(clean, 13.0, 6.0, 500u + i), imageio::Format::BMP)) {
            failure = "cannot write " + path;
            return false;
        }
        images.push_back(path);
    }
    const std::string profile = tools::JoinPath(dir, "bench.dnp");
    rig::WriteFileText(profile, "sigma=15\r\nradius=2\r\n");

    tools::BoxGuard guard(0, {"Tolvane", "Open", "Save As"});
    rig::StandInApp standin;
    std::string error;
    if (!standin.Start("--filter-ms " + std::to_string(set.filterMs), &error, dir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);
    const std::string exe = tools::JoinPath(dir, "tolvane.exe");
    rig::Process app;
    HWND dialog = nullptr;
    if (!CopyFileA((rig::ExeDir() + "tolvane.exe").c_str(), exe.c_str(), FALSE)) {
        failure = "cannot copy tolvane.exe";
    } else if (!rig::StartProgram(exe, "", &app, tools::JoinPath(dir, "tolvane-trace.txt"), rig::BridgeDll(),
                                  &error)) {
        failure = "Tolvane did not start: " + error;
    } else if (!(dialog = rig::WaitForWindow("#32770", "Tolvane", app.pid, 15000))) {
        failure = "Tolvane's dialog did not appear";
    }
    if (!failure.empty()) {
        rig::EndProgram(app);
        standin.Close();
        return false;
    }
    guard.Watch(app.pid);

    HWND list = GetDlgItem(dialog, IDC_JOB_LIST);
    for (auto& image : images)
        rig::AddListViewRow(list, {image, profile});
    HWND combo = GetDlgItem(dialog, IDC_OUTPUT_FORMAT);
    std::vector<std::string> items = rig::ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == kind.selector)
            rig::SetComboSelection(combo, static_cast<int>(i));

    tools::Print(std::string("  ") + kind.selector + ": " + std::to_string(set.images) + " images, filter " +
                 std::to_string(set.filterMs) + " ms ...");
    const double cpu0 = CpuMs(app.process);
    double runMs = 0.0;
    PROCESS_MEMORY_COUNTERS memory = {};
    {
        Probe probe(dialog);
        rig::Click(GetDlgItem(dialog, IDC_START));
        const double start = tools::NowMs();
        const double limitMs = set.timeoutS > 0 ? set.timeoutS * 1000.0
                                                : set.images * (kind.pauses * kPauseMs + set.filterMs + 5000.0) + 30000.0;
        for (;;) {
            if (rig::TextOf(GetDlgItem(dialog, IDC_STATUS)) == "Processing complete")
                break;
            if (WaitForSingleObject(app.process, 0) == WAIT_OBJECT_0) {
                failure = "Tolvane ended during the run";
                break;
            }
            if (!guard.Answered().empty()) {
                failure = "a box came up: " + guard.Answered().front();
                break;
            }
            if (tools::NowMs() - start > limitMs) {
                failure = "no \"Processing complete\" within " + Fixed(limitMs / 1000.0, 0) + " s";
                break;
            }
            Sleep(50);
        }
        runMs = tools::NowMs() - start;
        probe.Stop();
        const double cpu1 = CpuMs(app.process);
        memory.cb = sizeof memory;
        if (!GetProcessMemoryInfo(app.process, &memory, sizeof memory))
            memory.PeakWorkingSetSize = 0;
        const std::string k = kind.key;
        res.Add(k + "_run_s", runMs / 1000.0, 2);
        res.Add(k + "_cpu_ms_per_image", cpu0 >= 0 && cpu1 >= 0 ? (cpu1 - cpu0) / set.images : -1.0, 2);
        res.Add(k + "_peak_working_set_kb", static_cast<double>(memory.PeakWorkingSetSize) / 1024.0, 0);
        res.Add(k + "_ui_probes", std::to_string(probe.all.size()));
        res.Add(k + "_ui_probes_while_filtering", std::to_string(probe.filtering.size()));
        res.Add(k + "_ui_worst_ms", Max(probe.all), 2);
        res.Add(k + "_ui_p99_ms", Percentile(probe.all, 99.0), 2);
        res.Add(k + "_ui_mean_ms", Mean(probe.all), 3);
        res.Add(k + "_ui_worst_while_filtering_ms", Max(probe.filtering), 2);
        res.Add(k + "_ui_timeouts", std::to_string(probe.timeouts));
    }
    tools::Print(" " + Fixed(runMs / 1000.0, 1) + " s\n");

    PostMessageA(dialog, WM_CLOSE, 0, 0);
    rig::WaitExit(app, 10000);
    rig::EndProgram(app);
    std::vector<tools::JobRecord> jobs = tools::JobsFromJournal(standin.Events());
    standin.Close();
    if (!failure.empty())
        return false;
    if (static_cast<int>(jobs.size()) != set.images) {
        failure = "the journal shows " + std::to_string(jobs.size()) + " jobs";
        return false;
    }

    // Per image: the time from one job's Image > Open... to the next one's,
    // less the fixed pauses, the filter command and the save (the stand-in's
    // own work). The last job has no next one, so full cycles number N - 1.
    const std::string scratch = tools::JoinPath(dir, "scratch");
    std::vector<double> cycle, overhead, filter, save, openStep, profileStep, filterStep, saveStep;
    for (size_t i = 0; i + 1 < jobs.size(); ++i) {
        const tools::JobRecord& j = jobs[i];
        double f = static_cast<double>(j.filterDone - j.filterMenu);
        double s = SaveMs(j.output, kind.format, scratch + (kind.format == imageio::Format::JPEG ? ".jpg" : ".bmp"));
        double c = static_cast<double>(jobs[i + 1].openMenu - j.openMenu);
        cycle.push_back(c);
        filter.push_back(f);
        save.push_back(s);
        overhead.push_back(c - kind.pauses * kPauseMs - f - s);
        openStep.push_back(static_cast<double>(j.profileMenu - j.openMenu) - 2 * kPauseMs);
        profileStep.push_back(static_cast<double>(j.filterMenu - j.profileMenu) - 2 * kPauseMs);
        filterStep.push_back(static_cast<double>(j.saveMenu - j.filterDone) - kPauseMs);
        saveStep.push_back(static_cast<double>(jobs[i + 1].openMenu - j.saveMenu) - (kind.pauses - 5) * kPauseMs - s);
    }
    const std::string k = kind.key;
    const double pausesMs = kind.pauses * kPauseMs;
    res.Add(k + "_full_cycles", std::to_string(cycle.size()));
    res.Add(k + "_cycle_ms", Mean(cycle), 1);
    res.Add(k + "_pauses_ms", pausesMs, 0);
    res.Add(k + "_filter_command_ms", Mean(filter), 1);
    res.Add(k + "_save_ms", Mean(save), 1);
    res.Add(k + "_overhead_ms_per_image", Mean(overhead), 1);
    res.Add(k + "_overhead_max_ms", Max(overhead), 1);
    res.Add(k + "_overhead_pct_of_pauses", 100.0 * Mean(overhead) / pausesMs, 3);
    res.Add(k + "_overhead_open_step_ms", Mean(openStep), 1);
    res.Add(k + "_overhead_profile_step_ms", Mean(profileStep), 1);
    res.Add(k + "_overhead_filter_step_ms", Mean(filterStep), 1);
    res.Add(k + "_overhead_save_step_ms", Mean(saveStep), 1);
    return true;
}

// The cost of one progress tick, measured in this process with the product's
// own timer routine: idle, and with the stand-in's progress window up (whose
// title the tick then reads across processes).
void TickCost(const Settings& set, Results& res)
{
    // The routine writes into MainDialog's progress line; give it one here.
    HWND host = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 10, 10, host, reinterpret_cast<HMENU>(IDC_PROGRESS), nullptr,
                    nullptr);
    MainDialog = host;
    DWORD now = GetTickCount();
    Batch.imagesDone = 2;
    Batch.imageTotal = 5;
    Batch.batchStartTick = now - 20000;
    Batch.imageStartTick = now - 3000;
    auto tick = [] {
        double a = tools::NowMs();
        ProgressTimerProc(MainDialog, WM_TIMER, PROGRESS_TIMER_ID, GetTickCount());
        return (tools::NowMs() - a) * 1000.0;  // microseconds
    };
    const int kCalls = 10000;
    std::vector<double> idle;
    for (int i = 0; i < kCalls; ++i)
        idle.push_back(tick());
    res.Add("progress_tick_us_idle", Mean(idle), 2);
    res.Add("progress_tick_us_idle_p99", Percentile(idle, 99.0), 2);

    // A stand-in that filters for a long time, so its progress window stays up.
    const std::string dir = tools::JoinPath(set.out, "tick");
    tools::EnsureFolder(dir);
    DeleteFileA(tools::JoinPath(dir, "journal.txt").c_str());
    const std::string image = tools::JoinPath(dir, "tick.bmp");
    const std::string profile = tools::JoinPath(dir, "tick.dnp");
    imageio::SaveImage(image, scenes::Render(0, 320, 240), imageio::Format::BMP);
    rig::WriteFileText(profile, "sigma=15\r\n");
    rig::StandInApp standin;
    std::vector<double> visible;
    std::string error;
    if (standin.Start("--filter-ms 4000", &error, dir)) {
        auto open = [&](int command, const std::string& path, const char* event) {
            PostMessageA(standin.main, WM_COMMAND, command, 0);
            HWND dlg = rig::WaitForWindow("#32770", "Open", standin.proc.pid, 10000);
            if (!dlg)
                return false;
            rig::SetText(FindWindowExA(dlg, nullptr, "Edit", nullptr), path);
            rig::Click(GetDlgItem(dlg, IDOK));
            return standin.WaitForEvents(event, 1, 10000);
        };
        if (open(standin::IDM_IMAGE_OPEN, image, "image-opened") &&
            open(standin::IDM_PROFILE_OPEN, profile, "profile-opened")) {
            const double start = tools::NowMs();
            size_t filters = 0;
            while (static_cast<int>(visible.size()) < kCalls && tools::NowMs() - start < 30000.0) {
                if (!CalcWindowVisible()) {
                    // Start the next filter once the last one is over.
                    if (standin.EventsNamed("filter-applied").size() < filters) {
                        Sleep(20);
                        continue;
                    }
                    PostMessageA(standin.main, WM_COMMAND, standin::IDM_FILTER_APPLY, 0);
                    ++filters;
                    rig::WaitUntil([] { return CalcWindowVisible(); }, 5000);
                    continue;
                }
                double us = tick();
                if (CalcWindowVisible())
                    visible.push_back(us);
            }
        }
        standin.WaitForEvents("filter-applied", 1, 6000);
        standin.Close();
    }
    res.Add("progress_tick_samples_with_window", std::to_string(visible.size()));
    res.Add("progress_tick_us_with_window", Mean(visible), 2);
    res.Add("progress_tick_us_with_window_p99", Percentile(visible, 99.0), 2);
    DestroyWindow(host);
}

// Opens a file through the stand-in's "Open" dialog: the command, the path
// typed into the name box, "&Open" pressed, then the journal's event.
bool OpenThroughStandIn(rig::StandInApp& standin, int command, const std::string& path, const char* event)
{
    size_t before = standin.EventsNamed(event).size();
    PostMessageA(standin.main, WM_COMMAND, command, 0);
    HWND dlg = rig::WaitForWindow("#32770", "Open", standin.proc.pid, 30000);
    if (!dlg)
        return false;
    rig::SetText(FindWindowExA(dlg, nullptr, "Edit", nullptr), path);
    rig::Click(GetDlgItem(dlg, IDOK));
    return standin.WaitForEvents(event, before + 1, 10000);
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2.0;
}

// The stand-in's own speed, which its tests no longer judge: its filter on a
// large image (its own measure, median of three), and how much later than
// asked a --delay window appears.
void StandInFigures(const Settings& set, Results& res)
{
    const std::string dir = tools::JoinPath(set.out, "standin");
    tools::EnsureFolder(dir);
    const std::string image = tools::JoinPath(dir, "large.bmp");
    const std::string profile = tools::JoinPath(dir, "large.dnp");
    imageio::SaveImage(image, scenes::AddSensorNoise(scenes::Render(0, kWidth, kHeight), 13.0, 6.0, 900u),
                       imageio::Format::BMP);
    rig::WriteFileText(profile, "sigma=15\r\nradius=2\r\n");
    rig::StandInApp standin;
    std::string error;
    std::vector<double> filter;
    double late = -1.0;
    const DWORD kDelayMs = 1500;
    if (standin.Start("--delay image-open " + std::to_string(kDelayMs), &error, dir)) {
        const double start = tools::NowMs();
        PostMessageA(standin.main, WM_COMMAND, standin::IDM_IMAGE_OPEN, 0);
        HWND dlg = rig::WaitForWindow("#32770", "Open", standin.proc.pid, 30000);
        if (dlg) {
            late = tools::NowMs() - start - kDelayMs;
            rig::SetText(FindWindowExA(dlg, nullptr, "Edit", nullptr), image);
            rig::Click(GetDlgItem(dlg, IDOK));
        }
        if (dlg && standin.WaitForEvents("image-opened", 1, 10000) &&
            OpenThroughStandIn(standin, standin::IDM_PROFILE_OPEN, profile, "profile-opened")) {
            for (int i = 0; i < 3; ++i) {
                DWORD_PTR r = 0;
                SendMessageTimeoutA(standin.main, WM_COMMAND, standin::IDM_FILTER_APPLY, 0, SMTO_NORMAL, 60000, &r);
            }
            for (const auto& e : standin.EventsNamed("filter-applied"))
                filter.push_back(std::atof(e.args.c_str()));
        }
        standin.Close();
    } else {
        std::fprintf(stderr, "bench_driver: the stand-in did not start: %s\n", error.c_str());
    }
    res.Add("standin_filter_1024x768_ms", Median(filter), 1);
    res.Add("standin_delay_late_ms", late, 1);
}

// From pressing Stop to the "Success" box, seen from outside as a user sees
// it, during runs of the product build: while the stand-in filters (the
// worker is inside the filter command) and while Tolvane polls for an image
// "Open" dialog that comes late. A fresh pair of programs for every Stop.
void StopToBox(const Settings& set, Results& res)
{
    const std::string dir = tools::JoinPath(set.out, "stop");
    tools::EnsureFolder(dir);
    const std::string image = tools::JoinPath(dir, "stop.bmp");
    const std::string profile = tools::JoinPath(dir, "stop.dnp");
    imageio::SaveImage(image, scenes::Render(1, 320, 240), imageio::Format::BMP);
    rig::WriteFileText(profile, "sigma=15\r\n");
    struct Case {
        const char* key;
        const char* label;
        const char* standinArgs;
        const char* event; // the journal's sign that the situation has come
        const char* eventArgs;
        DWORD afterMs;     // then this long into it
    } cases[] = {
        {"stop_while_filtering", "while the stand-in filters", "--filter-ms 6000", "filter-begin", "", 500},
        {"stop_in_dialog_wait", "while waiting for a late dialog", "--delay image-open 40000", "menu", "image-open",
         2500},
    };
    const int kStops = 3;
    for (const Case& c : cases) {
        std::vector<double> took;
        std::string failure;
        for (int round = 0; round < kStops && failure.empty(); ++round) {
            rig::Watchdog guard(30000, {"Tolvane", "Open", "Save As"}); // the Success box is ours to answer
            rig::StandInApp standin;
            std::string error;
            if (!standin.Start(c.standinArgs, &error, dir)) {
                failure = "the stand-in did not start: " + error;
                break;
            }
            guard.Watch(standin.proc.pid);
            const std::string exe = tools::JoinPath(dir, "tolvane.exe");
            rig::Process app;
            HWND dialog = nullptr;
            if (!CopyFileA((rig::ExeDir() + "tolvane.exe").c_str(), exe.c_str(), FALSE) ||
                !rig::StartProgram(exe, "", &app, tools::JoinPath(dir, "tolvane-trace.txt"), rig::BridgeDll(),
                                   &error) ||
                !(dialog = rig::WaitForWindow("#32770", "Tolvane", app.pid, 15000))) {
                failure = "Tolvane did not start: " + error;
            } else {
                guard.Watch(app.pid);
                rig::AddListViewRow(GetDlgItem(dialog, IDC_JOB_LIST), {image, profile});
                rig::Click(GetDlgItem(dialog, IDC_START));
                if (!rig::WaitUntil([&] { return !standin.EventsNamed(c.event, c.eventArgs).empty(); }, 30000)) {
                    failure = std::string("no \"") + c.event + "\" in the journal";
                } else {
                    Sleep(c.afterMs);
                    const double start = tools::NowMs();
                    rig::Click(GetDlgItem(dialog, IDC_STOP));
                    rig::MessageBoxInfo box;
                    if (rig::WaitForMessageBox("Success", &box, app.pid, 60000)) {
                        took.push_back(tools::NowMs() - start);
                        rig::AnswerMessageBox(box.window);
                        rig::WaitForWindowGone(box.window);
                    } else {
                        failure = "no \"Success\" box within 60 s of Stop";
                    }
                }
                PostMessageA(dialog, WM_CLOSE, 0, 0);
                rig::WaitExit(app, 10000);
            }
            rig::EndProgram(app);
            standin.Close();
        }
        if (!failure.empty())
            std::fprintf(stderr, "bench_driver: Stop %s: %s\n", c.label, failure.c_str());
        tools::Print(std::string("  Stop ") + c.label + ": " + std::to_string(took.size()) + " Stops\n");
        const std::string k = c.key;
        res.Add(k + "_stops", std::to_string(took.size()));
        res.Add(k + "_median_ms", Median(took), 1);
        res.Add(k + "_worst_ms", Max(took), 1);
    }
}

std::string Value(const Results& r, const std::string& key)
{
    for (auto& it : r.items)
        if (it.first == key)
            return it.second;
    return "?";
}

void Report(const Settings& set, const Results& r)
{
    std::ostringstream t;
    t << "\nTolvane bench: " << set.images << " images of " << kWidth << "x" << kHeight << ", stand-in filter "
      << set.filterMs << " ms, product pause " << kPauseMs << " ms\n\n";
    t << Pad("", 44) << Pad("Bitmap", 12, true) << Pad("JPEG", 12, true) << "\n";
    auto row = [&](const std::string& label, const std::string& key) {
        t << Pad(label, 44) << Pad(Value(r, "bitmap_" + key), 12, true) << Pad(Value(r, "jpeg_" + key), 12, true)
          << "\n";
    };
    row("time per image (full cycles), ms", "cycle_ms");
    row("  mandated pauses, ms", "pauses_ms");
    row("  stand-in filter command, ms", "filter_command_ms");
    row("  stand-in save, ms", "save_ms");
    row("overhead per image, ms", "overhead_ms_per_image");
    row("  in the open step", "overhead_open_step_ms");
    row("  in the profile step", "overhead_profile_step_ms");
    row("  in the filter step", "overhead_filter_step_ms");
    row("  in the save step and on to the next job", "overhead_save_step_ms");
    row("overhead, worst image, ms", "overhead_max_ms");
    row("overhead / pauses, % (goal < 1)", "overhead_pct_of_pauses");
    row("dialog's worst answer, ms (goal < 50)", "ui_worst_ms");
    row("  worst while the stand-in filters, ms", "ui_worst_while_filtering_ms");
    row("  99th percentile, ms", "ui_p99_ms");
    auto probes = [&](const char* k) {
        std::string key = k;
        return Value(r, key + "_ui_probes") + " / " + Value(r, key + "_ui_probes_while_filtering");
    };
    t << Pad("  probes / while filtering", 44) << Pad(probes("bitmap"), 12, true) << Pad(probes("jpeg"), 12, true)
      << "\n";
    row("Tolvane CPU per image, ms", "cpu_ms_per_image");
    row("Tolvane peak working set, KiB", "peak_working_set_kb");
    t << "\nprogress tick: " << Value(r, "progress_tick_us_idle") << " us idle, "
      << Value(r, "progress_tick_us_with_window") << " us with the progress window up ("
      << Value(r, "progress_tick_samples_with_window") << " calls)\n";
    t << "Stop to the \"Success\" box: " << Value(r, "stop_while_filtering_median_ms") << " ms median, "
      << Value(r, "stop_while_filtering_worst_ms") << " ms worst while the stand-in filters; "
      << Value(r, "stop_in_dialog_wait_median_ms") << " ms median, " << Value(r, "stop_in_dialog_wait_worst_ms")
      << " ms worst while waiting for a dialog\n";
    t << "stand-in: filter of a " << kWidth << "x" << kHeight << " image " << Value(r, "standin_filter_1024x768_ms")
      << " ms (its own measure), a --delay window " << Value(r, "standin_delay_late_ms") << " ms later than asked\n";
    t << "tolvane.exe: " << Value(r, "exe_size_bytes") << " bytes\n";
    tools::Print(t.str());
}

}  // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    tools::Options opt(argc, argv);
    Settings set;
    set.out = opt.Value("--out");
    set.images = static_cast<int>(opt.Number("--images", 5));
    set.filterMs = opt.Number("--filter-ms", 500);
    set.timeoutS = opt.Number("--timeout", 0);
    std::string unknown = opt.Unknown({"--out", "--images", "--filter-ms", "--timeout"});
    if (!unknown.empty() || set.out.empty() || set.images < 2 || set.images > 100 || set.filterMs < 0 ||
        set.timeoutS < 0) {
        std::fputs(kUsage, stderr);
        return 3;
    }
    while (!set.out.empty() && (set.out.back() == '\\' || set.out.back() == '/'))
        set.out.pop_back();
    if (!tools::EnsureFolder(set.out)) {
        std::fprintf(stderr, "bench_driver: cannot create %s\n", set.out.c_str());
        return 2;
    }

    Results res;
    res.Add("images", std::to_string(set.images));
    res.Add("image_size", std::to_string(kWidth) + "x" + std::to_string(kHeight));
    res.Add("filter_ms", std::to_string(set.filterMs));
    res.Add("pause_ms", kPauseMs, 0);
    res.Add("exe_size_bytes", std::to_string(tools::FileSize(rig::ExeDir() + "tolvane.exe")));

    const Kind kinds[] = {{"bitmap", "Bitmap", imageio::Format::BMP, 7}, {"jpeg", "JPEG", imageio::Format::JPEG, 9}};
    int code = 0;
    tools::Print("Runs of the product build against the stand-in\n");
    for (const Kind& k : kinds) {
        std::string failure;
        if (!BenchRun(set, k, res, failure)) {
            tools::Print("\n");
            std::fprintf(stderr, "bench_driver: %s run: %s\n", k.selector, failure.c_str());
            code = 2;
        }
    }
    double worst = 0.0;
    for (auto& it : res.items)
        if (it.first == "bitmap_ui_worst_ms" || it.first == "jpeg_ui_worst_ms")
            worst = std::max(worst, std::atof(it.second.c_str()));
    res.Add("ui_worst_ms", worst, 2);
    tools::Print("Progress tick cost (10000 calls each)\n");
    TickCost(set, res);
    tools::Print("Stop, three times in each situation\n");
    StopToBox(set, res);
    tools::Print("The stand-in's own speed\n");
    StandInFigures(set, res);

    std::string text;
    for (auto& it : res.items)
        text += it.first + "=" + it.second + "\r\n";
    rig::WriteFileText(tools::JoinPath(set.out, "results.txt"), text);
    Report(set, res);
    return code;
}
