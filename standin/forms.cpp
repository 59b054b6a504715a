// The stand-in's push button, JPEG options window and progress window.
#include "forms.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "journal.h"
#include "ui.h"

namespace standin {
namespace {

const char kBitBtnClass[] = "TBitBtn";
const char kJpegClass[] = "TSaveJPEGform";
const char kCalcClass[] = "TCalcForm";

enum : int { IDC_QUALITY = 201, IDC_QUALITY_LABEL = 202, IDC_NOTE = 203 };

// ---- TBitBtn ---------------------------------------------------------------
// A push button of our own. It reports a press to its parent the way the
// system's buttons do, WM_COMMAND with its identifier and BN_CLICKED, whether
// the press comes from the mouse, the space bar or a BM_CLICK (which another
// process may send). GWLP_USERDATA holds 1 while the mouse holds it down.

void BitBtnPress(HWND btn)
{
    HWND parent = GetParent(btn);
    if (parent)
        SendMessageA(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(btn), BN_CLICKED), reinterpret_cast<LPARAM>(btn));
}

void BitBtnPaint(HWND btn)
{
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(btn, &ps);
    RECT rc;
    GetClientRect(btn, &rc);
    const bool down = GetWindowLongPtrA(btn, GWLP_USERDATA) != 0;
    DrawFrameControl(dc, &rc, DFC_BUTTON, DFCS_BUTTONPUSH | (down ? DFCS_PUSHED : 0));
    char text[64];
    GetWindowTextA(btn, text, sizeof text);
    HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HGDIOBJ old = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    RECT trc = rc;
    if (down)
        OffsetRect(&trc, 1, 1);
    DrawTextA(dc, text, -1, &trc, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(dc, old);
    if (GetFocus() == btn) {
        InflateRect(&rc, -4, -4);
        DrawFocusRect(dc, &rc);
    }
    EndPaint(btn, &ps);
}

LRESULT CALLBACK BitBtnProc(HWND btn, UINT msg, WPARAM wp, LPARAM lp)
{
    switch (msg) {
    case WM_PAINT:
        BitBtnPaint(btn);
        return 0;
    case WM_LBUTTONDOWN:
        SetCapture(btn);
        SetFocus(btn);
        SetWindowLongPtrA(btn, GWLP_USERDATA, 1);
        InvalidateRect(btn, nullptr, TRUE);
        return 0;
    case WM_MOUSEMOVE:
        if (GetCapture() == btn) {
            RECT rc;
            GetClientRect(btn, &rc);
            POINT pt = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
            LONG_PTR inside = PtInRect(&rc, pt) ? 1 : 0;
            if (GetWindowLongPtrA(btn, GWLP_USERDATA) != inside) {
                SetWindowLongPtrA(btn, GWLP_USERDATA, inside);
                InvalidateRect(btn, nullptr, TRUE);
            }
        }
        return 0;
    case WM_LBUTTONUP:
        if (GetCapture() == btn) {
            const bool press = GetWindowLongPtrA(btn, GWLP_USERDATA) != 0;
            ReleaseCapture(); // WM_CAPTURECHANGED clears the pressed look
            if (press)
                BitBtnPress(btn);
        }
        return 0;
    case WM_CAPTURECHANGED:
        SetWindowLongPtrA(btn, GWLP_USERDATA, 0);
        InvalidateRect(btn, nullptr, TRUE);
        return 0;
    case WM_KEYUP:
        if (wp == VK_SPACE)
            BitBtnPress(btn);
        return 0;
    case WM_GETDLGCODE:
        return DLGC_BUTTON;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
        InvalidateRect(btn, nullptr, TRUE);
        return 0;
    case WM_SETTEXT: {
        LRESULT r = DefWindowProcA(btn, msg, wp, lp);
        InvalidateRect(btn, nullptr, TRUE);
        return r;
    }
    case BM_CLICK:
        BitBtnPress(btn);
        return 0;
    }
    return DefWindowProcA(btn, msg, wp, lp);
}

// ---- JPEG options window --------------------------------------------------

struct JpegState {
    bool pending = false; // a JPEG save waits for this window's answer
    bool done = false;
    bool ok = false;
    int quality = 90;
};

// --jpeg-form-hidden: the one JPEG options window, created hidden at start-up
// and reused by every JPEG save, and its state.
HWND g_jpegForm = nullptr;
JpegState g_jpegFormState;

void JpegFinish(HWND wnd, JpegState& st, bool ok)
{
    if (st.done || !st.pending)
        return;
    if (ok) {
        char text[16] = "";
        GetDlgItemTextA(wnd, IDC_QUALITY, text, sizeof text);
        int q = std::atoi(text);
        st.quality = (q >= 1 && q <= 100) ? q : 90;
    }
    st.ok = ok;
    st.done = true;
    st.pending = false;
    // The start-up form is hidden at once, inside the press, as a framework
    // hides a form whose modal result is set; it is never destroyed.
    if (wnd == g_jpegForm)
        SetWindowPos(wnd, nullptr, 0, 0, 0, 0,
                     SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_HIDEWINDOW);
    // Wake the modal loop, which may be waiting in GetMessage while a press
    // sent from another process is handled.
    PostMessageA(wnd, WM_NULL, 0, 0);
}

HWND AddChild(HWND parent, const char* cls, const char* text, int id, DWORD style, int x, int y, int cx, int cy,
              DWORD exStyle = 0)
{
    HWND h = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, cx, cy, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), g_instance, nullptr);
    if (h)
        SendMessageA(h, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return h;
}

LRESULT CALLBACK JpegProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    JpegState* st = reinterpret_cast<JpegState*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    switch (msg) {
    case WM_CREATE: {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        st = static_cast<JpegState*>(cs->lpCreateParams);
        SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(st));
        AddChild(wnd, "STATIC", "&Quality (1-100):", IDC_QUALITY_LABEL, SS_LEFT, 14, 18, 120, 18);
        char q[16];
        std::snprintf(q, sizeof q, "%d", st->quality);
        AddChild(wnd, "EDIT", q, IDC_QUALITY, WS_TABSTOP | ES_NUMBER | ES_AUTOHSCROLL, 140, 15, 60, 22,
                 WS_EX_CLIENTEDGE);
        AddChild(wnd, "STATIC", "Lower quality gives smaller files.", IDC_NOTE, SS_LEFT, 14, 48, 270, 18);
        if (!g_options.kind[KIND_JPEG_OPTIONS].noButton)
            AddChild(wnd, kBitBtnClass, "OK", IDOK, WS_TABSTOP, 112, 84, 80, 28);
        AddChild(wnd, kBitBtnClass, "Cancel", IDCANCEL, WS_TABSTOP, 202, 84, 80, 28);
        return 0;
    }
    case WM_COMMAND:
        if (st && !st->pending && HIWORD(wp) == BN_CLICKED) {
            // The start-up form while no JPEG save waits: a press changes nothing.
            if (LOWORD(wp) == IDOK)
                Journal("ignored", "jpeg-ok");
            return 0;
        }
        if (st && HIWORD(wp) == BN_CLICKED) {
            if (LOWORD(wp) == IDOK)
                JpegFinish(wnd, *st, true);
            else if (LOWORD(wp) == IDCANCEL)
                JpegFinish(wnd, *st, false);
        }
        return 0;
    case WM_CLOSE:
        if (st)
            JpegFinish(wnd, *st, false);
        return 0;
    }
    return DefWindowProcA(wnd, msg, wp, lp);
}

