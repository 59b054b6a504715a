// What a random Stop of scripts/soak is judged by (soak_stop_checks.cpp): the
// stand-in's windows when the box appears, the command it was handling then,
// which of its journal events after the box are the end of what it was
// already doing, and fast pacing's faults. soak_stops.cpp makes the Stops.
#pragma once

#include "soak.h"

#include "standin_app.h"

#include <windows.h>

#include <string>
#include <vector>

namespace soak {
namespace stops {

// The stand-in's windows that a Stop can leave up, and the journal kinds of
// the three that a user cancels.
struct Left {
    bool imageOrProfileOpen = false; // "#32770" "Open"
    bool saveAs = false;             // "#32770" "Save As"
    bool jpeg = false;               // "TSaveJPEGform"
    bool calc = false;               // "TCalcForm": filtering
};

Left StandInWindows(DWORD pid);

// The command the stand-in was handling when the box appeared: the last
// "menu" event up to then, and what had happened since.
struct InFlight {
    std::string command;            // image-open, profile-open, filter-apply, image-saveas or ""
    std::vector<std::string> shown; // "shown" kinds journaled since that command
};

InFlight InFlightAt(const std::vector<rig::JournalEvent>& events, DWORD boxTick, size_t from);
bool LegitimatelyLate(const rig::JournalEvent& e, const InFlight& f, const Left& atBox, bool jpeg,
                      const std::vector<std::string>& cancelled);
bool PostedBefore(const std::vector<rig::JournalEvent>& events, size_t i, DWORD boxTick);
void CountPacingFaults(const std::vector<rig::JournalEvent>& events, size_t from, const char* format,
                       const std::string& label, StopFigures& fig);

} // namespace stops
} // namespace soak
