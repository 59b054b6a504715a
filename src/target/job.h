// One job as the target layer drives it: everything it needs, taken by the
// batch worker from the dialog before the job starts, so that nothing in the
// target layer reads Tolvane's own controls. The output format alone is read
// at the save step, through the worker's reader, so that a change of the
// selector during a job's filter applies to that job's save.
#pragma once

#include "target/pacing.h"

struct TargetJob {
    const char* image;     // full path of the image
    const char* profile;   // full path of the noise profile
    long (*formatIndex)(); // the output format selector's index now (0 Tiff, 1 JPEG, 2 Bitmap, -1 none)
    Pacing pacing;         // chosen once at the start of the run
    bool carryOn;          // "Continue after a failed job", read at the start of the job
};
