// The stand-in's other windows: the "TBitBtn" push button, the JPEG options
// window ("TSaveJPEGform", "JPEG Save Options") and the progress window
// ("TCalcForm", "Calculating:N%"). All are top-level windows owned by the
// application window and run on the UI thread.
#ifndef STANDIN_FORMS_H
#define STANDIN_FORMS_H

#include <windows.h>

namespace standin {

// Registers "TBitBtn", "TSaveJPEGform" and "TCalcForm". Returns false if any
// registration fails.
bool RegisterFormClasses();

// --jpeg-form-hidden: creates the JPEG options window at start-up, hidden,
// as an application framework creates its forms. RunJpegOptions then shows
// and hides that same window; its "OK" pressed while no JPEG save waits does
// nothing but journal "ignored jpeg-ok". Returns false if it could not be
// created.
bool CreateJpegForm();

// Shows the JPEG options window (honouring --wrong-title, --hidden and
// --no-button for jpeg-options) and waits in a local modal loop until its
// "OK" or "Cancel" is pressed or it is closed. Journals "shown jpeg-options"
// (or "hidden jpeg-options") and "cancelled jpeg-options". Returns true with
// the chosen quality (1..100) when confirmed. The window is created for the
// occasion and destroyed after, or, with --jpeg-form-hidden, the start-up
// form is shown and hidden again.
bool RunJpegOptions(int& quality);

// Creates and shows the progress window titled "Calculating:0%" and journals
// "shown calc". Returns null if it could not be created.
HWND CreateCalcWindow();

// Sets the title to "Calculating:<percent>%" and repaints the bar at once.
void SetCalcPercent(HWND calc, int percent);

} // namespace standin

#endif
