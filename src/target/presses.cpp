// The windows of Neat Image that a job fills in and presses (target/presses.h).
// Runs on the batch worker; every text handed to a sent message lives outside
// its stack (Windows frees a killed thread's stack at once).
#include "target/presses.h"
#include "target/contract.h"
#include "target/failure.h"
#include "target/looks.h"
#include "target/send.h"
#include "target/wait.h"
#include "target/watch.h"
#include "batch/stop.h"

#include <cstring>

namespace {

// The text last read back from a file name box.
char ReadBack[TEXT_MAX + 1];

} // namespace

HWND FindFileNameBox(HWND dialog)
{
    HWND edit = FindWindowExA(dialog, nullptr, kEditClass, nullptr);
    if (edit == nullptr) {
        HWND comboEx = GetDlgItem(dialog, kFileNameComboId);
        if (comboEx != nullptr) {
            HWND combo = FindWindowExA(comboEx, nullptr, "ComboBox", nullptr);
            edit = FindWindowExA(combo != nullptr ? combo : comboEx, nullptr, kEditClass, nullptr);
        }
    }
    if (edit == nullptr)
        edit = GetDlgItem(dialog, kFileNameEditId);
    return edit;
}

HWND FileNameBox(HWND dialog)
{
    HWND edit = FindFileNameBox(dialog);
    if (edit == nullptr)
        FaultUnlessClosed(FaultKind::Contract, "Could not get handle to edit box");
    return edit;
}

HWND FindDialogButton(HWND dialog, const char* caption)
{
    HWND button = FindWindowExA(dialog, nullptr, kButtonClass, caption);
    if (button == nullptr) {
        HWND ok = GetDlgItem(dialog, IDOK);
        char className[16] = "";
        if (ok != nullptr && GetClassNameA(ok, className, sizeof className) > 0 &&
            lstrcmpiA(className, kButtonClass) == 0)
            button = ok;
    }
    return button;
}

HWND DialogButton(HWND dialog, const char* caption, const char* failure)
{
    HWND button = FindDialogButton(dialog, caption);
    if (button == nullptr)
        FaultUnlessClosed(FaultKind::Contract, failure);
    return button;
}

// Unlike BM_CLICK, a WM_COMMAND does not need the dialog to be the active
// window, which it is not while Neat Image runs in the background.
void Press(HWND dialog, HWND button)
{
    WorkerCheckpoint();
    SendToTarget(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button) & 0xFFFF, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

void TypeInto(const Pacing& pacing, HWND edit, const char* text)
{
    WorkerCheckpoint();
    SendToTarget(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    DWORD bound = static_cast<DWORD>(PlanPause(pacing, PausePoint::Typed).readyBoundMs);
    if (bound == 0)
        return;
    // A typed text has arrived once the box reads it back exactly; past the
    // bound the step goes on as it would have.
    DWORD every = static_cast<DWORD>(pacing.lookEveryMs);
    DWORD start = GetTickCount();
    for (;;) {
        WorkerCheckpoint();
        ReadBack[0] = '\0';
        if (SendToTarget(edit, WM_GETTEXT, sizeof ReadBack - 1, reinterpret_cast<LPARAM>(ReadBack))) {
            ReadBack[TEXT_MAX] = '\0';
            if (TypedTextArrived(text, ReadBack))
                return;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= bound)
            return;
        WorkerPause(bound - elapsed < every ? bound - elapsed : every);
    }
}

void ReadProposedName(const Pacing& pacing, HWND edit, char* name, std::size_t nameSize)
{
    for (int attempt = 0; attempt < WAIT_TRIES; ++attempt) {
        name[0] = '\0';
        WorkerCheckpoint();
        if (SendToTarget(edit, WM_GETTEXT, TEXT_MAX, reinterpret_cast<LPARAM>(name))) {
            // At most 254 characters, as the limit of 255 gives on Windows,
            // however the other process's control fills the buffer.
            name[nameSize > TEXT_MAX - 1 ? TEXT_MAX - 1 : nameSize - 1] = '\0';
            return;
        }
        Pause(static_cast<DWORD>(pacing.pauseMs));
    }
    FaultUnlessClosed(FaultKind::Contract, "Could not read the proposed file name");
}

void EnsureClosed(const Pacing& pacing, HWND window, const char* failure)
{
    WorkerCheckpoint();
    if (!DialogClosed(&window) &&
        Poll(pacing, WAIT_TRIES, PauseOrder::BeforeEachLook, DialogClosed, &window) != WaitEnd::Passed)
        JobFailed(failure);
    WatchExpectNothing();
}
