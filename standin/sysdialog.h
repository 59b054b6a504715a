// The system's own file dialogs, for --system-dialogs, and the texts of the
// running system's Open and Save As dialogs, for --system-titles. UI thread
// only.
#ifndef STANDIN_SYSDIALOG_H
#define STANDIN_SYSDIALOG_H

#include <string>

#include "filedialog.h"

namespace standin {

// Runs GetOpenFileNameA (image-open, profile-open) or GetSaveFileNameA
// (save-as) in Explorer style, as an application framework calls them: a
// trivial hook procedure, owned by the application window, default titles,
// OFN_FILEMUSTEXIST to open and OFN_OVERWRITEPROMPT to save, the Save As name
// box starting with setup.initialName. Journals "shown <kind>" once the
// dialog is visible, "refused <kind> <path>" for --refuse, and
// "dialog-failed <kind> <code>" and "cancelled <kind>". Returns true with the
// chosen full path. A close of the main window cancels the dialog.
bool RunSystemFileDialog(const FileDialogSetup& setup, std::string& chosen);

// Reads the title and the IDOK caption of a real system Open dialog and a
// real system Save As dialog into g_systemTexts (ui.h), each dialog moved out
// of sight and cancelled from its hook before it is ever shown. Journals
// "system-titles <ms> <open>|<open button>|<save as>|<save button>". Where a
// dialog cannot be read, its texts stay the English ones.
void MeasureSystemTitles();

} // namespace standin

#endif
