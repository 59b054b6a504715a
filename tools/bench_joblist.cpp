// The job list file at scale, for scripts/bench: Open of a job list of
// 10,000 lines through the program's own "Open job list" dialog, timed from
// the press of Open to the last row in the list.
#include "bench.h"

#include "app/resource.h"
#include "driver_support.h"
#include "rig.h"
#include "tolvane_app.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace bench {
namespace {

constexpr int kListLines = 10000;

} // namespace

// Through the real dialog and the product build, as a user opens a list:
// the time includes reading, checking and adding every row.
void JobListFigures(const Settings& set, Results& res)
{
    std::string folder = paths::JoinPath(set.out, "joblist");
    tools::EnsureFolder(folder);
    // Lines as Save writes them: full paths of 60 to 70 characters.
    std::string text;
    for (int i = 0; i < kListLines; ++i) {
        char line[300];
        std::snprintf(line, sizeof line, "%s\\Wedding 2024\\Wedding_24_%05d.jpg\t%s\\Profiles\\wedding.dnp\r\n",
                      folder.c_str(), i, folder.c_str());
        text += line;
    }
    std::string list = paths::JoinPath(folder, "jobs10000.txt");
    if (!rig::WriteFileText(list, text)) {
        std::fprintf(stderr, "bench_driver: job list: cannot write %s\n", list.c_str());
        return;
    }

    rig::TolvaneApp app;
    std::string error;
    if (!app.Start("tolvane", "", true, &error)) {
        std::fprintf(stderr, "bench_driver: job list: %s\n", error.c_str());
        return;
    }
    HWND rows = app.Item(IDC_JOB_LIST);
    auto count = [&] { return static_cast<int>(SendMessageA(rows, LVM_GETITEMCOUNT, 0, 0)); };
    rig::PostCommand(app.dialog, IDC_OPEN_JOB_LIST);
    HWND dialog = rig::WaitForWindow("#32770", "Open job list", app.proc.pid, 10000);
    double start = rig::NowMs();
    if (!dialog || !TypeAndOpen(dialog, list)) {
        std::fprintf(stderr, "bench_driver: job list: no \"Open job list\" dialog\n");
        return;
    }
    bool opened = rig::WaitUntil([&] { return count() == kListLines; }, 60000);
    double openMs = rig::NowMs() - start;
    DWORD_PTR r = 0;
    SendMessageTimeoutA(app.dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    DWORD code = 0;
    app.Close(&code);

    res.Add("joblist_lines", std::to_string(kListLines));
    res.Add("joblist_open_ms", opened ? openMs : -1.0, 0);
}

} // namespace bench
