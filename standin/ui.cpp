// Shared window state and the local modal loops of the stand-in application.
#include "ui.h"

#include <string>

#include "dialog_template.h"
#include "journal.h"
#include "paths.h"

namespace standin {

HINSTANCE g_instance = nullptr;
HWND g_appWnd = nullptr;
HWND g_mainWnd = nullptr;
Options g_options;
bool g_closeRequested = false;
SystemTexts g_systemTexts;

namespace {

// A text in other letter case for --wrong-title, kept for the program's life.
const char* Lowered(std::string& keep, const std::string& text)
{
    keep = text;
    if (!keep.empty())
        CharLowerBuffA(&keep[0], static_cast<DWORD>(keep.size()));
    return keep.c_str();
}

// --text-box-at: the state of the one box without buttons that is up.
struct TextBoxState {
    bool done = false;
    const char* how = "";
};

// Ends the box on IDCANCEL (as Esc gives it) or WM_CLOSE, and on nothing
// else: it has no button a press could name.
INT_PTR CALLBACK TextBoxProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp)
{
    auto* st = reinterpret_cast<TextBoxState*>(GetWindowLongPtrA(dlg, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(dlg, DWLP_USER, lp);
        return TRUE;
    }
    if (st == nullptr || st->done)
        return FALSE;
    if ((msg == WM_COMMAND && LOWORD(wp) == IDCANCEL) || msg == WM_CLOSE) {
        st->done = true;
        st->how = msg == WM_CLOSE ? "close" : "cancel";
        ShowWindow(dlg, SW_HIDE);
        PostMessageA(dlg, WM_NULL, 0, 0); // wakes the modal loop
        return TRUE;
    }
    return FALSE;
}

void ShowTextBox(Step step)
{
    TemplateBuilder t("Neat Image", WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT | DS_CENTER, 200, 50);
    t.AddItem(0x82, g_options.textBoxText[step].c_str(), 0xFFFF, SS_LEFT, 10, 10, 180, 30);
    TextBoxState st;
    ModalScope modal;
    HWND dlg = CreateDialogIndirectParamA(g_instance, t.Get(), g_mainWnd, TextBoxProc, reinterpret_cast<LPARAM>(&st));
    if (dlg == nullptr)
        return;
    ShowWindow(dlg, SW_SHOW);
    Journal("text-box", StepName(step));
    RunModalLoop(dlg, st.done);
    modal.End();
    DestroyWindow(dlg);
    Journal("text-box-closed", std::string(StepName(step)) + " " + (st.done ? st.how : "quit"));
}

} // namespace

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
    if (g_options.french && kind != KIND_JPEG_OPTIONS) {
        if (kind == KIND_SAVE_AS)
            return wrong ? "enregistrer sous" : "Enregistrer sous";
        return wrong ? "ouvrir" : "Ouvrir";
    }
    const bool system = g_options.systemTitles && !g_systemTexts.openTitle.empty();
    if (system && kind != KIND_JPEG_OPTIONS) {
        static std::string lowered[KIND_COUNT];
        const std::string& title = kind == KIND_SAVE_AS ? g_systemTexts.saveTitle : g_systemTexts.openTitle;
        return wrong ? Lowered(lowered[kind], title) : title.c_str();
    }
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

const char* OkCaption(Kind kind)
{
    const bool save = kind == KIND_SAVE_AS;
    if (g_options.french)
        return save ? "&Enregistrer" : "&Ouvrir";
    if (g_options.systemTitles && !g_systemTexts.openButton.empty())
        return save ? g_systemTexts.saveButton.c_str() : g_systemTexts.openButton.c_str();
    return save ? "&Save" : "&Open";
}

const char* CancelCaption()
{
    return g_options.french ? "Annuler" : "Cancel";
}

void ExitIfAsked(Step step, const std::string& image)
{
    const bool exit = g_options.exitAt[step], hang = g_options.hangAt[step], close = g_options.closeAt[step];
    if (!exit && !hang && !close)
        return;
    if (!g_options.surpriseOnly.empty() && paths::FileNameOf(image) != g_options.surpriseOnly)
        return;
    if (!g_options.once.empty()) {
        // Created only by the first instance to get here.
        HANDLE marker = CreateFileA(g_options.once.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
        if (marker == INVALID_HANDLE_VALUE)
            return;
        CloseHandle(marker);
    }
    if (hang) {
        Journal("hang-at", StepName(step));
        for (;;)
            Sleep(INFINITE); // no message is ever dispatched again
    }
    Journal(close ? "close-at" : "exit-at", StepName(step));
    // The journal line is on disk: Journal writes each line with one
    // unbuffered WriteFile. Nothing else is flushed, closed or destroyed.
    const UINT code = close ? 0 : kExitAtCode;
    TerminateProcess(GetCurrentProcess(), code);
    ExitProcess(code); // not reached
}

void BoxIfAsked(Step step, const std::string& image)
{
    if (!g_options.boxAt[step] && !g_options.textBoxAt[step])
        return;
    if (!g_options.boxOnly.empty() && paths::FileNameOf(image) != g_options.boxOnly)
        return;
    if (g_options.textBoxAt[step]) {
        ShowTextBox(step);
        if (!g_options.boxAt[step])
            return;
    }
    ModalScope modal;
    Journal("box", StepName(step));
    MessageBoxA(g_appWnd, g_options.boxText[step].c_str(), "Neat Image", MB_OK | MB_ICONWARNING);
    Journal("box-answered", StepName(step));
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
