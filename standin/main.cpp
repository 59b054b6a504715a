// The stand-in photo noise-reduction application: start-up, the application
// window, the main window with its menu bar and image view, and the handlers
// of the menu commands. One UI thread does everything; the filter runs inside
// the handling of its menu command, so a command sent from another process
// returns only when the filtered image is ready.
//
// Window layout (what automation relies on):
//   "TApplication<suffix>" titled "Neat Image" (--app-title): hidden, owns all
//       other windows; dialogs report it as their parent.
//   "TForm1<suffix>" titled "Neat Image" / "Neat Image - <file name>"
//       (--main-title): owned by the application window, menu bar, image view.
//   "#32770" "Open" / "Save As" file dialogs, "TSaveJPEGform" "JPEG Save
//       Options", "TCalcForm" "Calculating:N%": see filedialog.h and forms.h.
//
// Menu command identifiers are fixed (commands.h), but automation finds the
// items by caption.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "denoise.h"
#include "filedialog.h"
#include "forms.h"
#include "imageio.h"
#include "journal.h"
#include "options.h"
#include "ui.h"

namespace standin {
namespace {

const int kStatusHeight = 22;

// Document state: the open image (filtered in place by the filter command)
// and the open noise profile.
imageio::Image g_image;
std::string g_imagePath;
bool g_haveProfile = false;
denoise::NoiseProfile g_profile;
std::string g_profilePath;
std::string g_status;
std::string g_lastImageFolder;
std::string g_lastProfileFolder;
int g_jpegQuality = 90;

// Non-zero while a menu command is being handled. A command dispatched from
// inside another one's dialog is dropped (journaled as "busy <name>").
int g_busy = 0;
HACCEL g_accel = nullptr;

std::string JoinPath(const std::string& folder, const std::string& name) {
    if (folder.empty()) return name;
    char last = folder.back();
    return (last == '\\' || last == '/') ? folder + name : folder + "\\" + name;
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
    for (std::size_t pos = 0; (pos = s.find(from, pos)) != std::string::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

// The name proposed in the Save As box: "<folder>\<base>_filtered<ext>" of
// the open image, so that the original is never overwritten; or the --propose
// pattern with {dir}, {base} and {ext} filled in.
std::string ProposedName() {
    const std::string dir = g_imagePath.empty() ? std::string() : FolderOf(g_imagePath);
    const std::string base = g_imagePath.empty() ? std::string() : BaseNameOf(g_imagePath);
    const std::string ext = g_imagePath.empty() ? std::string() : ExtensionOf(g_imagePath);
    if (g_options.havePropose) {
        std::string s = ReplaceAll(g_options.propose, "{dir}", dir);
        s = ReplaceAll(s, "{base}", base);
        return ReplaceAll(s, "{ext}", ext);
    }
    if (g_imagePath.empty()) return std::string();
    return JoinPath(dir, base + "_filtered" + ext);
}

void UpdateTitle() {
    if (!g_mainWnd) return;
    std::string title;
    if (g_options.haveMainTitle) title = g_options.mainTitle;
    else if (g_imagePath.empty()) title = "Neat Image";
    else title = "Neat Image - " + FileNameOf(g_imagePath);
    SetWindowTextA(g_mainWnd, title.c_str());
}

void Refresh() {
    UpdateTitle();
    if (g_mainWnd) InvalidateRect(g_mainWnd, nullptr, TRUE);
}

const char* MenuCommandName(WPARAM wp) {
    if (HIWORD(wp) > 1) return "other";  // neither a menu item nor an accelerator
    switch (LOWORD(wp)) {
        case IDM_IMAGE_OPEN: return "image-open";
        case IDM_PROFILE_OPEN: return "profile-open";
        case IDM_FILTER_APPLY: return "filter-apply";
        case IDM_IMAGE_SAVEAS: return "image-saveas";
        default: return "other";
    }
}

// ---- Command handlers -------------------------------------------------------

void OnImageOpen() {
    if (!BeforeWindow(KIND_IMAGE_OPEN)) return;
    FileDialogSetup setup;
    setup.kind = KIND_IMAGE_OPEN;
    setup.folder = g_lastImageFolder;
    setup.patterns = {"*.bmp", "*.jpg", "*.jpeg", "*.tif", "*.tiff", "*.png"};
    setup.typesLabel = "Images (*.bmp;*.jpg;*.jpeg;*.tif;*.tiff;*.png)";
    std::string path;
    if (!RunFileDialog(setup, path)) return;
    g_lastImageFolder = FolderOf(path);
    imageio::Image img;
    std::string error;
    if (imageio::LoadImage(path, img, 3, &error)) {
        g_image = std::move(img);
        g_imagePath = path;
        g_status = "Image opened.";
        Journal("image-opened", path);
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

void OnProfileOpen() {
    if (!BeforeWindow(KIND_PROFILE_OPEN)) return;
    FileDialogSetup setup;
    setup.kind = KIND_PROFILE_OPEN;
    setup.folder = g_lastProfileFolder;
    setup.patterns = {"*.dnp"};
    setup.typesLabel = "Noise profiles (*.dnp)";
    std::string path;
    if (!RunFileDialog(setup, path)) return;
    g_lastProfileFolder = FolderOf(path);
    denoise::NoiseProfile p;
    std::string error;
    if (denoise::LoadProfile(path, p, &error)) {
        g_profile = p;
        g_haveProfile = true;
        g_profilePath = path;
        g_status = "Noise profile opened.";
        Journal("profile-opened", path);
    } else {
        g_haveProfile = false;
        g_profilePath.clear();
        g_status = "Could not use the noise profile " + path + " (" + error + ")";
        Journal("profile-failed", path);
    }
    Refresh();
}

void OnFilterApply() {
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
    imageio::Image out;
    // The title follows the rows done. With --filter-ms each band also waits
    // until its share of the stretched time has passed, so the progress is
    // spread over the whole time rather than jumping to 100% and sitting there.
    auto progress = [&](int done, int total) {
        if (stretchMs > 0) {
            const DWORD due = static_cast<DWORD>(static_cast<unsigned long long>(stretchMs) * done / total);
            for (;;) {
                DWORD elapsed = GetTickCount() - start;
                if (elapsed >= due) break;
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
    };
    const int band = g_image.height >= 100 ? g_image.height / 100 : 1;
    denoise::Denoise(g_image, out, g_profile, progress, band);
    SetCalcPercent(calc, 100);
    modal.End();
    if (calc) DestroyWindow(calc);
    g_image = std::move(out);
    const DWORD ms = GetTickCount() - start;
    char buf[32];
    std::snprintf(buf, sizeof buf, "%lu", static_cast<unsigned long>(ms));
    g_status = std::string("Filter applied in ") + buf + " ms.";
    Journal("filter-applied", buf);
    Refresh();
}

void OnSaveAs() {
    if (!BeforeWindow(KIND_SAVE_AS)) return;
    FileDialogSetup setup;
    setup.kind = KIND_SAVE_AS;
    setup.folder = g_imagePath.empty() ? g_lastImageFolder : FolderOf(g_imagePath);
    setup.initialName = ProposedName();
    setup.patterns = {"*.tif", "*.jpg", "*.bmp"};
    setup.typesLabel = "TIFF, JPEG or bitmap (*.tif;*.jpg;*.bmp)";
    std::string path;
    if (!RunFileDialog(setup, path)) return;

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
        if (!BeforeWindow(KIND_JPEG_OPTIONS)) return;
        if (!RunJpegOptions(quality)) return;
        g_jpegQuality = quality;
    }
    std::string error = "no image is open";
    if (!g_image.empty() && imageio::SaveImage(path, g_image, format, quality, &error)) {
        g_status = "Saved " + path;
        Journal("saved", std::string(imageio::FormatName(format)) + " " + path);
    } else {
        g_status = "Could not save " + path + " (" + error + ")";
        Journal("save-failed", path);
    }
    Refresh();
}

void OnImageClose() {
    g_image = imageio::Image();
    g_imagePath.clear();
    g_status.clear();
    Refresh();
}

void OnAbout() {
    ModalScope modal;
    MessageBoxA(g_mainWnd,
                "Stand-in noise reduction application for testing batch automation.\n\n"
                "Open an image and a noise profile (*.dnp), apply the filter, save as TIFF, JPEG or bitmap.",
                "About", MB_OK | MB_ICONINFORMATION);
}

void OnMenuCommand(WPARAM wp) {
    const char* name = MenuCommandName(wp);
    Journal("menu", name);
    if (g_busy) {
        Journal("busy", name);
        return;
    }
    ++g_busy;
    if (HIWORD(wp) <= 1) {
        switch (LOWORD(wp)) {
            case IDM_IMAGE_OPEN: OnImageOpen(); break;
            case IDM_PROFILE_OPEN: OnProfileOpen(); break;
            case IDM_FILTER_APPLY: OnFilterApply(); break;
            case IDM_IMAGE_SAVEAS: OnSaveAs(); break;
            case IDM_IMAGE_CLOSE: OnImageClose(); break;
            case IDM_EXIT: PostMessageA(g_mainWnd, WM_CLOSE, 0, 0); break;
            case IDM_HELP_ABOUT: OnAbout(); break;
        }
    }
    --g_busy;
    // A close that came while this command was in a dialog happens now.
    if (g_closeRequested && g_mainWnd) PostMessageA(g_mainWnd, WM_CLOSE, 0, 0);
}

// ---- Main window ----------------------------------------------------------

void PaintMain(HWND wnd) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(wnd, &ps);
    RECT rc;
    GetClientRect(wnd, &rc);
    RECT view = rc;
    view.bottom = rc.bottom > kStatusHeight ? rc.bottom - kStatusHeight : rc.bottom;
    FillRect(dc, &view, static_cast<HBRUSH>(GetStockObject(GRAY_BRUSH)));
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SetBkMode(dc, TRANSPARENT);

    if (!g_image.empty()) {
        // Scale to fit, keeping the proportions, never enlarging.
        const int vw = view.right - view.left, vh = view.bottom - view.top;
        double scale = 1.0;
        if (g_image.width > vw || g_image.height > vh) {
            double sx = static_cast<double>(vw) / g_image.width, sy = static_cast<double>(vh) / g_image.height;
            scale = sx < sy ? sx : sy;
        }
        const int dw = static_cast<int>(g_image.width * scale), dh = static_cast<int>(g_image.height * scale);
        if (dw > 0 && dh > 0) {
            BITMAPINFO bi = {};
            bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
            bi.bmiHeader.biWidth = g_image.width;
            bi.bmiHeader.biHeight = -g_image.height;  // top-down rows
            bi.bmiHeader.biPlanes = 1;
            bi.bmiHeader.biBitCount = 24;
            bi.bmiHeader.biCompression = BI_RGB;
            SetStretchBltMode(dc, HALFTONE);
            SetBrushOrgEx(dc, 0, 0, nullptr);
            StretchDIBits(dc, (vw - dw) / 2, (vh - dh) / 2, dw, dh, 0, 0, g_image.width, g_image.height,
                          g_image.pixels.data(), &bi, DIB_RGB_COLORS, SRCCOPY);
        }
    } else {
        SetTextColor(dc, RGB(255, 255, 255));
        DrawTextA(dc, "No image open.  Image > Open... to start.", -1, &view,
                  DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }

    RECT status = rc;
    status.top = view.bottom;
    FillRect(dc, &status, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &status, BDR_SUNKENOUTER, BF_TOP);
    std::string line = "Image: ";
    line += g_imagePath.empty() ? "(none)" : FileNameOf(g_imagePath);
    if (!g_image.empty()) line += " (" + std::to_string(g_image.width) + "x" + std::to_string(g_image.height) + ")";
    line += "   Profile: ";
    if (g_haveProfile) {
        char p[64];
        std::snprintf(p, sizeof p, " (sigma %.1f, radius %d)", g_profile.sigma, g_profile.radius);
        line += FileNameOf(g_profilePath) + p;
    } else {
        line += "(none)";
    }
    line += "   " + g_status;
    SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
    RECT trc = {status.left + 6, status.top + 2, status.right - 6, status.bottom};
    DrawTextA(dc, line.c_str(), -1, &trc, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX | DT_END_ELLIPSIS);
    SelectObject(dc, oldFont);
    EndPaint(wnd, &ps);
}

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_COMMAND:
            if (lp == 0) {
                OnMenuCommand(wp);
                return 0;
            }
            break;
        case WM_PAINT:
            PaintMain(wnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;  // WM_PAINT covers the whole client area
        case WM_SIZE:
            InvalidateRect(wnd, nullptr, FALSE);
            return 0;
        case WM_CLOSE:
            if (g_busy) {
                // Still inside a command's dialog: end its modal loop first;
                // OnMenuCommand posts WM_CLOSE again once it has unwound.
                g_closeRequested = true;
                PostMessageA(wnd, WM_NULL, 0, 0);
                return 0;
            }
            Journal("exit");
            DestroyWindow(wnd);
            return 0;
        case WM_DESTROY:
            g_mainWnd = nullptr;
            PostQuitMessage(0);
            return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_CLOSE) {
        // Closing the application closes its main window.
        if (g_mainWnd) PostMessageA(g_mainWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

HMENU BuildMenu(std::vector<ACCEL>& accels) {
    const bool* absent = g_options.noMenuItem;
    HMENU bar = CreateMenu();
    HMENU image = CreatePopupMenu();
    if (!absent[MENU_IMAGE_OPEN]) {
        AppendMenuA(image, MF_STRING, IDM_IMAGE_OPEN, "&Open...\tCtrl+O");
        accels.push_back({FVIRTKEY | FCONTROL, 'O', IDM_IMAGE_OPEN});
    }
    if (!absent[MENU_IMAGE_SAVEAS]) {
        AppendMenuA(image, MF_STRING, IDM_IMAGE_SAVEAS, "Save &as...\tCtrl+S");
        accels.push_back({FVIRTKEY | FCONTROL, 'S', IDM_IMAGE_SAVEAS});
    }
    AppendMenuA(image, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(image, MF_STRING, IDM_IMAGE_CLOSE, "&Close");
    AppendMenuA(image, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(image, MF_STRING, IDM_EXIT, "E&xit");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(image), "&Image");

    HMENU profile = CreatePopupMenu();
    if (!absent[MENU_PROFILE_OPEN]) {
        AppendMenuA(profile, MF_STRING, IDM_PROFILE_OPEN, "&Open...\tCtrl+P");
        accels.push_back({FVIRTKEY | FCONTROL, 'P', IDM_PROFILE_OPEN});
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(profile), "&Profile");

    HMENU filter = CreatePopupMenu();
    if (!absent[MENU_FILTER_APPLY]) {
        AppendMenuA(filter, MF_STRING, IDM_FILTER_APPLY, "&Apply\tF5");
        accels.push_back({FVIRTKEY, VK_F5, IDM_FILTER_APPLY});
    }
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(filter), "&Filter");

    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, IDM_HELP_ABOUT, "&About...");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
    return bar;
}

int Run(HINSTANCE instance, int show) {
    g_instance = instance;
    const std::string appClass = "TApplication" + g_options.classSuffix;
    const std::string mainClass = "TForm1" + g_options.classSuffix;

    WNDCLASSA wc = {};
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpfnWndProc = AppProc;
    wc.lpszClassName = appClass.c_str();
    if (!RegisterClassA(&wc)) return 1;
    wc.lpfnWndProc = MainProc;
    wc.lpszClassName = mainClass.c_str();
    wc.style = CS_HREDRAW | CS_VREDRAW;
    if (!RegisterClassA(&wc)) return 1;
    if (!RegisterFormClasses()) return 1;

    // The application window stays hidden; it only owns the other windows.
    g_appWnd = CreateWindowExA(0, appClass.c_str(), g_options.appTitle.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                               0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!g_appWnd) return 1;

    std::vector<ACCEL> accels;
    HMENU menu = BuildMenu(accels);
    // WS_EX_APPWINDOW: an owned window gets no taskbar button otherwise.
    g_mainWnd = CreateWindowExA(WS_EX_APPWINDOW, mainClass.c_str(), "Neat Image", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 800, 600, g_appWnd, menu, instance, nullptr);
    if (!g_mainWnd) return 1;
    g_accel = accels.empty() ? nullptr : CreateAcceleratorTableA(accels.data(), static_cast<int>(accels.size()));
    UpdateTitle();
    ShowWindow(g_mainWnd, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(g_mainWnd);

    char buf[96];
    std::snprintf(buf, sizeof buf, "%lu %lld %lld", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<long long>(reinterpret_cast<INT_PTR>(g_mainWnd)),
                  static_cast<long long>(reinterpret_cast<INT_PTR>(g_appWnd)));
    Journal("start", buf);

    MSG msg;
    int code = 0;
    for (;;) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) {
            code = static_cast<int>(msg.wParam);
            break;
        }
        if (r == -1) {
            code = 1;
            break;
        }
        if (g_accel && g_mainWnd && TranslateAcceleratorA(g_mainWnd, g_accel, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (g_accel) DestroyAcceleratorTable(g_accel);
    if (g_appWnd) DestroyWindow(g_appWnd);
    return code;
}

}  // namespace
}  // namespace standin

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i) args.push_back(__argv[i]);
    std::string error;
    if (!standin::ParseOptions(args, standin::g_options, error)) {
        std::fprintf(stdout, "%s\n", standin::UsageLine());
        std::fflush(stdout);
        std::fprintf(stderr, "standin: %s\n", error.c_str());
        std::fflush(stderr);
        return 2;
    }
    if (!standin::g_options.journal.empty() && !standin::OpenJournal(standin::g_options.journal)) {
        std::fprintf(stderr, "standin: cannot open the journal %s\n", standin::g_options.journal.c_str());
        std::fflush(stderr);
        return 3;
    }
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    int code = standin::Run(instance, show);
    if (SUCCEEDED(com)) CoUninitialize();
    standin::CloseJournal();
    return code;
}
