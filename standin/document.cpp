// The stand-in's document, the open image and the open noise profile, and
// the handlers of the menu commands that open, filter, save and close them.
// The filter runs inside the handling of its menu command, so a command sent
// from another process returns only when the filtered image is ready.
#include "document.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "filedialog.h"
#include "forms.h"
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

std::string g_lastImageFolder;
// --load-ms: when the loading under way ends, and what it loads.
bool g_loading = false;
DWORD g_loadEnd = 0;
const char* g_loadWhat = "";
std::string g_lastProfileFolder;
int g_jpegQuality = 90;

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to)
{
    for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

// The name proposed in the Save As box: "<folder>\<base>_filtered<ext>" of
// the open image, so that the original is never overwritten; or the --propose
// pattern with {dir}, {base} and {ext} filled in.
std::string ProposedName()
{
    const std::string dir = g_imagePath.empty() ? std::string() : paths::FolderOf(g_imagePath);
    const std::string base = g_imagePath.empty() ? std::string() : paths::BaseNameOf(g_imagePath);
    const std::string ext = g_imagePath.empty() ? std::string() : paths::ExtensionOf(g_imagePath);
    if (g_options.havePropose) {
        std::string s = ReplaceAll(g_options.propose, "{dir}", dir);
        s = ReplaceAll(s, "{base}", base);
        return ReplaceAll(s, "{ext}", ext);
    }
    if (g_imagePath.empty())
        return std::string();
    return paths::JoinPath(dir, base + "_filtered" + ext);
}

void Refresh()
{
    UpdateTitle();
    if (g_mainWnd)
        InvalidateRect(g_mainWnd, nullptr, TRUE);
}

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

// Whether the menu item of this command is disabled: a real menu then ignores
// the command, whether it came from a click, an accelerator or a post.
bool ItemDisabled(WPARAM wp)
{
    if (HIWORD(wp) > 1 || !g_mainWnd)
        return false;
    UINT state = GetMenuState(GetMenu(g_mainWnd), LOWORD(wp), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & (MF_GRAYED | MF_DISABLED)) != 0;
}

// ---- Command handlers -------------------------------------------------------

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
    ExitIfAsked(STEP_IMAGE_OPEN);
    g_lastImageFolder = paths::FolderOf(path);
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
    ExitIfAsked(STEP_PROFILE_OPEN);
    g_lastProfileFolder = paths::FolderOf(path);
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

void OnFilterApply()
{
    if (g_image.empty()) {
        g_status = "Open an image first.";
        Journal("filter-failed", "no-image");
        Refresh();
        return;
    }
    if (!g_haveProfile) {
        g_status = "Open a noise profile first.";
        Journal("filter-failed", "no-profile");
        Refresh();
        return;
    }
    Journal("filter-begin");
    const DWORD start = GetTickCount();
    const unsigned stretchMs = g_options.filterMs;
    ModalScope modal;
    HWND calc = CreateCalcWindow();
    int shown = 0;
    bool halfway = false;
    imageio::Image out;
    // The title follows the rows done. With --filter-ms each band also waits
    // until its share of the stretched time has passed, so the progress is
    // spread over the whole time rather than jumping to 100% and sitting there.
    auto progress = [&](int done, int total) {
        if (stretchMs > 0) {
            const DWORD due = static_cast<DWORD>(static_cast<unsigned long long>(stretchMs) * done / total);
            for (;;) {
                DWORD elapsed = GetTickCount() - start;
                if (elapsed >= due)
                    break;
                PumpWindow(calc);
                DWORD left = due - elapsed;
                Sleep(left < 15 ? left : 15);
            }
        }
        int pct = static_cast<int>(static_cast<long long>(done) * 100 / total);
        if (pct != shown) {
            shown = pct;
            SetCalcPercent(calc, pct);
        }
        PumpWindow(calc);
        // The surprises of the filter step come halfway, still inside the
        // handling of "&Apply", with the progress window up.
        if (!halfway && static_cast<long long>(done) * 2 >= total) {
            halfway = true;
            ExitIfAsked(STEP_FILTER);
            BoxIfAsked(STEP_FILTER, g_imagePath);
        }
    };
    const int band = g_image.height >= 100 ? g_image.height / 100 : 1;
    denoise::Denoise(g_image, out, g_profile, progress, band);
    SetCalcPercent(calc, 100);
    modal.End();
    if (calc)
        DestroyWindow(calc);
    g_image = std::move(out);
    const DWORD ms = GetTickCount() - start;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(ms));
    g_status = std::string("Filter applied in ") + buf + " ms.";
    Journal("filter-applied", buf);
    Refresh();
}

// --save-ms: the output under way, written in pieces on the main window's
// timer while this thread goes on serving messages, as a program that saves
// in the background. The file stays open without sharing until the last piece.
struct SlowSave {
    HANDLE file = INVALID_HANDLE_VALUE;
    std::string bytes;
    std::string path;
    const char* formatName = "";
    DWORD start = 0;
    std::size_t piecesDone = 0;
} g_save;
constexpr std::size_t kSavePieces = 10;

