// The per-image sequence: drives Neat Image through one job the way a user
// would, paced by fixed pauses and by polling for its windows.
//
// Runs on the batch worker. Commands that open a dialog are posted (the worker
// must not wait inside Neat Image's modal loop); every other message is sent,
// so the worker goes on only once Neat Image has handled it. "&Filter" >
// "&Apply" is sent and returns when filtering is done.
#include "target/contract.h"
#include "target/target.h"
#include "diag/diag.h"
#include "tolvane.h"

namespace {

// Looks up a menu command and posts it to the target main window.
void PostMenuCommand(const char* menu, const char* item)
{
    int id = FindMenuCommand(TargetMainWindow, menu, item);
    PostMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// Waits for one of Neat Image's file dialogs: up to WAIT_TRIES polls, each
// preceded by a pause (pauseFirst) or followed by one. Only the image "Open"
// wait traces a "." per try.
HWND WaitForFileDialog(const char* title, bool pauseFirst, bool traceDots, const char* failure)
{
    HWND dialog = nullptr;
    for (int attempt = 0; attempt < WAIT_TRIES && dialog == nullptr; ++attempt) {
        if (traceDots)
            Trace(".");
        if (pauseFirst)
            Sleep(PAUSE_MS);
        dialog = FindOwnedDialog(TargetAppWindow, kFileDialogClass, title);
        if (!pauseFirst)
            Sleep(PAUSE_MS);
    }
    if (dialog == nullptr)
        FatalError(failure);
    return dialog;
}

// The file name box of a file dialog: its first direct "Edit" child.
HWND FileNameBox(HWND dialog)
{
    HWND edit = FindWindowExA(dialog, nullptr, kEditClass, nullptr);
    if (edit == nullptr)
        FatalError("Could not get handle to edit box");
    return edit;
}

// Types a full path into an "Open" dialog and presses "&Open".
void OpenInDialog(HWND dialog, const char* path)
{
    HWND edit = FileNameBox(dialog);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    HWND open = FindWindowExA(dialog, nullptr, kButtonClass, kOpenButtonText);
    if (open == nullptr)
        FatalError("Could not get handle to OK button");
    SendMessageA(open, BM_CLICK, 0, 0);
    Sleep(PAUSE_MS);
}

// Confirms Neat Image's JPEG options window with its "OK" button.
void ConfirmJpegOptions()
{
    Sleep(PAUSE_MS);
    HWND options = nullptr;
    for (int attempt = 0; attempt < WAIT_TRIES && options == nullptr; ++attempt) {
        options = FindWindowExA(nullptr, nullptr, kJpegOptionsClass, kJpegOptionsTitle);
        Sleep(PAUSE_MS);
    }
    if (options == nullptr)
        FatalError("Could not get handle to JPEG Save window");
    HWND ok = FindWindowExA(options, nullptr, kJpegOkClass, kJpegOkText);
    if (ok == nullptr)
        FatalError("Could not get handle to OK button");
    SendMessageA(ok, BM_CLICK, 0, 0);
    Trace("OK Clicked\n");
}

} // namespace

int ProcessImage(const char* imagePath, const char* profilePath)
{
    LogMessage("Processing image: %s", imagePath);

    // Open the image.
    PostMenuCommand(kMenuImage, kItemOpen);
    HWND dialog = WaitForFileDialog(kOpenDialogTitle, true, true, "Could not find Image Open Dialog");
    Trace("NeatWin/Dialog/Parent: %d / %d / %d\n", static_cast<int>(reinterpret_cast<INT_PTR>(TargetMainWindow)),
          static_cast<int>(reinterpret_cast<INT_PTR>(dialog)),
          static_cast<int>(reinterpret_cast<INT_PTR>(GetParent(dialog))));
    OpenInDialog(dialog, imagePath);

    // Open the noise profile.
    PostMenuCommand(kMenuProfile, kItemOpen);
    dialog = WaitForFileDialog(kOpenDialogTitle, true, false, "Could not find Profile Open Dialog");
    OpenInDialog(dialog, profilePath);

    // Apply the filter. A missing command would let the unfiltered image be
    // saved and the run report success, so it ends the process instead.
    int apply = FindMenuCommand(TargetMainWindow, kMenuFilter, kItemApply);
    if (apply == -1)
        FatalError("Could not find Filter Apply menu item");
    SendMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(apply), 0);
    Sleep(PAUSE_MS);

    // Save under the proposed name with the chosen extension.
    PostMenuCommand(kMenuImage, kItemSaveAs);
    Sleep(PAUSE_MS);
    dialog = WaitForFileDialog(kSaveAsDialogTitle, false, false, "Could not find Save As Dialog");
    HWND edit = FileNameBox(dialog);

    // Room for a proposed name of up to 254 characters, a 4-character
    // extension and the terminator.
    char outputName[260] = "";
    SendMessageA(edit, WM_GETTEXT, TEXT_MAX, reinterpret_cast<LPARAM>(outputName));
    // At most 254 characters, as the limit of 255 gives on Windows, however
    // the other process's control fills the buffer.
    outputName[TEXT_MAX - 1] = '\0';
    long formatIndex = static_cast<long>(SendMessageA(OutputFormatCombo, CB_GETCURSEL, 0, 0));
    const char* extension = OutputExtension(formatIndex);
    if (extension != nullptr)
        AppendOutputExtension(outputName, sizeof outputName, extension);
    SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(outputName));

    HWND save = FindWindowExA(dialog, nullptr, kButtonClass, kSaveButtonText);
    if (save == nullptr)
        FatalError("Could not get handle to Save button");
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(save) & 0xFFFF, BN_CLICKED),
                 reinterpret_cast<LPARAM>(save));

    if (formatIndex == 1)
        ConfirmJpegOptions();
    return 0;
}
