// Small helpers shared by the bridge and launcher tests.
#pragma once

#include "process.h"

#include <windows.h>
#include <tlhelp32.h>

#include <functional>
#include <string>
#include <vector>

namespace testutil {

// GetProcAddress's result as the function type it really has.
template <typename F>
F ProcAs(HMODULE module, const char* name)
{
    return reinterpret_cast<F>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// A fresh path in the temporary folder, unique within this run.
inline std::string TempFile(const std::string& tag)
{
    static LONG counter = 0;
    char dir[MAX_PATH + 1] = {};
    GetTempPathA(MAX_PATH, dir);
    return std::string(dir) + "tolvane_bridge_" + std::to_string(GetCurrentProcessId()) + "_" +
           std::to_string(InterlockedIncrement(&counter)) + "_" + tag + ".txt";
}

// Polls `done` every 20 ms until it is true or `timeoutMs` has passed; returns its last answer.
inline bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        if (done())
            return true;
        if (GetTickCount() - start >= timeoutMs)
            return done();
        Sleep(20);
    }
}

inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// Ids of the running processes whose executable is `exeName`.
inline std::vector<DWORD> ProcessesNamed(const char* exeName)
{
    std::vector<DWORD> pids;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE)
        return pids;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof(pe);
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe)) {
        if (lstrcmpiA(pe.szExeFile, exeName) == 0)
            pids.push_back(pe.th32ProcessID);
    }
    CloseHandle(snap);
    return pids;
}

inline bool ProcessEnded(DWORD pid)
{
    HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (!h)
        return true;
    bool ended = WaitForSingleObject(h, 0) == WAIT_OBJECT_0;
    CloseHandle(h);
    return ended;
}

// The menu bridge's server window in process `pid`, or null.
inline HWND BridgeServerOf(DWORD pid)
{
    HWND after = nullptr;
    while ((after = FindWindowExA(HWND_MESSAGE, after, "TolvaneMenuBridge", nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(after, &owner);
        if (owner == pid)
            return after;
    }
    return nullptr;
}

inline bool ModuleLoadedIn(DWORD pid, const char* moduleName)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE)
        return false;
    MODULEENTRY32 me;
    me.dwSize = sizeof(me);
    bool found = false;
    for (BOOL ok = Module32First(snap, &me); ok && !found; ok = Module32Next(snap, &me)) {
        found = lstrcmpiA(me.szModule, moduleName) == 0;
    }
    CloseHandle(snap);
    return found;
}

} // namespace testutil
