// Target automation: discovery and priority, menu lookup, the owned-dialog
// finder and the per-image sequence.
#pragma once

#include <windows.h>

#include "target/extension.h"
#include "target/job.h"
#include "target/pacing.h"

#include <cstddef>

// Finds Neat Image's main and application windows (user interface thread).
// Returns 1 when a main window was found; otherwise shows the "Warning" box
// and returns 0.
int FindTargetWindows();
BOOL CALLBACK TargetWindowEnumProc(HWND window, LPARAM lParam);
// Restores Neat Image's main (and application) window when minimised, without
// activating it and without waiting for it (user interface thread).
void RestoreMinimisedTarget();
// Sets the priority class of the process that owns the target main window.
// Returns 1 on success, 0 on any failure (batch worker).
int SetTargetPriorityClass(DWORD priorityClass);

// Size of a MENUITEMINFOA without the member later platforms added: 44 bytes
// on 32-bit Windows, the matching size on 64-bit.
constexpr UINT kMenuItemInfoSize = static_cast<UINT>(offsetof(MENUITEMINFOA, hbmpItem));
// Where a menu item was found: its drop-down, position and command
// identifier; no drop-down when it is not there or the menu cannot be read.
struct MenuItemRef {
    HMENU dropDown;
    int position;
    UINT id;
};
// The command identifier of the first item, in menu order, whose caption
// begins with itemPrefix in a drop-down whose caption begins with topPrefix;
// -1 when there is none. `where`, when given, receives where it was found
// (batch worker).
int FindMenuCommand(HWND window, const char* topPrefix, const char* itemPrefix, MenuItemRef* where = nullptr);
// Where that same item is, looked up without a trace (batch worker).
MenuItemRef FindMenuItem(HWND window, const char* topPrefix, const char* itemPrefix);
// Whether the item found there is enabled; Unreadable when it cannot be read
// or another item now stands there (batch worker).
ItemState MenuItemRefState(const MenuItemRef& ref);

// The first visible top-level window of exactly this class and title whose
// parent (GetParent: the owner of a top-level window) is `parent`; none when
// there is no such window at this moment (batch worker).
HWND FindOwnedDialog(HWND parent, const char* className, const char* title);
BOOL CALLBACK OwnedDialogEnumProc(HWND window, LPARAM lParam);

// Drives Neat Image through one job: open the image and the profile, apply
// the filter, save under the proposed name with the job's extension, and, at
// the job's end, look for a box Neat Image raised after the save and for the
// output (batch worker). Returns when the job is done; a fault
// (target/fault.h) is thrown when it is not. With `settle`, the job is the
// run's last and its end also waits one pause, so that a box Neat Image
// raises after the last save is not left unseen behind "Processing complete".
void ProcessImage(const TargetJob& job, bool settle);
// The pause and look of a run's end when its last driven job was not its last
// row (batch worker).
void SettleAfterLastJob(const Pacing& pacing);
// The output name typed into the last Save As dialog (batch worker).
const char* LastOutputName();
