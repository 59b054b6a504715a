// Starting Neat Image again after it crashed, froze or was left in a state
// Tolvane cannot vouch for (batch worker).
#pragma once

#include <windows.h>

// Ends what is left of Neat Image's process, starts its executable again
// without arguments in its own folder, and waits (at most 60 s) for its main
// window and for it to be at rest, answering the boxes of its start-up as a
// failed job's boxes are answered (never "Yes"); then gives it the priority
// class. Returns nullptr when Neat Image runs again, else why not.
const char* StartTargetAgain(DWORD priorityClass);
