// Figures for scripts/bench: how much time Tolvane adds to each image beyond
// its fixed pauses and the target's own work, how quickly its dialog answers
// during a run, what one progress tick costs, how long Stop takes to report,
// its CPU time, memory and size, the stand-in's own speed, and the job list
// at scale (one Add of 10,000 images and Delete of them all, one Open of a
// job list file of 10,000 lines), and the two pacings side by side. Only fast pacing's goals are asserted (exit code 4
// when one is not met); the figures are printed and written as key=value
// lines to results.txt in the output folder.
//
//   bench_driver --out FOLDER [--images N] [--filter-ms MS] [--timeout SECONDS] [--pacing-only]
//                [--joblist-only]
//
// Two runs of the product build (1000 ms pause) against the stand-in with a
// fixed filter time: one with Bitmap output, one with JPEG. Jobs go straight
// into the job list; no file dialogs are involved.
//
// The runs are in bench_runs.cpp; the progress tick, Stop and the stand-in's
// own speed in bench_tick.cpp, bench_stop.cpp and bench_standin.cpp.
#include "bench.h"

#include "driver_support.h"
#include "rig.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace {

using namespace bench;
using tools::Pad;

const char kUsage[] =
    "usage: bench_driver --out FOLDER [--images N] [--filter-ms MS] [--timeout SECONDS] [--pacing-only] "
    "[--joblist-only]\n";

// The figures as key=value lines in results.txt of the output folder.
void WriteResults(const Settings& set, const Results& res)
{
    std::string text;
    for (auto& it : res.items)
        text += it.first + "=" + it.second + "\r\n";
    rig::WriteFileText(paths::JoinPath(set.out, "results.txt"), text);
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
    t << "job list: one Add of " << Value(r, "scale_images") << " images " << Value(r, "scale_add_ms")
      << " ms after the profile dialog (goal < 3000; the image dialog itself took " << Value(r, "scale_image_dialog_ms")
      << " ms), Delete of them all " << Value(r, "scale_delete_ms") << " ms (goal < 2000); dialog's worst answer "
      << Value(r, "scale_add_ui_worst_ms") << " ms and " << Value(r, "scale_delete_ui_worst_ms")
      << " ms (goal < 100)\n";
    t << "job list file: Open of " << Value(r, "joblist_lines") << " lines " << Value(r, "joblist_open_ms")
      << " ms from the press of Open to the last row (goal < 2000)\n";
    t << "tolvane.exe: " << Value(r, "exe_size_bytes") << " bytes\n";
    tools::Print(t.str());
}

} // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    tools::CommandLine opt(argc, argv);
    Settings set;
    set.out = opt.Value("--out");
    set.images = static_cast<int>(opt.Number("--images", 5));
    set.filterMs = opt.Number("--filter-ms", 500);
    set.timeoutS = opt.Number("--timeout", 0);
    set.pacingOnly = opt.Has("--pacing-only");
    set.joblistOnly = opt.Has("--joblist-only");
    std::string unknown =
        opt.Unknown({"--out", "--images", "--filter-ms", "--timeout", "--pacing-only", "--joblist-only"});
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

    int code = 0;
    if (set.joblistOnly) {
        tools::Print("Open of a job list file of 10,000 lines\n");
        JobListFigures(set, res);
        WriteResults(set, res);
        tools::Print("job list file: Open of " + Value(res, "joblist_lines") + " lines " +
                     Value(res, "joblist_open_ms") + " ms from the press of Open to the last row (goal < 2000)\n");
        return 0;
    }
    tools::Print("The specified pacing and fast pacing\n");
    if (!PacingFigures(set, res))
        code = 4;
    if (set.pacingOnly) {
        WriteResults(set, res);
        return code;
    }
    const Kind kinds[] = {{"bitmap", "Bitmap", imageio::Format::BMP, 7}, {"jpeg", "JPEG", imageio::Format::JPEG, 9}};
    tools::Print("Runs of the product build against the stand-in\n");
    for (const Kind& k : kinds) {
        std::string failure;
        if (!BenchRun(set, k, res, failure)) {
            tools::Print("\n");
            std::fprintf(stderr, "bench_driver: %s run: %s\n", k.selector, failure.c_str());
            code = code == 0 ? 2 : code;
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
    tools::Print("One Add of 10,000 images, then Delete of them all\n");
    ScaleFigures(set, res);
    tools::Print("Open of a job list file of 10,000 lines\n");
    JobListFigures(set, res);

    WriteResults(set, res);
    Report(set, res);
    return code;
}
