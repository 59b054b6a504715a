// The menu commands a job gives Neat Image: looked up by their captions,
// given only once Neat Image holds no modal window, and "&Filter" > "&Apply",
// which returns when filtering is done (batch worker).
#pragma once

#include "target/pacing.h"
#include "target/titles.h"

// Looks up a command that opens a file dialog of this kind, lets the watch
// expect that dialog, and posts the command. A command that is not in the
// menu can never open its dialog: a fault with `failure` at once.
void PostDialogCommand(const Pacing& pacing, const char* menu, const char* item, FileDialogKind kind,
                       const char* failure);

// Looks up "&Filter" > "&Apply" and sends it; returns when Neat Image has
// filtered. Meanwhile the progress tick does the watch's looking, and Stop may
// end the worker inside the send. A box the tick found meanwhile fails the
// job.
void ApplyFilter(const Pacing& pacing);

// Before a command goes to Neat Image, and between two jobs: waits until it
// has handled what it was given and holds no modal window, so that a box it
// is putting up is seen by the watch.
void AwaitTargetIdle(const Pacing& pacing);
