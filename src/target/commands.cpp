// The menu commands a job gives Neat Image (target/commands.h). Runs on the
// batch worker. Commands that open a dialog are posted (the worker must not
// wait inside Neat Image's modal loop); "&Apply" is a plain send that returns
// when filtering is done, however long that takes.
#include "target/commands.h"
#include "target/contract.h"
#include "target/dialogs.h"
#include "target/looks.h"
#include "target/failure.h"
#include "target/send.h"
#include "target/target.h"
#include "target/wait.h"
#include "target/watch.h"
#include "batch/stop.h"
#include "tolvane.h"

namespace {

// How often AwaitTargetIdle looks while a modal window of Neat Image's is up.
constexpr DWORD kIdleSliceMs = 20;

// Looks up a menu command of Neat Image by its captions, and returns its
// identifier, -1 when there is none.
//
// Where the pacing waits before a command, the command also waits to be
// taken: a command reaching a disabled item is ignored, as a menu ignores it
// while Neat Image still loads what it opened. So before a command goes out,
// its item must be enabled and the main window ready, for at most the bound
// of a wait; after that it goes out anyway and the step fails as it would
// have. The one traced lookup comes first and tells where the item is, so
// each look asks for its state alone; an item not found there (a menu rebuilt
// meanwhile) is looked up again without a trace. A menu that cannot be read
// takes one fixed pause, which this wait stands in for.
int LookUpCommand(const Pacing& pacing, const char* menu, const char* item)
{
    WorkerCheckpoint();
    if (PlanPause(pacing, PausePoint::BeforeCommand).readyBoundMs == 0)
        return FindMenuCommand(TargetMainWindow, menu, item);
    CommandWanted wanted = {menu, item, {}};
    int id = FindMenuCommand(TargetMainWindow, menu, item, &wanted.ref);
    if (PauseAt(pacing, PausePoint::BeforeCommand, CommandReady, &wanted) == WaitEnd::CannotTell)
        wanted.ref = FindMenuItem(TargetMainWindow, menu, item);
    if (wanted.ref.dropDown != nullptr)
        id = static_cast<int>(wanted.ref.id);
    return id;
}

} // namespace

// It must have handled what it was given (a WM_NULL it answers comes after)
// and hold no modal window (its main and application windows enabled): a
// command posted meanwhile would be handled by a box's own message loop,
// behind its back. Bounded by the wait of a dialog; past that the command
// goes as it would without this.
void AwaitTargetIdle(const Pacing& pacing)
{
    WorkerCheckpoint();
    SendToTarget(TargetMainWindow, WM_NULL, 0, 0);
    DWORD start = GetTickCount();
    DWORD bound = static_cast<DWORD>(FastWaitBoundMs(pacing.pauseMs, WAIT_TRIES));
    while (!IsWindowEnabled(TargetMainWindow) ||
           (TargetAppWindow != nullptr && IsWindow(TargetAppWindow) && !IsWindowEnabled(TargetAppWindow))) {
        if (GetTickCount() - start >= bound)
            break;
        WorkerPause(kIdleSliceMs);
        WatchTarget();
    }
    WatchTarget();
}

void PostDialogCommand(const Pacing& pacing, const char* menu, const char* item, FileDialogKind kind,
                       const char* failure)
{
    int id = LookUpCommand(pacing, menu, item);
    if (id == -1)
        FaultUnlessClosed(FaultKind::Contract, failure);
    AwaitTargetIdle(pacing);
    const char* const* titles = nullptr;
    int count = FileDialogTitles(kind, &titles);
    WatchExpectFileDialog(titles, count);
    NoteDialogsBeforeCommand(TargetAppWindow);
    WorkerCheckpoint();
    PostToTarget(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

void ApplyFilter(const Pacing& pacing)
{
    // A missing command would let the unfiltered image be saved and the run
    // report success.
    int apply = LookUpCommand(pacing, kMenuFilter, kItemApply);
    if (apply == -1)
        FaultUnlessClosed(FaultKind::Contract, "Could not find Filter Apply menu item");
    AwaitTargetIdle(pacing);
    WorkerCheckpoint();
    // The send is not bounded: filtering may take minutes. Stop may end the
    // worker only while it waits here, where it holds no lock of this process.
    WatchInsideApply(true);
    WorkerInsideTarget(true);
    SendMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(apply), 0);
    WorkerInsideTarget(false);
    WatchInsideApply(false);
    WorkerCheckpoint();
    CheckApplyFailure();
    WatchTarget();
}
