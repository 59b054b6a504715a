// Opening the stand-in's image and noise profile from the menu, and
// --load-ms: the loading that goes on after an open, with the commands that
// need what was opened disabled meanwhile.
#include "document.h"
#include "document_commands.h"

#include <string>

#include "commands.h"
#include "filedialog.h"
#include "journal.h"
#include "options.h"
#include "paths.h"
#include "ui.h"

namespace standin {

std::string g_lastImageFolder;
std::string g_lastChosenFolder;

namespace {

// --load-ms: when the loading under way ends, and what it loads.
bool g_loading = false;
DWORD g_loadEnd = 0;
const char* g_loadWhat = "";
std::string g_lastProfileFolder;

// --load-ms: loading of what was just opened goes on for a while on this
// thread, with the commands that need it disabled meanwhile. A second open
// while the first still loads extends the stretch.
void BeginLoading(const char* what)
{
    if (g_options.loadMs == 0 || !g_mainWnd)
        return;
    HMENU menu = GetMenu(g_mainWnd);
    EnableMenuItem(menu, IDM_FILTER_APPLY, MF_BYCOMMAND | MF_GRAYED);
    EnableMenuItem(menu, IDM_IMAGE_SAVEAS, MF_BYCOMMAND | MF_GRAYED);
    g_loading = true;
    g_loadWhat = what;
    g_loadEnd = GetTickCount() + g_options.loadMs;
    Journal("loading", what);
    SetTimer(g_mainWnd, kLoadTimerId, 10, nullptr);
}

} // namespace

void OnImageOpen()
{
    if (!BeforeWindow(KIND_IMAGE_OPEN))
        return;
    FileDialogSetup setup;
    setup.kind = KIND_IMAGE_OPEN;
    setup.folder = g_lastImageFolder;
    setup.patterns = {"*.bmp", "*.jpg", "*.jpeg", "*.tif", "*.tiff", "*.png"};
    setup.typesLabel = "Images (*.bmp;*.jpg;*.jpeg;*.tif;*.tiff;*.png)";
    std::string path;
    if (!RunFileDialog(setup, path))
        return;
    ExitIfAsked(STEP_IMAGE_OPEN, path);
    g_lastImageFolder = g_lastChosenFolder = paths::FolderOf(path);
    imageio::Image img;
    std::string error;
    if (imageio::LoadImage(path, img, 3, &error)) {
        g_image = std::move(img);
        g_imagePath = path;
        g_status = "Image opened.";
        Journal("image-opened", path);
        Refresh();
        BeginLoading("image");
        BoxIfAsked(STEP_IMAGE_OPEN, path);
    } else {
        // The previous image is closed too: nothing stale gets saved under
        // the new image's name.
        g_image = imageio::Image();
        g_imagePath.clear();
        g_status = "Could not open " + path + " (" + error + ")";
        Journal("open-failed", path);
    }
    Refresh();
}

void OnProfileOpen()
{
    if (!BeforeWindow(KIND_PROFILE_OPEN))
        return;
    FileDialogSetup setup;
    setup.kind = KIND_PROFILE_OPEN;
    setup.folder = g_lastProfileFolder;
    setup.patterns = {"*.dnp"};
    setup.typesLabel = "Noise profiles (*.dnp)";
    std::string path;
    if (!RunFileDialog(setup, path))
        return;
    ExitIfAsked(STEP_PROFILE_OPEN, g_imagePath);
    g_lastProfileFolder = g_lastChosenFolder = paths::FolderOf(path);
    denoise::NoiseProfile p;
    std::string error;
    if (denoise::LoadProfile(path, p, &error)) {
        g_profile = p;
        g_haveProfile = true;
        g_profilePath = path;
        g_status = "Noise profile opened.";
        Journal("profile-opened", path);
        BeginLoading("profile");
    } else {
        g_haveProfile = false;
        g_profilePath.clear();
        g_status = "Could not use the noise profile " + path + " (" + error + ")";
        Journal("profile-failed", path);
    }
    Refresh();
}

void OnLoadTimer()
{
    if (!g_loading) {
        KillTimer(g_mainWnd, kLoadTimerId);
        return;
    }
    const DWORD now = GetTickCount();
    const long left = static_cast<long>(g_loadEnd - now);
    if (left > 0) {
        Sleep(left < 30 ? static_cast<DWORD>(left) : 30); // a slice of the loading work
        return;
    }
    KillTimer(g_mainWnd, kLoadTimerId);
    g_loading = false;
    HMENU menu = GetMenu(g_mainWnd);
    EnableMenuItem(menu, IDM_FILTER_APPLY, MF_BYCOMMAND | MF_ENABLED);
    EnableMenuItem(menu, IDM_IMAGE_SAVEAS, MF_BYCOMMAND | MF_ENABLED);
    Journal("loaded", g_loadWhat);
}

} // namespace standin
