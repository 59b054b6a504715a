// The soak's session with Tolvane: a copy of the fast build (or of the build
// that holds the heap lock, for the random Stops) started beside
// the stand-in, its options, the jobs put straight into its list, the output
// format, and the small input images the parts work on.
#include "soak.h"

#include "app/resource.h"
#include "driver_support.h"

namespace soak {

bool StartTolvane(const std::string& dir, Tolvane& app, std::string& failure, unsigned heapHoldMs,
                  const std::string& testBuild)
{
    const std::string exe = paths::JoinPath(dir, "tolvane.exe");
    const std::string build = heapHoldMs > 0       ? "tolvane_heaplock.exe"
                              : !testBuild.empty() ? testBuild
                                                   : "tolvane_fast.exe";
    std::string error;
    if (!CopyFileA((rig::ExeDir() + build).c_str(), exe.c_str(), FALSE)) {
        failure = "cannot copy " + build;
        return false;
    }
    // The held heap is asked for through the environment Tolvane inherits.
    const std::string hold = std::to_string(heapHoldMs);
    SetEnvironmentVariableA("TOLVANE_TEST_HEAP_HOLD_MS", heapHoldMs > 0 ? hold.c_str() : nullptr);
    bool started =
        rig::StartProgram(exe, "", &app.proc, paths::JoinPath(dir, "tolvane-trace.txt"), rig::BridgeDll(), &error);
    SetEnvironmentVariableA("TOLVANE_TEST_HEAP_HOLD_MS", nullptr);
    if (!started) {
        failure = "Tolvane did not start: " + error;
        return false;
    }
    app.dialog = rig::WaitForWindow("#32770", "Tolvane", app.proc.pid, 15000);
    if (!app.dialog) {
        failure = "Tolvane's dialog did not appear";
        return false;
    }
    return true;
}

bool CheckOption(const Tolvane& app, int id)
{
    HWND box = app.Item(id);
    if (!box)
        return false;
    if (rig::CheckState(box) != BST_CHECKED)
        rig::Click(box);
    return rig::WaitUntil([&] { return rig::CheckState(box) == BST_CHECKED; }, 3000);
}

bool ApplyPacing(const Tolvane& app, std::string& failure)
{
    if (FastPacing && !CheckOption(app, IDC_FAST_PACING)) {
        failure = "\"Fast pacing\" would not read checked";
        return false;
    }
    return true;
}

bool AddJobs(const Tolvane& app, const std::vector<std::string>& images, const std::string& profile, int count)
{
    HWND list = app.Item(IDC_JOB_LIST);
    for (int i = 0; i < count; ++i)
        if (!rig::AddListViewRow(list, {images[static_cast<size_t>(i) % images.size()], profile}))
            return false;
    return rig::ListViewCount(list) == count;
}

bool SelectFormat(const Tolvane& app, const std::string& text)
{
    HWND combo = app.Item(IDC_OUTPUT_FORMAT);
    std::vector<std::string> items = rig::ComboItems(combo);
    for (size_t i = 0; i < items.size(); ++i)
        if (items[i] == text)
            return rig::SetComboSelection(combo, static_cast<int>(i));
    return false;
}

// Small noisy images and a profile in `dir`.
bool WriteInputs(const std::string& dir, int count, std::vector<std::string>& images, std::string& profile)
{
    for (int i = 0; i < count; ++i) {
        std::string path = paths::JoinPath(dir, "small" + std::to_string(i + 1) + ".bmp");
        if (!rig::WriteTestImage(path, 96 + 16 * i, 64 + 8 * i))
            return false;
        images.push_back(path);
    }
    profile = paths::JoinPath(dir, "soak.dnp");
    return rig::WriteTestProfile(profile);
}

} // namespace soak
