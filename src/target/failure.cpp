// Carrying on past a failed job: the failure itself, and bringing Neat Image
// back to rest before the next job.
#include "target/failure.h"
#include "target/contract.h"
#include "target/presses.h"
#include "target/target.h"
#include "target/watch.h"
#include "target/watch_text.h"
#include "batch/stop.h"
#include "tolvane.h"

#include <atomic>
#include <cstring>

namespace {

// How long a box without buttons may take to go after IDCANCEL before it is
// sent WM_CLOSE, and the slices of that wait.
constexpr DWORD kCancelGraceMs = 300;
constexpr DWORD kCancelSliceMs = 20;

// The text of the last fault, kept for the worker's catch.
char FaultText[kWatchMessageSize];

// What the progress tick found inside "&Apply": written by the tick once,
// then published; taken by the worker after "&Apply" returns.
char ApplyFailureText[kWatchMessageSize];
std::atomic<bool> ApplyFailed{false};

void CopyReason(char* to, const char* reason)
{
    std::strncpy(to, reason != nullptr ? reason : "", kWatchMessageSize - 1);
    to[kWatchMessageSize - 1] = '\0';
}

// A button's role in a box, by its identifier or by its caption (without
// the "&" marker, in any letter case), as message boxes and application
// frameworks label them.
enum class Role { Other, Yes, No, Cancel, Ok };

Role RoleOf(HWND button)
{
    char caption[64] = "";
    GetWindowTextA(button, caption, sizeof caption);
    char plain[64];
    std::size_t n = 0;
    for (const char* p = caption; *p != '\0' && n + 1 < sizeof plain; ++p)
        if (*p != '&')
            plain[n++] = *p;
    plain[n] = '\0';
    int id = GetDlgCtrlID(button);
    if (id == IDYES || lstrcmpiA(plain, "Yes") == 0)
        return Role::Yes;
    if (id == IDNO || lstrcmpiA(plain, "No") == 0)
        return Role::No;
    if (id == IDCANCEL || lstrcmpiA(plain, "Cancel") == 0)
        return Role::Cancel;
    if (id == IDOK || lstrcmpiA(plain, "OK") == 0)
        return Role::Ok;
    return Role::Other;
}

bool IsButtonClass(HWND window)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    return lstrcmpiA(className, "Button") == 0 || std::strcmp(className, "TButton") == 0 ||
           std::strcmp(className, kJpegOkClass) == 0;
}

struct Buttons {
    HWND no, cancel, ok;
    int count;
};

BOOL CALLBACK CollectButtonProc(HWND child, LPARAM lParam)
{
    auto* b = reinterpret_cast<Buttons*>(lParam);
    if (GetParent(child) == nullptr || !IsButtonClass(child) || !IsWindowVisible(child))
        return TRUE;
    LONG type = GetWindowLongA(child, GWL_STYLE) & BS_TYPEMASK;
    if (type != BS_PUSHBUTTON && type != BS_DEFPUSHBUTTON && type != BS_OWNERDRAW)
        return TRUE;
    ++b->count;
    switch (RoleOf(child)) {
    case Role::No:
        b->no = child;
        break;
    case Role::Cancel:
        b->cancel = child;
        break;
    case Role::Ok:
        b->ok = child;
        break;
    default:
        break;
    }
    return TRUE;
}

// Presses a button by posting its command to its window: a post never waits
// for Neat Image, and needs no active window.
void PostPress(HWND window, HWND button)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button) & 0xFFFF, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

struct RestLook {
    DWORD processId;
    HWND found;
    bool busy; // the progress window is up: Neat Image is still at work
};

// The first visible window of Neat Image's process, other than its main and
// application windows, that a user would have to deal with.
BOOL CALLBACK FindUnrestProc(HWND window, LPARAM lParam)
{
    auto* look = reinterpret_cast<RestLook*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != look->processId || window == TargetMainWindow || window == TargetAppWindow ||
        !IsWindowVisible(window))
        return TRUE;
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if ((style & WS_CAPTION) != WS_CAPTION)
        return TRUE;
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::strcmp(className, kProgressClass) == 0) {
        look->busy = true;
        return TRUE;
    }
    look->found = window;
    return FALSE;
}

} // namespace

void RaiseFault(FaultKind kind, const char* text)
{
    // The text may be the last fault's own: copy through a buffer apart.
    char copy[kWatchMessageSize];
    CopyReason(copy, text);
    std::memcpy(FaultText, copy, sizeof FaultText);
    throw TargetFault{kind, FaultText};
}

