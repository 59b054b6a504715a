// The stand-in's own "Open" and "Save As" file dialogs.
//
// They are built from an in-memory dialog template (class "#32770"), owned by
// the application window, and run in a local modal loop. Their children, in
// this order: a "File name:" label, the file-name Edit (the first and only
// Edit child), a "Look in:" label and the current folder, a list box with the
// folder's sub-folders, matching files and drives, a "Files of type" line, the
// "&Open" / "&Save" button (IDOK) and "Cancel" (IDCANCEL).
//
// Pressing "&Open" / "&Save" (BM_CLICK on the button, a WM_COMMAND carrying
// IDOK and BN_CLICKED to the dialog, or Enter) takes the Edit's text: a name
// relative to the shown folder is made absolute; a folder is entered instead
// of chosen; a name with wildcards becomes the file filter. Any other name
// ends the dialog, whether the file exists or not; the caller reports files
// that cannot be read. With --confirm-overwrite, Save As first asks whether to
// replace an existing file, in a "Confirm Save As" box shown inside the
// handling of the press.
//
// The dialog titles and the IDOK caption are the running system's own with
// --system-titles; with --system-dialogs the system's own dialogs are used
// instead of these (sysdialog.h).
#ifndef STANDIN_FILEDIALOG_H
#define STANDIN_FILEDIALOG_H

#include <windows.h>

#include <string>
#include <vector>

#include "options.h"

namespace standin {

struct FileDialogSetup {
    Kind kind = KIND_IMAGE_OPEN;       // image-open, profile-open or save-as
    std::string folder;                // folder shown first (current directory if empty or missing)
    std::string initialName;           // text put in the Edit at first (the proposed name)
    std::vector<std::string> patterns; // e.g. "*.bmp"
    std::string typesLabel;            // shown as "Files of type: ..."
};

// Shows the dialog (honouring --wrong-title, --hidden, --no-edit,
// --no-button and --refuse for setup.kind, and --confirm-overwrite) and waits
// for the user; or, with --system-dialogs, runs the system's own dialog. Journals "shown <kind>"
// (or "hidden <kind>") and "cancelled <kind>". Returns true with the chosen
// full path, false when cancelled or when the main window is closing.
bool RunFileDialog(const FileDialogSetup& setup, std::string& chosen);

// Whether `path` names an existing folder. The other path helpers: paths.h.
bool IsDirectory(const std::string& path);

} // namespace standin

#endif
