// What the handlers of the stand-in's menu commands share: the folders of the
// last image opened and of the last file chosen, the refresh of the main
// window after the document changed, and the handlers that open
// (document_open.cpp), filter
// (document_filter.cpp) and save (document_save.cpp) the document;
// document.cpp hands them the menu commands. Everything runs on the one UI
// thread.
#ifndef STANDIN_DOCUMENT_COMMANDS_H
#define STANDIN_DOCUMENT_COMMANDS_H

#include <string>

namespace standin {

// Where the Open box starts for an image, and the Save As box while no image
// is open: the folder of the last image opened.
extern std::string g_lastImageFolder;
// The folder of the file chosen last in an Open box, image or profile: where
// the Save As box starts with --bare-proposed-name.
extern std::string g_lastChosenFolder;

// The main window's title set again and the window repainted.
void Refresh();

void OnImageOpen();
void OnProfileOpen();
void OnFilterApply();
void OnSaveAs();

} // namespace standin

#endif
