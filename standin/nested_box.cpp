// The nested file name box of --nested-name-box (nested_box.h).
#include "nested_box.h"

#include "ui.h"

namespace standin {
namespace {

constexpr int kComboId = 1001;
const char* const kLayers[] = {"DUIViewWndClassName", "DirectUIHWND", "FloatNotifySink"};

// The three holders are plain windows: they only hold what is inside them and
// pass a child's notifications on to their parent, as the dialog expects them.
LRESULT CALLBACK HolderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND || message == WM_NOTIFY)
        return SendMessageA(GetParent(window), message, wParam, lParam);
    return DefWindowProcA(window, message, wParam, lParam);
}

bool RegisterHolders()
{
    static bool registered = false;
    if (registered)
        return true;
    for (const char* name : kLayers) {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = HolderProc;
        wc.hInstance = g_instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.lpszClassName = name;
        if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
            return false;
    }
    registered = true;
    return true;
}

} // namespace

// Each holder fills its parent; the combo box fills the innermost one, with
// room below for its drop-down list.
HWND CreateNestedNameBox(HWND dlg, RECT rect, const char* text)
{
    if (!RegisterHolders())
        return nullptr;
    MapDialogRect(dlg, &rect);
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    HWND parent = dlg;
    int x = rect.left, y = rect.top;
    for (const char* name : kLayers) {
        parent = CreateWindowExA(0, name, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, x, y, width, height, parent,
                                 nullptr, g_instance, nullptr);
        if (parent == nullptr)
            return nullptr;
        x = y = 0;
    }
    HWND combo = CreateWindowExA(
        0, "ComboBox", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, 0, 0,
        width, height * 6, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kComboId)), g_instance, nullptr);
    if (combo == nullptr)
        return nullptr;
    if (HFONT font = reinterpret_cast<HFONT>(SendMessageA(dlg, WM_GETFONT, 0, 0)))
        SendMessageA(combo, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    SetWindowTextA(combo, text);
    return FindWindowExA(combo, nullptr, "Edit", nullptr);
}

HWND FindNestedNameBox(HWND dlg)
{
    HWND window = dlg;
    for (const char* name : kLayers) {
        window = FindWindowExA(window, nullptr, name, nullptr);
        if (window == nullptr)
            return nullptr;
    }
    HWND combo = FindWindowExA(window, nullptr, "ComboBox", nullptr);
    return combo != nullptr ? FindWindowExA(combo, nullptr, "Edit", nullptr) : nullptr;
}

} // namespace standin
