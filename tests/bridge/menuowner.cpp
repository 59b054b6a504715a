// menuowner.exe: a small window with the sample menu, for tests that read a menu from another process.
//
//   menuowner.exe <infoFile> [<treeFile>]
//       Shows a window with the sample menu. Writes its own in-process walk of the menu to <treeFile> (one line
//       per menu and item), then "<pid> <hwnd> <hmenu>\n" (decimal) to <infoFile>. Runs until WM_CLOSE
//       (exit code 0) or at most 60 s (exit code 3). kAppendItemMessage appends an item to the View menu.
//   menuowner.exe --walk <hmenu> <outFile>
//       Walks the menu with that handle (decimal; normally another process's) and writes the walk to <outFile>.
//       Exit code 0.
//   menuowner.exe --echo <exitCode> <text> [<sleepMs>]
//       Writes "out:<text>" to standard output through the C runtime, "err:<text>" to standard error and
//       "raw:<text>" to the standard output handle directly, keeps running for <sleepMs> (at most 60000), then
//       exits with <exitCode>.

#include "sample_menu.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

constexpr UINT_PTR kLifetimeTimer = 1;
constexpr UINT kLifetimeMs = 60000;

HMENU g_view = nullptr;
int g_added = 0;

bool WriteTextFile(const std::string& path, const std::string& text)
{
    // Written under a temporary name and renamed, so a reader never sees half a file.
    std::string temp = path + ".part";
    {
        std::ofstream f(temp, std::ios::binary | std::ios::trunc);
        if (!f)
            return false;
        f << text;
        if (!f)
            return false;
    }
    return MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kLifetimeTimer) {
            KillTimer(hwnd, kLifetimeTimer);
            DestroyWindow(hwnd);
            PostQuitMessage(3);
            return 0;
        }
        break;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_MEASUREITEM: {
        auto* mis = reinterpret_cast<MEASUREITEMSTRUCT*>(lParam);
        if (mis->CtlType == ODT_MENU) {
            mis->itemWidth = 40;
            mis->itemHeight = 16;
            return TRUE;
        }
        break;
    }
    default:
        if (msg == sample::kAppendItemMessage) {
            ++g_added;
            std::string caption = "Added &" + std::to_string(g_added);
            AppendMenuA(g_view, MF_STRING, sample::kAddedBase + g_added, caption.c_str());
            return g_added;
        }
        break;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

int Echo(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    int code = std::atoi(argv[2]);
    const char* text = argv[3];
    DWORD sleepMs = argc > 4 ? static_cast<DWORD>(std::strtoul(argv[4], nullptr, 10)) : 0;
    if (sleepMs > 60000)
        sleepMs = 60000;
    std::printf("out:%s\n", text);
    std::fflush(stdout);
    std::fprintf(stderr, "err:%s\n", text);
    std::fflush(stderr);
    std::string raw = std::string("raw:") + text + "\n";
    DWORD written = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), raw.data(), static_cast<DWORD>(raw.size()), &written, nullptr);
    Sleep(sleepMs);
    return code;
}

int Walk(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    HMENU menu = reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(std::strtoull(argv[2], nullptr, 10)));
    std::string text;
    for (const std::string& line : sample::DumpMenuTree(menu))
        text += line + "\n";
    return WriteTextFile(argv[3], text) ? 0 : 7;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    _set_error_mode(_OUT_TO_STDERR);
    int argc = __argc;
    char** argv = __argv;
    if (argc >= 2 && std::string(argv[1]) == "--echo")
        return Echo(argc, argv);
    if (argc >= 2 && std::string(argv[1]) == "--walk")
        return Walk(argc, argv);
    if (argc < 2)
        return 2;

    WNDCLASSA wc{};
    wc.lpfnWndProc = WindowProc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "TolvaneMenuOwner";
    if (!RegisterClassA(&wc))
        return 4;

    static const BYTE kPattern[32] = {0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0,
                                      0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0, 0xF0, 0, 0x0F, 0};
    HBITMAP picture = CreateBitmap(16, 16, 1, 1, kPattern);
    HMENU bar = sample::BuildSampleMenu(picture);
    g_view = GetSubMenu(bar, sample::kBarView);

    HWND hwnd = CreateWindowExA(0, wc.lpszClassName, "Tolvane menu owner", WS_OVERLAPPEDWINDOW, 40, 40, 480, 240,
                                nullptr, bar, instance, nullptr);
    if (!hwnd)
        return 5;
    ShowWindow(hwnd, SW_SHOWNOACTIVATE);
    SetTimer(hwnd, kLifetimeTimer, kLifetimeMs, nullptr);

    if (argc >= 3) {
        std::string tree;
        for (const std::string& line : sample::DumpMenuTree(bar))
            tree += line + "\n";
        if (!WriteTextFile(argv[2], tree))
            return 6;
    }
    std::string info = std::to_string(GetCurrentProcessId()) + " " + std::to_string(sample::HandleValue(hwnd)) + " " +
                       std::to_string(sample::HandleValue(bar)) + "\n";
    if (!WriteTextFile(argv[1], info))
        return 7;

    MSG msg;
    int exitCode = 0;
    for (;;) {
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) {
            exitCode = static_cast<int>(msg.wParam);
            break;
        }
        if (r < 0) {
            exitCode = 8;
            break;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    // The window took its menu with it.
    DeleteObject(picture);
    return exitCode;
}
