#include "process.h"

#include <tlhelp32.h>

#include <cstring>
#include <mutex>
#include <vector>

namespace rig {
namespace {

constexpr DWORD kInjectTimeoutMs = 10000;
constexpr DWORD kTerminateWaitMs = 5000;

// Handles become inheritable only inside this lock, for the moment of one CreateProcessA: a program started
// by another thread at the same time then cannot inherit (and keep open) this program's output file.
std::mutex g_createLock;

std::string SystemMessage(DWORD code)
{
    char* text = nullptr;
    DWORD n =
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string s = "error " + std::to_string(code);
    if (n && text) {
        std::string m(text, n);
        while (!m.empty() && (m.back() == '\n' || m.back() == '\r' || m.back() == ' '))
            m.pop_back();
        s += " (" + m + ")";
    }
    if (text)
        LocalFree(text);
    return s;
}

void Fail(std::string* error, const std::string& what, DWORD code)
{
    if (error)
        *error = what + ": " + SystemMessage(code);
}

class Handle {
public:
    explicit Handle(HANDLE h = nullptr) : h_(h) {}
    ~Handle() { reset(); }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return h_; }
    bool valid() const { return h_ != nullptr && h_ != INVALID_HANDLE_VALUE; }
    void reset(HANDLE h = nullptr)
    {
        if (valid())
            CloseHandle(h_);
        h_ = h;
    }

private:
    HANDLE h_;
};

std::string BaseName(const std::string& path)
{
    size_t cut = path.find_last_of("\\/");
    return cut == std::string::npos ? path : path.substr(cut + 1);
}

// Whether a module with the same file name as dllPath is loaded in process `pid`. Used only to confirm a load
// whose LoadLibraryA result reads as zero: the remote thread's exit code keeps just the low 32 bits of the
// module handle, which are zero for a module placed on a 4 GiB boundary.
bool ModuleLoadedIn(DWORD pid, const std::string& dllPath)
{
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE)
        return false;
    std::string want = BaseName(dllPath);
    MODULEENTRY32 me;
    me.dwSize = sizeof(me);
    bool found = false;
    for (BOOL ok = Module32First(snap, &me); ok && !found; ok = Module32Next(snap, &me)) {
        found = lstrcmpiA(me.szModule, want.c_str()) == 0;
    }
    CloseHandle(snap);
    return found;
}

// Loads dllPath into the (suspended) process by a remote thread that runs LoadLibraryA on a copy of the path
// written into that process.
bool InjectDll(HANDLE process, DWORD pid, const std::string& dllPath, std::string* error)
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto loadLibrary =
        reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(GetProcAddress(kernel, "LoadLibraryA")));
    if (!loadLibrary) {
        Fail(error, "LoadLibraryA not found", GetLastError());
        return false;
    }
    SIZE_T bytes = dllPath.size() + 1;
    void* remote = VirtualAllocEx(process, nullptr, bytes, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!remote) {
        Fail(error, "VirtualAllocEx", GetLastError());
        return false;
    }
    bool ok = false;
    SIZE_T written = 0;
    if (!WriteProcessMemory(process, remote, dllPath.c_str(), bytes, &written) || written != bytes) {
        Fail(error, "WriteProcessMemory", GetLastError());
    } else {
        Handle thread(CreateRemoteThread(process, nullptr, 0, loadLibrary, remote, 0, nullptr));
        if (!thread.valid()) {
            Fail(error, "CreateRemoteThread", GetLastError());
        } else {
            DWORD w = WaitForSingleObject(thread.get(), kInjectTimeoutMs);
            DWORD code = 0;
            if (w != WAIT_OBJECT_0) {
                if (error)
                    *error = "loading " + dllPath + " did not finish within 10 s";
            } else if (!GetExitCodeThread(thread.get(), &code)) {
                Fail(error, "GetExitCodeThread", GetLastError());
            } else if (code == 0 && !ModuleLoadedIn(pid, dllPath)) {
                if (error)
                    *error = "LoadLibraryA(" + dllPath + ") failed in the started program";
            } else {
                ok = true;
            }
        }
    }
    // After a timeout the remote thread may still read the path; the process is terminated then anyway.
    if (ok)
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    return ok;
}

} // namespace

