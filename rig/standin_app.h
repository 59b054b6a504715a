// Starts the stand-in target application for a test, with its journal in a
// folder of its own and the menu bridge loaded, and reads the journal back.
#pragma once

#include "rig.h"

#include <string>
#include <vector>

namespace rig {

struct JournalEvent {
    DWORD tick = 0;
    std::string name; // "menu", "shown", "saved", ...
    std::string args; // the rest of the line
};

// The bridge DLL that lets a process read another process's menus under Wine.
std::string BridgeDll();

struct StandInApp {
    std::string dir;     // working folder: images, profiles, outputs
    std::string journal; // the journal file
    std::string out;     // its standard output
    Process proc;
    HWND main = nullptr; // "TForm1..." main window
    HWND app = nullptr;  // "TApplication..." window
    DWORD startPid = 0;  // the process id the stand-in wrote in its "start" event

    // Starts bin\standin.exe with `args` in `folder` (a fresh temporary
    // folder when empty; an earlier journal there is removed), with `dll`
    // loaded before it runs (the menu bridge by default, none when empty),
    // and waits for its "start" event.
    bool Start(const std::string& args = "", std::string* error = nullptr, const std::string& folder = "",
               const std::string& dll = BridgeDll());
    // The journal's complete lines. A line without a tick count is kept with
    // an empty name, so that a test notices it.
    std::vector<JournalEvent> Events() const;
    // Events named `name` (whose args begin with argsPrefix).
    std::vector<JournalEvent> EventsNamed(const std::string& name, const std::string& argsPrefix = "") const;
    // Whether an event with exactly these args is in the journal.
    bool Has(const std::string& name, const std::string& args) const;
    bool WaitFor(const std::string& name, const std::string& args, DWORD timeoutMs = kDefaultWaitMs) const;
    // Waits until at least `count` such events are in the journal.
    bool WaitForEvents(const std::string& name, size_t count, DWORD timeoutMs, const std::string& argsPrefix = "");
    JournalEvent Last() const;
    // The journal as indented lines, for failure messages.
    std::string JournalText() const;
    // Posts a menu command to the main window.
    void Post(int command) const { PostMessageA(main, WM_COMMAND, static_cast<WPARAM>(command), 0); }
    // Closes the main window and waits for the process (bounded); kills it otherwise.
    void Close();
    // Closes the main window; true with the exit code when it ended in time.
    bool Close(DWORD* exitCode, DWORD timeoutMs = 10000);
    ~StandInApp() { EndProgram(proc); }
};

// A test image of size w x h with a smooth pattern plus deterministic noise,
// saved in the format its extension names; a matching profile file.
bool WriteTestImage(const std::string& path, int width = 96, int height = 64, int noise = 20);
bool WriteTestProfile(const std::string& path, double sigma = 20.0);

} // namespace rig
