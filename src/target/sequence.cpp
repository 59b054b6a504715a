// The per-image sequence: drives Neat Image through one job the way a user
// would, paced by fixed pauses and by polling for its windows.
//
// Runs on the batch worker. Commands that open a dialog are posted (the worker
// must not wait inside Neat Image's modal loop); every other message is sent,
// so the worker goes on only once Neat Image has handled it. "&Filter" >
// "&Apply" is sent and returns when filtering is done. Every pause wakes at
// once on Stop, and every step against Neat Image is preceded by a checkpoint
// where a stopped worker leaves.
#include "target/contract.h"
#include "target/target.h"
#include "app/app.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "tolvane.h"

namespace {

// Where the pause of each try of a poll stands relative to its look.
enum class PauseOrder { BeforeEachLook, AfterEachLook };

// What a poll looks for: true once it is there. The context carries the
// question and receives the answer.
using LookFor = bool (*)(void* context);

// The one bounded wait of the sequence: up to `tries` looks, each with a
// stop-aware pause of PAUSE_MS before or after it (after: also after the look
// that succeeds). `traceEachTry`, when given, is traced at the start of every
// try. True as soon as a look succeeds.
bool Poll(int tries, PauseOrder order, LookFor look, void* context, const char* traceEachTry = nullptr)
{
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (traceEachTry != nullptr) {
            WorkerCheckpoint();
            Trace("%s", traceEachTry);
        }
        if (order == PauseOrder::BeforeEachLook)
            WorkerPause(PAUSE_MS);
        WorkerCheckpoint();
        bool found = look(context);
        if (order == PauseOrder::AfterEachLook)
            WorkerPause(PAUSE_MS);
        if (found)
            return true;
    }
    return false;
}

// A file dialog of Neat Image with this title, visible and owned by its
// application window.
struct FileDialogWanted {
    const char* title;
    HWND found;
};

bool FileDialogShown(void* context)
{
    auto* wanted = static_cast<FileDialogWanted*>(context);
    wanted->found = FindOwnedDialog(TargetAppWindow, kFileDialogClass, wanted->title);
    return wanted->found != nullptr;
}

bool JpegOptionsShown(void* context)
{
    auto* found = static_cast<HWND*>(context);
    *found = FindWindowExA(nullptr, nullptr, kJpegOptionsClass, kJpegOptionsTitle);
    return *found != nullptr;
}

