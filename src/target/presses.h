// The windows of Neat Image that a job fills in and presses: the file name
// box and the buttons of its file dialogs, typing with read-back, the
// proposed name, and the check that a pressed window has closed (batch
// worker). Nothing here keeps a control's handle beyond one use.
#pragma once

#include <windows.h>

#include "target/pacing.h"

#include <cstddef>

// The file name box of a file dialog, looked up anew at every call among
// all its descendants (target/name_box.h): a visible, enabled "Edit" first,
// a direct child before the edit inside its "ComboBoxEx32" or "ComboBox"
// 1148 or, in the newer Save dialog, its "FloatNotifySink". None when there
// is none (yet). Any thread: each fills a survey of its own.
HWND FindFileNameBox(HWND dialog);
// The same; a fault ("Could not get handle to edit box") when there is none.
HWND FileNameBox(HWND dialog);

// A dialog's "Button" with id IDOK: a direct child first, else the first at
// any depth (a dialog may keep its buttons in a panel). None when there is none.
HWND FindOkButton(HWND dialog);

// A file dialog's button: the child "Button" with this caption, or, in a
// dialog whose captions are in another language, its default button (IDOK),
// however deep: the one that the shape of a file dialog was recognised by.
// None when there is none (yet).
HWND FindDialogButton(HWND dialog, const char* caption);
// The same; a fault with `failure` when there is none.
HWND DialogButton(HWND dialog, const char* caption, const char* failure);

// Presses a button of a dialog of Neat Image's: a WM_COMMAND carrying the
// button's identifier and BN_CLICKED, sent to the dialog with a bound.
void Press(HWND dialog, HWND button);

// Types `text` into a file name box; with the pacing's readiness at Typed,
// waits (at most its bound) until the box reads it back exactly.
void TypeInto(const Pacing& pacing, HWND edit, const char* text);

// Reads the name a Save As dialog's box proposes into `name` (nameSize bytes,
// at least TEXT_MAX): at most 254 characters. A Neat Image too busy to answer
// is asked again after a pause, up to WAIT_TRIES times; a fault when it
// never answers.
void ReadProposedName(const Pacing& pacing, HWND edit, char* name, std::size_t nameSize);

// A window that refuses what it was given (a file it cannot read) stays
// open; the next wait would then find that same dialog and type the next path
// into it. So the window just pressed must have closed: at once in the normal
// case, else within WAIT_TRIES further pauses; the job fails with `failure`
// when it does not.
void EnsureClosed(const Pacing& pacing, HWND window, const char* failure);
