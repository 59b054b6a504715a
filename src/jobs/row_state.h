// The state of each job in the list: shown as the item image of column 0 (so
// that screen readers and automation can read it) and, with its reason or
// output, in the row's infotip. The states live on the user interface thread,
// keyed by the row's identity; the batch worker changes them only through a
// message sent to the main dialog.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include "jobs/nextjob.h"

#include <cstddef>
#include <vector>

// A row's state; its value is the index of its image in the list's small
// image list. A row no run has taken yet has none (a blank image).
enum class RowState { None = 0, Waiting, Running, Done, Failed, Skipped };
constexpr int kRowStateCount = 6;

// The worker's request to the user interface thread (WM_ROW_STATE, sent to
// the main dialog, lParam a RowStateRequest in static storage).
constexpr UINT WM_ROW_STATE = WM_APP + 20;

// The longest text a row keeps with its state, terminator included.
constexpr std::size_t kRowTextSize = 512;

// The name of a state as its infotip starts ("Waiting", "Done", ...); empty
// for None.
const char* RowStateName(RowState state);
// The infotip of a row in this state with this text: the name alone, or
// "<name>: <text>" (a skipped job: "Skipped, file not found: <path>", as the
// session log gives it). Written into out (outSize bytes, always terminated);
// returns the length. Empty for None.
std::size_t FormatRowTip(char* out, std::size_t outSize, RowState state, const char* text);

// --- Any thread (from the worker a message sent to the user interface thread)
// Every row whose identity is at most `last` (the rows of a run that starts)
// becomes Waiting, its text cleared.
void MarkRunWaiting(JobId last);
// The row of this identity takes this state and text (nullptr: none). A row
// that no longer exists is left alone. Running also makes it the row the run
// drives now.
void SetRowState(JobId id, RowState state, const char* text);
// The same for the row the run set Running last (the job it drove last).
void SetDrivenRowState(RowState state, const char* text);

// --- User interface thread
// Gives the job list its image list of states and its infotips.
void InitRowStates(HWND list);
// Handles WM_ROW_STATE.
void OnRowStateMessage(LPARAM request);
// The state and text of the row with this identity.
RowState RowStateOf(JobId id);
const char* RowTextOf(JobId id);
// The identity of the row at this index, or 0 when there is none.
JobId RowIdAt(int row);
// Answers the list's LVN_GETINFOTIPA: the state of the row, after the full
// text of a label the column cuts short.
void FillRowTip(NMLVGETINFOTIPA* tip);
// The list's notifications about rows: LVN_GETINFOTIPA (FillRowTip), and a
// row deleted (LVN_DELETEITEM) or all of them (LVN_DELETEALLITEMS), whose
// records go.
void OnJobListRowNotify(NMHDR* header);
// After a Stop: the job that was being driven is waiting again, as it was not
// finished. Does nothing while a worker still runs.
void RowsAfterStop();
// The indexes of the rows in this state (or in either of two), in list order.
std::vector<int> RowsInState(RowState state, RowState orState);

// The small image list of the states, one 16x16 image each, in the order of
// RowState (row_icons.cpp).
HIMAGELIST CreateRowStateImages();
