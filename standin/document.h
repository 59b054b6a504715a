// The stand-in's document, the open image and the open noise profile, and
// the menu commands that open, filter, save and close them. The main window
// paints the document and hands its menu commands here. Everything runs on
// the one UI thread.
#ifndef STANDIN_DOCUMENT_H
#define STANDIN_DOCUMENT_H

#include <windows.h>

#include <string>

#include "denoise.h"
#include "imageio.h"

namespace standin {

// The open image (filtered in place by the filter command) and the open
// noise profile, and the last message for the status line.
extern imageio::Image g_image;
extern std::string g_imagePath;
extern bool g_haveProfile;
extern denoise::NoiseProfile g_profile;
extern std::string g_profilePath;
extern std::string g_status;

// Non-zero while a menu command is being handled. A command dispatched from
// inside another one's dialog is dropped (journaled as "busy <name>").
extern int g_busy;

// Sets the main window's title: --main-title, or "Neat Image" with the open
// image's file name.
void UpdateTitle();

// Handles a WM_COMMAND from the menu bar or an accelerator: journals
// "menu <name>" and runs the command unless another one is under way or its
// menu item is disabled ("ignored <name>").
void OnMenuCommand(WPARAM wp);

// --load-ms: the main window's timer that drives loading, and one tick of it:
// a slice of up to 30 ms of work, or the end of loading.
constexpr UINT_PTR kLoadTimerId = 0x10AD;
void OnLoadTimer();
// --save-ms: the timer that writes the output's next pieces, and one tick.
constexpr UINT_PTR kSaveTimerId = 0x5A7E;
void OnSaveTimer();

} // namespace standin

#endif
