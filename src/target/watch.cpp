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
    return FindWindowExA(dialog, nullptr, kEditClass, nullptr) != nullptr ||
           GetDlgItem(dialog, kFileNameComboId) != nullptr || GetDlgItem(dialog, kFileNameEditId) != nullptr;
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

void WatchBegin()
{
    DWORD processId = 0;
    GetWindowThreadProcessId(TargetMainWindow, &processId);
    TargetProcessId.store(processId, std::memory_order_release);
    // The handle of the last run is kept until here: the tick of that run
    // may still have been looking at it.
    HANDLE process = processId != 0 ? OpenProcess(SYNCHRONIZE, FALSE, processId) : nullptr;
    if (HANDLE old = TargetProcess.exchange(process, std::memory_order_acq_rel))
        CloseHandle(old);
    // A Stop may have ended the last run between the two marks around
    // "&Apply": left set, every tick of this run would take the worker's own
    // file dialogs for boxes of Neat Image's.
    InsideApply.store(false, std::memory_order_release);
    ForgetApplyFailure();
    WatchExpectNothing();
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
        RaiseFault(FaultKind::Closed, message); // closed: nothing to carry on with
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
