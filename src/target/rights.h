// Neat Image's rights compared with Tolvane's, read at Start (user interface
// thread): Windows drops the messages of a program to one that runs with
// higher rights, so a Neat Image started "as administrator" would refuse the
// first command of the run.
#pragma once

#include <windows.h>

// A process's mandatory integrity level: the last sub-authority of its
// token's integrity SID (0x1000 low, 0x2000 medium, 0x3000 high, 0x4000
// system), or kLevelUnreadable when it could not be read.
constexpr DWORD kLevelUnreadable = 0xFFFFFFFFu;

// Whether Start refuses for these levels: only when both were read and Neat
// Image's is above Tolvane's.
bool TargetRightsTooHigh(DWORD ownLevel, DWORD targetLevel);

// The integrity level of the process behind this handle (opened with at
// least PROCESS_QUERY_LIMITED_INFORMATION); kLevelUnreadable when its token
// or the level cannot be read.
DWORD ProcessIntegrityLevel(HANDLE process);

// Whether the process of the target main window runs with higher rights than
// Tolvane's own (user interface thread, after FindTargetWindows).
bool TargetHasHigherRights();
