// The demo: makes six sample photographs with sensor noise, starts the
// stand-in target and a copy of Tolvane, and uses Tolvane as a person would:
// Add (all six images in one go in its image dialog, then the noise profile),
// the output format, Start, and a wait for "Processing complete". Takes
// screenshots of Tolvane's dialog during and after the run, then writes a
// summary of every job: input, output and its decoded format, noise before
// and after (PSNR against the clean original) and the time the job took.
//
//   demo_driver --out FOLDER [--format tiff|jpeg|bitmap] [--filter-ms MS]
//               [--timeout SECONDS] [--images-only]
//
// Exit codes: 0 every job produced a cleaner output in the chosen format;
// 1 some job did not; 2 the run could not be carried out; 3 usage.
#include "driver_support.h"
#include "scenes.h"

#include "app/resource.h"
#include "imageio.h"
#include "process.h"
#include "rig.h"
#include "standin_app.h"

#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kLumaSigma = 13.0;
constexpr double kChromaSigma = 6.0;

const char kUsage[] =
    "usage: demo_driver --out FOLDER [--format tiff|jpeg|bitmap] [--filter-ms MS] [--timeout SECONDS] "
    "[--images-only]\n";

struct Sample {
    std::string name;   // scene name
    std::string input;  // the noisy image Tolvane gets
    std::string clean;  // the original, as PNG
};

struct OutputChoice {
    const char* option;    // --format value
    const char* selector;  // text in Tolvane's output format selector
    const char* decoded;   // what DetectFormat reports for the output
};
const OutputChoice kChoices[] = {
    {"tiff", "Tiff", "TIFF"},
    {"jpeg", "JPEG", "JPEG"},
    {"bitmap", "Bitmap", "BMP"},
};

using tools::Pad;

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Elapsed(double sinceMs)
{
    return "[" + Pad(tools::Fixed((tools::NowMs() - sinceMs) / 1000.0, 1), 5, true) + " s] ";
}

// The editable file-name box of a system open dialog: an Edit inside a
// ComboBox inside the ComboBoxEx32 with id 1148; older layouts have a plain
// Edit.
HWND FileNameBox(HWND dialog)
{
    if (HWND ex = GetDlgItem(dialog, 1148)) {
        HWND combo = FindWindowExA(ex, nullptr, "ComboBox", nullptr);
        HWND edit = combo ? FindWindowExA(combo, nullptr, "Edit", nullptr) : nullptr;
        if (!edit)
            edit = FindWindowExA(ex, nullptr, "Edit", nullptr);
        if (edit)
            return edit;
    }
    return rig::FindDescendant(dialog, "Edit", nullptr);
}

// Percentage shown in a progress line "... (N% complete) ...", or -1.
int ShownPercent(const std::string& progress)
{
    size_t end = progress.find("% complete)");
    if (end == std::string::npos)
        return -1;
    size_t begin = progress.rfind('(', end);
    if (begin == std::string::npos)
        return -1;
    return std::atoi(progress.substr(begin + 1, end - begin - 1).c_str());
}

size_t Occurrences(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

bool SameFile(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) == 0; }

struct Run {
    std::string out;
    const OutputChoice* choice = nullptr;
    long filterMs = 2000;
    long timeoutS = 300;
    std::vector<Sample> samples;
    std::string profile;
    std::string failure;  // why the run could not be carried out
};

