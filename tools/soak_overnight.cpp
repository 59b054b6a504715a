// The overnight run of scripts/soak: one run of many jobs of small images.
// Samples Tolvane's working set, private bytes and GDI and USER object counts
// after job 10 and at the end, and reports the growth, or what Wine gives
// where it has no figure.
#include "soak.h"

#include "app/resource.h"
#include "driver_support.h"
#include "standin_app.h"

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <sstream>

namespace soak {
namespace {

using tools::Fixed;
using tools::Pad;

struct Sample {
    bool memoryOk = false;
    SIZE_T workingSet = 0;
    SIZE_T privateBytes = 0;
    SIZE_T pagefile = 0;
    SIZE_T committedPrivate = 0; // committed MEM_PRIVATE regions, summed over VirtualQueryEx
    DWORD gdi = 0, gdiError = 0;
    DWORD user = 0, userError = 0;
    int windows = 0; // the process's windows, top-level and child
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

std::string Kib(SIZE_T bytes)
{
    return Fixed(static_cast<double>(bytes) / 1024.0, 0) + " KiB";
}

std::string Growth(long long a, long long b, const std::string& unit, double scale)
{
    long long d = b - a;
    return (d >= 0 ? "+" : "") + Fixed(static_cast<double>(d) / scale, 0) + unit;
}

} // namespace

bool Overnight(const std::string& out, int jobs, std::string& report, std::string& failure)
{
    const std::string dir = paths::JoinPath(out, "overnight");
    tools::EnsureFolder(dir);
    DeleteFileA(paths::JoinPath(dir, "tolvane_log.txt").c_str());
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
    const double t0 = rig::NowMs();
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
                         Fixed((rig::NowMs() - t0) / 1000.0, 0) + " s\n");
        }
        if (WaitForSingleObject(app.proc.process, 0) == WAIT_OBJECT_0) {
            failure = "Tolvane ended during the run";
            break;
        }
        if (!guard.Answered().empty()) {
            failure = "a box came up: " + guard.Answered().front();
            break;
        }
        if (rig::NowMs() - t0 > limitMs) {
            failure =
                "no \"Processing complete\" within " + Fixed(limitMs / 1000.0, 0) + " s (status \"" + status + "\")";
            break;
        }
        Sleep(100);
    }
    const double runMs = rig::NowMs() - t0;
    if (failure.empty()) {
        Sleep(1000); // the last save lands just after "Processing complete"
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
              << " (error " << bErr << ")" << (aErr == ERROR_CALL_NOT_IMPLEMENTED ? ", not implemented" : "") << "\n";
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

} // namespace soak
