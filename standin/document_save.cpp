// Saving the stand-in's image from the menu: the name proposed in the Save As
// box, the JPEG options, and --save-ms: the output written in pieces on the
// main window's timer.
#include "document.h"
#include "document_commands.h"

#include <string>

#include "commands.h"
#include "filedialog.h"
#include "forms.h"
#include "journal.h"
#include "options.h"
#include "paths.h"
#include "ui.h"

namespace standin {
namespace {

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

} // namespace

void OnSaveAs()
{
    if (!BeforeWindow(KIND_SAVE_AS))
        return;
    FileDialogSetup setup;
    setup.kind = KIND_SAVE_AS;
    setup.folder = g_imagePath.empty() ? g_lastImageFolder : paths::FolderOf(g_imagePath);
    setup.initialName = ProposedName();
    if (g_options.bareProposedName) {
        // As the system's newer Save dialog shows a proposed full path: the
        // name alone, in the folder it chose itself.
        setup.folder = g_lastChosenFolder;
        setup.initialName = paths::FileNameOf(setup.initialName);
    }
    setup.patterns = {"*.tif", "*.jpg", "*.bmp"};
    setup.typesLabel = "TIFF, JPEG or bitmap (*.tif;*.jpg;*.bmp)";
    std::string path;
    if (!RunFileDialog(setup, path))
        return;
    ExitIfAsked(STEP_SAVE, g_imagePath);

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
    if (!g_options.noOutput.empty() && paths::FileNameOf(g_imagePath) == g_options.noOutput) {
        g_status = "Not written (--no-output): " + path;
        Journal("no-output", path);
        Refresh();
        return;
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

} // namespace standin
