// What the parts of scripts/bench share: the image size and the product's
// pause, the settings from the command line, the results as key=value pairs,
// a few statistics, and the figures each part measures (bench_runs.cpp,
// bench_tick.cpp, bench_stop.cpp, bench_standin.cpp).
#pragma once

#include "driver_support.h"
#include "imageio.h"
#include "process.h"
#include "standin_app.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace bench {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kPauseMs = 1000.0; // the product's pause after each step

struct Settings {
    std::string out;
    int images = 5;
    long filterMs = 500;
    long timeoutS = 0;
    bool pacingOnly = false;
    bool joblistOnly = false;
};

struct Results {
    std::vector<std::pair<std::string, std::string>> items;
    void Add(const std::string& key, const std::string& value) { items.emplace_back(key, value); }
    void Add(const std::string& key, double value, int decimals) { Add(key, tools::Fixed(value, decimals)); }
};

inline double Mean(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v)
        s += x;
    return v.empty() ? 0.0 : s / v.size();
}

inline double Max(const std::vector<double>& v)
{
    return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

inline double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    size_t i = static_cast<size_t>(std::ceil(p / 100.0 * v.size()));
    return v[i == 0 ? 0 : std::min(i, v.size()) - 1];
}

// Whether the stand-in's progress window is up: it is filtering.
bool CalcWindowVisible();

// One output format of the two runs.
struct Kind {
    const char* key;      // results prefix and folder name
    const char* selector; // text in the output format selector
    imageio::Format format;
    int pauses; // pauses per image in this format
};

// The set-up every run of jobs shares, in `dir`: the stand-in started with
// `switches`, a copy of the product build started with the menu bridge and
// its dialog up, both watched by `guard`, the jobs put straight into the list
// and the output format `selector` chosen. False (with the reason) when any
// of it failed; what had started is then ended.
bool StartSession(const std::string& dir, const std::string& switches, const std::vector<std::string>& images,
                  const std::string& profile, const char* selector, tools::BoxGuard& guard, rig::StandInApp& standin,
                  rig::Process& app, HWND& dialog, std::string& failure);

// One run: N jobs through the product build, one output format.
bool BenchRun(const Settings& set, const Kind& kind, Results& res, std::string& failure);
// The specified pacing and fast pacing over the same small jobs against a
// slowed stand-in; prints their figures and whether fast pacing meets its
// goals, and returns that.
bool PacingFigures(const Settings& set, Results& res);
// The cost of one progress tick, idle and with the stand-in's progress window up.
void TickCost(const Settings& set, Results& res);
// From pressing Stop to the "Success" box, in two situations.
void StopToBox(const Settings& set, Results& res);
// The stand-in's own speed.
void StandInFigures(const Settings& set, Results& res);
// One Add of 10,000 images and Delete of them all: their times and the
// dialog's worst answer meanwhile.
void ScaleFigures(const Settings& set, Results& res);
// Open of a job list file of 10,000 lines: the time from pressing Open in
// the "Open job list" dialog to the last row.
void JobListFigures(const Settings& set, Results& res);
// Types text into a file dialog's name box and presses its OK button.
bool TypeAndOpen(HWND dialog, const std::string& text);

} // namespace bench
