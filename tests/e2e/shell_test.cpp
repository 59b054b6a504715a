// The main dialog as a user sees it, the help box, closing, and the fatal
// error of a selector that refuses its preselection.
#include "rig.h"
#include "tolvane_app.h"

#include "app/app.h"
#include "app/resource.h"

#include <commctrl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

namespace {

class Shell : public testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(app_.Start("tolvane", "", true, &error)) << error;
        watchdog_.Watch(app_.proc.pid);
    }
    // Every box a test provokes it answers itself: one the watchdog had to
    // answer, or one still open now, fails the test.
    void TearDown() override { EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer"; }
    rig::TolvaneApp app_;
    rig::Watchdog watchdog_;
};

struct ControlCase {
    int id;
    const char* cls;
    const char* text;
    int x, y, w, h;  // dialog units
    LONG_PTR styles; // beyond WS_CHILD | WS_VISIBLE
};

// The template, in template (and tab) order.
const ControlCase kControls[] = {
    {IDC_JOB_LIST, "SysListView32", "listView1", 9, 8, 316, 129,
     LVS_REPORT | LVS_SHAREIMAGELISTS | LVS_EDITLABELS | WS_BORDER},
    {IDC_ADD, "Button", "&Add...", 66, 143, 52, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_REMOVE, "Button", "&Remove", 11, 143, 52, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_START, "Button", "&Start", 273, 143, 52, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_STOP, "Button", "Sto&p", 218, 143, 52, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_STATUS, "Static", "Status:", 11, 162, 233, 19, SS_LEFT | WS_GROUP},
    {IDC_HELP, "Button", "&Help", 146, 143, 52, 14, BS_PUSHBUTTON | WS_TABSTOP},
    {IDC_PROGRESS, "Static", "Progress:", 11, 182, 237, 20, SS_LEFT | WS_GROUP},
    {IDC_IDLE_PRIORITY, "Button", "&Use Idle Priority for Neat Image", 253, 159, 71, 17,
     BS_AUTOCHECKBOX | BS_MULTILINE},
    {IDC_OUTPUT_FORMAT, "ComboBox", "", 255, 189, 68, 75, CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP},
    {IDC_OUTPUT_FORMAT_LABEL, "Static", "Output Format:", 257, 179, 61, 9, SS_LEFT | WS_GROUP},
    {IDC_CONTINUE_ON_FAILURE, "Button", "&Continue after a failed job", 253, 206, 71, 17,
     BS_AUTOCHECKBOX | BS_MULTILINE | WS_TABSTOP},
    {IDC_FAST_PACING, "Button", "&Fast pacing", 253, 225, 71, 10, BS_AUTOCHECKBOX | WS_TABSTOP},
    {IDC_WHEN_DONE_LABEL, "Static", "When done:", 11, 211, 40, 9, SS_LEFT | WS_GROUP},
    {IDC_WHEN_DONE, "ComboBox", "", 55, 209, 90, 70, CBS_DROPDOWNLIST | CBS_HASSTRINGS | WS_VSCROLL | WS_TABSTOP},
};

TEST_F(Shell, DialogShowsEveryControlOfTheTemplate)
{
    EXPECT_EQ(rig::TitleOf(app_.dialog), "Tolvane");
    LONG_PTR style = rig::StyleOf(app_.dialog);
    EXPECT_EQ(style & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX),
              WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_MAXIMIZEBOX);
    EXPECT_EQ(style & WS_THICKFRAME, 0) << "no sizing border";

    std::vector<HWND> children = rig::Children(app_.dialog);
    ASSERT_EQ(children.size(), std::size(kControls));

    // Dialog units to pixels, from the list view's known size.
    RECT lv;
    GetWindowRect(app_.Item(IDC_JOB_LIST), &lv);
    double ux = (lv.right - lv.left) / 316.0, uy = (lv.bottom - lv.top) / 129.0;
    POINT origin = {0, 0};
    ClientToScreen(app_.dialog, &origin);

    for (size_t i = 0; i < children.size(); ++i) {
        const ControlCase& c = kControls[i];
        HWND w = children[i];
        SCOPED_TRACE(c.text);
        EXPECT_EQ(GetDlgCtrlID(w), c.id) << "template order";
        EXPECT_EQ(rig::ClassOf(w), c.cls);
        if (c.id != IDC_OUTPUT_FORMAT && c.id != IDC_WHEN_DONE) {
            EXPECT_EQ(rig::TextOf(w), c.text);
        }
        // The list view trades WS_BORDER for a client edge, and the combo box
        // keeps WS_VSCROLL for its drop-down; the template test checks those.
        LONG_PTR live = c.styles & ~static_cast<LONG_PTR>(WS_BORDER | WS_VSCROLL);
        LONG_PTR s = rig::StyleOf(w);
        EXPECT_EQ(s & live, live);
        EXPECT_TRUE(s & WS_VISIBLE);
        RECT r;
        GetWindowRect(w, &r);
        EXPECT_NEAR(r.left - origin.x, c.x * ux, 2.0);
        EXPECT_NEAR(r.top - origin.y, c.y * uy, 2.0);
        EXPECT_NEAR(r.right - r.left, c.w * ux, 2.0);
        if (c.id != IDC_OUTPUT_FORMAT && c.id != IDC_WHEN_DONE) { // a drop-down list shows only its edit part
            EXPECT_NEAR(r.bottom - r.top, c.h * uy, 2.0);
        }
    }
    EXPECT_FALSE(rig::StyleOf(app_.Item(IDC_JOB_LIST)) & (LVS_SINGLESEL | LVS_SORTASCENDING | LVS_SORTDESCENDING));
}

