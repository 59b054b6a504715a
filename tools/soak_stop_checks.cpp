// The checks of the random Stops of scripts/soak: what the stand-in shows
// when the "Success" box appears, which of its journal events after the box
// it was already under way with, and the commands it ignored and the outputs
// it saved wrong under fast pacing.
#include "soak_stop_checks.h"

#include "driver_support.h"

#include <algorithm>
#include <cstdlib>

namespace soak {
namespace stops {
namespace {

bool Contains(const std::vector<std::string>& v, const std::string& s)
{
    return std::find(v.begin(), v.end(), s) != v.end();
}

} // namespace

Left StandInWindows(DWORD pid)
{
    Left l;
    for (HWND w : rig::TopWindowsOf(pid)) {
        std::string cls = rig::ClassOf(w), title = rig::TitleOf(w);
        if (cls == "#32770" && title == "Open")
            l.imageOrProfileOpen = true;
        else if (cls == "#32770" && title == "Save As")
            l.saveAs = true;
        else if (cls == "TSaveJPEGform")
            l.jpeg = true;
        else if (cls == "TCalcForm")
            l.calc = true;
    }
    return l;
}

InFlight InFlightAt(const std::vector<rig::JournalEvent>& events, DWORD boxTick, size_t from)
{
    InFlight f;
    for (size_t i = from; i < events.size() && events[i].tick <= boxTick; ++i) {
        if (events[i].name == "menu") {
            f.command = events[i].args;
            f.shown.clear();
        } else if (events[i].name == "shown") {
            f.shown.push_back(events[i].args);
        }
    }
    return f;
}

// Whether a journal event after the box is the stand-in finishing what it was
// already doing (or answering the user's cancel), rather than a step Tolvane
// took after the box:
// - the window its command had already requested appearing ("shown <kind>");
// - a filter already under way running to its end;
// - the result of a dialog that Tolvane had already confirmed: its window had
//   been shown and was gone when the box appeared (the stand-in then loads or
//   saves and journals the result a moment later);
// - the cancels the driver made while settling the stand-in.
bool LegitimatelyLate(const rig::JournalEvent& e, const InFlight& f, const Left& atBox, bool jpeg,
                      const std::vector<std::string>& cancelled)
{
    const std::string& c = f.command;
    if (e.name == "cancelled")
        return Contains(cancelled, e.args);
    if (e.name == "shown") {
        if (c == "image-open" || c == "profile-open" || c == "image-saveas")
            return (e.args == c || (c == "image-saveas" && (e.args == "save-as" || e.args == "jpeg-options")));
        return c == "filter-apply" && e.args == "calc";
    }
    if (e.name == "filter-begin" || e.name == "filter-applied" || e.name == "filter-failed")
        return c == "filter-apply";
    // A dialog already shown finishing itself; loading what was already opened.
    if (e.name == "controls" || e.name == "named")
        return Contains(f.shown, e.args);
    if (e.name == "loading" || e.name == "loaded")
        return true;
    if (e.name == "queued")
        return true; // judged with the "menu" line that follows it
    if (e.name == "image-opened" || e.name == "open-failed")
        return c == "image-open" && Contains(f.shown, "image-open") && !atBox.imageOrProfileOpen;
    if (e.name == "profile-opened" || e.name == "profile-failed")
        return c == "profile-open" && Contains(f.shown, "profile-open") && !atBox.imageOrProfileOpen;
    if (e.name == "saved" || e.name == "save-failed" || e.name == "save-begin") {
        if (c != "image-saveas")
            return false;
        if (jpeg)
            return Contains(f.shown, "jpeg-options") && !atBox.jpeg;
        return Contains(f.shown, "save-as") && !atBox.saveAs;
    }
    return false; // menu, busy, ignored, never, hidden, ...: a step after the box
}

// A command the stand-in handled after the box but that Tolvane had posted
// before it: it waited in the queue while the stand-in loaded what it had
// opened (journaled "queued <name> <posted tick>" before its "menu" line).
// Its window appearing then is part of it.
bool PostedBefore(const std::vector<rig::JournalEvent>& events, size_t i, DWORD boxTick)
{
    size_t menu = i;
    if (events[i].name == "shown") {
        while (menu > 0 && events[menu].name != "menu")
            --menu;
        if (events[menu].name != "menu")
            return false;
    }
    if (events[menu].name != "menu" || menu == 0 || events[menu - 1].name != "queued")
        return false;
    const std::string& queued = events[menu - 1].args;
    size_t blank = queued.rfind(' ');
    if (blank == std::string::npos || queued.substr(0, blank) != events[menu].args)
        return false;
    DWORD posted = static_cast<DWORD>(std::strtoul(queued.c_str() + blank + 1, nullptr, 10));
    return boxTick - posted < 0x80000000u && posted != boxTick;
}

// Fast pacing's figures over the journal of one run (from `from` on): the
// commands the stand-in ignored, and the outputs saved unfiltered or in
// another format than `format` ("BMP" or "JPEG"). A save in the background
// may end after the next job has begun, so each job's output is its
// "saved" event by name, not the next event of that kind.
void CountPacingFaults(const std::vector<rig::JournalEvent>& events, size_t from, const char* format,
                       const std::string& label, StopFigures& fig)
{
    std::vector<rig::JournalEvent> run(events.begin() + static_cast<std::ptrdiff_t>(std::min(from, events.size())),
                                       events.end());
    for (const auto& e : run)
        if (e.name == "ignored") {
            ++fig.ignored;
            fig.Note(label + ": the stand-in ignored \"" + e.args + "\"");
        }
    for (const tools::JobRecord& j : tools::JobsFromJournal(run)) {
        if (j.saveMenu == 0 || j.image.empty())
            continue;
        const std::string prefix = paths::BaseNameOf(j.image) + "_filtered.";
        for (const auto& e : run) {
            if (e.name != "saved" || e.tick < j.saveMenu)
                continue;
            size_t blank = e.args.find(' ');
            std::string savedAs = e.args.substr(0, blank);
            std::string output = blank == std::string::npos ? std::string() : e.args.substr(blank + 1);
            if (paths::FileNameOf(output).compare(0, prefix.size(), prefix) != 0)
                continue;
            bool filtered = j.filterDone != 0 && j.filterDone < j.saveMenu;
            if (!filtered || savedAs != format) {
                ++fig.wrongOutputs;
                fig.Note(label + ": " + output + " saved as " + savedAs + (filtered ? "" : ", unfiltered"));
            }
            break;
        }
    }
}

} // namespace stops
} // namespace soak
