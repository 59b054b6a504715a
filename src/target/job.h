// One job as the target layer drives it: everything it needs, taken by the
// batch worker from the dialog before the job starts, so that nothing in the
// target layer reads Tolvane's own controls.
#pragma once

#include "target/pacing.h"

struct TargetJob {
    const char* image;     // full path of the image
    const char* profile;   // full path of the noise profile
    const char* extension; // appended to the proposed name; nullptr: none (nothing selected)
    bool jpeg;             // the JPEG options window follows the save
    Pacing pacing;         // chosen once at the start of the run
    bool carryOn;          // "Continue after a failed job", read at the start of the job
};