TEST_F(Shell, ButtonRowReadsLeftToRight)
{
    std::vector<std::pair<LONG, std::string>> row;
    for (int id : {IDC_ADD, IDC_REMOVE, IDC_START, IDC_STOP, IDC_HELP}) {
        RECT r;
        GetWindowRect(app_.Item(id), &r);
        row.push_back({r.left, rig::TextOf(app_.Item(id))});
    }
    std::sort(row.begin(), row.end());
    std::vector<std::string> texts;
    for (auto& p : row)
        texts.push_back(p.second);
    EXPECT_EQ(texts, (std::vector<std::string>{"&Remove", "&Add...", "&Help", "Sto&p", "&Start"}));
}

TEST_F(Shell, DefaultsAndJobListColumns)
{
    EXPECT_EQ(rig::CheckState(app_.Item(IDC_IDLE_PRIORITY)), BST_CHECKED);
    EXPECT_EQ(rig::CheckState(app_.Item(IDC_CONTINUE_ON_FAILURE)), BST_UNCHECKED);
    EXPECT_EQ(rig::CheckState(app_.Item(IDC_FAST_PACING)), BST_UNCHECKED);
    HWND combo = app_.Item(IDC_OUTPUT_FORMAT);
    EXPECT_EQ(rig::ComboItems(combo), (std::vector<std::string>{"Tiff", "JPEG", "Bitmap"}));
    EXPECT_EQ(rig::ComboSelection(combo), 2);
    EXPECT_EQ(rig::ListViewCount(app_.Item(IDC_JOB_LIST)), 0);
    HWND header = reinterpret_cast<HWND>(SendMessageA(app_.Item(IDC_JOB_LIST), LVM_GETHEADER, 0, 0));
    EXPECT_EQ(SendMessageA(header, HDM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageA(app_.Item(IDC_JOB_LIST), LVM_GETCOLUMNWIDTH, 0, 0), 250);
    EXPECT_EQ(SendMessageA(app_.Item(IDC_JOB_LIST), LVM_GETCOLUMNWIDTH, 1, 0), 210);
    EXPECT_EQ(app_.Trace().rfind("In INIT_DIALOG", 0), 0u) << app_.Trace();
}

TEST_F(Shell, EscapeAndEnterLeaveTheDialogOpenAndCloseEndsWithZero)
{
    rig::PostCommand(app_.dialog, IDOK);
    rig::PostCommand(app_.dialog, IDCANCEL);
    PostMessageA(app_.Item(IDC_JOB_LIST), WM_KEYDOWN, VK_ESCAPE, 0);
    PostMessageA(app_.Item(IDC_JOB_LIST), WM_KEYUP, VK_ESCAPE, 0);
    // A sentinel behind them in the same queue: once Remove (with nothing to
    // remove) has traced, the commands and keys before it have been handled.
    rig::PostCommand(app_.dialog, IDC_REMOVE);
    ASSERT_TRUE(rig::WaitUntil([&] { return app_.Trace().find("Remove\n") != std::string::npos; }, 10000))
        << "the dialog closed on Enter or Escape\n"
        << app_.Trace();
    ASSERT_TRUE(IsWindow(app_.dialog));
    EXPECT_TRUE(IsWindowVisible(app_.dialog));
    DWORD code = 1;
    EXPECT_FALSE(rig::WaitExit(app_.proc, 0, &code)) << "the dialog closed on Enter or Escape";

    DWORD exitCode = 12345;
    ASSERT_TRUE(app_.Close(&exitCode));
    EXPECT_EQ(exitCode, 0u);
    EXPECT_NE(app_.Trace().find("Closing dialog...\n"), std::string::npos);
}

TEST(ShellLog, StartAndCloseWithoutARunLeavesAnEarlierLogAlone)
{
    rig::TolvaneApp app;
    app.earlierLog = "Processing image: C:\\earlier\\run.jpg\r\n";
    std::string error;
    ASSERT_TRUE(app.Start("tolvane", "", true, &error)) << error;
    rig::PostCommand(app.dialog, IDC_HELP);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Tolvane Help", &box, app.proc.pid));
    rig::AnswerMessageBox(box.window);
    DWORD code = 1;
    ASSERT_TRUE(app.Close(&code));
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(app.Log(), "Processing image: C:\\earlier\\run.jpg\r\n");
    EXPECT_EQ(app.Trace().find("Using Log File"), std::string::npos) << "the log was never opened";
}

TEST_F(Shell, ButtonsActWhateverTheirNotificationCode)
{
    // Remove and Stop with nothing to act on only trace.
    PostMessageA(app_.dialog, WM_COMMAND, MAKEWPARAM(IDC_REMOVE, BN_DOUBLECLICKED), 0);
    PostMessageA(app_.dialog, WM_COMMAND, MAKEWPARAM(IDC_STOP, 0x7777), 0);
    PostMessageA(app_.dialog, WM_COMMAND, MAKEWPARAM(IDC_STATUS, BN_CLICKED), 0);
    EXPECT_TRUE(rig::WaitUntil([&] { return app_.Trace().find("Stop\n") != std::string::npos; }));
    EXPECT_NE(app_.Trace().find("Remove\nStop\n"), std::string::npos) << app_.Trace();

    // Help with an odd notification code still shows the help box.
    PostMessageA(app_.dialog, WM_COMMAND, MAKEWPARAM(IDC_HELP, 0x1234), 0);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Tolvane Help", &box, app_.proc.pid));
    rig::AnswerMessageBox(box.window);
    EXPECT_TRUE(rig::WaitForWindowGone(box.window));
}

// The help text's fixed lines, as the user must see them.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::string line;
    for (char ch : text) {
        if (ch == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += ch;
        }
    }
    lines.push_back(line); // what follows the last line feed
    return lines;
}

