// The reads of Neat Image's windows behind the readiness rules and the polls
// of the per-image sequence: each gathers what one look sees and gives a
// verdict (target/pacing.h) or whether the window is there (batch worker).
#pragma once

#include <windows.h>

#include "target/target.h"
#include "target/titles.h"
#include "target/wait.h"

// A file dialog of Neat Image with one of these titles (the English one
// first, then the system's own in its display language), visible and owned
// by its application window; failing that, one that came after the command
// and is shaped as a file dialog (target/dialogs.h), whatever its title.
// Poll context of FileDialogShown.
struct FileDialogWanted {
    const char* const* titles;
    int count;
    HWND found;
};
bool FileDialogShown(void* context);

// The JPEG options window, visible; context: HWND* that receives it.
bool JpegOptionsShown(void* context);

// A dialog that was pressed is done with once it is destroyed or hidden;
// context: HWND* of the dialog.
bool DialogClosed(void* context);

// Readiness of a file dialog that was found, before anything is typed into it.
struct DialogWanted {
    HWND dialog;
    const char* button;
    bool nameNeeded; // a Save As dialog, whose proposed name is read
};
ReadyLook FileDialogReady(void* context);

// Readiness of Neat Image's main window; context: HWND* of the window just
// pressed, or nullptr.
ReadyLook MainWindowReady(void* context);

// Readiness for a menu command: its item enabled and the main window ready.
// The item is looked up by its captions once, then asked for its state alone
// (and looked up again when that fails).
struct CommandWanted {
    const char* menu;
    const char* item;
    MenuItemRef ref; // where the item was found: its state is then one query
};
ReadyLook CommandReady(void* context);

// Readiness of the JPEG options window that was found; context: HWND*.
ReadyLook JpegOptionsReady(void* context);

// Readiness of the saved output; context: the output's path.
ReadyLook OutputSaved(void* context);

// Whether a window of Neat Image's answers a message at all: its thread is
// retrieving messages.
bool Answers(HWND window);
