// The windows of Neat Image that a job fills in and presses (target/presses.h).
// Runs on the batch worker; every text handed to a sent message lives outside
// its stack (Windows frees a killed thread's stack at once).
#include "target/presses.h"
#include "target/contract.h"
#include "target/failure.h"
#include "target/looks.h"
#include "target/name_box.h"
#include "target/send.h"
#include "target/wait.h"
#include "target/watch.h"
#include "batch/stop.h"

#include <cstring>

namespace {

// The text last read back from a file name box.
char ReadBack[TEXT_MAX + 1];

// What the last search for a file name box saw of the dialog's descendants:
// their handles, their parents' handles, and their plain description. The
// newer system dialogs have about a hundred; past this room the rest is not
// looked at.
constexpr int kSurveyRoom = 512;
struct NameBoxSurvey {
    int count;
    HWND windows[kSurveyRoom];
    HWND parents[kSurveyRoom];
    ChildLook looks[kSurveyRoom];
};
// Outside the worker's stack: the class names are read into it while the
// system's window lists are walked. One for each thread: the worker's steps
// and the user interface thread's watch (its tick during "&Apply", the answer
// to a box) both look for name boxes, at the same moment now and then. A
// worker ended inside "&Apply" leaves its copy behind, once per such Stop.
thread_local NameBoxSurvey Survey;

// Called by EnumChildWindows for every descendant of the dialog, parents
// before their children: notes what the choice of the name box reads.
BOOL CALLBACK SurveyChild(HWND child, LPARAM lParam)
{
    auto& survey = *reinterpret_cast<NameBoxSurvey*>(lParam);
    if (survey.count >= kSurveyRoom)
        return FALSE;
    ChildLook& look = survey.looks[survey.count];
    look.className[0] = '\0';
    GetClassNameA(child, look.className, sizeof look.className);
    look.id = GetDlgCtrlID(child);
    look.parent = -2;
    look.visible = IsWindowVisible(child) != FALSE;
    look.enabled = IsWindowEnabled(child) != FALSE;
    survey.windows[survey.count] = child;
    survey.parents[survey.count] = GetParent(child);
    ++survey.count;
    return TRUE;
}

} // namespace

// The box is looked for among all descendants, since the newer Save dialog
// keeps it four levels down; which one it is, is the plain rule's choice.
HWND FindFileNameBox(HWND dialog)
{
    if (dialog == nullptr)
        return nullptr;
    Survey.count = 0;
    EnumChildWindows(dialog, SurveyChild, reinterpret_cast<LPARAM>(&Survey));
    AfterWindowEnumeration();
    for (int i = 0; i < Survey.count; ++i) {
        if (Survey.parents[i] == dialog) {
            Survey.looks[i].parent = -1;
            continue;
        }
        for (int j = 0; j < Survey.count; ++j) {
            if (Survey.windows[j] == Survey.parents[i]) {
                Survey.looks[i].parent = j;
                break;
            }
        }
    }
    int chosen = ChooseFileNameBox(Survey.looks, Survey.count);
    return chosen >= 0 ? Survey.windows[chosen] : nullptr;
}

HWND FileNameBox(HWND dialog)
{
    HWND edit = FindFileNameBox(dialog);
    if (edit == nullptr)
        FaultUnlessClosed(FaultKind::Contract, "Could not get handle to edit box");
    return edit;
}

namespace {

// Whether a control is a "Button" with id IDOK.
bool IsOkButton(HWND control)
{
    char className[16] = "";
    return control != nullptr && GetDlgCtrlID(control) == IDOK &&
           GetClassNameA(control, className, sizeof className) > 0 && lstrcmpiA(className, kButtonClass) == 0;
}

// Called by EnumChildWindows for every control of a dialog: stops at the
// first "Button" with id IDOK.
BOOL CALLBACK FindOkProc(HWND control, LPARAM lParam)
{
    if (!IsOkButton(control))
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = control;
    return FALSE;
}

} // namespace

HWND FindOkButton(HWND dialog)
{
    HWND ok = GetDlgItem(dialog, IDOK);
    if (IsOkButton(ok))
        return ok;
    ok = nullptr;
    EnumChildWindows(dialog, FindOkProc, reinterpret_cast<LPARAM>(&ok));
    return ok;
}

HWND FindDialogButton(HWND dialog, const char* caption)
{
    HWND button = FindWindowExA(dialog, nullptr, kButtonClass, caption);
    return button != nullptr ? button : FindOkButton(dialog);
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