// Encodes the image and starts writing it to `path` in pieces; false with
// the reason when it cannot.
bool BeginSlowSave(const std::string& path, imageio::Format format, int quality, std::string* error)
{
    if (g_save.file != INVALID_HANDLE_VALUE)
        return *error = "a save is still under way", false;
    char folder[MAX_PATH];
    char scratch[MAX_PATH];
    DWORD n = GetTempPathA(sizeof folder, folder);
    if (n == 0 || n >= sizeof folder || !GetTempFileNameA(folder, "sav", 0, scratch))
        return *error = "no scratch file", false;
    std::string encoded = std::string(scratch) + paths::ExtensionOf(path);
    DeleteFileA(scratch);
    bool ok = imageio::SaveImage(encoded, g_image, format, quality, error);
    std::string bytes;
    if (ok) {
        HANDLE in = CreateFileA(encoded.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
        DWORD size = in != INVALID_HANDLE_VALUE ? GetFileSize(in, nullptr) : 0;
        ok = in != INVALID_HANDLE_VALUE && size != INVALID_FILE_SIZE;
        if (ok) {
            bytes.resize(size);
            DWORD got = 0;
            ok = size == 0 || (ReadFile(in, &bytes[0], size, &got, nullptr) && got == size);
        }
        if (in != INVALID_HANDLE_VALUE)
            CloseHandle(in);
        if (!ok)
            *error = "cannot read the encoded image";
    }
    DeleteFileA(encoded.c_str());
    if (!ok)
        return false;
    HANDLE out = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE)
        return *error = "cannot create the file", false;
    g_save.file = out;
    g_save.bytes = std::move(bytes);
    g_save.path = path;
    g_save.formatName = imageio::FormatName(format);
    g_save.start = GetTickCount();
    g_save.piecesDone = 0;
    Journal("save-begin", path);
    SetTimer(g_mainWnd, kSaveTimerId, 10, nullptr);
    return true;
}

void OnSaveAs()
{
    if (!BeforeWindow(KIND_SAVE_AS))
        return;
    FileDialogSetup setup;
    setup.kind = KIND_SAVE_AS;
    setup.folder = g_imagePath.empty() ? g_lastImageFolder : paths::FolderOf(g_imagePath);
    setup.initialName = ProposedName();
    setup.patterns = {"*.tif", "*.jpg", "*.bmp"};
    setup.typesLabel = "TIFF, JPEG or bitmap (*.tif;*.jpg;*.bmp)";
    std::string path;
    if (!RunFileDialog(setup, path))
        return;
    ExitIfAsked(STEP_SAVE);

    // The format follows the extension alone.
    imageio::Format format = imageio::FormatFromExtension(path);
    if (format != imageio::Format::TIFF && format != imageio::Format::JPEG && format != imageio::Format::BMP) {
        g_status = "Not saved: use a name ending in .tif, .jpg or .bmp: " + path;
        Journal("save-failed", path);
        Refresh();
        return;
    }
    int quality = g_jpegQuality;
    if (format == imageio::Format::JPEG) {
        if (!BeforeWindow(KIND_JPEG_OPTIONS))
            return;
        if (!RunJpegOptions(quality))
            return;
        g_jpegQuality = quality;
    }
    std::string error = "no image is open";
    if (g_options.saveMs > 0 && !g_image.empty()) {
        if (BeginSlowSave(path, format, quality, &error))
            return; // "saved" follows the last piece
        g_status = "Could not save " + path + " (" + error + ")";
        Journal("save-failed", path);
        Refresh();
        return;
    }
    if (!g_image.empty() && imageio::SaveImage(path, g_image, format, quality, &error)) {
        g_status = "Saved " + path;
        Journal("saved", std::string(imageio::FormatName(format)) + " " + path);
        Refresh();
        BoxIfAsked(STEP_SAVE, g_imagePath);
    } else {
        g_status = "Could not save " + path + " (" + error + ")";
        Journal("save-failed", path);
    }
    Refresh();
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

void OnSaveTimer()
{
    if (g_save.file == INVALID_HANDLE_VALUE) {
        KillTimer(g_mainWnd, kSaveTimerId);
        return;
    }
    const DWORD elapsed = GetTickCount() - g_save.start;
    bool ok = true;
    while (ok && g_save.piecesDone < kSavePieces &&
           elapsed >= static_cast<unsigned long long>(g_options.saveMs) * g_save.piecesDone / kSavePieces) {
        const std::size_t i = g_save.piecesDone++;
        const std::size_t from = g_save.bytes.size() * i / kSavePieces;
        const std::size_t to = g_save.bytes.size() * (i + 1) / kSavePieces;
        DWORD wrote = 0;
        ok = to == from ||
             (WriteFile(g_save.file, g_save.bytes.data() + from, static_cast<DWORD>(to - from), &wrote, nullptr) &&
              wrote == to - from);
    }
    if (ok && (g_save.piecesDone < kSavePieces || elapsed < g_options.saveMs))
        return;
    KillTimer(g_mainWnd, kSaveTimerId);
    CloseHandle(g_save.file);
    g_save.file = INVALID_HANDLE_VALUE;
    g_save.bytes.clear();
    if (ok) {
        g_status = "Saved " + g_save.path;
        Journal("saved", std::string(g_save.formatName) + " " + g_save.path);
        Refresh();
        BoxIfAsked(STEP_SAVE, g_imagePath);
    } else {
        g_status = "Could not save " + g_save.path + " (cannot write the file)";
        Journal("save-failed", g_save.path);
    }
    Refresh();
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