bool StartProgram(const std::string& exe, const std::string& args, Process* out, const std::string& stdoutPath,
                  const std::string& dllPath, std::string* error)
{
    if (!out) {
        if (error)
            *error = "no Process to fill";
        return false;
    }
    *out = Process{};

    SECURITY_ATTRIBUTES sa{};
    sa.nLength = sizeof(sa);
    sa.bInheritHandle = FALSE; // made inheritable below, under the lock
    Handle output, input;
    if (!stdoutPath.empty()) {
        output.reset(CreateFileA(stdoutPath.c_str(), GENERIC_WRITE,
                                 FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, &sa, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!output.valid()) {
            Fail(error, "cannot create " + stdoutPath, GetLastError());
            return false;
        }
        input.reset(CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
        if (!input.valid()) {
            Fail(error, "cannot open NUL", GetLastError());
            return false;
        }
    }

    // Connect this process to its desktop before any child starts. Under Wine the first process that asks for
    // the desktop window starts the desktop process; a program started while that is still under way can end
    // up with message-only windows under a different parent than every other process, so FindWindowExA with
    // HWND_MESSAGE in other processes never sees them.
    GetDesktopWindow();

    std::string commandLine = "\"" + exe + "\"";
    if (!args.empty())
        commandLine += " " + args;
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');

    STARTUPINFOA si{};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi{};
    DWORD flags = dllPath.empty() ? 0 : CREATE_SUSPENDED;
    BOOL created = FALSE;
    DWORD createError = 0;
    {
        std::lock_guard<std::mutex> lock(g_createLock);
        bool inherit = output.valid();
        if (inherit) {
            SetHandleInformation(output.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
            SetHandleInformation(input.get(), HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
            si.dwFlags |= STARTF_USESTDHANDLES;
            si.hStdInput = input.get();
            si.hStdOutput = output.get();
            si.hStdError = output.get();
        }
        created = CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, inherit ? TRUE : FALSE, flags, nullptr,
                                 nullptr, &si, &pi);
        createError = GetLastError();
        if (inherit) {
            SetHandleInformation(output.get(), HANDLE_FLAG_INHERIT, 0);
            SetHandleInformation(input.get(), HANDLE_FLAG_INHERIT, 0);
        }
    }
    if (!created) {
        Fail(error, "cannot start " + exe, createError);
        return false;
    }

    // Every program a test starts belongs to one job that ends with the test
    // process: a test killed on its timeout leaves no program behind whose
    // windows the next test would find.
    static HANDLE job = [] {
        HANDLE j = CreateJobObjectA(nullptr, nullptr);
        if (j) {
            JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
            limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
            SetInformationJobObject(j, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        }
        return j;
    }();
    if (job)
        AssignProcessToJobObject(job, pi.hProcess);

    Process p;
    p.process = pi.hProcess;
    p.thread = pi.hThread;
    p.pid = pi.dwProcessId;
    if (!dllPath.empty()) {
        if (!InjectDll(p.process, p.pid, dllPath, error)) {
            EndProgram(p);
            return false;
        }
        if (ResumeThread(p.thread) == static_cast<DWORD>(-1)) {
            Fail(error, "ResumeThread", GetLastError());
            EndProgram(p);
            return false;
        }
    }
    *out = p;
    return true;
}

bool WaitExit(Process& p, DWORD timeoutMs, DWORD* exitCode)
{
    if (!p.process)
        return false;
    if (WaitForSingleObject(p.process, timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(p.process, &code))
        return false;
    if (exitCode)
        *exitCode = code;
    return true;
}

void EndProgram(Process& p)
{
    if (p.process) {
        if (WaitForSingleObject(p.process, 0) != WAIT_OBJECT_0) {
            TerminateProcess(p.process, 1);
            WaitForSingleObject(p.process, kTerminateWaitMs);
        }
        CloseHandle(p.process);
    }
    if (p.thread)
        CloseHandle(p.thread);
    p = Process{};
}

std::string ExeDir()
{
    std::vector<char> buf(MAX_PATH);
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
        if (n == 0)
            return std::string();
        if (n < buf.size()) {
            std::string path(buf.data(), n);
            size_t cut = path.find_last_of("\\/");
            return cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
        }
        buf.resize(buf.size() * 2);
    }
}

std::string ReadFileText(const std::string& path)
{
    Handle file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file.valid())
        return std::string();
    std::string text;
    char chunk[65536];
    DWORD got = 0;
    while (ReadFile(file.get(), chunk, sizeof(chunk), &got, nullptr) && got > 0)
        text.append(chunk, got);
    return text;
}

} // namespace rig
