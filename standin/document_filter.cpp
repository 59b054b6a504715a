// The stand-in's filter command. The filter runs inside the handling of its
// menu command, so a command sent from another process returns only when the
// filtered image is ready.
#include "document.h"
#include "document_commands.h"

#include <cstdio>
#include <string>

#include "forms.h"
#include "journal.h"
#include "options.h"
#include "ui.h"

namespace standin {

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
            ExitIfAsked(STEP_FILTER, g_imagePath);
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

} // namespace standin
