// Files: the tests' temporary folders and their removal, small file writes,
// and this process's standard output captured into a file.
#include "rig.h"

#include <mutex>

namespace rig {

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

std::string StdoutCapture::Text() const
{
    return FromTextMode(ReadFileText(path_));
}

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

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

DWORD Now()
{
    return GetTickCount();
}

std::string WithoutNotifications(std::string trace)
{
    const std::string line = "WM_notify\n";
    for (size_t at = trace.find(line); at != std::string::npos; at = trace.find(line, at))
        trace.erase(at, line.size());
    return trace;
}

size_t CountOf(const std::string& text, const std::string& what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

} // namespace rig
