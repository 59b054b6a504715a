// What the demo, bench and soak drivers share: the command line, screenshots,
// a guard that answers unexpected boxes, reading the stand-in's journal as
// per-job records, and small text helpers. Path helpers are the stand-in's
// (paths.h), the clock is the rig's (answer_probe.h).
#pragma once

#include <windows.h>

#include "answer_probe.h"
#include "imageio.h"
#include "paths.h"
#include "standin_app.h"

#include <atomic>
#include <string>
#include <thread>
#include <vector>

namespace tools {

// --- Command line -------------------------------------------------------------

// The command line as "--name value" pairs and bare "--flag"s, whatever the
// names. Unknown names are an error the caller reports; Value/Number fall
// back to a default when a name is absent.
class CommandLine {
public:
    CommandLine(int argc, char** argv);
    bool Has(const std::string& name) const;
    std::string Value(const std::string& name, const std::string& fallback = "") const;
    long Number(const std::string& name, long fallback) const;
    // Names given that are not in `known`; empty when all are known.
    std::string Unknown(const std::vector<std::string>& known) const;

private:
    std::vector<std::pair<std::string, std::string>> items_;
};

// --- Files and text -----------------------------------------------------------

bool EnsureFolder(const std::string& path);
long long FileSize(const std::string& path);
std::string Fixed(double value, int decimals);
// The middle value (the mean of the two middle ones for an even count); 0 when empty.
double Median(std::vector<double> values);
// Pads or cuts `text` to `width` characters (left-aligned; right-aligned when right is set).
std::string Pad(const std::string& text, size_t width, bool right = false);
// Writes text to standard output at once (the drivers run under Wine with a pipe as output).
void Print(const std::string& text);

// --- Windows ------------------------------------------------------------------

// Moves a top-level window of any process (no activation, Z order kept).
void PlaceWindow(HWND window, int x, int y, int cx = -1, int cy = -1);
// Size of the primary screen.
SIZE ScreenSize();
// Copies a rectangle of the screen into a 24-bit image (BitBlt from the
// screen's device context). False when nothing could be read.
bool CaptureScreen(const RECT& area, imageio::Image& out);
// Captures a window's rectangle on screen and saves it as PNG.
bool SaveWindowShot(HWND window, const std::string& pngPath, std::string* error = nullptr);

// --- Unexpected boxes -------------------------------------------------------

// Stray boxes are answered by the rig's watchdog with no grace period:
// rig::Watchdog(0, {expected dialog titles...}).
using BoxGuard = rig::Watchdog;

// --- The stand-in's journal as jobs ---------------------------------------------

// One image's passage through the stand-in, from its "menu image-open" to its
// "saved" (or the next job's start), with the ticks of the steps between.
struct JobRecord {
    std::string image;   // from image-opened
    std::string output;  // from saved
    std::string savedAs; // TIFF, JPEG or BMP
    DWORD openMenu = 0;  // menu image-open
    DWORD imageOpened = 0;
    DWORD profileMenu = 0;
    DWORD filterMenu = 0;
    DWORD filterDone = 0; // filter-applied
    DWORD filterMs = 0;   // the stand-in's own measure of the filter
    DWORD saveMenu = 0;
    DWORD saved = 0;
    bool failed = false; // open-failed, profile-failed, filter-failed or save-failed seen
};
std::vector<JobRecord> JobsFromJournal(const std::vector<rig::JournalEvent>& events);

} // namespace tools
