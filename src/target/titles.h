// The titles Neat Image's file dialogs may carry: the English titles Tolvane
// knows, and the titles that this Windows gives its own Open and Save As
// dialogs in its display language, read once at start-up.
#pragma once

// The kinds of file dialog.
enum class FileDialogKind { Open, SaveAs };

// Reads the system's own titles from the common-dialog library's resources
// (user interface thread, once, before any run).
void LoadSystemDialogTitles();

// The titles a dialog of this kind may carry, English first; gives their
// number (at least 1) and points *titles at them.
int FileDialogTitles(FileDialogKind kind, const char* const** titles);