// Makes the six scenes: clean PNG originals, noisy inputs in .jpg, .bmp and
// .tif (two each), and a noise profile matching the noise.
bool MakeSamples(Run& run)
{
    static const char* const kExt[] = {".jpg", ".jpg", ".bmp", ".bmp", ".tif", ".tif"};
    double sigmaSum = 0.0;
    int count = std::min(scenes::Count(), 6);
    for (int i = 0; i < count; ++i) {
        double t0 = tools::NowMs();
        Sample s;
        s.name = scenes::Name(i);
        s.clean = tools::JoinPath(run.out, s.name + "_original.png");
        s.input = tools::JoinPath(run.out, s.name + kExt[i]);
        imageio::Image clean = scenes::Render(i, kWidth, kHeight);
        scenes::NoiseStats stats;
        imageio::Image noisy = scenes::AddSensorNoise(clean, kLumaSigma, kChromaSigma, 7001u + i, &stats);
        sigmaSum += stats.sigma;
        std::string error;
        if (!imageio::SaveImage(s.clean, clean, imageio::Format::PNG, 90, &error) ||
            !imageio::SaveImage(s.input, noisy, imageio::FormatFromExtension(s.input), 95, &error)) {
            run.failure = "cannot write the sample " + s.name + ": " + error;
            return false;
        }
        tools::Print("  " + tools::Pad(tools::FileNameOf(s.input), 16) + " " + std::to_string(kWidth) + "x" +
                     std::to_string(kHeight) + ", noise sigma " + tools::Fixed(stats.sigma, 1) + " (" +
                     tools::Fixed((tools::NowMs() - t0) / 1000.0, 1) + " s)\n");
        run.samples.push_back(s);
    }
    run.profile = tools::JoinPath(run.out, "demo_noise.dnp");
    std::ostringstream text;
    text << "# Noise profile of the demo's sample images\r\n"
         << "sigma=" << tools::Fixed(sigmaSum / count, 1) << "\r\nradius=2\r\nstrength=1.0\r\n";
    if (!rig::WriteFileText(run.profile, text.str())) {
        run.failure = "cannot write " + run.profile;
        return false;
    }
    tools::Print("  " + tools::Pad(tools::FileNameOf(run.profile), 16) + " sigma=" +
                 tools::Fixed(sigmaSum / count, 1) + "\n");
    return true;
}

// Tolvane as the demo runs it: a copy in the output folder, with the menu
// bridge loaded, its trace captured.
struct Tolvane {
    rig::Process proc;
    HWND dialog = nullptr;
    std::string exe;

    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    std::string Status() const { return rig::TextOf(Item(IDC_STATUS)); }
    std::string Progress() const { return rig::TextOf(Item(IDC_PROGRESS)); }
    bool Running() const { return proc.process && WaitForSingleObject(proc.process, 0) == WAIT_TIMEOUT; }
    ~Tolvane() { rig::EndProgram(proc); }
};

// Presses Add and works through Tolvane's two file dialogs: first the folder,
// then all sample images at once by quoted names, then the profile.
bool AddAllSamples(Run& run, Tolvane& app, tools::BoxGuard& guard)
{
    rig::Click(app.Item(IDC_ADD));
    HWND images = rig::WaitForWindow("#32770", "Select image file(s)", app.proc.pid, 10000);
    if (!images) {
        run.failure = "the image dialog did not appear";
        return false;
    }
    HWND edit = FileNameBox(images);
    HWND ok = GetDlgItem(images, IDOK);
    if (!edit || !ok) {
        run.failure = "the image dialog has no file name box or no Open button";
        return false;
    }
    // Into the sample folder first; the dialog stays open and lists it.
    rig::SetText(edit, run.out);
    rig::Click(ok);
    HWND files = rig::FindDescendant(images, "SysListView32", nullptr);
    bool listed = rig::WaitUntil(
        [&] { return !IsWindow(images) || (files && rig::ListViewCount(files) == static_cast<int>(run.samples.size())); },
        5000);
    if (!IsWindow(images) || !guard.Answered().empty()) {
        run.failure = "the image dialog did not take the folder " + run.out;
        return false;
    }
    if (!listed)
        Sleep(1000);  // no file list to watch: give the dialog a moment
    std::string names;
    for (auto& s : run.samples)
        names += (names.empty() ? "\"" : " \"") + tools::FileNameOf(s.input) + "\"";
    tools::Print("  image dialog: " + run.out + " then " + names + "\n");
    rig::SetText(edit, names);
    rig::Click(ok);
    if (!rig::WaitForWindowGone(images, 10000)) {
        run.failure = "the image dialog did not accept the selection";
        return false;
    }

    HWND profile = rig::WaitForWindow("#32770", "Select Noise Profile", app.proc.pid, 10000);
    if (!profile) {
        run.failure = "the noise profile dialog did not appear";
        return false;
    }
    edit = FileNameBox(profile);
    ok = GetDlgItem(profile, IDOK);
    if (!edit || !ok) {
        run.failure = "the profile dialog has no file name box or no Open button";
        return false;
    }
    tools::Print("  profile dialog: " + run.profile + "\n");
    rig::SetText(edit, run.profile);
    rig::Click(ok);
    if (!rig::WaitForWindowGone(profile, 10000)) {
        run.failure = "the profile dialog did not accept " + run.profile;
        return false;
    }
    HWND list = app.Item(IDC_JOB_LIST);
    if (!rig::WaitUntil([&] { return rig::ListViewCount(list) == static_cast<int>(run.samples.size()); }, 10000)) {
        run.failure = "the job list holds " + std::to_string(rig::ListViewCount(list)) + " jobs instead of " +
                      std::to_string(run.samples.size());
        return false;
    }
    return true;
}

