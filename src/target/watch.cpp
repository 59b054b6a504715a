// The watch over Neat Image: one look over the top-level windows of its
// process, from the batch worker at every step, pause and poll, and from the
// progress tick while the worker is blocked inside "&Apply".
//
// A look never sends a message to Neat Image: class names, titles and the
// texts of a box's static controls in another process are read by
// GetClassNameA and GetWindowTextA without one, so a Neat Image that is stuck
// cannot hold up the look.
#include "target/watch.h"
#include "target/contract.h"
#include "target/freeze.h"
#include "target/presses.h"
#include "batch/stop.h"
#include "target/failure.h"
#include "target/target.h"
#include "target/watch_text.h"
#include "tolvane.h"

#include <atomic>
#include <cstring>

namespace {

constexpr int kMaxExpectedTitles = 4;

// What the current step expects; written and read by the worker only.
struct Expected {
    const char* titles[kMaxExpectedTitles];
    int titleCount;
    HWND window;
    bool jpegOptions;
};
Expected WorkerExpects;

// Shared with the progress tick: Neat Image's process and whether the worker
// is inside "&Apply".
std::atomic<DWORD> TargetProcessId{0};
// A handle to it that tells when it has ended; its windows may outlive it by
// a moment, or go before it does.
std::atomic<HANDLE> TargetProcess{nullptr};
// The handle before the last WatchBegin, closed at the next one.
std::atomic<HANDLE> RetiredProcess{nullptr};
// The executable of Neat Image's process, as the system names it.
wchar_t TargetExe[1024];
// How long a closing Neat Image's process may outlive its windows.
constexpr DWORD kClosingMs = 2000;
std::atomic<bool> InsideApply{false};

// One look's working state. The worker and the tick each have their own, so
// a tick that overlaps the worker's first look after "&Apply" shares nothing.
struct Look {
    DWORD processId;
    HWND mainWindow;
    HWND appWindow;
    const Expected* expected;
    HWND box;
    char className[256];
    char title[256];
    char caption[256];
    char texts[kWatchMessageSize];
    char message[kWatchMessageSize];
};
Look WorkerLook;
Look TickLook;

// Whether a "#32770" has the file name box of a file dialog, as a message
// box never has.
bool HasFileNameBox(HWND dialog)
{
    return FindFileNameBox(dialog) != nullptr;
}

// Whether the step at hand expects this window. While a file dialog is
// awaited, a "#32770" owned by the application window is that dialog when it
// has one of the awaited titles, or a file name box under any other title
// (its wait then decides whether it is the right one, as without the watch).
// A window found or pressed is expected by its handle alone, so a box it
// raises, even one that carries its title, is not.
bool IsExpected(const Look& look, HWND window)
{
    const Expected* e = look.expected;
    if (e == nullptr)
        return false;
    if (e->window != nullptr && window == e->window)
        return true;
    if (e->jpegOptions && std::strcmp(look.className, kJpegOptionsClass) == 0)
        return true;
    if (e->titleCount > 0 && std::strcmp(look.className, kFileDialogClass) == 0 &&
        (look.appWindow == nullptr || GetParent(window) == look.appWindow)) {
        for (int i = 0; i < e->titleCount; ++i)
            if (std::strcmp(look.title, e->titles[i]) == 0)
                return true;
        return HasFileNameBox(window);
    }
    return false;
}

// Called by EnumWindows for every top-level window: stops at the first
// visible, captioned window of Neat Image's process that nothing expects.
// Hint windows and tool tips have no caption and never count.
BOOL CALLBACK FindBoxProc(HWND window, LPARAM lParam)
{
    Look& look = *reinterpret_cast<Look*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != look.processId || window == look.mainWindow || window == look.appWindow)
        return TRUE;
    if (!IsWindowVisible(window))
        return TRUE;
    LONG style = GetWindowLongA(window, GWL_STYLE);
    if ((style & WS_CAPTION) != WS_CAPTION)
        return TRUE;
    look.className[0] = '\0';
    look.title[0] = '\0';
    GetClassNameA(window, look.className, TEXT_MAX);
    GetWindowTextA(window, look.title, TEXT_MAX);
    if (std::strcmp(look.className, kProgressClass) == 0)
        return TRUE;
    if (IsExpected(look, window))
        return TRUE;
    look.box = window;
    return FALSE;
}

// Called by EnumChildWindows for every control of a box: gathers the texts
// of its static controls, icons and pictures left out.
BOOL CALLBACK BoxTextProc(HWND control, LPARAM lParam)
{
    Look& look = *reinterpret_cast<Look*>(lParam);
    look.className[0] = '\0';
    GetClassNameA(control, look.className, TEXT_MAX);
    if (lstrcmpiA(look.className, "Static") != 0)
        return TRUE;
    LONG type = GetWindowLongA(control, GWL_STYLE) & SS_TYPEMASK;
    if (type == SS_ICON || type == SS_BITMAP || type == SS_ENHMETAFILE || type == SS_OWNERDRAW)
        return TRUE;
    look.title[0] = '\0';
    GetWindowTextA(control, look.title, TEXT_MAX);
    AppendFoldedText(look.texts, sizeof look.texts, look.title);
    return TRUE;
}

