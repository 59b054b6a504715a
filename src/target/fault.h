// How the target layer reports that a job cannot go on. It never decides what
// follows: the batch worker does (batch/outcome.h), from the fault's kind and
// the user's options.
#pragma once

// What went wrong, as far as Neat Image is concerned.
enum class FaultKind {
    JobFailed,     // this job failed where Neat Image can be brought back to rest: a
                   // window that did not come or close, a box of its own, no proposed name
    NotWritten,    // the job ran to its end, but its output was never written
    Closed,        // Neat Image has closed, with exit code 0, as when someone closes it
    Crashed,       // Neat Image's process ended with another exit code
    NotResponding, // Neat Image stopped answering
    Refused,       // Neat Image refused a command (higher rights)
    Contract,      // a control, menu item or text that Neat Image must have is missing,
                   // or Neat Image did not come back to rest: its state is unknown
};

// Thrown by the target layer on the batch worker and caught by the worker
// around each job. The text is the message of the fault, as the session log
// and the error box give it; it lives in storage of the fault's own until the
// next fault.
struct TargetFault {
    FaultKind kind;
    const char* text;
};

// On the batch worker: reports a fault of this kind with this text.
[[noreturn]] void RaiseFault(FaultKind kind, const char* text);
