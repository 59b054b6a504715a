// The stand-in's document, the open image and the open noise profile, and
// the dispatch of the menu commands that open, filter, save and close them
// (document_open.cpp, document_filter.cpp and document_save.cpp hold the
// handlers of the first three).
#include "document.h"
#include "document_commands.h"

#include <string>

#include "commands.h"
#include "journal.h"
#include "options.h"
#include "paths.h"
#include "ui.h"

namespace standin {

imageio::Image g_image;
std::string g_imagePath;
bool g_haveProfile = false;
denoise::NoiseProfile g_profile;
std::string g_profilePath;
std::string g_status;
int g_busy = 0;

namespace {

const char* MenuCommandName(WPARAM wp)
{
    if (HIWORD(wp) > 1)
        return "other"; // neither a menu item nor an accelerator
    switch (LOWORD(wp)) {
    case IDM_IMAGE_OPEN:
        return "image-open";
    case IDM_PROFILE_OPEN:
        return "profile-open";
    case IDM_FILTER_APPLY:
        return "filter-apply";
    case IDM_IMAGE_SAVEAS:
        return "image-saveas";
    default:
        return "other";
    }
}

// Whether the menu item of this command is disabled: a real menu then ignores
// the command, whether it came from a click, an accelerator or a post.
bool ItemDisabled(WPARAM wp)
{
    if (HIWORD(wp) > 1 || !g_mainWnd)
        return false;
    UINT state = GetMenuState(GetMenu(g_mainWnd), LOWORD(wp), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) != 0;
}

void OnImageClose()
{
    g_image = imageio::Image();
    g_imagePath.clear();
    g_status.clear();
    Refresh();
}

void OnAbout()
{
    ModalScope modal;
    MessageBoxA(g_mainWnd,
                "Stand-in noise reduction application for testing batch automation.\n\n"
                "Open an image and a noise profile (*.dnp), apply the filter, save as TIFF, JPEG or bitmap.",
                "About", MB_OK | MB_ICONINFORMATION);
}

} // namespace

void Refresh()
{
    UpdateTitle();
    if (g_mainWnd)
        InvalidateRect(g_mainWnd, nullptr, TRUE);
}

void UpdateTitle()
{
    if (!g_mainWnd)
        return;
    std::string title;
    if (g_options.haveMainTitle)
        title = g_options.mainTitle;
    else if (g_imagePath.empty())
        title = "Neat Image";
    else
        title = "Neat Image - " + paths::FileNameOf(g_imagePath);
    SetWindowTextA(g_mainWnd, title.c_str());
}

// Kept apart from "menu" so that a command that waited while the stand-in
// was busy shows when it was posted: GetMessageTime is the time a posted
// message was put in the queue.
void JournalQueuedCommand(const char* name)
{
    if (InSendMessage())
        return;
    DWORD posted = static_cast<DWORD>(GetMessageTime());
    if (GetTickCount() - posted >= 5)
        Journal("queued", std::string(name) + " " + std::to_string(posted));
}

void OnMenuCommand(WPARAM wp)
{
    const char* name = MenuCommandName(wp);
    JournalQueuedCommand(name);
    Journal("menu", name);
    if (g_busy) {
        Journal("busy", name);
        return;
    }
    if (ItemDisabled(wp)) {
        Journal("ignored", name);
        return;
    }
    ++g_busy;
    if (HIWORD(wp) <= 1) {
        switch (LOWORD(wp)) {
        case IDM_IMAGE_OPEN:
            OnImageOpen();
            break;
        case IDM_PROFILE_OPEN:
            OnProfileOpen();
            break;
        case IDM_FILTER_APPLY:
            OnFilterApply();
            break;
        case IDM_IMAGE_SAVEAS:
            OnSaveAs();
            break;
        case IDM_IMAGE_CLOSE:
            OnImageClose();
            break;
        case IDM_EXIT:
            PostMessageA(g_mainWnd, WM_CLOSE, 0, 0);
            break;
        case IDM_HELP_ABOUT:
            OnAbout();
            break;
        }
    }
    --g_busy;
    // A close that came while this command was in a dialog happens now.
    if (g_closeRequested && g_mainWnd)
        PostMessageA(g_mainWnd, WM_CLOSE, 0, 0);
}

} // namespace standin