// One look. Returns the fatal message for what it saw, or nullptr when Neat
// Image is as expected.
const char* LookOnce(Look& look, const Expected* expected)
{
    look.processId = TargetProcessId.load(std::memory_order_acquire);
    look.mainWindow = TargetMainWindow;
    look.appWindow = TargetAppWindow;
    look.expected = expected;
    look.box = nullptr;
    if (TargetGone())
        return "Neat Image has closed";
    if (look.processId == 0)
        return nullptr;
    EnumWindows(FindBoxProc, reinterpret_cast<LPARAM>(&look));
    AfterWindowEnumeration();
    if (look.box == nullptr)
        return nullptr;
    look.caption[0] = '\0';
    GetWindowTextA(look.box, look.caption, TEXT_MAX);
    look.texts[0] = '\0';
    EnumChildWindows(look.box, BoxTextProc, reinterpret_cast<LPARAM>(&look));
    FormatBoxMessage(look.message, sizeof look.message, look.caption, look.texts);
    return look.message;
}

} // namespace

bool TargetGone()
{
    if (!IsWindow(TargetMainWindow))
        return true;
    HANDLE process = TargetProcess.load(std::memory_order_acquire);
    return process != nullptr && WaitForSingleObject(process, 0) == WAIT_OBJECT_0;
}

// Opens Neat Image's process for what the run needs of it: to see it end, to
// read its exit code and its executable, and to end it when it stops
// answering. Where ending it is not granted, the rest still is.
HANDLE OpenTargetProcess(DWORD processId)
{
    const DWORD wanted[] = {SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                            SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, SYNCHRONIZE};
    for (DWORD access : wanted)
        if (HANDLE process = OpenProcess(access, FALSE, processId))
            return process;
    return nullptr;
}

void WatchBegin()
{
    DWORD processId = 0;
    GetWindowThreadProcessId(TargetMainWindow, &processId);
    TargetProcessId.store(processId, std::memory_order_release);
    HANDLE process = processId != 0 ? OpenTargetProcess(processId) : nullptr;
    // The executable, for starting Neat Image again after it failed.
    TargetExe[0] = L'\0';
    DWORD size = sizeof TargetExe / sizeof TargetExe[0];
    if (process == nullptr || !QueryFullProcessImageNameW(process, 0, TargetExe, &size))
        TargetExe[0] = L'\0';
    // The handle of the last run, or of the instance before a restart, is
    // closed one Start or restart later: the tick and the freeze watch may
    // still have been looking at it.
    if (HANDLE retired = RetiredProcess.exchange(TargetProcess.exchange(process, std::memory_order_acq_rel)))
        CloseHandle(retired);
    // A Stop may have ended the last run between the two marks around
    // "&Apply": left set, every tick of this run would take the worker's own
    // file dialogs for boxes of Neat Image's.
    InsideApply.store(false, std::memory_order_release);
    ForgetApplyFailure();
    WatchExpectNothing();
}

const wchar_t* TargetExecutable()
{
    return TargetExe;
}

HANDLE TargetProcessHandle()
{
    return TargetProcess.load(std::memory_order_acquire);
}

DWORD TargetExitCode()
{
    HANDLE process = TargetProcess.load(std::memory_order_acquire);
    DWORD code = STILL_ACTIVE;
    if (process == nullptr || !GetExitCodeProcess(process, &code))
        return STILL_ACTIVE;
    return code;
}

bool EndTargetProcess()
{
    HANDLE process = TargetProcess.load(std::memory_order_acquire);
    if (process == nullptr)
        return false;
    if (WaitForSingleObject(process, 0) == WAIT_OBJECT_0)
        return true;
    if (!TerminateProcess(process, kEndedByTolvane))
        return false;
    return WaitForSingleObject(process, 5000) == WAIT_OBJECT_0;
}

void RaiseClosed()
{
    // Its windows and its process end a moment apart: wait that moment (on
    // Stop the worker leaves) for the exit code that tells a close from a
    // crash.
    HANDLE process = TargetProcess.load(std::memory_order_acquire);
    DWORD start = GetTickCount();
    while (process != nullptr && WaitForSingleObject(process, 0) != WAIT_OBJECT_0 &&
           GetTickCount() - start < kClosingMs)
        WorkerPause(20);
    DWORD code = TargetExitCode();
    FaultKind kind = code == 0 ? FaultKind::Closed : FaultKind::Crashed;
    if (TargetEndedAsFrozen(nullptr))
        kind = FaultKind::NotResponding;
    RaiseFault(kind, "Neat Image has closed");
}

void WatchExpectFileDialog(const char* const* titles, int count)
{
    WorkerExpects = Expected{};
    for (int i = 0; i < count && i < kMaxExpectedTitles; ++i)
        WorkerExpects.titles[WorkerExpects.titleCount++] = titles[i];
}

void WatchExpectWindow(HWND window)
{
    WorkerExpects = Expected{};
    WorkerExpects.window = window;
}

void WatchExpectJpegOptions()
{
    WorkerExpects = Expected{};
    WorkerExpects.jpegOptions = true;
}

void WatchExpectNothing()
{
    WorkerExpects = Expected{};
}

void WatchTarget()
{
    const char* message = LookOnce(WorkerLook, &WorkerExpects);
    if (message == nullptr)
        return;
    if (WorkerLook.box == nullptr)
        RaiseClosed();
    JobFailed(message);
}

void WatchInsideApply(bool inside)
{
    InsideApply.store(inside, std::memory_order_release);
}

const char* WatchTargetFromTick(HWND* box)
{
    *box = nullptr;
    if (!InsideApply.load(std::memory_order_acquire))
        return nullptr;
    static const Expected nothing = {};
    const char* message = LookOnce(TickLook, &nothing);
    *box = TickLook.box;
    return message;
}
