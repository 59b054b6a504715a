// The titles Neat Image's file dialogs may carry: the English titles Tolvane
// knows, and the titles that this Windows gives its own Open and Save As
// dialogs in its display language, read once at start-up.
#pragma once

#include <cstddef>

// The kinds of file dialog.
enum class FileDialogKind { Open, SaveAs };

// Reads the system's own titles from the common-dialog library's resources
// (user interface thread, once, before any run).
void LoadSystemDialogTitles();

// The titles a dialog of this kind may carry, English first; gives their
// number (at least 1) and points *titles at them.
int FileDialogTitles(FileDialogKind kind, const char* const** titles);

// The one log line that names what Tolvane looks for in file dialogs, so that
// a user whose dialogs carry other texts can report them:
//   Dialog titles: Open "Open", "Öffnen"; Save As "Save As", "Speichern als"; buttons "&Open", "&Save"
// Always terminated within size bytes, cut when it does not fit (plain).
void FormatDialogTitles(char* buf, std::size_t size, const char* const* open, int openCount, const char* const* saveAs,
                        int saveAsCount, const char* openButton, const char* saveButton);
// Writes that line to the session log (batch worker, once at each Start).
void LogDialogTitles();
