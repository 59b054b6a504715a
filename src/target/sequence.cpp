// The per-image sequence: drives Neat Image through one job the way a user
// would, paced by fixed pauses and by polling for its windows.
//
// Runs on the batch worker. Commands that open a dialog are posted (the worker
// must not wait inside Neat Image's modal loop); every other message is sent
// with a bound (target/send.h), so the worker goes on once Neat Image has
// handled it or is showing a box. "&Filter" > "&Apply" is a plain send that
// returns when filtering is done, however long that takes. Every pause wakes
// at once on Stop, and every step against Neat Image is preceded by a
// checkpoint where a stopped worker leaves. Every pause and poll also looks at
// Neat Image (target/watch.h): a closed Neat Image or one of its boxes ends
// the run within seconds.
#include "target/contract.h"
#include "target/failure.h"
#include "target/send.h"
#include "target/target.h"
#include "target/titles.h"
#include "target/watch.h"
#include "app/app.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "tolvane.h"

namespace {

// The longest stretch a pause goes without a look at Neat Image.
constexpr DWORD kWatchSliceMs = 250;

// A pause of the sequence: stop-aware, with a look at Neat Image at least
// every kWatchSliceMs and at its end. It lasts as long as one plain pause.
void Pause(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            break;
        DWORD rest = ms - elapsed;
        WorkerPause(rest < kWatchSliceMs ? rest : kWatchSliceMs);
        WatchTarget();
    }
}

// Where the pause of each try of a poll stands relative to its look.
enum class PauseOrder { BeforeEachLook, AfterEachLook };

// What a poll looks for: true once it is there. The context carries the
// question and receives the answer.
using LookFor = bool (*)(void* context);

// The one bounded wait of the sequence: up to `tries` looks, each with a
// stop-aware pause of PAUSE_MS before or after it (after: also after the look
// that succeeds), and a look at Neat Image before each. `traceEachTry`, when
// given, is traced at the start of every try. True as soon as a look
// succeeds.
bool Poll(int tries, PauseOrder order, LookFor look, void* context, const char* traceEachTry = nullptr)
{
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (traceEachTry != nullptr) {
            WorkerCheckpoint();
            Trace("%s", traceEachTry);
        }
        if (order == PauseOrder::BeforeEachLook)
            Pause(PAUSE_MS);
        WorkerCheckpoint();
        WatchTarget();
        bool found = look(context);
        if (order == PauseOrder::AfterEachLook)
            Pause(PAUSE_MS);
        if (found)
            return true;
    }
    return false;
}

// A file dialog of Neat Image with one of these titles (the English one
// first, then the system's own in its display language), visible and owned
// by its application window.
struct FileDialogWanted {
    const char* const* titles;
    int count;
    HWND found;
};

bool FileDialogShown(void* context)
{
    auto* wanted = static_cast<FileDialogWanted*>(context);
    for (int i = 0; i < wanted->count && wanted->found == nullptr; ++i)
        wanted->found = FindOwnedDialog(TargetAppWindow, kFileDialogClass, wanted->titles[i]);
    return wanted->found != nullptr;
}

// The JPEG options window, visible: an application framework may create it
// hidden at start-up, long before a save shows it, and FindWindowEx finds
// hidden windows too.
bool JpegOptionsShown(void* context)
{
    auto* found = static_cast<HWND*>(context);
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kJpegOptionsClass, kJpegOptionsTitle)) != nullptr) {
        if (IsWindowVisible(window)) {
            *found = window;
            return true;
        }
    }
    return false;
}

