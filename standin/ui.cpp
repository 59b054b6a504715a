// Shared window state and the local modal loops of the stand-in application.
#include "ui.h"

#include "journal.h"

namespace standin {

HINSTANCE g_instance = nullptr;
HWND g_appWnd = nullptr;
HWND g_mainWnd = nullptr;
Options g_options;
bool g_closeRequested = false;

bool RunModalLoop(HWND dialog, const bool& done)
{
    while (!done && !g_closeRequested) {
        MSG msg;
        BOOL r = GetMessageA(&msg, nullptr, 0, 0);
        if (r == 0) {
            // Leave WM_QUIT for the main loop.
            PostQuitMessage(static_cast<int>(msg.wParam));
            return false;
        }
        if (r == -1)
            return false;
        if (dialog && IsWindow(dialog) && IsDialogMessageA(dialog, &msg))
            continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return done;
}

bool WaitPumping(unsigned ms)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            return true;
        if (g_closeRequested)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, ms - elapsed, QS_ALLINPUT);
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                PostQuitMessage(static_cast<int>(msg.wParam));
                return false;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void PumpWindow(HWND hwnd)
{
    MSG msg;
    while (PeekMessageA(&msg, hwnd, 0, 0, PM_REMOVE)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

ModalScope::ModalScope() : wasEnabled_(g_mainWnd && IsWindowEnabled(g_mainWnd))
{
    if (wasEnabled_)
        EnableWindow(g_mainWnd, FALSE);
}

ModalScope::~ModalScope()
{
    End();
}

void ModalScope::End()
{
    if (wasEnabled_ && g_mainWnd && IsWindow(g_mainWnd))
        EnableWindow(g_mainWnd, TRUE);
    wasEnabled_ = false;
}

const char* WindowTitle(Kind kind)
{
    const bool wrong = g_options.kind[kind].wrongTitle;
    switch (kind) {
    case KIND_IMAGE_OPEN:
    case KIND_PROFILE_OPEN:
        return wrong ? "open" : "Open";
    case KIND_SAVE_AS:
        return wrong ? "save as" : "Save As";
    case KIND_JPEG_OPTIONS:
        return wrong ? "jpeg save options" : "JPEG Save Options";
    default:
        return "";
    }
}

bool BeforeWindow(Kind kind)
{
    const KindOptions& k = g_options.kind[kind];
    if (k.never) {
        Journal("never", KindName(kind));
        return false;
    }
    if (k.delayMs > 0 && !WaitPumping(k.delayMs))
        return false;
    return !g_closeRequested;
}

} // namespace standin
