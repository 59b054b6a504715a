// The two runs of scripts/bench: N jobs through the product build against
// the stand-in, once with Bitmap and once with JPEG output, put straight into
// the job list. The time Tolvane adds to each image beyond its pauses and the
// stand-in's own work, how quickly its dialog answers during the run, its CPU
// time and its peak working set.
#include "bench.h"

#include "answer_probe.h"
#include "app/resource.h"
#include "driver_support.h"
#include "process.h"
#include "rig.h"
#include "scenes.h"
#include "standin_app.h"

#include <windows.h>
#include <psapi.h>

namespace bench {
namespace {

using tools::Fixed;

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

// Sends the dialog WM_NULL every 20 ms from a thread of its own and keeps
// how long each answer took, noting whether the stand-in was filtering.
class Probe {
public:
    explicit Probe(HWND dialog)
        : timer_(dialog, SMTO_NORMAL, 2000, rig::ProbePace::FixedRate, [this](bool answered, double took) {
              if (!answered)
                  ++timeouts;
              all.push_back(took);
              if (CalcWindowVisible())
                  filtering.push_back(took);
          })
    {
    }
    void Stop() { timer_.Stop(); }
    std::vector<double> all, filtering;
    int timeouts = 0;

private:
    rig::AnswerTimer timer_; // last: the figures above are made before its thread starts
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
        double a = rig::NowMs();
        imageio::SaveImage(scratch, img, format, 90);
        t.push_back(rig::NowMs() - a);
    }
    DeleteFileA(scratch.c_str());
    std::sort(t.begin(), t.end());
    return t[1];
}

} // namespace

bool CalcWindowVisible()
{
    HWND calc = FindWindowA("TCalcForm", nullptr);
    return calc && IsWindowVisible(calc);
}

// One run: N jobs through the product build, one output format.
bool StartSession(const std::string& dir, const std::string& switches, const std::vector<std::string>& images,
                  const std::string& profile, const char* selector, tools::BoxGuard& guard, rig::StandInApp& standin,
                  rig::Process& app, HWND& dialog, std::string& failure)
{
    std::string error;
    if (!standin.Start(switches, &error, dir)) {
        failure = "the stand-in did not start: " + error;
        return false;
    }
    guard.Watch(standin.proc.pid);
    const std::string exe = paths::JoinPath(dir, "tolvane.exe");
    dialog = nullptr;
    if (!CopyFileA((rig::ExeDir() + "tolvane.exe").c_str(), exe.c_str(), FALSE)) {
        failure = "cannot copy tolvane.exe";
    } else if (!rig::StartProgram(exe, "", &app, paths::JoinPath(dir, "tolvane-trace.txt"), rig::BridgeDll(), &error)) {
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
        if (items[i] == selector)
            rig::SetComboSelection(combo, static_cast<int>(i));
    return true;
}

bool BenchRun(const Settings& set, const Kind& kind, Results& res, std::string& failure)
{
    const std::string dir = paths::JoinPath(set.out, kind.key);
    tools::EnsureFolder(dir);
    DeleteFileA(paths::JoinPath(dir, "journal.txt").c_str());
    DeleteFileA(paths::JoinPath(dir, "tolvane_log.txt").c_str());
    std::vector<std::string> images;
    for (int i = 0; i < set.images; ++i) {
        std::string path = paths::JoinPath(dir, "image" + std::to_string(i + 1) + ".bmp");
        imageio::Image clean = scenes::Render(i % scenes::Count(), kWidth, kHeight);
        if (!imageio::SaveImage(path, scenes::AddSensorNoise(clean, 13.0, 6.0, 500u + i), imageio::Format::BMP)) {
            failure = "cannot write " + path;
            return false;
        }
        images.push_back(path);
    }
    const std::string profile = paths::JoinPath(dir, "bench.dnp");
    rig::WriteFileText(profile, "sigma=15\r\nradius=2\r\n");

    tools::BoxGuard guard(0, {"Tolvane", "Open", "Save As"});
    rig::StandInApp standin;
    rig::Process app;
    HWND dialog = nullptr;
    if (!StartSession(dir, "--filter-ms " + std::to_string(set.filterMs), images, profile, kind.selector, guard,
                      standin, app, dialog, failure))
        return false;

    tools::Print(std::string("  ") + kind.selector + ": " + std::to_string(set.images) + " images, filter " +
                 std::to_string(set.filterMs) + " ms ...");
    const double cpu0 = CpuMs(app.process);
    double runMs = 0.0;
    PROCESS_MEMORY_COUNTERS memory = {};
    {
        Probe probe(dialog);
        rig::Click(GetDlgItem(dialog, IDC_START));
        const double start = rig::NowMs();
        const double limitMs = set.timeoutS > 0
                                   ? set.timeoutS * 1000.0
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
            if (rig::NowMs() - start > limitMs) {
                failure = "no \"Processing complete\" within " + Fixed(limitMs / 1000.0, 0) + " s";
                break;
            }
            Sleep(50);
        }
        runMs = rig::NowMs() - start;
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
    const std::string scratch = paths::JoinPath(dir, "scratch");
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

} // namespace bench