// A dialog that was pressed is done with once it is destroyed or hidden (a
// closing dialog is hidden before it goes).
bool DialogClosed(void* context)
{
    HWND dialog = *static_cast<HWND*>(context);
    return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

// Waits for a file dialog of this kind; fatal with `failure` when it does not
// come within WAIT_TRIES tries. The watch lets it show meanwhile.
// Whether the menu command just posted was found; one that was not can never
// open its dialog, in this job or any later one.
bool CommandFound = true;

HWND WaitForFileDialog(FileDialogKind kind, PauseOrder order, const char* traceEachTry, const char* failure)
{
    FileDialogWanted wanted = {nullptr, 0, nullptr};
    wanted.count = FileDialogTitles(kind, &wanted.titles);
    if (!Poll(WAIT_TRIES, order, FileDialogShown, &wanted, traceEachTry)) {
        if (!CommandFound)
            FatalError(failure);
        JobFailed(failure);
    }
    WatchExpectWindow(wanted.found);
    return wanted.found;
}

// A window that refuses what it was given (a file it cannot read) stays
// open; the next wait would then find that same dialog and type the next path
// into it. So the window just pressed must have closed: at once in the
// normal case, else within WAIT_TRIES further pauses, while the watch looks
// for the box that may be holding it open.
void EnsureClosed(HWND window, const char* failure)
{
    WorkerCheckpoint();
    if (!DialogClosed(&window) && !Poll(WAIT_TRIES, PauseOrder::BeforeEachLook, DialogClosed, &window))
        JobFailed(failure);
    WatchExpectNothing();
}

// How often AwaitTargetIdle looks while a modal window of Neat Image's is up.
constexpr DWORD kIdleSliceMs = 20;

// Before a command goes to Neat Image: it must have handled what it was
// given (a WM_NULL it answers comes after) and hold no modal window (its main
// and application windows enabled). A box that Neat Image is putting up is
// then visible, and the watch sees it: a command posted meanwhile would be
// handled by the box's own message loop, behind its back. Bounded by the
// wait of a dialog; past that the command goes as it would without this.
void AwaitTargetIdle()
{
    SendToTarget(TargetMainWindow, WM_NULL, 0, 0);
    DWORD start = GetTickCount();
    while (!IsWindowEnabled(TargetMainWindow) ||
           (TargetAppWindow != nullptr && IsWindow(TargetAppWindow) && !IsWindowEnabled(TargetAppWindow))) {
        if (GetTickCount() - start >= WAIT_TRIES * PAUSE_MS)
            break;
        WorkerPause(kIdleSliceMs);
        WatchTarget();
    }
    WatchTarget();
}

// Looks up a command that opens a file dialog, lets the watch expect that
// dialog, and posts the command.
void PostDialogCommand(const char* menu, const char* item, FileDialogKind kind)
{
    WorkerCheckpoint();
    int id = FindMenuCommand(TargetMainWindow, menu, item);
    CommandFound = id != -1;
    WorkerCheckpoint();
    AwaitTargetIdle();
    const char* const* titles = nullptr;
    int count = FileDialogTitles(kind, &titles);
    WatchExpectFileDialog(titles, count);
    PostToTarget(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// The file name box of a file dialog: its first direct "Edit" child; in the
// system's Explorer-style dialog, whose direct children hold none, the edit
// inside its "ComboBoxEx32" (id 1148); failing that the control with id 1152.
HWND FileNameBox(HWND dialog)
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
    if (edit == nullptr)
        FatalError("Could not get handle to edit box");
    return edit;
}

// A file dialog's button: the child "Button" with this caption, or, in a
// dialog whose captions are in another language, its default button (IDOK).
HWND DialogButton(HWND dialog, const char* caption, const char* failure)
{
    HWND button = FindWindowExA(dialog, nullptr, kButtonClass, caption);
    if (button == nullptr) {
        HWND ok = GetDlgItem(dialog, IDOK);
        char className[16] = "";
        if (ok != nullptr && GetClassNameA(ok, className, sizeof className) > 0 &&
            lstrcmpiA(className, kButtonClass) == 0)
            button = ok;
    }
    if (button == nullptr)
        FatalError(failure);
    return button;
}

// Presses a button of a dialog of Neat Image's: a WM_COMMAND carrying the
// button's identifier and BN_CLICKED, sent to the dialog with a bound. Unlike
// BM_CLICK it does not need the dialog to be the active window, which it is
// not while Neat Image runs in the background.
void Press(HWND dialog, HWND button)
{
    WorkerCheckpoint();
    SendToTarget(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button) & 0xFFFF, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// Types a full path into an "Open" dialog, presses "&Open", pauses, and makes
// sure the dialog took the file.
void OpenInDialog(HWND dialog, const char* path, const char* notClosed)
{
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);
    SendToTarget(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    HWND open = DialogButton(dialog, kOpenButtonText, "Could not get handle to OK button");
    Press(dialog, open);
    Pause(PAUSE_MS);
    EnsureClosed(dialog, notClosed);
}

// Confirms Neat Image's JPEG options window with its "OK" button.
void ConfirmJpegOptions()
{
    WatchExpectJpegOptions();
    Pause(PAUSE_MS);
    HWND options = nullptr;
    if (!Poll(WAIT_TRIES, PauseOrder::AfterEachLook, JpegOptionsShown, &options))
        JobFailed("Could not get handle to JPEG Save window");
    WatchExpectWindow(options);
    HWND ok = FindWindowExA(options, nullptr, kJpegOkClass, kJpegOkText);
    if (ok == nullptr)
        FatalError("Could not get handle to OK button");
    Press(options, ok);
    Trace("OK Clicked\n");
    EnsureClosed(options, "JPEG Save window did not close");
}

// The name read from and written back to the "Save As" dialog: room for a
// proposed name of up to 254 characters, a 4-character extension and the
// terminator. Outside the worker's stack, like every buffer it hands to a
// sent message.
char OutputName[260];

// Reads the proposed name into OutputName. A Neat Image too busy to answer
// within the send's bound is asked again after a pause, up to WAIT_TRIES
// times, with the watch looking in between.
void ReadProposedName(HWND edit)
{
    for (int attempt = 0; attempt < WAIT_TRIES; ++attempt) {
        OutputName[0] = '\0';
        WorkerCheckpoint();
        if (SendToTarget(edit, WM_GETTEXT, TEXT_MAX, reinterpret_cast<LPARAM>(OutputName))) {
            // At most 254 characters, as the limit of 255 gives on Windows,
            // however the other process's control fills the buffer.
            OutputName[TEXT_MAX - 1] = '\0';
            return;
        }
        Pause(PAUSE_MS);
    }
    FatalError("Could not read the proposed file name");
}

} // namespace

int ProcessImage(const char* imagePath, const char* profilePath)
{
    WorkerCheckpoint();
    WatchTarget();
    LogMessage("Processing image: %s", imagePath);

    // Open the image.
    PostDialogCommand(kMenuImage, kItemOpen, FileDialogKind::Open);
    HWND dialog =
        WaitForFileDialog(FileDialogKind::Open, PauseOrder::BeforeEachLook, ".", "Could not find Image Open Dialog");
    Trace("NeatWin/Dialog/Parent: %d / %d / %d\n", static_cast<int>(reinterpret_cast<INT_PTR>(TargetMainWindow)),
          static_cast<int>(reinterpret_cast<INT_PTR>(dialog)),
          static_cast<int>(reinterpret_cast<INT_PTR>(GetParent(dialog))));
    OpenInDialog(dialog, imagePath, "Image Open Dialog did not close");

    // Open the noise profile.
    PostDialogCommand(kMenuProfile, kItemOpen, FileDialogKind::Open);
    dialog = WaitForFileDialog(FileDialogKind::Open, PauseOrder::BeforeEachLook, nullptr,
                               "Could not find Profile Open Dialog");
    OpenInDialog(dialog, profilePath, "Profile Open Dialog did not close");

    // Apply the filter. A missing command would let the unfiltered image be
    // saved and the run report success, so it ends the process instead. The
    // send is not bounded: filtering may take minutes. Meanwhile the progress
    // tick does the watch's looking.
    WorkerCheckpoint();
    int apply = FindMenuCommand(TargetMainWindow, kMenuFilter, kItemApply);
    if (apply == -1)
        FatalError("Could not find Filter Apply menu item");
    WorkerCheckpoint();
    AwaitTargetIdle();
    WatchInsideApply(true);
    SendMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(apply), 0);
    WatchInsideApply(false);
    CheckApplyFailure();
    WatchTarget();
    Pause(PAUSE_MS);

    // Save under the proposed name with the chosen extension.
    PostDialogCommand(kMenuImage, kItemSaveAs, FileDialogKind::SaveAs);
    Pause(PAUSE_MS);
    dialog =
        WaitForFileDialog(FileDialogKind::SaveAs, PauseOrder::AfterEachLook, nullptr, "Could not find Save As Dialog");
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);
    ReadProposedName(edit);
    // An empty name would save as ".bmp" in Neat Image's current folder, and
    // every such job would overwrite the last.
    if (OutputName[0] == '\0')
        JobFailed("Neat Image proposed no file name");
    long formatIndex = OutputFormatIndex();
    const char* extension = OutputExtension(formatIndex);
    if (extension != nullptr)
        AppendOutputExtension(OutputName, sizeof OutputName, extension);
    WorkerCheckpoint();
    SendToTarget(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(OutputName));

    HWND save = DialogButton(dialog, kSaveButtonText, "Could not get handle to Save button");
    Press(dialog, save);
    EnsureClosed(dialog, "Save As Dialog did not close");

    if (formatIndex == 1)
        ConfirmJpegOptions();
    return 0;
}

void WatchAftermath()
{
    WatchExpectNothing();
    AwaitTargetIdle();
}

void SettleAfterLastJob()
{
    WatchExpectNothing();
    Pause(PAUSE_MS);
    WatchAftermath();
}
