// The system's own file dialogs and the texts of the running system's file
// dialogs (UI thread only).
#include "sysdialog.h"

#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include "journal.h"
#include "paths.h"
#include "ui.h"

namespace standin {
namespace {

const UINT_PTR kWatchTimer = 1;
const UINT kWatchMs = 20;

// The dialog under way; there is at most one, on the UI thread.
struct SystemDialog {
    Kind kind = KIND_IMAGE_OPEN;
    bool shownJournaled = false;
    bool cancelPosted = false;
};
SystemDialog* g_dialog = nullptr;

std::string TextOf(HWND w)
{
    char buf[256] = "";
    if (w)
        GetWindowTextA(w, buf, sizeof buf);
    return buf;
}

void PostCancel(HWND dlg)
{
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDCANCEL)));
}

// The hook procedure of an Explorer-style dialog runs as the dialog procedure
// of a child dialog of the real one (GetParent). Like a framework's, it leaves
// everything to the system (returns 0). It adds a timer that journals
// "shown" once the real dialog is visible: the dialog manager shows it only
// when its queue first runs empty, after CDN_INITDONE, and a timer message
// comes only then. The same timer cancels the dialog when the main window has
// been asked to close. CDN_FILEOK applies --refuse.
UINT_PTR CALLBACK SystemDialogHook(HWND hook, UINT msg, WPARAM wp, LPARAM lp)
{
    (void)wp;
    SystemDialog* d = g_dialog;
    if (!d)
        return 0;
    switch (msg) {
    case WM_NOTIFY: {
        const NMHDR* nm = reinterpret_cast<const NMHDR*>(lp);
        if (nm->code == CDN_INITDONE) {
            SetTimer(hook, kWatchTimer, kWatchMs, nullptr);
        } else if (nm->code == CDN_FILEOK) {
            const std::string& refuse = g_options.kind[d->kind].refuseName;
            char path[MAX_PATH * 2] = "";
            LRESULT n = SendMessageA(GetParent(hook), CDM_GETFILEPATH, sizeof path, reinterpret_cast<LPARAM>(path));
            path[sizeof path - 1] = '\0';
            if (!refuse.empty() && n > 0 && paths::FileNameOf(path) == refuse) {
                Journal("refused", std::string(KindName(d->kind)) + " " + path);
                SetWindowLongPtrA(hook, DWLP_MSGRESULT, 1); // keeps the dialog open
                return 1;
            }
        }
        return 0;
    }
    case WM_TIMER:
        if (wp == kWatchTimer) {
            HWND dlg = GetParent(hook);
            if (!d->shownJournaled && IsWindowVisible(dlg)) {
                d->shownJournaled = true;
                Journal("shown", KindName(d->kind));
            }
            if (g_closeRequested && !d->cancelPosted) {
                d->cancelPosted = true;
                PostCancel(dlg);
            }
        }
        return 0;
    case WM_DESTROY:
        KillTimer(hook, kWatchTimer);
        return 0;
    }
    return 0;
}

// "Label\0*.a;*.b\0\0", the filter string of OPENFILENAMEA.
std::string FilterOf(const FileDialogSetup& setup)
{
    std::string joined;
    for (const std::string& p : setup.patterns)
        joined += (joined.empty() ? "" : ";") + p;
    if (joined.empty())
        joined = "*.*";
    std::string f = setup.typesLabel.empty() ? joined : setup.typesLabel;
    f += '\0';
    f += joined;
    f += '\0';
    f += '\0';
    return f;
}

// For the measurement: the texts of the dialog whose hook gets CDN_INITDONE.
struct Probe {
    std::string title;
    std::string button;
    bool read = false;
};
Probe* g_probe = nullptr;

