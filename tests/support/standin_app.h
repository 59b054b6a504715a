// Starts the stand-in target application for a test, with its journal in a
// folder of its own and the menu bridge loaded, and reads the journal back.
#pragma once

#include "rig.h"

#include <string>
#include <vector>

namespace rig {

struct JournalEvent {
    DWORD tick = 0;
    std::string name;  // "menu", "shown", "saved", ...
    std::string args;  // the rest of the line
};

struct StandInApp {
    std::string dir;      // working folder: images, profiles, outputs
    std::string journal;  // the journal file
    std::string out;      // its standard output
    Process proc;
    HWND main = nullptr;  // "TForm1..." main window
    HWND app = nullptr;   // "TApplication..." window

    // Starts bin\standin.exe with `args` and the bridge DLL, in `folder` (a
    // fresh temporary folder when empty), and waits for its "start" event.
    bool Start(const std::string& args = "", std::string* error = nullptr, const std::string& folder = "");
    std::vector<JournalEvent> Events() const;
    // Events named `name` (whose args begin with argsPrefix).
    std::vector<JournalEvent> EventsNamed(const std::string& name, const std::string& argsPrefix = "") const;
    // Waits until at least `count` such events are in the journal.
    bool WaitForEvents(const std::string& name, size_t count, DWORD timeoutMs, const std::string& argsPrefix = "");
    // Closes the main window and waits for the process (bounded); kills it otherwise.
    void Close();
    ~StandInApp() { EndProgram(proc); }
};

// The bridge DLL that lets a process read another process's menus under Wine.
std::string BridgeDll();

// A test image of size w x h with a smooth pattern plus deterministic noise,
// saved in the format its extension names; a matching profile file.
bool WriteTestImage(const std::string& path, int width = 96, int height = 64, int noise = 20);
bool WriteTestProfile(const std::string& path, double sigma = 20.0);

} // namespace rig