bool ChooseFormat(Run& run, Tolvane& app)
{
    HWND combo = app.Item(IDC_OUTPUT_FORMAT);
    std::vector<std::string> items = rig::ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i) {
        if (items[i] == run.choice->selector) {
            rig::SetComboSelection(combo, static_cast<int>(i));
            if (rig::ComboSelection(combo) == static_cast<int>(i))
                return true;
        }
    }
    run.failure = std::string("cannot choose the output format ") + run.choice->selector;
    return false;
}

void Shot(HWND window, const std::string& path, std::vector<std::string>& notes)
{
    std::string error;
    if (tools::SaveWindowShot(window, path, &error))
        return;
    notes.push_back("screenshot " + tools::FileNameOf(path) + " failed: " + error);
    // The script takes the screen with X tools instead when it sees this.
    RECT r = {};
    GetWindowRect(window, &r);
    tools::Print("SCREENSHOT-FALLBACK " + path + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
                 std::to_string(r.right - r.left) + " " + std::to_string(r.bottom - r.top) + "\n");
}

// Start, then watch the status and progress lines until "Processing
// complete", taking the screenshots on the way.
bool RunBatch(Run& run, Tolvane& app, HWND standinMain, tools::BoxGuard& guard, std::vector<std::string>& notes,
              double& runMs)
{
    rig::Click(app.Item(IDC_START));
    const double start = tools::NowMs();
    const std::string during = tools::JoinPath(run.out, "tolvane-during.png");
    bool haveAny = false, haveGood = false;
    std::string lastStatus;
    for (;;) {
        if (!app.Running()) {
            run.failure = "Tolvane ended during the run";
            return false;
        }
        auto boxes = guard.Answered();
        if (!boxes.empty()) {
            run.failure = "a box came up: " + boxes.front();
            return false;
        }
        std::string status = app.Status();
        std::string progress = app.Progress();
        if (status != lastStatus && !status.empty() && status != "Status:") {
            tools::Print("  " + Elapsed(start) + status + "\n");
            lastStatus = status;
        }
        if (status == "Processing complete")
            break;
        if (progress.find("Remaining Time:") != std::string::npos) {
            // Best: a later image (so both remaining times show) well into its filtering.
            int pct = ShownPercent(progress);
            bool good = Occurrences(progress, "Total =") >= 2 && pct >= 30 && pct <= 90;
            if ((good && !haveGood) || !haveAny) {
                Shot(app.dialog, during, notes);
                haveAny = true;
                if (good) {
                    haveGood = true;
                    // The whole scene too: the stand-in at work beside Tolvane.
                    RECT a = {}, b = {}, both = {};
                    GetWindowRect(app.dialog, &a);
                    GetWindowRect(standinMain, &b);
                    UnionRect(&both, &a, &b);
                    imageio::Image screen;
                    if (tools::CaptureScreen(both, screen))
                        imageio::SaveImage(tools::JoinPath(run.out, "screen-during.png"), screen,
                                           imageio::Format::PNG);
                    std::string line = progress;
                    std::replace(line.begin(), line.end(), '\n', ' ');
                    tools::Print("  " + Elapsed(start) + "screenshot: " + line + "\n");
                }
            }
        }
        if (tools::NowMs() - start > run.timeoutS * 1000.0) {
            run.failure = "no \"Processing complete\" within " + std::to_string(run.timeoutS) + " s (status: " +
                          status + ")";
            return false;
        }
        Sleep(50);
    }
    runMs = tools::NowMs() - start;
    if (!haveAny)
        notes.push_back("the progress line never showed remaining times, so no screenshot during the run");
    Sleep(300);  // let the dialog repaint its final lines
    Shot(app.dialog, tools::JoinPath(run.out, "tolvane-end.png"), notes);
    return true;
}

