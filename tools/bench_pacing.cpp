// The two pacings side by side: the same small jobs through the product build
// with the specified pauses and with "Fast pacing" checked, against a
// stand-in slowed down as a real program is (it loads what it opened, filters
// and saves in the background). Per run: seconds per image, images per hour,
// the stand-in's own work per image and the ratio of the two. The goals of
// fast pacing are checked here, and only here.
#include "bench.h"

#include "app/resource.h"
#include "driver_support.h"
#include "process.h"
#include "rig.h"
#include "scenes.h"
#include "standin_app.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>

namespace bench {
namespace {

using tools::Fixed;
using tools::Pad;

constexpr int kSmallWidth = 320;
constexpr int kSmallHeight = 240;
// What a real program takes for a small image: loading what it opened,
// filtering, writing the output.
const char kSlowness[] = "--load-ms 150 --filter-ms 300 --save-ms 150";

struct PacingRun {
    const char* pacing; // "specified" or "fast"
    const char* selector;
    imageio::Format format;
    const char* ext; // of the inputs
    double secondsPerImage = 0;
    double workSecondsPerImage = 0;
    int ignored = 0; // commands the stand-in ignored or dropped
    int wrong = 0;   // jobs without a filtered output in the right format
    bool ran = false;
};

// The stand-in's busy time within one job: the union of the stretches in
// which it works rather than waits for Tolvane, that begin between the job's
// "menu image-open" and the next job's: building a file dialog after its
// command, reading or writing the file a dialog accepted, loading, filtering
// and saving.
double WorkMs(const std::vector<rig::JournalEvent>& events, DWORD from, DWORD until)
{
    struct Stretch {
        const char* beginName;
        const char* beginArgs; // "" = any
        const char* endName;
        const char* orEndName; // "" = none
    };
    static const Stretch kStretches[] = {
        {"menu", "image-open", "shown", ""},
        {"menu", "profile-open", "shown", ""},
        {"menu", "image-saveas", "shown", ""},
        {"accepted", "image-open", "image-opened", ""},
        {"accepted", "profile-open", "profile-opened", ""},
        {"accepted", "save-as", "save-begin", "shown"}, // JPEG: until its options window shows
        {"loading", "", "loaded", ""},
        {"filter-begin", "", "filter-applied", ""},
        {"save-begin", "", "saved", ""},
    };
    std::vector<std::pair<DWORD, DWORD>> spans;
    const size_t n = sizeof kStretches / sizeof kStretches[0];
    std::vector<bool> open(n, false);
    std::vector<DWORD> begin(n, 0);
    for (const auto& e : events) {
        for (size_t k = 0; k < n; ++k) {
            const Stretch& s = kStretches[k];
            if (!open[k] && e.name == s.beginName && (*s.beginArgs == 0 || e.args == s.beginArgs) &&
                e.tick - from < until - from) {
                open[k] = true;
                begin[k] = e.tick;
            } else if (open[k] && (e.name == s.endName || e.name == s.orEndName)) {
                spans.emplace_back(begin[k], e.tick);
                open[k] = false;
            }
        }
    }
    std::sort(spans.begin(), spans.end());
    double total = 0;
    DWORD coveredTo = from;
    for (auto& s : spans) {
        DWORD a = s.first - from < coveredTo - from ? coveredTo : s.first;
        if (s.second - from > a - from)
            total += static_cast<double>(s.second - a);
        if (s.second - from > coveredTo - from)
            coveredTo = s.second;
    }
    return total;
}

// The "saved" event of this output, 0 when there is none.
DWORD SavedTick(const std::vector<rig::JournalEvent>& events, const std::string& output)
{
    for (const auto& e : events)
        if (e.name == "saved" && e.args.size() > output.size() &&
            e.args.compare(e.args.size() - output.size(), output.size(), output) == 0)
            return e.tick;
    return 0;
}

bool RunPacing(const Settings& set, PacingRun& run, std::string& failure)
{
    const bool fast = std::string(run.pacing) == "fast";
    const std::string dir = paths::JoinPath(set.out, std::string("pacing-") + run.pacing + "-" + run.ext);
    tools::EnsureFolder(dir);
    DeleteFileA(paths::JoinPath(dir, "journal.txt").c_str());
    DeleteFileA(paths::JoinPath(dir, "tolvane_log.txt").c_str());
    std::vector<std::string> images;
    const imageio::Format input = std::string(run.ext) == "jpg" ? imageio::Format::JPEG : imageio::Format::BMP;
    for (int i = 0; i < set.images; ++i) {
        std::string path = paths::JoinPath(dir, "small" + std::to_string(i + 1) + "." + run.ext);
        DeleteFileA(paths::JoinPath(dir, "small" + std::to_string(i + 1) + "_filtered." + run.ext).c_str());
        imageio::Image clean = scenes::Render(i % scenes::Count(), kSmallWidth, kSmallHeight);
        if (!imageio::SaveImage(path, scenes::AddSensorNoise(clean, 13.0, 6.0, 700u + i), input, 92)) {
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
    if (!StartSession(dir, kSlowness, images, profile, run.selector, guard, standin, app, dialog, failure))
        return false;
    if (fast) {
        rig::Click(GetDlgItem(dialog, IDC_FAST_PACING));
        if (!rig::WaitUntil([&] { return rig::CheckState(GetDlgItem(dialog, IDC_FAST_PACING)) == BST_CHECKED; }))
            failure = "\"Fast pacing\" did not take the check";
    }
    tools::Print(std::string("  ") + run.pacing + " pacing, " + run.selector + ": " + std::to_string(set.images) +
                 " images of " + std::to_string(kSmallWidth) + "x" + std::to_string(kSmallHeight) + " ...");
    double runMs = 0;
    if (failure.empty()) {
        rig::Click(GetDlgItem(dialog, IDC_START));
        const double start = rig::NowMs();
        const double limitMs = set.images * 20000.0 + 30000.0;
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
                failure = "no \"Processing complete\" in time";
                break;
            }
            Sleep(20);
        }
        runMs = rig::NowMs() - start;
        // The specified pacing does not wait for the last save.
        standin.WaitForEvents("saved", static_cast<size_t>(set.images), 10000);
    }
    tools::Print(" " + Fixed(runMs / 1000.0, 1) + " s\n");
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    rig::WaitExit(app, 10000);
    rig::EndProgram(app);
    std::vector<rig::JournalEvent> events = standin.Events();
    standin.Close();
    if (!failure.empty())
        return false;

    std::vector<tools::JobRecord> jobs = tools::JobsFromJournal(events);
    for (const auto& e : events)
        if (e.name == "ignored" || e.name == "busy")
            ++run.ignored;
    double work = 0;
    const char* expected = imageio::FormatName(run.format);
    DWORD lastTick = events.empty() ? 0 : events.back().tick + 1;
    for (size_t i = 0; i < jobs.size(); ++i) {
        const tools::JobRecord& j = jobs[i];
        // The output of this job's image, wherever its "saved" landed (with
        // the specified pacing the next job begins before the save ends).
        std::string output = j.image.empty() ? std::string()
                                             : paths::JoinPath(paths::FolderOf(j.image),
                                                               paths::BaseNameOf(j.image) + "_filtered." + run.ext);
        DWORD saved = output.empty() ? 0 : SavedTick(events, output);
        bool right = !j.failed && j.filterDone != 0 && saved != 0 && saved - j.openMenu >= j.filterDone - j.openMenu &&
                     imageio::DetectFormat(output) == expected;
        if (!right)
            ++run.wrong;
        work += WorkMs(events, j.openMenu, i + 1 < jobs.size() ? jobs[i + 1].openMenu : lastTick);
    }
    run.wrong += set.images - static_cast<int>(jobs.size());
    run.secondsPerImage = runMs / 1000.0 / set.images;
    run.workSecondsPerImage = jobs.empty() ? 0 : work / 1000.0 / jobs.size();
    run.ran = true;
    return true;
}

} // namespace

bool PacingFigures(const Settings& set, Results& res)
{
    PacingRun runs[] = {
        {"specified", "Bitmap", imageio::Format::BMP, "bmp"},
        {"fast", "Bitmap", imageio::Format::BMP, "bmp"},
        {"specified", "JPEG", imageio::Format::JPEG, "jpg"},
        {"fast", "JPEG", imageio::Format::JPEG, "jpg"},
    };
    bool ok = true;
    for (PacingRun& run : runs) {
        std::string failure;
        if (!RunPacing(set, run, failure)) {
            tools::Print("\n");
            std::fprintf(stderr, "bench_driver: %s pacing, %s: %s\n", run.pacing, run.selector, failure.c_str());
            ok = false;
        }
    }
    std::ostringstream t;
    t << "\nThe two pacings: " << set.images << " images of " << kSmallWidth << "x" << kSmallHeight
      << " each, stand-in " << kSlowness << "\n\n";
    t << Pad("pacing", 11) << Pad("output", 8) << Pad("s/image", 9, true) << Pad("images/h", 10, true)
      << Pad("work s/image", 14, true) << Pad("wall/work", 11, true) << Pad("ignored", 9, true) << Pad("wrong", 7, true)
      << "\n";
    for (PacingRun& run : runs) {
        double perHour = run.secondsPerImage > 0 ? 3600.0 / run.secondsPerImage : 0;
        double ratio = run.workSecondsPerImage > 0 ? run.secondsPerImage / run.workSecondsPerImage : 0;
        std::string key = std::string("pacing_") + run.pacing + "_" + run.ext;
        res.Add(key + "_s_per_image", run.secondsPerImage, 3);
        res.Add(key + "_images_per_hour", perHour, 0);
        res.Add(key + "_work_s_per_image", run.workSecondsPerImage, 3);
        res.Add(key + "_wall_to_work", ratio, 2);
        res.Add(key + "_ignored", std::to_string(run.ignored));
        res.Add(key + "_wrong_outputs", std::to_string(run.wrong));
        t << Pad(run.pacing, 11) << Pad(run.selector, 8) << Pad(Fixed(run.secondsPerImage, 2), 9, true)
          << Pad(Fixed(perHour, 0), 10, true) << Pad(Fixed(run.workSecondsPerImage, 2), 14, true)
          << Pad(Fixed(ratio, 2), 11, true) << Pad(std::to_string(run.ignored), 9, true)
          << Pad(std::to_string(run.wrong), 7, true) << "\n";
    }
    // The goals of fast pacing.
    t << "\nGoals of fast pacing:\n";
    auto goal = [&](const std::string& what, bool met) {
        t << "  " << (met ? "met     " : "NOT MET ") << what << "\n";
        ok = ok && met;
    };
    for (int f = 0; f < 2; ++f) {
        const PacingRun& specified = runs[2 * f];
        const PacingRun& fast = runs[2 * f + 1];
        double ratio = fast.workSecondsPerImage > 0 ? fast.secondsPerImage / fast.workSecondsPerImage : 1e9;
        goal(std::string(fast.selector) + ": wall time per image " + Fixed(ratio, 2) +
                 " x the stand-in's own work (at most 1.5)",
             fast.ran && ratio <= 1.5);
        double gain = fast.secondsPerImage > 0 ? specified.secondsPerImage / fast.secondsPerImage : 0;
        goal(std::string(fast.selector) + ": " + Fixed(gain, 1) +
                 " x the images per hour of the specified pacing (at least 5)",
             fast.ran && specified.ran && gain >= 5.0);
    }
    int ignored = 0, wrong = 0;
    for (const PacingRun& run : runs) {
        ignored += run.ignored;
        wrong += run.wrong;
    }
    goal(std::to_string(ignored) + " ignored commands (none)", ignored == 0);
    goal(std::to_string(wrong) + " wrong outputs (none)", wrong == 0);
    res.Add("pacing_goals_met", ok ? "yes" : "no");
    tools::Print(t.str());
    return ok;
}

} // namespace bench
