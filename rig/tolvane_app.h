// Starts a copy of a Tolvane build in a folder of its own (so its session log
// lands there) and finds its main dialog.
#pragma once

#include "rig.h"

#include <string>

namespace rig {

struct TolvaneApp {
    std::string dir; // the folder of the copy
    std::string exe; // the copy's path
    std::string log; // where its session log goes
    std::string out; // its captured standard output (the trace)
    Process proc;
    HWND dialog = nullptr;
    // When not empty, written to the log path before the program starts, as
    // the log of an earlier process.
    std::string earlierLog;

    // Copies bin\<build>.exe to a fresh folder as tolvane.exe and starts it,
    // optionally with a DLL loaded before it runs. Waits for the dialog unless
    // waitForDialog is false.
    bool Start(const std::string& build = "tolvane", const std::string& dll = "", bool waitForDialog = true,
               std::string* error = nullptr);
    HWND Item(int id) const { return GetDlgItem(dialog, id); }
    // Its trace, CR LF read as "\n" (see FromTextMode).
    std::string Trace() const { return FromTextMode(ReadFileText(out)); }
    std::string Log() const { return ReadFileText(log); }
    // Closes the dialog and returns whether the process ended in time.
    bool Close(DWORD* exitCode, DWORD timeoutMs = 10000);
    ~TolvaneApp() { EndProgram(proc); }
};

} // namespace rig