// A dialog that was pressed is done with once it is destroyed or hidden (a
// closing dialog is hidden before it goes).
bool DialogClosed(void* context)
{
    HWND dialog = *static_cast<HWND*>(context);
    return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

// Waits for a file dialog with this title; fatal with `failure` when it does
// not come within WAIT_TRIES tries.
HWND WaitForFileDialog(const char* title, PauseOrder order, const char* traceEachTry, const char* failure)
{
    FileDialogWanted wanted = {title, nullptr};
    if (!Poll(WAIT_TRIES, order, FileDialogShown, &wanted, traceEachTry))
        FatalError(failure);
    return wanted.found;
}

// A file dialog that refuses the name it was given (a file it cannot read)
// stays open; the next wait would then find that same dialog and type the
// next path into it. So the dialog just pressed must have closed: at once in
// the normal case, else within WAIT_TRIES further pauses.
void EnsureDialogClosed(HWND dialog, const char* failure)
{
    WorkerCheckpoint();
    if (DialogClosed(&dialog))
        return;
    if (!Poll(WAIT_TRIES, PauseOrder::BeforeEachLook, DialogClosed, &dialog))
        FatalError(failure);
}

// Looks up a menu command and posts it to the target main window.
void PostMenuCommand(const char* menu, const char* item)
{
    WorkerCheckpoint();
    int id = FindMenuCommand(TargetMainWindow, menu, item);
    WorkerCheckpoint();
    PostMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// The file name box of a file dialog: its first direct "Edit" child.
HWND FileNameBox(HWND dialog)
{
    HWND edit = FindWindowExA(dialog, nullptr, kEditClass, nullptr);
    if (edit == nullptr)
        FatalError("Could not get handle to edit box");
    return edit;
}

// Types a full path into an "Open" dialog, presses "&Open", pauses, and makes
// sure the dialog took the file.
void OpenInDialog(HWND dialog, const char* path, const char* notClosed)
{
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    HWND open = FindWindowExA(dialog, nullptr, kButtonClass, kOpenButtonText);
    if (open == nullptr)
        FatalError("Could not get handle to OK button");
    WorkerCheckpoint();
    SendMessageA(open, BM_CLICK, 0, 0);
    WorkerPause(PAUSE_MS);
    EnsureDialogClosed(dialog, notClosed);
}

// Confirms Neat Image's JPEG options window with its "OK" button.
void ConfirmJpegOptions()
{
    WorkerPause(PAUSE_MS);
    HWND options = nullptr;
    if (!Poll(WAIT_TRIES, PauseOrder::AfterEachLook, JpegOptionsShown, &options))
        FatalError("Could not get handle to JPEG Save window");
    HWND ok = FindWindowExA(options, nullptr, kJpegOkClass, kJpegOkText);
    if (ok == nullptr)
        FatalError("Could not get handle to OK button");
    WorkerCheckpoint();
    SendMessageA(ok, BM_CLICK, 0, 0);
    Trace("OK Clicked\n");
}

// The name read from and written back to the "Save As" dialog: room for a
// proposed name of up to 254 characters, a 4-character extension and the
// terminator. Outside the worker's stack, like every buffer it hands to a
// sent message.
char OutputName[260];

} // namespace

int ProcessImage(const char* imagePath, const char* profilePath)
{
    WorkerCheckpoint();
    LogMessage("Processing image: %s", imagePath);

    // Open the image.
    PostMenuCommand(kMenuImage, kItemOpen);
    HWND dialog =
        WaitForFileDialog(kOpenDialogTitle, PauseOrder::BeforeEachLook, ".", "Could not find Image Open Dialog");
    Trace("NeatWin/Dialog/Parent: %d / %d / %d\n", static_cast<int>(reinterpret_cast<INT_PTR>(TargetMainWindow)),
          static_cast<int>(reinterpret_cast<INT_PTR>(dialog)),
          static_cast<int>(reinterpret_cast<INT_PTR>(GetParent(dialog))));
    OpenInDialog(dialog, imagePath, "Image Open Dialog did not close");

    // Open the noise profile.
    PostMenuCommand(kMenuProfile, kItemOpen);
    dialog =
        WaitForFileDialog(kOpenDialogTitle, PauseOrder::BeforeEachLook, nullptr, "Could not find Profile Open Dialog");
    OpenInDialog(dialog, profilePath, "Profile Open Dialog did not close");

    // Apply the filter. A missing command would let the unfiltered image be
    // saved and the run report success, so it ends the process instead.
    WorkerCheckpoint();
    int apply = FindMenuCommand(TargetMainWindow, kMenuFilter, kItemApply);
    if (apply == -1)
        FatalError("Could not find Filter Apply menu item");
    WorkerCheckpoint();
    SendMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(apply), 0);
    WorkerPause(PAUSE_MS);

    // Save under the proposed name with the chosen extension.
    PostMenuCommand(kMenuImage, kItemSaveAs);
    WorkerPause(PAUSE_MS);
    dialog = WaitForFileDialog(kSaveAsDialogTitle, PauseOrder::AfterEachLook, nullptr, "Could not find Save As Dialog");
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);

    OutputName[0] = '\0';
    SendMessageA(edit, WM_GETTEXT, TEXT_MAX, reinterpret_cast<LPARAM>(OutputName));
    // At most 254 characters, as the limit of 255 gives on Windows, however
    // the other process's control fills the buffer.
    OutputName[TEXT_MAX - 1] = '\0';
    long formatIndex = OutputFormatIndex();
    const char* extension = OutputExtension(formatIndex);
    if (extension != nullptr)
        AppendOutputExtension(OutputName, sizeof OutputName, extension);
    WorkerCheckpoint();
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(OutputName));

    HWND save = FindWindowExA(dialog, nullptr, kButtonClass, kSaveButtonText);
    if (save == nullptr)
        FatalError("Could not get handle to Save button");
    WorkerCheckpoint();
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(save) & 0xFFFF, BN_CLICKED),
                 reinterpret_cast<LPARAM>(save));
    EnsureDialogClosed(dialog, "Save As Dialog did not close");

    if (formatIndex == 1)
        ConfirmJpegOptions();
    return 0;
}
