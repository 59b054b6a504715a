// File dialogs of Neat Image recognised by their shape when their title is
// none Tolvane knows: Neat Image, or the system it runs on, may title them in
// another language. The title match (FindOwnedDialog, target/target.h) comes
// first; the shape is the fallback.
#pragma once

#include <windows.h>

// What one look found of a top-level window, for the acceptance rule.
struct DialogShapeFacts {
    bool dialogClass;   // its class is "#32770"
    bool visible;       // IsWindowVisible
    bool ownerMatches;  // GetParent gives Neat Image's application window
    bool presentBefore; // it was showing before the command was posted
    bool hasNameBox;    // it has a file name box
    bool okIsDefault;   // its default button is a "Button" with id IDOK
    bool titleMatches;  // its title is one Tolvane knows for this kind
};

// The acceptance rule: a visible "#32770" owned by the application window,
// with a title Tolvane knows, or else new since the command and shaped as a
// file dialog (a file name box and IDOK as its default button).
bool AcceptFileDialog(const DialogShapeFacts& facts);

// Whether the shape is looked at, for the jobs from now on (batch worker, at
// each job's start): only with "Continue after a failed job". Without it a
// run finds its file dialogs by their titles alone, as it always did, and a
// title it does not know ends the run.
void AcceptDialogsByShape(bool accept);

// Notes the "#32770" windows owned by `owner` that are showing now, just
// before a command that opens a file dialog is posted (batch worker).
void NoteDialogsBeforeCommand(HWND owner);

// The first visible top-level window, in enumeration order, that the rule
// accepts as a file dialog owned by `owner`, given the titles known for the
// kind awaited; none when there is none at this moment, or while the shape
// is not looked at (batch worker).
HWND FindFileDialogByShape(HWND owner, const char* const* titles, int count);