struct JobResult {
    std::string input, output, decoded;
    double psnrIn = 0.0, psnrOut = 0.0;
    DWORD jobMs = 0, filterMs = 0;
    bool ok = false;
    std::string problem;
};

std::string Db(double v) { return std::isinf(v) ? std::string("inf") : tools::Fixed(v, 2); }

std::string CsvField(const std::string& s)
{
    if (s.find_first_of(",\"") == std::string::npos)
        return s;
    std::string q = "\"";
    for (char c : s)
        q += c == '"' ? std::string("\"\"") : std::string(1, c);
    return q + "\"";
}

int Summarise(Run& run, const std::vector<std::vector<std::string>>& rows, const std::vector<tools::JobRecord>& jobs,
              double runMs, const std::vector<std::string>& notes)
{
    std::vector<JobResult> results;
    for (size_t i = 0; i < rows.size(); ++i) {
        JobResult r;
        r.input = rows[i].empty() ? std::string() : rows[i][0];
        const Sample* sample = nullptr;
        for (auto& s : run.samples)
            if (SameFile(s.input, r.input))
                sample = &s;
        const tools::JobRecord* job = nullptr;
        for (auto& j : jobs)
            if (SameFile(j.image, r.input) && !j.output.empty())
                job = &j;
        if (job) {
            r.output = job->output;
            r.jobMs = job->saved - job->openMenu;
            r.filterMs = job->filterMs;
        }
        imageio::Image clean, in, out;
        if (!sample || !imageio::LoadImage(sample->clean, clean)) {
            r.problem = "no clean original for this input";
        } else if (!imageio::LoadImage(r.input, in)) {
            r.problem = "cannot read the input";
        } else if (r.output.empty() || !rig::FileExists(r.output)) {
            r.problem = "no output was saved";
        } else {
            r.decoded = imageio::DetectFormat(r.output);
            if (!imageio::LoadImage(r.output, out))
                r.problem = "cannot decode the output";
            else {
                r.psnrIn = imageio::Psnr(in, clean);
                r.psnrOut = imageio::Psnr(out, clean);
                if (r.decoded != run.choice->decoded)
                    r.problem = "output is " + r.decoded + ", not " + run.choice->decoded;
                else if (!(r.psnrOut > r.psnrIn))
                    r.problem = "output is no cleaner than its input";
                else
                    r.ok = true;
            }
        }
        results.push_back(r);
    }

    std::ostringstream t;
    t << "Tolvane demo: " << results.size() << " jobs, output format " << run.choice->selector
      << ", stand-in filter stretched to at least " << run.filterMs << " ms\n\n";
    t << Pad("#", 3) << Pad("Input", 12) << Pad("Output", 26) << Pad("Format", 7) << Pad("PSNR in", 9, true)
      << Pad("PSNR out", 10, true) << Pad("Gain", 8, true) << Pad("Filter", 9, true) << Pad("Job", 8, true) << "\n";
    t << Pad("", 3) << Pad("", 12) << Pad("", 26) << Pad("", 7) << Pad("dB", 9, true) << Pad("dB", 10, true)
      << Pad("dB", 8, true) << Pad("s", 9, true) << Pad("s", 8, true) << "\n";
    t << std::string(92, '-') << "\n";
    int good = 0;
    double sumIn = 0, sumOut = 0;
    for (size_t i = 0; i < results.size(); ++i) {
        const JobResult& r = results[i];
        t << Pad(std::to_string(i + 1), 3) << Pad(tools::FileNameOf(r.input), 12)
          << Pad(r.output.empty() ? "(none)" : tools::FileNameOf(r.output), 26) << Pad(r.decoded, 7)
          << Pad(Db(r.psnrIn), 9, true) << Pad(Db(r.psnrOut), 10, true) << Pad(Db(r.psnrOut - r.psnrIn), 8, true)
          << Pad(tools::Fixed(r.filterMs / 1000.0, 2), 9, true) << Pad(tools::Fixed(r.jobMs / 1000.0, 2), 8, true)
          << (r.ok ? "" : "  <- " + r.problem) << "\n";
        if (r.ok) {
            ++good;
            sumIn += r.psnrIn;
            sumOut += r.psnrOut;
        }
    }
    t << std::string(92, '-') << "\n";
    if (good > 0)
        t << "Mean PSNR of the good jobs: " << Db(sumIn / good) << " dB before, " << Db(sumOut / good)
          << " dB after (+" << Db((sumOut - sumIn) / good) << " dB).\n";
    t << "Batch run (Start to \"Processing complete\"): " << tools::Fixed(runMs / 1000.0, 1) << " s for "
      << results.size() << " jobs.\n";
    t << good << " of " << run.samples.size() << " jobs produced a cleaner " << run.choice->decoded
      << " output.\n";
    for (auto& n : notes)
        t << "Note: " << n << "\n";
    std::string table = t.str();

    std::ostringstream csv;
    csv << "job,input,output,output_format,psnr_input_db,psnr_output_db,gain_db,filter_ms,job_ms,ok\r\n";
    for (size_t i = 0; i < results.size(); ++i) {
        const JobResult& r = results[i];
        csv << i + 1 << "," << CsvField(r.input) << "," << CsvField(r.output) << "," << r.decoded << ","
            << Db(r.psnrIn) << "," << Db(r.psnrOut) << "," << Db(r.psnrOut - r.psnrIn) << "," << r.filterMs << ","
            << r.jobMs << "," << (r.ok ? "yes" : "no") << "\r\n";
    }
    std::string crlf;
    for (char c : table) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    rig::WriteFileText(tools::JoinPath(run.out, "summary.txt"), crlf);
    rig::WriteFileText(tools::JoinPath(run.out, "summary.csv"), csv.str());
    tools::Print("\n" + table);
    bool all = good == static_cast<int>(run.samples.size()) && results.size() == run.samples.size();
    return all ? 0 : 1;
}