// Hook of the measuring dialogs. CDN_INITDONE comes while the dialog is
// still being initialised, before it is ever visible: it is moved out of
// sight, read, and cancelled by a posted command, which its modal loop
// handles before the queue first runs empty (when it would show the dialog).
UINT_PTR CALLBACK ProbeHook(HWND hook, UINT msg, WPARAM, LPARAM lp)
{
    if (msg != WM_NOTIFY || !g_probe || reinterpret_cast<const NMHDR*>(lp)->code != CDN_INITDONE)
        return 0;
    HWND dlg = GetParent(hook);
    SetWindowPos(dlg, nullptr, -32000, -32000, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    g_probe->title = TextOf(dlg);
    g_probe->button = TextOf(GetDlgItem(dlg, IDOK));
    g_probe->read = true;
    PostCancel(dlg);
    return 0;
}

bool ProbeDialog(bool save, Probe& probe)
{
    char file[MAX_PATH] = "";
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = g_appWnd;
    ofn.lpstrFilter = "*.*\0*.*\0";
    ofn.lpstrFile = file;
    ofn.nMaxFile = sizeof file;
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
    ofn.lpfnHook = ProbeHook;
    g_probe = &probe;
    if (save)
        GetSaveFileNameA(&ofn);
    else
        GetOpenFileNameA(&ofn);
    g_probe = nullptr;
    return probe.read && !probe.title.empty() && !probe.button.empty();
}

} // namespace

bool RunSystemFileDialog(const FileDialogSetup& setup, std::string& chosen)
{
    const bool save = setup.kind == KIND_SAVE_AS;
    const char* kind = KindName(setup.kind);
    const std::string filter = FilterOf(setup);
    std::vector<char> file(MAX_PATH * 4, '\0');
    std::strncpy(file.data(), setup.initialName.c_str(), file.size() - 1);

    OPENFILENAMEA ofn = {};
    // The size the system expects of this build (32 or 64 bits), without the
    // fields added after Windows 2000.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = g_appWnd;
    ofn.lpstrFilter = filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = IsDirectory(setup.folder) ? setup.folder.c_str() : nullptr;
    // The system's own "Open" / "Save As", or the French titles of
    // --language fr.
    ofn.lpstrTitle = g_options.french ? WindowTitle(setup.kind) : nullptr;
    ofn.Flags = OFN_EXPLORER | OFN_ENABLEHOOK | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR |
                (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
    ofn.lpfnHook = SystemDialogHook;

    SystemDialog d;
    d.kind = setup.kind;
    g_dialog = &d;
    BOOL ok;
    {
        ModalScope modal;
        ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
        modal.End();
    }
    g_dialog = nullptr;
    if (g_mainWnd && IsWindow(g_mainWnd) && !g_closeRequested)
        SetActiveWindow(g_mainWnd);
    file.back() = '\0';
    if (!ok || file[0] == '\0') {
        const DWORD error = CommDlgExtendedError();
        if (error != 0) {
            char code[32];
            std::snprintf(code, sizeof code, "%s 0x%lx", kind, static_cast<unsigned long>(error));
            Journal("dialog-failed", code);
        }
        Journal("cancelled", kind);
        return false;
    }
    chosen = file.data();
    return true;
}

void MeasureSystemTitles()
{
    const DWORD start = GetTickCount();
    Probe open, saveAs;
    const bool haveOpen = ProbeDialog(false, open);
    const bool haveSave = ProbeDialog(true, saveAs);
    g_systemTexts.openTitle = haveOpen ? open.title : "Open";
    g_systemTexts.openButton = haveOpen ? open.button : "&Open";
    g_systemTexts.saveTitle = haveSave ? saveAs.title : "Save As";
    g_systemTexts.saveButton = haveSave ? saveAs.button : "&Save";
    char ms[16];
    std::snprintf(ms, sizeof ms, "%lu", static_cast<unsigned long>(GetTickCount() - start));
    Journal("system-titles", std::string(ms) + " " + g_systemTexts.openTitle + "|" + g_systemTexts.openButton + "|" +
                                 g_systemTexts.saveTitle + "|" + g_systemTexts.saveButton);
}

} // namespace standin
