// The pacing of the automation and its plain rules, without window handles:
// the pauses of each point of a job under the specified pacing and under
// fast pacing, what a look at Neat Image says about its readiness for the
// next step, when looks in a row count as passed, and how a poll is spaced.
// The sequence (target/sequence.cpp) gathers the facts from the windows and
// acts on the verdicts.
#pragma once

#include <cstdint>

// The points of a job where the sequence pauses or waits for Neat Image to be
// ready, in the order a job meets them.
enum class PausePoint {
    BeforeCommand,    // before a menu command is posted or sent
    DialogFound,      // a file dialog was found, before anything is typed
    Typed,            // a text was typed into a file name box
    AfterPress,       // an "Open" dialog's button was pressed
    AfterApply,       // "&Apply" returned
    BeforeSaveAsPoll, // "Save &as..." was posted
    BeforeJpegPoll,   // "&Save" was pressed with JPEG chosen
    OptionsFound,     // the JPEG options window was found
    OutputWritten,    // the dialogs of the save have closed
    AfterLastJob,     // the last job of a run has ended
    Count
};

// What the sequence does at one point: a fixed pause of fixedMs whatever
// Neat Image does, or, when readyBoundMs is not 0, looks until Neat Image is
// verifiably ready, for at most readyBoundMs; a look that cannot tell then
// makes the whole wait last cannotTellMs from its start.
struct PausePlan {
    unsigned long fixedMs;
    unsigned long readyBoundMs;
    unsigned long cannotTellMs;
};

// One pacing: a plan for each point, and how a poll for a window is spaced.
// lookEveryMs 0: each try of a poll pauses pauseMs (before or after its
// look); otherwise a poll looks every lookEveryMs within the same bound of
// tries times pauseMs.
struct Pacing {
    unsigned long pauseMs;
    unsigned long lookEveryMs;
    PausePlan points[static_cast<int>(PausePoint::Count)];
    // A wait spends no try while Neat Image is too busy to answer (the freeze
    // watch, which ends a Neat Image that stops responding, bounds it then).
    bool patientWhileBusy;
};

// The pacing of a run, chosen once at its start from the "Fast pacing"
// option: the specified fixed pauses of pauseMs, or fast pacing, whose pauses
// end as soon as Neat Image is verifiably ready and whose waits keep the
// specified bounds (waitTries pauses for a window).
Pacing MakePacing(bool fast, unsigned long pauseMs, int waitTries);
// The plan of one point.
PausePlan PlanPause(const Pacing& pacing, PausePoint point);
// The fixed pauses of one job in which every window shows at the first look:
// seven pauses, nine for JPEG, under the specified pacing; none under fast
// pacing.
unsigned long FixedPausesOfJobMs(const Pacing& pacing, bool jpeg);

// What one look concludes.
enum class Verdict {
    Ready,      // every condition of the step holds
    NotYet,     // some condition does not hold yet; look again
    CannotTell, // a condition cannot be evaluated: the step takes its fixed pause
};

// The stability rule: a look passes only when it and the look before it were
// both Ready about the same windows (or the same file size), identified by
// `key`. A look that is not Ready starts the count again.
struct Steadiness {
    bool previousReady = false;
    std::uintptr_t previousKey = 0;
};
// Feeds one look; true when it passes.
bool SteadyReady(Steadiness& steadiness, Verdict verdict, std::uintptr_t key);

// A file dialog of Neat Image's, found visible, before anything is typed.
struct DialogFacts {
    bool visible;
    bool enabled;
    bool ownedByAppWindow;
    bool mainWindowDisabled; // Neat Image's main window, under the modal dialog
    bool nameBoxFound, nameBoxVisible, nameBoxEnabled;
    bool buttonFound, buttonVisible, buttonEnabled;
    bool answers;      // SendMessageTimeout(WM_NULL) came back
    bool nameNeeded;   // a Save As dialog: Tolvane reads the name it proposes
    bool nameProposed; // its file name box holds some text
};
// Controls that are not there yet are NotYet: a dialog may show before it has
// created them; the step's fixed pause bounds how long they may take. So is
// a Save As dialog whose name box is still empty: a program may fill in the
// name it proposes after showing the dialog.
Verdict DialogVerdict(const DialogFacts& facts);

// The JPEG options window, found visible.
struct OptionsFacts {
    bool enabled;
    bool okFound, okVisible, okEnabled;
    bool answers;
};
Verdict OptionsVerdict(const OptionsFacts& facts);

// Neat Image's main window after a dialog was pressed, or after "&Apply"
// returned, or before a menu command: the pressed dialog (if any) destroyed or
// hidden, the main window enabled and answering, no progress window visible.
struct MainFacts {
    bool pressedWindowGone;
    bool mainEnabled;
    bool mainAnswers;
    bool progressVisible;
};
Verdict MainVerdict(const MainFacts& facts);

// A menu item as Tolvane can read it.
enum class ItemState { Enabled, Disabled, Unreadable };
// Before a command is posted or sent: its item enabled where it can be read,
// and the main window ready as after a press (so one wait covers both the
// step just done and the command that follows). An item that cannot be read
// cannot tell.
Verdict CommandVerdict(ItemState item, const MainFacts& main);

// The output file after "&Save": named by a full path, present, openable with
// no sharing (its writer has closed it). Its size is the key of the
// stability rule, so it must also keep its size over two looks. A name that
// is not a full path cannot tell where the file lands.
struct OutputFacts {
    bool fullPath;
    bool exists;
    bool openableAlone;
};
Verdict OutputVerdict(const OutputFacts& facts);

// Whether a text typed into a box has arrived: read back exactly.
bool TypedTextArrived(const char* typed, const char* readBack);

// The key of a text for the stability rule (FNV-1a): a name box whose text
// changed between two looks is not the same answer.
std::uintptr_t TextKey(const char* text);

// How long a poll of fast pacing may go on before its wait fails: the
// specified bound of `tries` pauses of `pauseMs`, however often it looks.
unsigned long FastWaitBoundMs(unsigned long pauseMs, int tries);
