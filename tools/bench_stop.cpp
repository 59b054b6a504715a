// Stop to the "Success" box for scripts/bench, seen from outside as a user
// sees it, during runs of the product build: while the stand-in filters and
// while Tolvane waits for an image "Open" dialog that comes late.
#include "bench.h"

#include "app/resource.h"
#include "driver_support.h"
#include "process.h"
#include "rig.h"
#include "scenes.h"
#include "standin_app.h"

#include <windows.h>

#include <cstdio>

namespace bench {

// From pressing Stop to the "Success" box, seen from outside as a user sees
// it, during runs of the product build: while the stand-in filters (the
// worker is inside the filter command) and while Tolvane polls for an image
// "Open" dialog that comes late. A fresh pair of programs for every Stop.
void StopToBox(const Settings& set, Results& res)
{
    const std::string dir = paths::JoinPath(set.out, "stop");
    tools::EnsureFolder(dir);
    const std::string image = paths::JoinPath(dir, "stop.bmp");
    const std::string profile = paths::JoinPath(dir, "stop.dnp");
    imageio::SaveImage(image, scenes::Render(1, 320, 240), imageio::Format::BMP);
    rig::WriteFileText(profile, "sigma=15\r\n");
    struct Case {
        const char* key;
        const char* label;
        const char* standinArgs;
        const char* event; // the journal's sign that the situation has come
        const char* eventArgs;
        DWORD afterMs; // then this long into it
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
            const std::string exe = paths::JoinPath(dir, "tolvane.exe");
            rig::Process app;
            HWND dialog = nullptr;
            if (!CopyFileA((rig::ExeDir() + "tolvane.exe").c_str(), exe.c_str(), FALSE) ||
                !rig::StartProgram(exe, "", &app, paths::JoinPath(dir, "tolvane-trace.txt"), rig::BridgeDll(),
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
                    const double start = rig::NowMs();
                    rig::Click(GetDlgItem(dialog, IDC_STOP));
                    rig::MessageBoxInfo box;
                    if (rig::WaitForMessageBox("Success", &box, app.pid, 60000)) {
                        took.push_back(rig::NowMs() - start);
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
        res.Add(k + "_median_ms", tools::Median(took), 1);
        res.Add(k + "_worst_ms", Max(took), 1);
    }
}

} // namespace bench