int Demo(Run& run)
{
    tools::Print("Making " + std::to_string(std::min(scenes::Count(), 6)) + " sample photographs in " + run.out +
                 "\n");
    if (!MakeSamples(run))
        return 2;
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    tools::Options opt(argc, argv);
    std::string unknown = opt.Unknown({"--out", "--format", "--filter-ms", "--timeout", "--images-only"});
    Run run;
    run.out = opt.Value("--out");
    std::string format = Lower(opt.Value("--format", "tiff"));
    for (auto& c : kChoices)
        if (format == c.option)
            run.choice = &c;
    run.filterMs = opt.Number("--filter-ms", 2000);
    run.timeoutS = opt.Number("--timeout", 300);
    if (!unknown.empty() || run.out.empty() || !run.choice || run.filterMs < 0 || run.timeoutS <= 0) {
        std::fputs(kUsage, stderr);
        return 3;
    }
    while (!run.out.empty() && (run.out.back() == '\\' || run.out.back() == '/'))
        run.out.pop_back();
    if (!tools::EnsureFolder(run.out)) {
        std::fprintf(stderr, "demo_driver: cannot create %s\n", run.out.c_str());
        return 2;
    }

    int code = Demo(run);
    if (code != 0 || opt.Has("--images-only")) {
        if (!run.failure.empty())
            std::fprintf(stderr, "demo_driver: %s\n", run.failure.c_str());
        return code;
    }

    tools::BoxGuard guard(0, {"Tolvane", "Select image file(s)", "Select Noise Profile", "Open", "Save As"});
    std::vector<std::string> notes;
    std::vector<std::vector<std::string>> rows;
    double runMs = 0.0;
    bool done = false;
    {
        // The stand-in works in the output folder: its journal lands there and
        // it saves every result beside its input.
        DeleteFileA(tools::JoinPath(run.out, "journal.txt").c_str());
        rig::StandInApp standin;
        Tolvane app;
        std::string error;
        tools::Print("Starting the stand-in (filter stretched to " + std::to_string(run.filterMs) +
                     " ms) and Tolvane\n");
        if (!standin.Start("--filter-ms " + std::to_string(run.filterMs), &error, run.out)) {
            run.failure = "the stand-in did not start: " + error;
        } else {
            guard.Watch(standin.proc.pid);
            app.exe = tools::JoinPath(run.out, "tolvane.exe");
            DeleteFileA(tools::JoinPath(run.out, "tolvane_log.txt").c_str());
            if (!CopyFileA((rig::ExeDir() + "tolvane.exe").c_str(), app.exe.c_str(), FALSE))
                run.failure = "cannot copy tolvane.exe to " + run.out;
            else if (!rig::StartProgram(app.exe, "", &app.proc, tools::JoinPath(run.out, "tolvane-trace.txt"),
                                        rig::BridgeDll(), &error))
                run.failure = "Tolvane did not start: " + error;
            else if (!(app.dialog = rig::WaitForWindow("#32770", "Tolvane", app.proc.pid, 15000)))
                run.failure = "Tolvane's dialog did not appear";
        }
        if (run.failure.empty()) {
            guard.Watch(app.proc.pid);
            // Side by side: the stand-in on the left, Tolvane on the right.
            RECT d = {};
            GetWindowRect(app.dialog, &d);
            SIZE screen = tools::ScreenSize();
            int dw = d.right - d.left;
            int left = screen.cx - dw - 8 > 480 ? screen.cx - dw - 8 : 8;
            tools::PlaceWindow(app.dialog, left, 8);
            int sw = std::min(800, std::max(320, left - 16));
            tools::PlaceWindow(standin.main, 0, 0, sw, std::min(620, static_cast<int>(screen.cy) - 40));
            tools::Print("Add: all images at once, then the noise profile\n");
            if (AddAllSamples(run, app, guard) && ChooseFormat(run, app)) {
                rows = rig::ListViewRows(app.Item(IDC_JOB_LIST), 2);
                tools::Print(std::string("Output format: ") + run.choice->selector + "; Start\n");
                done = RunBatch(run, app, standin.main, guard, notes, runMs);
            }
        }
        if (app.dialog && app.Running()) {
            PostMessageA(app.dialog, WM_CLOSE, 0, 0);
            if (!rig::WaitExit(app.proc, 10000))
                notes.push_back("Tolvane did not close in time and was ended");
        }
        rig::EndProgram(app.proc);
        if (standin.proc.process) {
            std::vector<tools::JobRecord> jobs = tools::JobsFromJournal(standin.Events());
            standin.Close();
            if (done) {
                DeleteFileA(app.exe.c_str());
                for (auto& b : guard.Answered())
                    notes.push_back("a box was answered: " + b);
                return Summarise(run, rows, jobs, runMs, notes);
            }
        }
    }
    std::fprintf(stderr, "demo_driver: %s\n", run.failure.empty() ? "the run failed" : run.failure.c_str());
    for (auto& b : guard.Answered())
        std::fprintf(stderr, "demo_driver: a box was answered: %s\n", b.c_str());
    return 2;
}