TEST_F(Shell, HelpBoxShowsTheHelpText)
{
    rig::Click(app_.Item(IDC_HELP));
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Tolvane Help", &box, app_.proc.pid));
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), app_.dialog);
    EXPECT_EQ(box.text, HelpText);

    std::vector<std::string> lines = Lines(box.text);
    ASSERT_EQ(lines.size(), 43u);
    EXPECT_EQ(lines[0], std::string(41, ' ') + "Tolvane 1.51");
    for (int i : {1, 2}) {
        EXPECT_EQ(lines[i].find_first_not_of(' '), 31u) << lines[i];
    }
    EXPECT_NE(lines[1].find("2002"), std::string::npos);
    EXPECT_EQ(lines[3], "");
    EXPECT_EQ(lines[4], "Overview:");
    EXPECT_EQ(lines[6], "   Tolvane adds \"batch processing\" ability to Neat Image (version 1.0 & 1.1).");
    EXPECT_EQ(lines[7].rfind("   ", 0), 0u) << "distributor line indented by three blanks";
    EXPECT_NE(lines[7][3], ' ');
    EXPECT_EQ(lines[8], "   Tolvane works with Neat Image to process a list of images and save the ");
    EXPECT_EQ(lines[lines.size() - 4], "Distribution Status:");
    EXPECT_EQ(lines[lines.size() - 3], "");
    EXPECT_EQ(lines[lines.size() - 2], "   ");
    EXPECT_EQ(lines.back(), "") << "the text ends with a line feed";
    int oneBlank = 0;
    for (const auto& l : lines)
        if (l.size() > 1 && l.back() == ' ' && l[l.size() - 2] != ' ')
            ++oneBlank;
    EXPECT_EQ(oneBlank, 4);
    rig::AnswerMessageBox(box.window);
    EXPECT_TRUE(rig::WaitForWindowGone(box.window));
    EXPECT_TRUE(IsWindow(app_.dialog));
}

// Reads a wide string or an ordinal of a dialog template, moving p past it.
std::string TemplateString(const WORD*& p)
{
    if (*p == 0xFFFF) {
        WORD ordinal = p[1];
        p += 2;
        return "#" + std::to_string(ordinal);
    }
    std::string s;
    while (*p)
        s.push_back(static_cast<char>(*p++));
    ++p;
    return s;
}