void JobFailed(const char* reason)
{
    RaiseFault(FaultKind::JobFailed, reason);
}

void ForgetApplyFailure()
{
    ApplyFailed.store(false, std::memory_order_release);
}

void FailDuringApply(HWND box, const char* message)
{
    if (!ApplyFailed.load(std::memory_order_acquire)) {
        CopyReason(ApplyFailureText, message);
        ApplyFailed.store(true, std::memory_order_release);
    }
    DismissTargetWindow(box);
}

void CheckApplyFailure()
{
    if (ApplyFailed.exchange(false, std::memory_order_acq_rel))
        JobFailed(ApplyFailureText);
}

// The safest answer first: a "No" or a "Cancel" leaves things as they were;
// "OK" only where it is all a box offers; a "Yes" never, as it may replace a
// file or confirm what nobody asked for.
RestAnswer ChooseRestAnswer(const RestWindowFacts& facts)
{
    if (facts.fileDialog)
        return RestAnswer::CancelFileDialog;
    if (facts.hasNo)
        return RestAnswer::PressNo;
    if (facts.hasCancel)
        return RestAnswer::PressCancel;
    if (facts.hasOk && facts.buttons == 1)
        return RestAnswer::PressOk;
    if (facts.jpegOptions)
        return RestAnswer::Close; // a JPEG window without its Cancel: closed unconfirmed
    if (facts.buttons == 0)
        return RestAnswer::CancelThenClose;
    return RestAnswer::None;
}

// A box without buttons (a task dialog, a toolkit's own box) takes IDCANCEL
// as Esc would give it; one that ignores it is closed. Posted, with a short
// bounded wait between the two, so that neither thread that answers boxes
// ever waits on Neat Image.
void CancelThenClose(HWND window)
{
    PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    for (DWORD waited = 0; waited < kCancelGraceMs; waited += kCancelSliceMs) {
        if (!IsWindow(window) || !IsWindowVisible(window))
            return;
        Sleep(kCancelSliceMs);
    }
    if (IsWindow(window) && IsWindowVisible(window))
        PostMessageA(window, WM_CLOSE, 0, 0);
}

bool DismissTargetWindow(HWND window)
{
    char className[64] = "";
    GetClassNameA(window, className, sizeof className);
    RestWindowFacts facts = {};
    facts.fileDialog = std::strcmp(className, kFileDialogClass) == 0 && FindFileNameBox(window) != nullptr;
    facts.jpegOptions = std::strcmp(className, kJpegOptionsClass) == 0;
    Buttons buttons = {};
    if (!facts.fileDialog)
        EnumChildWindows(window, CollectButtonProc, reinterpret_cast<LPARAM>(&buttons));
    facts.buttons = buttons.count;
    facts.hasNo = buttons.no != nullptr;
    facts.hasCancel = buttons.cancel != nullptr;
    facts.hasOk = buttons.ok != nullptr;
    switch (ChooseRestAnswer(facts)) {
    case RestAnswer::CancelFileDialog:
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
        return true;
    case RestAnswer::PressNo:
        PostPress(window, buttons.no);
        return true;
    case RestAnswer::PressCancel:
        PostPress(window, buttons.cancel);
        return true;
    case RestAnswer::PressOk:
        PostPress(window, buttons.ok);
        return true;
    case RestAnswer::Close:
        PostMessageA(window, WM_CLOSE, 0, 0);
        return true;
    case RestAnswer::CancelThenClose:
        CancelThenClose(window);
        return true;
    case RestAnswer::None:
        break;
    }
    return false;
}

void BringTargetToRest()
{
    WatchExpectNothing();
    RestLook look = {};
    GetWindowThreadProcessId(TargetMainWindow, &look.processId);
    for (int attempt = 0; attempt <= WAIT_TRIES; ++attempt) {
        WorkerCheckpoint();
        if (TargetGone())
            RaiseClosed();
        look.found = nullptr;
        look.busy = false;
        EnumWindows(FindUnrestProc, reinterpret_cast<LPARAM>(&look));
        AfterWindowEnumeration();
        if (look.found == nullptr && !look.busy && IsWindowEnabled(TargetMainWindow))
            return;
        if (look.found != nullptr)
            DismissTargetWindow(look.found);
        if (attempt < WAIT_TRIES)
            WorkerPause(PAUSE_MS);
    }
    RaiseFault(FaultKind::Contract, "Neat Image did not come back to rest after a failed job");
}
