// The test rig's window, control and message box helpers.
#include "rig.h"

#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <utility>

namespace rig {

namespace {

struct TopSearch {
    const char* cls;
    const char* title;
    DWORD pid;
    bool includeHidden;
    HWND found;
};

bool Matches(HWND w, const char* cls, const char* title, DWORD pid, bool includeHidden)
{
    if (!includeHidden && !IsWindowVisible(w))
        return false;
    if (pid != 0) {
        DWORD owner = 0;
        GetWindowThreadProcessId(w, &owner);
        if (owner != pid)
            return false;
    }
    char buf[512];
    if (cls) {
        buf[0] = '\0';
        GetClassNameA(w, buf, sizeof buf);
        if (std::strcmp(buf, cls) != 0)
            return false;
    }
    if (title) {
        buf[0] = '\0';
        GetWindowTextA(w, buf, sizeof buf);
        if (std::strcmp(buf, title) != 0)
            return false;
    }
    return true;
}

BOOL CALLBACK TopSearchProc(HWND w, LPARAM lp)
{
    auto* s = reinterpret_cast<TopSearch*>(lp);
    if (Matches(w, s->cls, s->title, s->pid, s->includeHidden)) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

struct PidWindows {
    DWORD pid;
    std::vector<HWND>* out;
};

BOOL CALLBACK PidWindowsProc(HWND w, LPARAM lp)
{
    auto* s = reinterpret_cast<PidWindows*>(lp);
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (owner == s->pid && IsWindowVisible(w))
        s->out->push_back(w);
    return TRUE;
}

struct ChildSearch {
    const char* cls;
    const char* text;
    HWND found;
};

BOOL CALLBACK ChildSearchProc(HWND w, LPARAM lp)
{
    auto* s = reinterpret_cast<ChildSearch*>(lp);
    if (s->cls && ClassOf(w) != s->cls)
        return TRUE;
    if (s->text && TextOf(w) != s->text)
        return TRUE;
    s->found = w;
    return FALSE;
}

// Memory in another process, released on scope exit.
class RemoteBuffer {
public:
    RemoteBuffer(HWND owner, SIZE_T size) : size_(size)
    {
        DWORD pid = 0;
        GetWindowThreadProcessId(owner, &pid);
        process_ = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
        if (process_)
            base_ = static_cast<char*>(VirtualAllocEx(process_, nullptr, size, MEM_COMMIT, PAGE_READWRITE));
    }
    ~RemoteBuffer()
    {
        if (base_)
            VirtualFreeEx(process_, base_, 0, MEM_RELEASE);
        if (process_)
            CloseHandle(process_);
    }
    bool ok() const { return base_ != nullptr; }
    char* at(SIZE_T offset) const { return base_ + offset; }
    bool Write(SIZE_T offset, const void* data, SIZE_T n)
    {
        SIZE_T done = 0;
        return offset + n <= size_ && WriteProcessMemory(process_, base_ + offset, data, n, &done) && done == n;
    }
    bool Read(SIZE_T offset, void* data, SIZE_T n)
    {
        SIZE_T done = 0;
        return offset + n <= size_ && ReadProcessMemory(process_, base_ + offset, data, n, &done) && done == n;
    }

private:
    HANDLE process_ = nullptr;
    char* base_ = nullptr;
    SIZE_T size_;
};

LRESULT SendBounded(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs = 3000)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

} // namespace

HWND FindTopWindow(const char* cls, const char* title, DWORD pid, bool includeHidden)
{
    TopSearch s{cls, title, pid, includeHidden, nullptr};
    EnumWindows(TopSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitForWindow(const char* cls, const char* title, DWORD pid, DWORD timeoutMs, bool includeHidden)
{
    HWND found = nullptr;
    WaitUntil([&] { return (found = FindTopWindow(cls, title, pid, includeHidden)) != nullptr; }, timeoutMs);
    return found;
}

bool WaitForWindowGone(HWND window, DWORD timeoutMs)
{
    return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

std::vector<HWND> TopWindowsOf(DWORD pid)
{
    std::vector<HWND> out;
    PidWindows s{pid, &out};
    EnumWindows(PidWindowsProc, reinterpret_cast<LPARAM>(&s));
    return out;
}

HWND Control(HWND parent, int id) { return GetDlgItem(parent, id); }

HWND FindDescendant(HWND parent, const char* cls, const char* text)
{
    ChildSearch s{cls, text, nullptr};
    EnumChildWindows(parent, ChildSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

std::vector<HWND> Children(HWND parent)
{
    std::vector<HWND> out;
    for (HWND c = GetWindow(parent, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT))
        out.push_back(c);
    return out;
}

std::string ClassOf(HWND window)
{
    char buf[256] = "";
    GetClassNameA(window, buf, sizeof buf);
    return buf;
}

std::string TextOf(HWND window)
{
    LRESULT len = SendBounded(window, WM_GETTEXTLENGTH, 0, 0);
    if (len <= 0)
        return std::string();
    std::string text(static_cast<size_t>(len) + 1, '\0');
    LRESULT got = SendBounded(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(&text[0]));
    if (got < 0)
        return std::string();
    text.resize(std::strlen(text.c_str()));
    return text;
}

std::string TitleOf(HWND window)
{
    char buf[1024] = "";
    GetWindowTextA(window, buf, sizeof buf);
    return buf;
}

bool SetText(HWND window, const std::string& text)
{
    return SendBounded(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str())) > 0;
}

void Click(HWND button) { PostMessageA(button, BM_CLICK, 0, 0); }

void PostCommand(HWND dialog, int id) { PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

int CheckState(HWND button) { return static_cast<int>(SendBounded(button, BM_GETCHECK, 0, 0)); }

LONG_PTR StyleOf(HWND window) { return GetWindowLongPtrA(window, GWL_STYLE); }

int ListViewCount(HWND listView) { return static_cast<int>(SendBounded(listView, LVM_GETITEMCOUNT, 0, 0)); }

std::vector<std::vector<std::string>> ListViewRows(HWND listView, int columns)
{
    std::vector<std::vector<std::string>> rows;
    int count = ListViewCount(listView);
    if (count <= 0)
        return rows;
    const SIZE_T kText = 1024;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + kText);
    if (!remote.ok())
        return rows;
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c) {
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.iSubItem = c;
            item.pszText = remote.at(sizeof(LVITEMA));
            item.cchTextMax = static_cast<int>(kText);
            char text[kText] = "";
            remote.Write(sizeof(LVITEMA), text, 1);
            remote.Write(0, &item, sizeof item);
            SendBounded(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0)));
            remote.Read(sizeof(LVITEMA), text, kText);
            text[kText - 1] = '\0';
            row.push_back(text);
        }
        rows.push_back(row);
    }
    return rows;
}

bool AddListViewRow(HWND listView, const std::vector<std::string>& texts)
{
    const SIZE_T kText = 1024;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + kText);
    if (!remote.ok() || texts.empty())
        return false;
    int row = ListViewCount(listView);
    // The row's identity, as the program's own InsertJob gives it: one more
    // than the last row's, so that identities grow down the list.
    LPARAM id = 1;
    if (row > 0) {
        LVITEMA last = {};
        last.mask = LVIF_PARAM;
        last.iItem = row - 1;
        if (!remote.Write(0, &last, sizeof last) ||
            !SendBounded(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0))) ||
            !remote.Read(0, &last, sizeof last))
            return false;
        id = last.lParam + 1;
    }
    for (size_t c = 0; c < texts.size(); ++c) {
        std::string text = texts[c].substr(0, kText - 1);
        LVITEMA item = {};
        item.mask = c == 0 ? (LVIF_TEXT | LVIF_PARAM) : LVIF_TEXT;
        item.lParam = id;
        item.iItem = row;
        item.iSubItem = static_cast<int>(c);
        item.pszText = remote.at(sizeof(LVITEMA));
        if (!remote.Write(sizeof(LVITEMA), text.c_str(), text.size() + 1) || !remote.Write(0, &item, sizeof item))
            return false;
        LRESULT r = SendBounded(listView, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0,
                                reinterpret_cast<LPARAM>(remote.at(0)));
        if (c == 0 ? r != row : r == 0)
            return false;
    }
    return true;
}

