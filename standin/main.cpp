// The stand-in photo noise-reduction application: start-up, the application
// window, and the main window with its menu bar and image view. One UI thread
// does everything. The menu commands and the document they work on (the open
// image and noise profile) are in document.h.
//
// Window layout (what automation relies on):
//   "TApplication<suffix>" titled "Neat Image" (--app-title): hidden, owns all
//       other windows; dialogs report it as their parent.
//   "TForm1<suffix>" titled "Neat Image" / "Neat Image - <file name>"
//       (--main-title): owned by the application window, menu bar, image view.
//   "#32770" "Open" / "Save As" file dialogs, "TSaveJPEGform" "JPEG Save
//       Options", "TCalcForm" "Calculating:N%": see filedialog.h, sysdialog.h
//       and forms.h.
//
// Menu command identifiers are fixed (commands.h), but automation finds the
// items by caption.
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "document.h"
#include "forms.h"
#include "journal.h"
#include "options.h"
#include "paths.h"
#include "sysdialog.h"
#include "ui.h"

namespace standin {
namespace {

const int kStatusHeight = 22;
HACCEL g_accel = nullptr;

// ---- Main window ----------------------------------------------------------

void PaintMain(HWND wnd)
{
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
            bi.bmiHeader.biHeight = -g_image.height; // top-down rows
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
        DrawTextA(dc, "No image open.  Image > Open... to start.", -1, &view, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }

    RECT status = rc;
    status.top = view.bottom;
    FillRect(dc, &status, GetSysColorBrush(COLOR_BTNFACE));
    DrawEdge(dc, &status, BDR_SUNKENOUTER, BF_TOP);
    std::string line = "Image: ";
    line += g_imagePath.empty() ? "(none)" : paths::FileNameOf(g_imagePath);
    if (!g_image.empty())
        line += " (" + std::to_string(g_image.width) + "x" + std::to_string(g_image.height) + ")";
    line += "   Profile: ";
    if (g_haveProfile) {
        char p[64];
        std::snprintf(p, sizeof p, " (sigma %.1f, radius %d)", g_profile.sigma, g_profile.radius);
        line += paths::FileNameOf(g_profilePath) + p;
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

LRESULT CALLBACK MainProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_COMMAND:
        if (lp == 0) {
            OnMenuCommand(wp);
            return 0;
        }
        break;
    case WM_TIMER:
        if (wp == kLoadTimerId) {
            OnLoadTimer();
            return 0;
        }
        if (wp == kSaveTimerId) {
            OnSaveTimer();
            return 0;
        }
        break;
    case WM_PAINT:
        PaintMain(wnd);
        return 0;
    case WM_ERASEBKGND:
        return 1; // WM_PAINT covers the whole client area
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

LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_CLOSE) {
        // Closing the application closes its main window.
        if (g_mainWnd)
            PostMessageA(g_mainWnd, WM_CLOSE, 0, 0);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

HMENU BuildMenu(std::vector<ACCEL>& accels)
{
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

int Run(HINSTANCE instance, int show)
{
    g_instance = instance;
    const std::string appClass = "TApplication" + g_options.classSuffix;
    const std::string mainClass = "TForm1" + g_options.classSuffix;

    WNDCLASSA wc = {};
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    wc.lpfnWndProc = AppProc;
    wc.lpszClassName = appClass.c_str();
    if (!RegisterClassA(&wc))
        return 1;
    wc.lpfnWndProc = MainProc;
    wc.lpszClassName = mainClass.c_str();
    wc.style = CS_HREDRAW | CS_VREDRAW;
    if (!RegisterClassA(&wc))
        return 1;
    if (!RegisterFormClasses())
        return 1;

    // The application window stays hidden; it only owns the other windows.
    g_appWnd = CreateWindowExA(0, appClass.c_str(), g_options.appTitle.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU, 0,
                               0, 0, 0, nullptr, nullptr, instance, nullptr);
    if (!g_appWnd)
        return 1;
    // Before any window of ours is visible: the measuring dialogs are never
    // shown, and the "start" event comes only after them.
    if (g_options.systemTitles)
        MeasureSystemTitles();

    std::vector<ACCEL> accels;
    HMENU menu = BuildMenu(accels);
    // WS_EX_APPWINDOW: an owned window gets no taskbar button otherwise.
    g_mainWnd = CreateWindowExA(WS_EX_APPWINDOW, mainClass.c_str(), "Neat Image", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 800, 600, g_appWnd, menu, instance, nullptr);
    if (!g_mainWnd)
        return 1;
    if (g_options.jpegFormHidden && !CreateJpegForm())
        return 1;
    g_accel = accels.empty() ? nullptr : CreateAcceleratorTableA(accels.data(), static_cast<int>(accels.size()));
    UpdateTitle();
    ShowWindow(g_mainWnd, show == SW_HIDE ? SW_SHOWNORMAL : show);
    UpdateWindow(g_mainWnd);
    // A second call, so that no start-up information of the caller's
    // replaces it as it may replace the first.
    if (g_options.startMinimised)
        ShowWindow(g_mainWnd, SW_SHOWMINNOACTIVE);

    char buf[96];
    std::snprintf(buf, sizeof buf, "%lu %lld %lld", static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<long long>(reinterpret_cast<INT_PTR>(g_mainWnd)),
                  static_cast<long long>(reinterpret_cast<INT_PTR>(g_appWnd)));
    Journal("start", buf);
    if (g_options.startMinimised)
        Journal("minimised", IsIconic(g_mainWnd) ? "iconic" : "not-iconic");

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
        if (g_accel && g_mainWnd && TranslateAcceleratorA(g_mainWnd, g_accel, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    if (g_accel)
        DestroyAcceleratorTable(g_accel);
    if (g_appWnd)
        DestroyWindow(g_appWnd);
    return code;
}

} // namespace

// An instance started again by the program under test gets no arguments: it
// takes the switches the tests gave that program, which it inherited.
std::vector<std::string> ArgumentsFromEnvironment()
{
    std::vector<std::string> args;
    wchar_t line[8192];
    DWORD n = GetEnvironmentVariableW(L"TOLVANE_STANDIN_ARGS", line + 2, sizeof line / sizeof line[0] - 2);
    if (n == 0 || n >= sizeof line / sizeof line[0] - 2)
        return args;
    // CommandLineToArgvW takes its first word as the program's name.
    line[0] = L'x';
    line[1] = L' ';
    int count = 0;
    LPWSTR* words = CommandLineToArgvW(line, &count);
    if (words == nullptr)
        return args;
    for (int i = 1; i < count; ++i) {
        char word[4096];
        int len = WideCharToMultiByte(CP_ACP, 0, words[i], -1, word, sizeof word, nullptr, nullptr);
        if (len > 0)
            args.emplace_back(word);
    }
    LocalFree(words);
    return args;
}

// Under Wine another process's menus can only be read through the menu
// bridge; the tests inject it, and an instance started again loads it itself.
void LoadBridgeFromEnvironment()
{
    char path[MAX_PATH];
    DWORD n = GetEnvironmentVariableA("TOLVANE_STANDIN_BRIDGE", path, sizeof path);
    if (n > 0 && n < sizeof path && GetModuleHandleA("menubridge.dll") == nullptr)
        LoadLibraryA(path);
}

} // namespace standin

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show)
{
    std::vector<std::string> args;
    for (int i = 1; i < __argc; ++i)
        args.push_back(__argv[i]);
    if (args.empty())
        args = standin::ArgumentsFromEnvironment();
    standin::LoadBridgeFromEnvironment();
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
    if (SUCCEEDED(com))
        CoUninitialize();
    standin::CloseJournal();
    return code;
}