// ---- Progress window ------------------------------------------------------
// GWLP_USERDATA holds the percentage shown by the bar.

LRESULT CALLBACK CalcProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp)
{
    if (msg == WM_PAINT) {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(wnd, &ps);
        RECT rc;
        GetClientRect(wnd, &rc);
        FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
        HGDIOBJ old = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
        SetBkMode(dc, TRANSPARENT);
        RECT trc = {12, 10, rc.right - 12, 30};
        DrawTextA(dc, "Filtering the image...", -1, &trc, DT_LEFT | DT_SINGLELINE);
        SelectObject(dc, old);
        int percent = static_cast<int>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
        RECT bar = {12, 36, rc.right - 12, 58};
        DrawEdge(dc, &bar, EDGE_SUNKEN, BF_RECT);
        InflateRect(&bar, -2, -2);
        bar.right = bar.left + (bar.right - bar.left) * percent / 100;
        FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
        EndPaint(wnd, &ps);
        return 0;
    }
    if (msg == WM_CLOSE)
        return 0; // runs until the filter is done
    return DefWindowProcA(wnd, msg, wp, lp);
}

// Places a window of the given outer size in the middle of the main window
// (or of the screen when there is none).
POINT CentreOn(int cx, int cy)
{
    RECT rc;
    if (!g_mainWnd || !GetWindowRect(g_mainWnd, &rc))
        SystemParametersInfoA(SPI_GETWORKAREA, 0, &rc, 0);
    POINT pt = {rc.left + (rc.right - rc.left - cx) / 2, rc.top + (rc.bottom - rc.top - cy) / 2};
    return pt;
}

} // namespace

