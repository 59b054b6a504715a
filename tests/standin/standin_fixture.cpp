// The stand-in tests' common helpers (see standin_fixture.h): the test image, windows found by their
// owner, and sends with a limit.
#include "standin_fixture.h"

#include <cmath>
#include <random>

namespace standintest {

namespace {

struct OwnedSearch {
    HWND owner;
    const char* cls;
    const char* title;
    bool includeHidden;
    HWND found;
};

BOOL CALLBACK OwnedSearchProc(HWND w, LPARAM lp)
{
    auto* s = reinterpret_cast<OwnedSearch*>(lp);
    if (!s->includeHidden && !IsWindowVisible(w))
        return TRUE;
    if (s->cls && rig::ClassOf(w) != s->cls)
        return TRUE;
    if (s->title && rig::TitleOf(w) != s->title)
        return TRUE;
    if (GetParent(w) != s->owner)
        return TRUE;
    s->found = w;
    return FALSE;
}

} // namespace

Scene MakeScene(int w, int h, double sigma)
{
    Scene s;
    s.clean = imageio::MakeImage(w, h, 3);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = s.clean.row(y) + x * 3;
            double v = 128 + 90 * std::sin(x * 0.03) * std::cos(y * 0.025);
            if (((x / 40) + (y / 40)) % 2)
                v = v * 0.6 + 30;
            const double dx = x - w / 2.0, dy = y - h / 2.0;
            if (dx * dx + dy * dy < (h / 5.0) * (h / 5.0)) {
                p[0] = 40, p[1] = 200, p[2] = 90;
                continue;
            }
            p[0] = static_cast<std::uint8_t>(v);
            p[1] = static_cast<std::uint8_t>(255 - v);
            p[2] = static_cast<std::uint8_t>(x * 255 / w);
        }
    }
    s.noisy = s.clean;
    std::mt19937 rng(12345);
    std::normal_distribution<double> noise(0.0, sigma);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = s.noisy.row(y);
        for (int i = 0; i < w * 3; ++i) {
            double v = std::round(row[i] + noise(rng));
            row[i] = static_cast<std::uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
        }
    }
    return s;
}

HWND FindOwned(HWND owner, const char* cls, const char* title, bool includeHidden)
{
    OwnedSearch s{owner, cls, title, includeHidden, nullptr};
    EnumWindows(OwnedSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitOwned(HWND owner, const char* cls, const char* title, DWORD timeoutMs, bool includeHidden)
{
    HWND found = nullptr;
    rig::WaitUntil([&] { return (found = FindOwned(owner, cls, title, includeHidden)) != nullptr; }, timeoutMs);
    return found;
}

bool SendBounded(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs, LRESULT* result)
{
    DWORD_PTR r = 0;
    if (!SendMessageTimeoutA(w, msg, wp, lp, SMTO_NORMAL, timeoutMs, &r))
        return false;
    if (result)
        *result = static_cast<LRESULT>(r);
    return true;
}

std::string EditText(HWND edit)
{
    char buf[512] = "";
    if (!SendBounded(edit, WM_GETTEXT, 255, reinterpret_cast<LPARAM>(buf)))
        return "<no answer>";
    return buf;
}

} // namespace standintest
