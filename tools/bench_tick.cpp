// The cost of one progress tick for scripts/bench, measured in this process
// with the product's own timer routine: idle, and with the stand-in's
// progress window up (whose title the tick then reads across processes).
#include "bench.h"

#include "app/resource.h"
#include "batch/batch.h"
#include "commands.h"
#include "driver_support.h"
#include "rig.h"
#include "scenes.h"
#include "standin_app.h"
#include "tolvane.h"

#include <windows.h>

namespace bench {

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
        double a = rig::NowMs();
        ProgressTimerProc(MainDialog, WM_TIMER, PROGRESS_TIMER_ID, GetTickCount());
        return (rig::NowMs() - a) * 1000.0; // microseconds
    };
    const int kCalls = 10000;
    std::vector<double> idle;
    for (int i = 0; i < kCalls; ++i)
        idle.push_back(tick());
    res.Add("progress_tick_us_idle", Mean(idle), 2);
    res.Add("progress_tick_us_idle_p99", Percentile(idle, 99.0), 2);

    // A stand-in that filters for a long time, so its progress window stays up.
    const std::string dir = paths::JoinPath(set.out, "tick");
    tools::EnsureFolder(dir);
    DeleteFileA(paths::JoinPath(dir, "journal.txt").c_str());
    const std::string image = paths::JoinPath(dir, "tick.bmp");
    const std::string profile = paths::JoinPath(dir, "tick.dnp");
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
            const double start = rig::NowMs();
            size_t filters = 0;
            while (static_cast<int>(visible.size()) < kCalls && rig::NowMs() - start < 30000.0) {
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

} // namespace bench
