// The stand-in's own speed for scripts/bench, which its tests no longer
// judge: its filter on a large image and how much later than asked a --delay
// window appears.
#include "bench.h"

#include "commands.h"
#include "driver_support.h"
#include "rig.h"
#include "scenes.h"
#include "standin_app.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>

namespace bench {
namespace {

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

} // namespace

// The stand-in's own speed, which its tests no longer judge: its filter on a
// large image (its own measure, median of three), and how much later than
// asked a --delay window appears.
void StandInFigures(const Settings& set, Results& res)
{
    const std::string dir = paths::JoinPath(set.out, "standin");
    tools::EnsureFolder(dir);
    const std::string image = paths::JoinPath(dir, "large.bmp");
    const std::string profile = paths::JoinPath(dir, "large.dnp");
    imageio::SaveImage(image, scenes::AddSensorNoise(scenes::Render(0, kWidth, kHeight), 13.0, 6.0, 900u),
                       imageio::Format::BMP);
    rig::WriteFileText(profile, "sigma=15\r\nradius=2\r\n");
    rig::StandInApp standin;
    std::string error;
    std::vector<double> filter;
    double late = -1.0;
    const DWORD kDelayMs = 1500;
    if (standin.Start("--delay image-open " + std::to_string(kDelayMs), &error, dir)) {
        const double start = rig::NowMs();
        PostMessageA(standin.main, WM_COMMAND, standin::IDM_IMAGE_OPEN, 0);
        HWND dlg = rig::WaitForWindow("#32770", "Open", standin.proc.pid, 30000);
        if (dlg) {
            late = rig::NowMs() - start - kDelayMs;
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
    res.Add("standin_filter_1024x768_ms", tools::Median(filter), 1);
    res.Add("standin_delay_late_ms", late, 1);
}

} // namespace bench
