// Message boxes: waiting for one and answering it, the box answerer on a
// thread of its own, and the watchdog that answers stray boxes.
#include "rig.h"

#include <algorithm>
#include <utility>

namespace rig {

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

void AnswerMessageBox(HWND box, int id)
{
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

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

} // namespace rig