bool SelectListViewRows(HWND listView, const std::vector<int>& rows)
{
    RemoteBuffer remote(listView, sizeof(LVITEMA));
    if (!remote.ok())
        return false;
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    remote.Write(0, &item, sizeof item);
    // Row -1 applies the state to every row: clear all first.
    SendBounded(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(remote.at(0)));
    item.state = LVIS_SELECTED;
    remote.Write(0, &item, sizeof item);
    for (int r : rows) {
        if (!SendBounded(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(remote.at(0))))
            return false;
    }
    return true;
}

std::vector<std::string> ComboItems(HWND combo)
{
    // The ANSI CB_GETLBTEXT gives only the first character across processes
    // under Wine, so the items are read as wide text and narrowed.
    std::vector<std::string> items;
    LRESULT count = SendBounded(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = SendBounded(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len < 0)
            len = 0;
        std::wstring w(static_cast<size_t>(len) + 1, L'\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&w[0]),
                            SMTO_ABORTIFHUNG, 3000, &got);
        std::string a;
        for (wchar_t ch : w) {
            if (ch == 0)
                break;
            a.push_back(static_cast<char>(ch));
        }
        items.push_back(a);
    }
    return items;
}

int ComboSelection(HWND combo) { return static_cast<int>(SendBounded(combo, CB_GETCURSEL, 0, 0)); }

