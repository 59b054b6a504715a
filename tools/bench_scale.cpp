// The job list at scale, for scripts/bench: one Add of 10,000 images of
// 20-character names through the real image dialog, then Ctrl+A's selection
// of every row removed with Delete; the time each takes in Tolvane and the
// dialog's worst answer to a WM_NULL sent every 20 ms meanwhile.
#include "bench.h"

#include "answer_probe.h"
#include "app/resource.h"
#include "driver_support.h"
#include "rig.h"
#include "tolvane_app.h"

#include <windows.h>
#include <commctrl.h>

#include <cstdio>

namespace bench {
namespace {

constexpr int kScaleImages = 10000;

// The worst answer while it runs.
class Worst {
public:
    explicit Worst(HWND dialog)
        : timer_(dialog, SMTO_NORMAL, 5000, rig::ProbePace::FixedRate, [this](bool, double took) {
              if (took > worst)
                  worst = took;
          })
    {
    }
    void Stop() { timer_.Stop(); }
    double worst = 0.0;

private:
    rig::AnswerTimer timer_;
};

// Selects every row of the program's list, as Ctrl+A does, with one
// LVM_SETITEMSTATE whose item lies in the program's memory.
bool SelectAll(HWND list, DWORD pid)
{
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return false;
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    void* remote = VirtualAllocEx(process, nullptr, sizeof item, MEM_COMMIT, PAGE_READWRITE);
    bool ok = remote && WriteProcessMemory(process, remote, &item, sizeof item, nullptr) &&
              SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(remote));
    if (remote)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    CloseHandle(process);
    return ok;
}

HWND NameBox(HWND dialog)
{
    HWND comboEx = FindWindowExA(dialog, nullptr, "ComboBoxEx32", nullptr);
    return comboEx ? rig::FindDescendant(comboEx, "Edit", nullptr) : nullptr;
}

} // namespace

bool TypeAndOpen(HWND dialog, const std::string& text)
{
    HWND box = NameBox(dialog);
    if (!box)
        return false;
    rig::SetText(box, text);
    rig::Click(GetDlgItem(dialog, IDOK));
    return true;
}

void ScaleFigures(const Settings& set, Results& res)
{
    std::string folder = paths::JoinPath(set.out, "scale");
    tools::EnsureFolder(folder);
    std::string typed;
    for (int i = 0; i < kScaleImages; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "Wedding_24_%05d.jpg", i);
        std::string path = paths::JoinPath(folder, name);
        if (GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            rig::WriteFileText(path, "x");
        typed += (typed.empty() ? "\"" : " \"") + std::string(name) + "\"";
    }
    std::string profile = paths::JoinPath(folder, "scale.dnp");
    rig::WriteFileText(profile, "profile");

    rig::TolvaneApp app;
    std::string error;
    if (!app.Start("tolvane", "", true, &error)) {
        std::fprintf(stderr, "bench_driver: scale: %s\n", error.c_str());
        return;
    }
    HWND list = app.Item(IDC_JOB_LIST);
    auto count = [&] { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); };

    rig::Click(app.Item(IDC_ADD));
    HWND image = rig::WaitForWindow("#32770", "Select image file(s)", app.proc.pid, 10000);
    if (!image || !TypeAndOpen(image, folder)) {
        std::fprintf(stderr, "bench_driver: scale: no image dialog\n");
        return;
    }
    Sleep(1000); // the dialog moves into the folder
    double pressed = rig::NowMs();
    TypeAndOpen(image, typed);
    HWND prof = rig::WaitForWindow("#32770", "Select Noise Profile", app.proc.pid, 300000);
    double dialogMs = rig::NowMs() - pressed;
    if (!prof) {
        std::fprintf(stderr, "bench_driver: scale: no profile dialog\n");
        return;
    }
    Worst addProbe(app.dialog);
    double start = rig::NowMs();
    TypeAndOpen(prof, profile);
    bool added = rig::WaitUntil([&] { return count() == kScaleImages; }, 120000);
    double addMs = rig::NowMs() - start;
    // The last rows are in; the rest of the Add (its repaint) is over once a
    // message is answered after it.
    DWORD_PTR r = 0;
    SendMessageTimeoutA(app.dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
    addProbe.Stop();

    double deleteMs = -1.0, deleteWorst = -1.0;
    if (added && SelectAll(list, app.proc.pid)) {
        Worst deleteProbe(app.dialog);
        start = rig::NowMs();
        PostMessageA(list, WM_KEYDOWN, VK_DELETE, 0);
        PostMessageA(list, WM_KEYUP, VK_DELETE, 0);
        rig::WaitUntil([&] { return count() == 0; }, 120000);
        deleteMs = rig::NowMs() - start;
        SendMessageTimeoutA(app.dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
        deleteProbe.Stop();
        deleteWorst = deleteProbe.worst;
    }
    DWORD code = 0;
    app.Close(&code);

    res.Add("scale_images", std::to_string(kScaleImages));
    res.Add("scale_image_dialog_ms", dialogMs, 0);
    res.Add("scale_add_ms", added ? addMs : -1.0, 0);
    res.Add("scale_add_ui_worst_ms", addProbe.worst, 1);
    res.Add("scale_delete_ms", deleteMs, 0);
    res.Add("scale_delete_ui_worst_ms", deleteWorst, 1);
}

} // namespace bench
