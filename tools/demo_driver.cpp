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
//
// The samples are made in demo_samples.cpp and the summary is written in
// demo_summary.cpp; this file drives the programs.
#include "demo.h"
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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

using demo::Run;
using tools::Pad;

const char kUsage[] =
    "usage: demo_driver --out FOLDER [--format tiff|jpeg|bitmap] [--filter-ms MS] [--timeout SECONDS] "
    "[--images-only]\n";

const demo::OutputChoice kChoices[] = {
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
    return "[" + Pad(tools::Fixed((rig::NowMs() - sinceMs) / 1000.0, 1), 5, true) + " s] ";
}

// The editable file-name box of a system open dialog: an Edit inside a
// ComboBox inside the ComboBoxEx32 with id 1148; older layouts have a plain
// Edit.
HWND ComboBoxExNameEdit(HWND dialog)
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
    HWND edit = ComboBoxExNameEdit(images);
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
        [&] {
            return !IsWindow(images) || (files && rig::ListViewCount(files) == static_cast<int>(run.samples.size()));
        },
        5000);
    if (!IsWindow(images) || !guard.Answered().empty()) {
        run.failure = "the image dialog did not take the folder " + run.out;
        return false;
    }
    if (!listed)
        Sleep(1000); // no file list to watch: give the dialog a moment
    std::string names;
    for (auto& s : run.samples)
        names += (names.empty() ? "\"" : " \"") + paths::FileNameOf(s.input) + "\"";
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
    edit = ComboBoxExNameEdit(profile);
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
    notes.push_back("screenshot " + paths::FileNameOf(path) + " failed: " + error);
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
    const double start = rig::NowMs();
    const std::string during = paths::JoinPath(run.out, "tolvane-during.png");
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
                        imageio::SaveImage(paths::JoinPath(run.out, "screen-during.png"), screen, imageio::Format::PNG);
                    std::string line = progress;
                    std::replace(line.begin(), line.end(), '\n', ' ');
                    tools::Print("  " + Elapsed(start) + "screenshot: " + line + "\n");
                }
            }
        }
        if (rig::NowMs() - start > run.timeoutS * 1000.0) {
            run.failure =
                "no \"Processing complete\" within " + std::to_string(run.timeoutS) + " s (status: " + status + ")";
            return false;
        }
        Sleep(50);
    }
    runMs = rig::NowMs() - start;
    if (!haveAny)
        notes.push_back("the progress line never showed remaining times, so no screenshot during the run");
    Sleep(300); // let the dialog repaint its final lines
    Shot(app.dialog, paths::JoinPath(run.out, "tolvane-end.png"), notes);
    return true;
}

int Demo(Run& run)
{
    tools::Print("Making " + std::to_string(std::min(scenes::Count(), 6)) + " sample photographs in " + run.out + "\n");
    if (!demo::MakeSamples(run))
        return 2;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    tools::CommandLine opt(argc, argv);
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
        DeleteFileA(paths::JoinPath(run.out, "journal.txt").c_str());
        rig::StandInApp standin;
        Tolvane app;
        std::string error;
        tools::Print("Starting the stand-in (filter stretched to " + std::to_string(run.filterMs) +
                     " ms) and Tolvane\n");
        if (!standin.Start("--filter-ms " + std::to_string(run.filterMs), &error, run.out)) {
            run.failure = "the stand-in did not start: " + error;
        } else {
            guard.Watch(standin.proc.pid);
            app.exe = paths::JoinPath(run.out, "tolvane.exe");
            DeleteFileA(paths::JoinPath(run.out, "tolvane_log.txt").c_str());
            if (!CopyFileA((rig::ExeDir() + "tolvane.exe").c_str(), app.exe.c_str(), FALSE))
                run.failure = "cannot copy tolvane.exe to " + run.out;
            else if (!rig::StartProgram(app.exe, "", &app.proc, paths::JoinPath(run.out, "tolvane-trace.txt"),
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
                return demo::Summarise(run, rows, jobs, runMs, notes);
            }
        }
    }
    std::fprintf(stderr, "demo_driver: %s\n", run.failure.empty() ? "the run failed" : run.failure.c_str());
    for (auto& b : guard.Answered())
        std::fprintf(stderr, "demo_driver: a box was answered: %s\n", b.c_str());
    return 2;
}
