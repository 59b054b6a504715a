// Shared window state and the local modal loops of the stand-in application.
// Everything here runs on the one UI thread.
#ifndef STANDIN_UI_H
#define STANDIN_UI_H

#include <windows.h>

#include <string>

#include "options.h"

namespace standin {

extern HINSTANCE g_instance;
extern HWND g_appWnd;  // "TApplication" window: owner of every other window
extern HWND g_mainWnd; // "TForm1" window: menu bar, image view
extern Options g_options;

// Set when the main window was asked to close while a command was still in
// its dialogs; every local modal loop then ends at once (as a cancel).
extern bool g_closeRequested;

// Retrieves and dispatches messages until `done` becomes true, the close of
// the main window is requested or WM_QUIT arrives (which is posted again for
// the outer loop). Keyboard navigation goes to `dialog` when given. Whoever
// sets `done` from a message handler must post a message (WM_NULL will do) to
// wake the loop, since a message sent from another thread is handled inside
// GetMessage without making it return. Returns true when `done` was reached.
bool RunModalLoop(HWND dialog, const bool& done);

// Serves messages for `ms` milliseconds (not a blocking sleep). Returns false
// if the wait was cut short by a close request or WM_QUIT.
bool WaitPumping(unsigned ms);

// Dispatches the messages already queued for `hwnd` only (paints, mostly), and
// the messages other threads are sending to this thread. Never blocks.
void PumpWindow(HWND hwnd);

// Disables the main window while a modal window is up, and enables it again.
class ModalScope {
public:
    ModalScope();
    ~ModalScope();
    ModalScope(const ModalScope&) = delete;
    ModalScope& operator=(const ModalScope&) = delete;
    // Enables the main window again now rather than at scope exit; call it
    // before destroying the modal window, so that the main window, and not
    // some other program's window, becomes active again.
    void End();

private:
    bool wasEnabled_;
};

// The texts of the running system's own Open and Save As dialogs, read at
// start-up for --system-titles (sysdialog.h). Empty until then.
struct SystemTexts {
    std::string openTitle;
    std::string openButton;
    std::string saveTitle;
    std::string saveButton;
};
extern SystemTexts g_systemTexts;

// The titles of the windows: French for the file dialogs with --language fr,
// else the system's own with --system-titles; in other letter case with
// --wrong-title.
const char* WindowTitle(Kind kind);

// The caption of a file dialog's IDOK button: "&Open" / "&Save", French with
// --language fr, or the system's own with --system-titles.
const char* OkCaption(Kind kind);
// The caption of a file dialog's IDCANCEL button: "Cancel", or "Annuler".
const char* CancelCaption();

// The surprises of a step, for the image `image` (with --surprise-only, only
// for that file; with --once, only while its marker does not exist):
// --exit-at journals "exit-at <step>" and ends the process at once with
// kExitAtCode, closing no window and running no clean-up, as a crash would;
// --close-at journals "close-at <step>" and ends it with exit code 0;
// --hang-at journals "hang-at <step>" and never returns. Returns otherwise.
void ExitIfAsked(Step step, const std::string& image);

// --box-at: when it names `step` (and, with --box-only, `image` is that
// file), shows its modal warning box owned by the application window,
// journaled "box <step>" and "box-answered <step>". Returns once the box is
// answered. Likewise --text-box-at, with its box without buttons.
void BoxIfAsked(Step step, const std::string& image);

// Wait and suppression before a window of the given kind appears: with
// --never it journals "never <kind>" and returns false (the command is
// swallowed); with --delay it serves messages for that long first. Returns
// false also when the wait was cut short by a close request.
bool BeforeWindow(Kind kind);

} // namespace standin

#endif