bool RegisterFormClasses()
{
    WNDCLASSA wc = {};
    wc.hInstance = g_instance;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);

    wc.lpfnWndProc = BitBtnProc;
    wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    wc.lpszClassName = kBitBtnClass;
    if (!RegisterClassA(&wc))
        return false;

    wc.lpfnWndProc = JpegProc;
    wc.lpszClassName = kJpegClass;
    wc.hIcon = LoadIcon(nullptr, IDI_APPLICATION);
    if (!RegisterClassA(&wc))
        return false;

    wc.lpfnWndProc = CalcProc;
    wc.lpszClassName = kCalcClass;
    wc.hbrBackground = nullptr;
    return RegisterClassA(&wc) != 0;
}

// Creates a JPEG options window, hidden, centred on the main window.
static HWND CreateJpegWindow(JpegState* st)
{
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    RECT rc = {0, 0, 300, 126};
    AdjustWindowRectEx(&rc, style, FALSE, WS_EX_DLGMODALFRAME);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    POINT pt = CentreOn(cx, cy);
    return CreateWindowExA(WS_EX_DLGMODALFRAME, kJpegClass, WindowTitle(KIND_JPEG_OPTIONS), style, pt.x, pt.y, cx, cy,
                           g_appWnd, nullptr, g_instance, st);
}

bool CreateJpegForm()
{
    g_jpegFormState = JpegState();
    g_jpegForm = CreateJpegWindow(&g_jpegFormState);
    return g_jpegForm != nullptr;
}

bool RunJpegOptions(int& quality)
{
    const KindOptions& k = g_options.kind[KIND_JPEG_OPTIONS];
    const char* kind = KindName(KIND_JPEG_OPTIONS);
    const bool reused = g_jpegForm && IsWindow(g_jpegForm);
    JpegState local;
    JpegState& st = reused ? g_jpegFormState : local;
    st.done = false;
    st.ok = false;
    st.quality = quality;
    st.pending = true;

    ModalScope modal;
    HWND wnd = reused ? g_jpegForm : CreateJpegWindow(&st);
    if (!wnd) {
        Journal("cancelled", kind);
        return false;
    }
    if (reused) {
        char q[16];
        std::snprintf(q, sizeof q, "%d", st.quality);
        SetDlgItemTextA(wnd, IDC_QUALITY, q);
        RECT rc;
        GetWindowRect(wnd, &rc);
        POINT pt = CentreOn(rc.right - rc.left, rc.bottom - rc.top);
        SetWindowPos(wnd, nullptr, pt.x, pt.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    if (k.hidden) {
        Journal("hidden", kind);
    } else {
        ShowWindow(wnd, SW_SHOW);
        SetForegroundWindow(wnd);
        UpdateWindow(wnd);
        if (HWND ok = GetDlgItem(wnd, IDOK))
            SetFocus(ok);
        Journal("shown", kind);
    }
    bool finished = RunModalLoop(wnd, st.done);
    st.pending = false;
    modal.End();
    if (reused)
        ShowWindow(wnd, SW_HIDE); // already hidden when OK or Cancel ended it
    else
        DestroyWindow(wnd);
    if (g_mainWnd && IsWindow(g_mainWnd) && !g_closeRequested)
        SetActiveWindow(g_mainWnd);
    if (!finished || !st.ok) {
        Journal("cancelled", kind);
        return false;
    }
    quality = st.quality;
    return true;
}

HWND CreateCalcWindow()
{
    const DWORD style = WS_POPUP | WS_CAPTION;
    RECT rc = {0, 0, 340, 70};
    AdjustWindowRectEx(&rc, style, FALSE, WS_EX_DLGMODALFRAME);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    POINT pt = CentreOn(cx, cy);
    HWND wnd = CreateWindowExA(WS_EX_DLGMODALFRAME, kCalcClass, "Calculating:0%", style, pt.x, pt.y, cx, cy, g_appWnd,
                               nullptr, g_instance, nullptr);
    if (!wnd)
        return nullptr;
    ShowWindow(wnd, SW_SHOWNOACTIVATE);
    UpdateWindow(wnd);
    Journal("shown", "calc");
    return wnd;
}

void SetCalcPercent(HWND calc, int percent)
{
    if (!calc)
        return;
    if (percent < 0)
        percent = 0;
    if (percent > 100)
        percent = 100;
    char title[32];
    std::snprintf(title, sizeof title, "Calculating:%d%%", percent);
    SetWindowTextA(calc, title);
    SetWindowLongPtrA(calc, GWLP_USERDATA, percent);
    InvalidateRect(calc, nullptr, FALSE);
    UpdateWindow(calc);
}

} // namespace standin