bool SetComboSelection(HWND combo, int index)
{
    return SendBounded(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == index;
}

bool WaitForMessageBox(const char* caption, MessageBoxInfo* out, DWORD pid, DWORD timeoutMs)
{
    HWND box = WaitForWindow("#32770", caption, pid, timeoutMs);
    if (!box)
        return false;
    if (out) {
        out->window = box;
        out->caption = TitleOf(box);
        // The text of a message box is the static control with id 0xFFFF.
        // Read it once it is there (bounded): a box may be caught while it is
        // still being built.
        std::string text;
        WaitUntil(
            [&] {
                HWND control = GetDlgItem(box, 0xFFFF);
                text = control ? TextOf(control) : std::string();
                return !text.empty() || !IsWindow(box);
            },
            2000);
        out->text = text;
    }
    return true;
}

void AnswerMessageBox(HWND box, int id) { PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

BoxAnswerer::BoxAnswerer(const char* caption, DWORD pid, DWORD timeoutMs, int answer) : caption_(caption)
{
    if (pid == 0)
        pid = GetCurrentProcessId();
    thread_ = std::thread([this, pid, timeoutMs, answer] {
        if (WaitForMessageBox(caption_.c_str(), &info_, pid, timeoutMs)) {
            answered_ = true;
            AnswerMessageBox(info_.window, answer);
        }
    });
}

BoxAnswerer::~BoxAnswerer()
{
    if (thread_.joinable())
        thread_.join();
}

bool BoxAnswerer::Answered(MessageBoxInfo* info)
{
    if (thread_.joinable())
        thread_.join();
    if (info)
        *info = info_;
    return answered_;
}

StdoutCapture::StdoutCapture()
{
    path_ = MakeTempDir("stdout") + "\\stdout.txt";
    SECURITY_ATTRIBUTES sa = {sizeof sa, nullptr, TRUE};
    file_ = CreateFileA(path_.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, nullptr);
    saved_ = GetStdHandle(STD_OUTPUT_HANDLE);
    SetStdHandle(STD_OUTPUT_HANDLE, file_);
}

StdoutCapture::~StdoutCapture()
{
    SetStdHandle(STD_OUTPUT_HANDLE, saved_);
    if (file_ != INVALID_HANDLE_VALUE)
        CloseHandle(file_);
}

std::string StdoutCapture::Text() const { return FromTextMode(ReadFileText(path_)); }

std::string FromTextMode(const std::string& raw)
{
    std::string text;
    text.reserve(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) {
        if (raw[i] == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n')
            continue; // the line feed that follows stands for both
        if (raw[i] == '\n' && (i == 0 || raw[i - 1] != '\r'))
            text += "<bare LF>";
        text += raw[i];
    }
    return text;
}

Watchdog::Watchdog(DWORD graceMs, std::vector<std::string> expectedDialogs)
    : grace_(graceMs), expected_(std::move(expectedDialogs))
{
    InitializeCriticalSection(&lock_);
    pids_.push_back(GetCurrentProcessId());
    thread_ = std::thread([this] { Run(); });
}

Watchdog::~Watchdog()
{
    stop_ = true;
    if (thread_.joinable())
        thread_.join();
    DeleteCriticalSection(&lock_);
}

void Watchdog::Watch(DWORD pid)
{
    EnterCriticalSection(&lock_);
    pids_.push_back(pid);
    LeaveCriticalSection(&lock_);
}

std::vector<std::string> Watchdog::Answered()
{
    EnterCriticalSection(&lock_);
    std::vector<std::string> copy = answered_;
    LeaveCriticalSection(&lock_);
    return copy;
}

bool IsMessageBox(HWND w)
{
    return ClassOf(w) == "#32770" && GetDlgItem(w, 0xFFFF) != nullptr && GetDlgItem(w, 1148) == nullptr &&
           FindWindowExA(w, nullptr, "Edit", nullptr) == nullptr;
}

std::vector<HWND> Watchdog::FindStrays()
{
    EnterCriticalSection(&lock_);
    std::vector<DWORD> pids = pids_;
    LeaveCriticalSection(&lock_);
    std::vector<HWND> strays;
    for (DWORD pid : pids) {
        for (HWND w : TopWindowsOf(pid)) {
            if (ClassOf(w) != "#32770")
                continue;
            bool unexpected = IsMessageBox(w);
            if (!unexpected && !expected_.empty())
                unexpected = std::find(expected_.begin(), expected_.end(), TitleOf(w)) == expected_.end();
            if (unexpected && std::find(strays.begin(), strays.end(), w) == strays.end())
                strays.push_back(w);
        }
    }
    return strays;
}

void Watchdog::Answer(HWND w, bool record)
{
    if (record) {
        HWND text = GetDlgItem(w, 0xFFFF);
        std::string what = TitleOf(w) + ": " + (text ? TextOf(text) : std::string("(no text)"));
        EnterCriticalSection(&lock_);
        answered_.push_back(what);
        LeaveCriticalSection(&lock_);
    }
    PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    PostMessageA(w, WM_CLOSE, 0, 0);
}

void Watchdog::Run()
{
    struct Seen {
        HWND w;
        DWORD since;
    };
    std::vector<Seen> seen;
    std::vector<HWND> recorded;
    while (!stop_) {
        Sleep(100);
        std::vector<HWND> strays = FindStrays();
        std::vector<Seen> next;
        for (HWND w : strays) {
            DWORD since = GetTickCount();
            for (const Seen& s : seen)
                if (s.w == w)
                    since = s.since;
            next.push_back({w, since});
            if (GetTickCount() - since < grace_)
                continue;
            bool first = std::find(recorded.begin(), recorded.end(), w) == recorded.end();
            if (first)
                recorded.push_back(w);
            Answer(w, first);
        }
        seen = next;
    }
}

std::string Watchdog::Strays()
{
    std::vector<HWND> open = FindStrays();
    if (!open.empty()) {
        // A box the test answered a moment ago may still be on its way out.
        Sleep(300);
        for (HWND w : open)
            if (IsWindow(w) && IsWindowVisible(w))
                Answer(w, true);
        for (HWND w : open)
            WaitForWindowGone(w, 2000);
    }
    std::string all;
    for (const std::string& s : Answered())
        all += (all.empty() ? "{" : " {") + s + "}";
    return all;
}

namespace {

std::mutex g_tempLock;
std::vector<std::string> g_tempDirs;

} // namespace

std::string MakeTempDir(const std::string& tag)
{
    char base[MAX_PATH] = "";
    GetTempPathA(sizeof base, base);
    static LONG counter = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        char path[MAX_PATH];
        wsprintfA(path, "%stolvane-%s-%lu-%ld", base, tag.c_str(), GetCurrentProcessId(),
                  InterlockedIncrement(&counter));
        if (CreateDirectoryA(path, nullptr)) {
            std::lock_guard<std::mutex> hold(g_tempLock);
            g_tempDirs.push_back(path);
            return path;
        }
    }
    return std::string();
}

std::vector<std::string> TempDirs()
{
    std::lock_guard<std::mutex> hold(g_tempLock);
    return g_tempDirs;
}

bool RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = folder + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path);
            } else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
    return GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
}

bool RemoveTempDirs(size_t from)
{
    std::vector<std::string> dirs;
    {
        std::lock_guard<std::mutex> hold(g_tempLock);
        if (from >= g_tempDirs.size())
            return true;
        dirs.assign(g_tempDirs.begin() + static_cast<std::ptrdiff_t>(from), g_tempDirs.end());
        g_tempDirs.resize(from);
    }
    bool all = true;
    for (const std::string& d : dirs) {
        // A program ended a moment ago may still hold its files briefly.
        if (!WaitUntil([&] { return RemoveTree(d); }, 3000))
            all = false;
    }
    return all;
}

bool WriteFileText(const std::string& path, const std::string& text)
{
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE)
        return false;
    DWORD done = 0;
    BOOL ok = WriteFile(f, text.data(), static_cast<DWORD>(text.size()), &done, nullptr);
    CloseHandle(f);
    return ok && done == text.size();
}

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

DWORD Now() { return GetTickCount(); }

} // namespace rig
