#include "tolvane_app.h"

namespace rig {

bool TolvaneApp::Start(const std::string& build, const std::string& dll, bool waitForDialog, std::string* error)
{
    dir = MakeTempDir("app");
    exe = dir + "\\tolvane.exe";
    log = dir + "\\tolvane_log.txt";
    out = dir + "\\trace.txt";
    if (!CopyFileA((ExeDir() + build + ".exe").c_str(), exe.c_str(), FALSE)) {
        if (error)
            *error = "cannot copy " + build + ".exe";
        return false;
    }
    if (!earlierLog.empty() && !WriteFileText(log, earlierLog)) {
        if (error)
            *error = "cannot write " + log;
        return false;
    }
    if (!StartProgram(exe, "", &proc, out, dll, error))
        return false;
    if (!waitForDialog)
        return true;
    dialog = WaitForWindow("#32770", "Tolvane", proc.pid, 15000);
    if (!dialog && error)
        *error = "the main dialog did not appear";
    return dialog != nullptr;
}

bool TolvaneApp::Close(DWORD* exitCode, DWORD timeoutMs)
{
    PostMessageA(dialog, WM_CLOSE, 0, 0);
    return WaitExit(proc, timeoutMs, exitCode);
}

} // namespace rig
