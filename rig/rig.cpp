// The test rig's top-level windows and controls: bounded searches and waits,
// texts, clicks and commands.
#include "rig.h"
#include "rig_send.h"

#include <cstring>

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

} // namespace

LRESULT SendBounded(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_ABORTIFHUNG | SMTO_BLOCK, timeoutMs, &result))
        return -1;
    return static_cast<LRESULT>(result);
}

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

HWND Control(HWND parent, int id)
{
    return GetDlgItem(parent, id);
}

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

void Click(HWND button)
{
    PostMessageA(button, BM_CLICK, 0, 0);
}

void PostCommand(HWND dialog, int id)
{
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

int CheckState(HWND button)
{
    return static_cast<int>(SendBounded(button, BM_GETCHECK, 0, 0));
}

LONG_PTR StyleOf(HWND window)
{
    return GetWindowLongPtrA(window, GWL_STYLE);
}

} // namespace rig
