// The stand-in under a German locale (ctest starts this program with
// LANG=de_DE.UTF-8 and LC_ALL=de_DE.UTF-8, which Wine takes for its locale
// and hands on to the stand-in): with --system-titles its own file dialogs
// take the texts of the system's own German dialogs.
#include "standin_fixture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace standintest;

std::wstring WideTitle(HWND w)
{
    wchar_t buf[256] = L"";
    if (w)
        GetWindowTextW(w, buf, 255);
    return buf;
}

// Any visible dialog owned by `owner` (whatever its title).
HWND WaitAnyDialog(HWND owner)
{
    return WaitOwned(owner, "#32770", nullptr);
}

TEST_F(StandinTest, SystemTitlesTakeTheGermanTextsOfTheSystemsDialogs)
{
    struct Case {
        const char* args;
        const wchar_t* open;
        const wchar_t* openButton;
        const wchar_t* save;
        const wchar_t* saveButton;
    };
    // The system's own dialogs first: they show that this run is German at all.
    const Case cases[] = {
        {"--system-dialogs", L"\u00D6ffnen", L"&\u00D6ffnen", L"Speichern als", L"&Speichern"},
        {"--system-titles", L"\u00D6ffnen", L"&\u00D6ffnen", L"Speichern als", L"&Speichern"},
        {"", L"Open", L"&Open", L"Save As", L"&Save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        struct Dialog {
            int command;
            const char* kind;
            const wchar_t* title;
            const wchar_t* button;
        };
        const Dialog dialogs[] = {{IDM_IMAGE_OPEN, "image-open", c.open, c.openButton},
                                  {IDM_IMAGE_SAVEAS, "save-as", c.save, c.saveButton}};
        for (const Dialog& d : dialogs) {
            SCOPED_TRACE(d.kind);
            app.Post(d.command);
            HWND dlg = WaitAnyDialog(app.app);
            ASSERT_NE(dlg, nullptr) << app.Journal();
            EXPECT_TRUE(app.WaitFor("shown", d.kind)) << app.Journal();
            EXPECT_EQ(WideTitle(dlg), d.title);
            EXPECT_EQ(WideTitle(GetDlgItem(dlg, IDOK)), d.button);
            rig::Click(GetDlgItem(dlg, IDCANCEL));
            EXPECT_TRUE(rig::WaitForWindowGone(dlg));
            EXPECT_TRUE(app.WaitFor("cancelled", d.kind)) << app.Journal();
        }
        if (std::string(c.args) == "--system-titles") {
            // The German dialog works: found by its German title, it opens the image.
            app.Post(IDM_IMAGE_OPEN);
            HWND dlg = WaitAnyDialog(app.app);
            ASSERT_NE(dlg, nullptr);
            HWND edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
            ASSERT_NE(edit, nullptr);
            ASSERT_TRUE(SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(image_.c_str())));
            rig::Click(GetDlgItem(dlg, IDOK));
            EXPECT_TRUE(app.WaitFor("image-opened", image_)) << app.Journal();
        }
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

} // namespace
