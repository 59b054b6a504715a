// The stand-in's own "Open" and "Save As" file dialogs (UI thread only).
#include "filedialog.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "dialog_template.h"
#include "journal.h"
#include "nested_box.h"
#include "paths.h"
#include "sysdialog.h"
#include "ui.h"

namespace standin {
namespace {

enum : int {
    IDC_NAME_LABEL = 1090,
    IDC_FOLDER = 1091,
    IDC_FOLDER_LABEL = 1092,
    IDC_TYPES = 1093,
    IDC_LIST = 1120,
    IDC_NAME = 1152,
};

// --staged-dialog: the timer after which the file name box and the button are
// created.
constexpr UINT_PTR kStagedTimerId = 0x57A6;
// --late-name: the timer after which the Save As dialog fills in its name.
constexpr UINT_PTR kLateNameTimerId = 0x57A7;

// --late-name applies to this dialog: a Save As dialog of the stand-in's own.
bool NamesLate(const FileDialogSetup& setup)
{
    return setup.kind == KIND_SAVE_AS && g_options.lateNameMs > 0;
}

// --nested-name-box applies to this dialog: a Save As dialog of the
// stand-in's own.
bool NestedBox(const FileDialogSetup& setup)
{
    return setup.kind == KIND_SAVE_AS && g_options.nestedNameBox;
}

// Where the file name box stands, in dialog units.
constexpr RECT kNameRect = {60, 7, 273, 20};

// The dialog's file name box: its Edit, or the Edit of the nested box.
HWND NameBox(HWND dlg)
{
    HWND edit = GetDlgItem(dlg, IDC_NAME);
    return edit != nullptr ? edit : FindNestedNameBox(dlg);
}

struct Entry {
    enum Type { Parent, Folder, Drive, File } type;
    std::string name; // folder or file name; drive root ("C:\") for drives
};

struct DialogState {
    const FileDialogSetup* setup = nullptr;
    std::string folder;
    std::vector<std::string> patterns;
    std::vector<Entry> entries;
    std::string chosen; // list selection, used when there is no Edit
    std::string result;
    bool done = false;
    bool ok = false;
    bool asking = false; // the --confirm-overwrite box is up
};

std::string FullPath(const std::string& p)
{
    char buf[MAX_PATH * 2];
    DWORD n = GetFullPathNameA(p.c_str(), sizeof buf, buf, nullptr);
    if (n == 0 || n >= sizeof buf)
        return p;
    return std::string(buf, n);
}

// Lists the sub-folders, the files matching the patterns and the drives of
// the current folder into the list box.
void FillList(HWND dlg, DialogState& st)
{
    HWND list = GetDlgItem(dlg, IDC_LIST);
    SetDlgItemTextA(dlg, IDC_FOLDER, st.folder.c_str());
    st.entries.clear();
    std::vector<std::string> folders, files;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA(paths::JoinPath(st.folder, "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && std::strcmp(fd.cFileName, ".") != 0 &&
                std::strcmp(fd.cFileName, "..") != 0)
                folders.push_back(fd.cFileName);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    for (const std::string& pat : st.patterns) {
        h = FindFirstFileA(paths::JoinPath(st.folder, pat).c_str(), &fd);
        if (h == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            std::string name = fd.cFileName;
            bool dup = false;
            for (const std::string& f : files)
                dup = dup || paths::EqualNoCase(f, name);
            if (!dup)
                files.push_back(name);
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    std::sort(folders.begin(), folders.end(), paths::LessNoCase);
    std::sort(files.begin(), files.end(), paths::LessNoCase);
    if (!paths::IsRoot(st.folder))
        st.entries.push_back({Entry::Parent, ".."});
    for (const std::string& f : folders)
        st.entries.push_back({Entry::Folder, f});
    for (const std::string& f : files)
        st.entries.push_back({Entry::File, f});
    DWORD drives = GetLogicalDrives();
    for (int i = 0; i < 26; ++i) {
        if (drives & (1u << i))
            st.entries.push_back({Entry::Drive, std::string(1, static_cast<char>('A' + i)) + ":\\"});
    }

    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    for (const Entry& e : st.entries) {
        std::string text;
        switch (e.type) {
        case Entry::Parent:
            text = "[..]";
            break;
        case Entry::Folder:
            text = "[" + e.name + "]";
            break;
        case Entry::Drive:
            text = std::string("[-") + static_cast<char>(std::tolower(e.name[0])) + "-]";
            break;
        case Entry::File:
            text = e.name;
            break;
        }
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    }
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

void EnterFolder(HWND dlg, DialogState& st, const std::string& folder)
{
    st.folder = FullPath(folder);
    if (st.folder.size() > 3 && (st.folder.back() == '\\' || st.folder.back() == '/'))
        st.folder.pop_back();
    FillList(dlg, st);
}

void Finish(HWND dlg, DialogState& st, bool ok, const std::string& result)
{
    st.ok = ok;
    st.result = result;
    st.done = true;
    // A finished dialog is hidden at once, as EndDialog hides a system
    // dialog before its modal loop returns; it is destroyed after.
    SetWindowPos(dlg, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    // Wake the modal loop: this may run inside a message sent from another
    // process, which GetMessage handles without returning.
    PostMessageA(dlg, WM_NULL, 0, 0);
}

// --confirm-overwrite: asks, as the system's Save As dialog does with
// OFN_OVERWRITEPROMPT, whether to replace an existing file. The box is modal
// to the dialog and shown inside the handling of the press, so a press sent
// from another process returns only once the box is answered.
bool ConfirmReplace(HWND dlg, DialogState& st, const std::string& path)
{
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return true;
    Journal("confirm", path);
    const std::string text = path + " already exists.\nDo you want to replace it?";
    st.asking = true;
    const int answer = MessageBoxA(dlg, text.c_str(), "Confirm Save As", MB_YESNO | MB_ICONWARNING);
    st.asking = false;
    Journal("confirm-answered", answer == IDYES ? "yes" : "no");
    return answer == IDYES;
}

void OnOk(HWND dlg, DialogState& st)
{
    if (st.asking || st.done)
        return; // a press that the box's own loop dispatched, or a late one
    std::string text;
    HWND edit = NameBox(dlg);
    if (edit) {
        int len = GetWindowTextLengthA(edit);
        text.assign(static_cast<std::size_t>(len) + 1, '\0');
        GetWindowTextA(edit, &text[0], len + 1);
        text.resize(std::strlen(text.c_str()));
    } else {
        text = st.chosen;
    }
    // Blanks around a typed name are never meant.
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    while (!text.empty() && text.front() == ' ')
        text.erase(text.begin());
    if (text.empty()) {
        MessageBeep(MB_OK);
        return;
    }
    std::string path = paths::IsAbsolute(text) ? text : paths::JoinPath(st.folder, text);
    if (paths::HasWildcards(text)) {
        std::string name = paths::FileNameOf(path);
        st.patterns.assign(1, name);
        std::string folder = paths::FolderOf(path);
        EnterFolder(dlg, st, folder.empty() ? st.folder : folder);
        if (edit)
            SetWindowTextA(edit, "");
        return;
    }
    path = FullPath(path);
    if (IsDirectory(path)) {
        EnterFolder(dlg, st, path);
        if (edit)
            SetWindowTextA(edit, "");
        return;
    }
    const std::string& refuse = g_options.kind[st.setup->kind].refuseName;
    if (!refuse.empty() && paths::FileNameOf(path) == refuse) {
        // --refuse: the program cannot read this file; the dialog stays open.
        Journal("refused", std::string(KindName(st.setup->kind)) + " " + path);
        MessageBeep(MB_ICONEXCLAMATION);
        return;
    }
    if (st.setup->kind == KIND_SAVE_AS && g_options.confirmOverwrite && !ConfirmReplace(dlg, st, path))
        return; // "No": the dialog stays open
    Finish(dlg, st, true, path);
}

void OnListActivate(HWND dlg, DialogState& st, bool doubleClick)
{
    int sel = static_cast<int>(SendDlgItemMessageA(dlg, IDC_LIST, LB_GETCURSEL, 0, 0));
    if (sel < 0 || sel >= static_cast<int>(st.entries.size()))
        return;
    const Entry e = st.entries[static_cast<std::size_t>(sel)];
    if (e.type == Entry::File) {
        st.chosen = e.name;
        if (HWND edit = NameBox(dlg))
            SetWindowTextA(edit, e.name.c_str());
        if (doubleClick)
            OnOk(dlg, st);
        return;
    }
    if (!doubleClick)
        return;
    if (e.type == Entry::Parent)
        EnterFolder(dlg, st, paths::FolderOf(st.folder).empty() ? st.folder : paths::FolderOf(st.folder));
    else if (e.type == Entry::Folder)
        EnterFolder(dlg, st, paths::JoinPath(st.folder, e.name));
    else
        EnterFolder(dlg, st, e.name);
}

// --staged-dialog: creates the file name box and the button where the
// template would have put them, with the dialog's font, as a dialog that
// builds its controls after it is shown.
void CreateStagedControls(HWND dlg, DialogState& st)
{
    const KindOptions& k = g_options.kind[st.setup->kind];
    HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0));
    auto place = [&](const char* cls, const char* text, int id, DWORD style, RECT r) {
        MapDialogRect(dlg, &r);
        HWND w = CreateWindowExA(0, cls, text, WS_CHILD | WS_VISIBLE | style, r.left, r.top, r.right - r.left,
                                 r.bottom - r.top, dlg, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance,
                                 nullptr);
        if (w && font)
            SendMessageA(w, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        return w;
    };
    if (!k.noEdit && NestedBox(*st.setup)) {
        CreateNestedNameBox(dlg, kNameRect, NamesLate(*st.setup) ? "" : st.setup->initialName.c_str());
    } else if (!k.noEdit) {
        HWND edit = place("Edit", NamesLate(*st.setup) ? "" : st.setup->initialName.c_str(), IDC_NAME,
                          WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, kNameRect);
        if (edit)
            SetWindowLongA(edit, GWL_EXSTYLE, GetWindowLongA(edit, GWL_EXSTYLE) | WS_EX_CLIENTEDGE);
    }
    if (!k.noButton)
        place("Button", OkCaption(st.setup->kind), IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, RECT{169, 151, 219, 165});
    Journal("controls", KindName(st.setup->kind));
}

INT_PTR CALLBACK FileDialogProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    DialogState* st = reinterpret_cast<DialogState*>(GetWindowLongPtrA(dlg, DWLP_USER));
    switch (msg) {
    case WM_INITDIALOG: {
        st = reinterpret_cast<DialogState*>(lp);
        SetWindowLongPtrA(dlg, DWLP_USER, reinterpret_cast<LONG_PTR>(st));
        std::string types = "Files of type:  " + st->setup->typesLabel;
        SetDlgItemTextA(dlg, IDC_TYPES, types.c_str());
        EnterFolder(dlg, *st, st->folder);
        const KindOptions& k = g_options.kind[st->setup->kind];
        if (NestedBox(*st->setup) && !k.noEdit && k.stagedMs == 0)
            CreateNestedNameBox(dlg, kNameRect, "");
        if (HWND edit = NameBox(dlg)) {
            SetWindowTextA(edit, NamesLate(*st->setup) ? "" : st->setup->initialName.c_str());
            SendMessageA(edit, EM_SETSEL, 0, -1);
            SetFocus(edit);
            return FALSE; // focus set here
        }
        st->chosen = st->setup->initialName;
        return TRUE;
    }
    case WM_TIMER:
        if (wp == kStagedTimerId && st) {
            KillTimer(dlg, kStagedTimerId);
            CreateStagedControls(dlg, *st);
            return TRUE;
        }
        if (wp == kLateNameTimerId && st) {
            KillTimer(dlg, kLateNameTimerId);
            SetWindowTextA(NameBox(dlg), st->setup->initialName.c_str());
            Journal("named", KindName(st->setup->kind));
            return TRUE;
        }
        return FALSE;
    case WM_COMMAND:
        if (!st)
            return FALSE;
        switch (LOWORD(wp)) {
        case IDOK:
            if (HIWORD(wp) == BN_CLICKED)
                OnOk(dlg, *st);
            return TRUE;
        case IDCANCEL:
            if (HIWORD(wp) == BN_CLICKED && !st->asking)
                Finish(dlg, *st, false, std::string());
            return TRUE;
        case IDC_LIST:
            if (HIWORD(wp) == LBN_SELCHANGE)
                OnListActivate(dlg, *st, false);
            else if (HIWORD(wp) == LBN_DBLCLK)
                OnListActivate(dlg, *st, true);
            return TRUE;
        }
        return FALSE;
    case WM_CLOSE:
        if (st)
            Finish(dlg, *st, false, std::string());
        return TRUE;
    }
    return FALSE;
}

} // namespace

bool IsDirectory(const std::string& path)
{
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool RunFileDialog(const FileDialogSetup& setup, std::string& chosen)
{
    if (g_options.systemDialogs)
        return RunSystemFileDialog(setup, chosen);
    const KindOptions& k = g_options.kind[setup.kind];
    const char* kind = KindName(setup.kind);

    // Dialog units; the window is about 420 x 290 pixels with the usual font.
    TemplateBuilder t(WindowTitle(setup.kind),
                      WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER, 280, 172);
    const bool staged = k.stagedMs > 0;
    t.AddItem(0x82, "File &name:", IDC_NAME_LABEL, SS_LEFT, 7, 9, 50, 8);
    if (!k.noEdit && !staged && !NestedBox(setup))
        t.AddItem(0x81, "", IDC_NAME, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, 60, 7, 213, 13);
    t.AddItem(0x82, "Look in:", IDC_FOLDER_LABEL, SS_LEFT, 7, 27, 50, 8);
    t.AddItem(0x82, "", IDC_FOLDER, SS_LEFT | SS_NOPREFIX | SS_PATHELLIPSIS, 60, 27, 213, 8);
    t.AddItem(0x83, "", IDC_LIST, WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 7, 40, 266,
              92);
    t.AddItem(0x82, "", IDC_TYPES, SS_LEFT | SS_NOPREFIX, 7, 136, 266, 8);
    if (!k.noButton && !staged)
        t.AddItem(0x80, OkCaption(setup.kind), IDOK, BS_DEFPUSHBUTTON | WS_TABSTOP, 169, 151, 50, 14);
    t.AddItem(0x80, CancelCaption(), IDCANCEL, BS_PUSHBUTTON | WS_TABSTOP, 223, 151, 50, 14);

    DialogState st;
    st.setup = &setup;
    st.folder = IsDirectory(setup.folder) ? setup.folder : std::string();
    if (st.folder.empty()) {
        char cwd[MAX_PATH];
        DWORD n = GetCurrentDirectoryA(sizeof cwd, cwd);
        st.folder = (n > 0 && n < sizeof cwd) ? std::string(cwd, n) : std::string("C:\\");
    }
    st.patterns = setup.patterns.empty() ? std::vector<std::string>{"*.*"} : setup.patterns;

    ModalScope modal;
    HWND dlg = CreateDialogIndirectParamA(g_instance, t.Get(), g_appWnd, FileDialogProc, reinterpret_cast<LPARAM>(&st));
    if (!dlg) {
        Journal("cancelled", kind);
        return false;
    }
    if (k.hidden) {
        Journal("hidden", kind);
    } else {
        ShowWindow(dlg, SW_SHOW);
        SetForegroundWindow(dlg);
        UpdateWindow(dlg);
        Journal("shown", kind);
    }
    if (staged)
        SetTimer(dlg, kStagedTimerId, k.stagedMs, nullptr);
    if (NamesLate(setup))
        SetTimer(dlg, kLateNameTimerId, g_options.lateNameMs, nullptr);
    bool finished = RunModalLoop(dlg, st.done);
    modal.End();
    DestroyWindow(dlg);
    if (g_mainWnd && IsWindow(g_mainWnd) && !g_closeRequested)
        SetActiveWindow(g_mainWnd);
    if (!finished || !st.ok) {
        Journal("cancelled", kind);
        return false;
    }
    chosen = st.result;
    Journal("accepted", kind);
    return true;
}

} // namespace standin