TEST(ShellTemplate, DialogTemplateMatchesTheLayoutExactly)
{
    HMODULE exe = LoadLibraryExA((rig::ExeDir() + "tolvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC res = FindResourceA(exe, MAKEINTRESOURCEA(IDD_MAIN), MAKEINTRESOURCEA(5)); // RT_DIALOG
    ASSERT_NE(res, nullptr);
    const auto* dlg = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(exe, res)));
    ASSERT_NE(dlg, nullptr);
    ASSERT_NE(*reinterpret_cast<const WORD*>(dlg), 1) << "a classic template, not an extended one";
    EXPECT_EQ(dlg->style, static_cast<DWORD>(WS_POPUP | WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX |
                                             WS_MAXIMIZEBOX | DS_SETFONT));
    EXPECT_EQ(dlg->x, 6);
    EXPECT_EQ(dlg->y, 18);
    EXPECT_EQ(dlg->cx, 334);
    EXPECT_EQ(dlg->cy, 240);
    ASSERT_EQ(dlg->cdit, std::size(kControls));
    const WORD* p = reinterpret_cast<const WORD*>(dlg + 1);
    EXPECT_EQ(TemplateString(p), "") << "no menu";
    EXPECT_EQ(TemplateString(p), "") << "the standard dialog class";
    EXPECT_EQ(TemplateString(p), "Tolvane");
    EXPECT_EQ(*p++, 8) << "8 points";
    EXPECT_EQ(TemplateString(p), "MS Sans Serif");

    const std::pair<const char*, const char*> atoms[] = {
        {"#128", "Button"}, {"#129", "Edit"}, {"#130", "Static"}, {"#133", "ComboBox"}};
    for (const ControlCase& c : kControls) {
        SCOPED_TRACE(c.text);
        p = reinterpret_cast<const WORD*>((reinterpret_cast<uintptr_t>(p) + 3) & ~uintptr_t(3));
        const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
        EXPECT_EQ(item->style, static_cast<DWORD>(WS_CHILD | WS_VISIBLE | c.styles));
        EXPECT_EQ(item->dwExtendedStyle, 0u);
        EXPECT_EQ(item->x, c.x);
        EXPECT_EQ(item->y, c.y);
        EXPECT_EQ(item->cx, c.w);
        EXPECT_EQ(item->cy, c.h);
        EXPECT_EQ(item->id, c.id);
        p = reinterpret_cast<const WORD*>(item + 1);
        std::string cls = TemplateString(p);
        for (auto& a : atoms)
            if (cls == a.first)
                cls = a.second;
        // Class names are case-insensitive; the resource compiler stores them upper-case.
        EXPECT_EQ(lstrcmpiA(cls.c_str(), c.cls), 0) << cls;
        EXPECT_EQ(TemplateString(p), c.text);
        WORD extra = *p++;
        p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p) + extra);
    }
    FreeLibrary(exe);
}

TEST(ShellIcon, ExecutableCarriesOne32x32SixteenColourIcon)
{
    HMODULE exe = LoadLibraryExA((rig::ExeDir() + "tolvane.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(exe, nullptr);
    HRSRC group = FindResourceA(exe, MAKEINTRESOURCEA(IDI_APP), MAKEINTRESOURCEA(14)); // RT_GROUP_ICON
    ASSERT_NE(group, nullptr);
    const BYTE* data = static_cast<const BYTE*>(LockResource(LoadResource(exe, group)));
    ASSERT_NE(data, nullptr);
    // GRPICONDIR: reserved, type 1, count; then 14-byte entries.
    EXPECT_EQ(*reinterpret_cast<const WORD*>(data + 2), 1);
    EXPECT_EQ(*reinterpret_cast<const WORD*>(data + 4), 1);
    EXPECT_EQ(data[6], 32);
    EXPECT_EQ(data[7], 32);
    EXPECT_EQ(data[8], 16);
    FreeLibrary(exe);
}

TEST(ShellFatal, SelectorRefusingItsPreselectionEndsTheProcess)
{
    rig::TolvaneApp app;
    std::string error;
    ASSERT_TRUE(app.Start("tolvane_selector_fault", "", false, &error)) << error;
    rig::Watchdog watchdog;
    watchdog.Watch(app.proc.pid);
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app.proc.pid, 15000));
    EXPECT_EQ(box.text,
              "An Error Occurred:\n\nCould not set up file type combo box.\n\nThis program will now terminate.");
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), nullptr) << "no owner during initialisation";
    EXPECT_EQ(app.Log(), "Could not set up file type combo box.\r\n");
    rig::AnswerMessageBox(box.window);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(app.proc, 10000, &code));
    EXPECT_EQ(code, 0xFFFFFFFFu);
    EXPECT_EQ(app.Log(), "Could not set up file type combo box.\r\n");
}

} // namespace
