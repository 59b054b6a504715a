// Starting, watching and ending the programs a test drives (the product, the stand-in, helper programs).
// Every wait here is bounded; nothing a test starts outlives EndProgram.
#pragma once

#include <windows.h>

#include <string>

namespace rig {

struct Process {
    HANDLE process = nullptr;
    HANDLE thread = nullptr;
    DWORD pid = 0;
};

// Starts `exe` (full Windows path) with the argument string `args` (appended after the quoted exe path).
// If stdoutPath is not empty, the program's standard output and standard error go to that file (created or
// truncated); its standard input is NUL. If dllPath is not empty, the program is created suspended, the DLL is
// loaded into it by a remote thread running LoadLibraryA (waited for at most 10 s), and only then is the program
// resumed, so the DLL is in place before the program's own code runs.
// Returns false and fills *error (if given) on any failure, leaving nothing running.
bool StartProgram(const std::string& exe, const std::string& args, Process* out, const std::string& stdoutPath = "",
                  const std::string& dllPath = "", std::string* error = nullptr);

// Waits up to timeoutMs for the process to end; true and *exitCode when it ended.
bool WaitExit(Process& p, DWORD timeoutMs, DWORD* exitCode = nullptr);

// Ends the program if it still runs (TerminateProcess, bounded wait) and closes the handles. Safe to call twice.
void EndProgram(Process& p);

// Folder of the running executable, with a trailing backslash.
std::string ExeDir();

// Whole file as a string; empty when missing. Opens the file with read and write sharing so a file another
// process still writes to can be read.
std::string ReadFileText(const std::string& path);

} // namespace rig
