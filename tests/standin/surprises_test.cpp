// The stand-in's surprises, driven from outside as a user would: the process
// ending at each step, a box at each step, the overwrite question of its own
// Save As dialog, the JPEG options window that exists hidden from start-up,
// the system's own file dialogs, and the system's dialog texts in English.
// The German texts: locale_test.cpp.
#include "standin_fixture.h"

#include "paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace standintest;

constexpr DWORD kExitAtCode = 99;

// Posts a file command, waits for the stand-in's own dialog of that title,
// types `path` and posts the press of its IDOK button, so that nothing here
// waits for what the press starts. Returns the dialog, or null.
HWND PostThroughOwnDialog(const Standin& app, int command, const char* title, const std::string& path)
{
    app.Post(command);
    HWND dlg = WaitOwned(app.app, "#32770", title);
    HWND edit = dlg ? FindWindowExA(dlg, nullptr, "Edit", nullptr) : nullptr;
    HWND ok = dlg ? GetDlgItem(dlg, IDOK) : nullptr;
    if (!edit || !ok || !SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())))
        return nullptr;
    rig::Click(ok);
    return dlg;
}

// A visible message box whose owner is `owner`, or null.
HWND WaitBoxOwnedBy(HWND owner, DWORD timeoutMs = kWaitMs)
{
    HWND box = nullptr;
    rig::WaitUntil(
        [&] {
            box = FindOwned(owner, "#32770", nullptr);
            return box && rig::IsMessageBox(box);
        },
        timeoutMs);
    return box && rig::IsMessageBox(box) ? box : nullptr;
}

std::string BoxText(HWND box)
{
    std::string text;
    rig::WaitUntil(
        [&] {
            HWND control = GetDlgItem(box, 0xFFFF);
            text = control ? rig::TextOf(control) : std::string();
            return !text.empty();
        },
        2000);
    return text;
}

// A message sent from a thread of its own, bounded, that the test can watch
// staying unanswered.
class BoundedSend {
public:
    BoundedSend(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs = 30000)
        : thread_([=] {
              ok_ = SendBounded(w, msg, wp, lp, timeoutMs);
              returned_ = true;
          })
    {
    }
    ~BoundedSend() { Join(); }
    bool Returned() const { return returned_; }
    // Waits for the send to come back; true when it was answered.
    bool Join()
    {
        if (thread_.joinable())
            thread_.join();
        return ok_;
    }

private:
    std::atomic<bool> returned_{false};
    std::atomic<bool> ok_{false};
    std::thread thread_;
};

TEST_F(StandinTest, ExitAtEndsTheProcessAtEachStep)
{
    struct Case {
        const char* step;
        const char* never; // the event the step would have ended with
    };
    const Case cases[] = {{"image-open", "image-opened"},
                          {"profile-open", "profile-opened"},
                          {"filter", "filter-applied"},
                          {"save", "saved"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        const std::string step = c.step;
        const std::string output = dir_ + "\\exit " + step + ".bmp";
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, std::string("--filter-ms 600 --exit-at ") + c.step, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        if (step != "image-open") {
            ASSERT_TRUE(app.OpenThrough(IDM_IMAGE_OPEN, image_));
            ASSERT_TRUE(app.WaitFor("image-opened", image_)) << app.Journal();
        }
        if (step == "filter") {
            ASSERT_TRUE(app.OpenThrough(IDM_PROFILE_OPEN, profile_));
            ASSERT_TRUE(app.WaitFor("profile-opened", profile_)) << app.Journal();
        }
        if (step == "image-open")
            ASSERT_NE(PostThroughOwnDialog(app, IDM_IMAGE_OPEN, "Open", image_), nullptr) << app.Journal();
        else if (step == "profile-open")
            ASSERT_NE(PostThroughOwnDialog(app, IDM_PROFILE_OPEN, "Open", profile_), nullptr) << app.Journal();
        else if (step == "filter")
            app.Post(IDM_FILTER_APPLY);
        else
            ASSERT_NE(PostThroughOwnDialog(app, IDM_IMAGE_SAVEAS, "Save As", output), nullptr) << app.Journal();

        DWORD code = 0;
        ASSERT_TRUE(rig::WaitExit(app.proc, 10000, &code)) << "still running\n" << app.Journal();
        EXPECT_EQ(code, kExitAtCode);
        // The surprise is the last thing the journal holds: no open, no
        // filter result, no save, and no orderly exit.
        rig::JournalEvent last = app.Last();
        EXPECT_EQ(last.name + " " + last.args, "exit-at " + step) << app.Journal();
        EXPECT_TRUE(app.EventsNamed(c.never).empty()) << app.Journal();
        if (step == "filter") {
            EXPECT_TRUE(app.Has("filter-begin", "")) << "ended inside the filter\n" << app.Journal();
        }
        EXPECT_FALSE(rig::FileExists(output));
        EXPECT_FALSE(IsWindow(app.main));
    }
}

TEST_F(StandinTest, BoxAtEachStepWaitsForItsAnswerThenTheRunGoesOn)
{
    struct Case {
        const char* step;
        const char* after; // what the run does once the box is answered ("" nothing)
    };
    const Case cases[] = {{"image-open", ""}, {"filter", "filter-applied"}, {"save", ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.step);
        const std::string step = c.step;
        const std::string text = "Something unexpected at " + step + ".";
        const std::string output = dir_ + "\\box " + step + ".bmp";
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, "--filter-ms 600 --box-at " + step + " \"" + text + "\"", &error)) << error;
        watchdog_.Watch(app.proc.pid);
        ASSERT_TRUE(app.OpenThrough(IDM_IMAGE_OPEN, image_));
        std::unique_ptr<BoundedSend> apply;
        if (step == "filter") {
            ASSERT_TRUE(app.OpenThrough(IDM_PROFILE_OPEN, profile_));
            // Sent, as Tolvane sends "&Apply": the box comes inside its handling.
            apply.reset(new BoundedSend(app.main, WM_COMMAND, IDM_FILTER_APPLY, 0));
        } else if (step == "save") {
            ASSERT_TRUE(app.WaitFor("image-opened", image_)) << app.Journal();
            ASSERT_TRUE(app.SaveThrough(output));
        }

        HWND box = WaitBoxOwnedBy(app.app, 10000);
        ASSERT_NE(box, nullptr) << app.Journal();
        EXPECT_EQ(rig::TitleOf(box), "Neat Image");
        EXPECT_EQ(BoxText(box), text);
        EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
        EXPECT_EQ(GetDlgItem(box, IDNO), nullptr);
        EXPECT_TRUE(app.WaitFor("box", step, 2000)) << app.Journal();
        if (step == "filter") {
            EXPECT_FALSE(apply->Returned()) << "the box is inside the handling of the sent \"&Apply\"";
            HWND calc = rig::FindTopWindow("TCalcForm", nullptr, app.proc.pid);
            int percent = -1;
            ASSERT_NE(calc, nullptr);
            std::sscanf(rig::TitleOf(calc).c_str(), "Calculating:%d", &percent);
            EXPECT_GE(percent, 50) << rig::TitleOf(calc);
            EXPECT_LT(percent, 100) << rig::TitleOf(calc);
        }
        if (step == "save") {
            EXPECT_EQ(imageio::DetectFormat(output), "BMP") << "saved before the box";
        }
        // A command that arrives while the box is up does nothing.
        app.Post(IDM_PROFILE_OPEN);
        EXPECT_TRUE(app.WaitFor("busy", "profile-open")) << app.Journal();
        EXPECT_EQ(FindOwned(app.app, "#32770", "Open"), nullptr);
        std::vector<Event> events = app.Events();
        ASSERT_GE(events.size(), 3u);
        EXPECT_EQ(events[events.size() - 3].name + " " + events[events.size() - 3].args, "box " + step)
            << app.Journal();

        rig::AnswerMessageBox(box, IDOK);
        EXPECT_TRUE(app.WaitFor("box-answered", step)) << app.Journal();
        if (*c.after) {
            EXPECT_TRUE(app.WaitForEvents(c.after, 1, 10000)) << app.Journal();
            EXPECT_TRUE(apply->Join()) << "the sent \"&Apply\" returns once the filter is done";
        }
        EXPECT_TRUE(rig::WaitForWindowGone(box));
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

TEST_F(StandinTest, ConfirmOverwriteAsksInsideThePressOfSave)
{
    Start("--confirm-overwrite");
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    const std::string existing = dir_ + "\\existing.bmp";
    const std::string old = "not an image yet";
    ASSERT_TRUE(rig::WriteFileText(existing, old));

    struct Case {
        const char* name;
        int answer; // 0: no question expected
        const char* expect;
    };
    const Case cases[] = {
        {"existing.bmp", IDNO, "no"},
        {"existing.bmp", IDYES, "yes"},
        {"new.bmp", 0, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + std::to_string(c.answer));
        const std::string path = dir_ + "\\" + c.name;
        const size_t saved = app_.EventsNamed("saved").size();
        app_.Post(IDM_IMAGE_SAVEAS);
        HWND dlg = WaitOwned(app_.app, "#32770", "Save As");
        ASSERT_NE(dlg, nullptr) << app_.Journal();
        HWND edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
        ASSERT_TRUE(SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())));
        BoundedSend press(GetDlgItem(dlg, IDOK), BM_CLICK, 0, 0);
        if (c.answer == 0) {
            EXPECT_TRUE(press.Join());
            EXPECT_TRUE(app_.WaitForEvents("saved", saved + 1, kWaitMs)) << app_.Journal();
            EXPECT_FALSE(app_.Has("confirm", path)) << app_.Journal();
            continue;
        }
        HWND box = WaitBoxOwnedBy(dlg);
        ASSERT_NE(box, nullptr) << app_.Journal();
        EXPECT_EQ(rig::TitleOf(box), "Confirm Save As");
        EXPECT_EQ(BoxText(box), path + " already exists.\nDo you want to replace it?");
        EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
        EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
        EXPECT_TRUE(app_.WaitFor("confirm", path, 2000)) << app_.Journal();
        EXPECT_FALSE(press.Returned()) << "the question is asked inside the handling of the press";

        rig::AnswerMessageBox(box, c.answer);
        EXPECT_TRUE(press.Join()) << "the press returns once the question is answered";
        EXPECT_TRUE(app_.WaitFor("confirm-answered", c.expect)) << app_.Journal();
        if (c.answer == IDNO) {
            EXPECT_TRUE(IsWindowVisible(dlg)) << "No keeps the dialog open";
            EXPECT_EQ(rig::ReadFileText(existing), old);
            rig::Click(GetDlgItem(dlg, IDCANCEL));
            EXPECT_TRUE(app_.WaitFor("cancelled", "save-as")) << app_.Journal();
            EXPECT_EQ(app_.EventsNamed("saved").size(), saved);
        } else {
            EXPECT_TRUE(app_.WaitFor("saved", "BMP " + path)) << app_.Journal();
            EXPECT_EQ(imageio::DetectFormat(path), "BMP");
        }
        EXPECT_TRUE(rig::WaitForWindowGone(dlg));
    }
    ExpectCleanExit();
}

TEST_F(StandinTest, JpegFormHiddenFromStartUpIsShownAndHiddenAgain)
{
    Start("--jpeg-form-hidden");
    HWND jpeg = rig::FindTopWindow("TSaveJPEGform", nullptr, app_.proc.pid, true);
    ASSERT_NE(jpeg, nullptr) << "created at start-up";
    EXPECT_FALSE(IsWindowVisible(jpeg));
    EXPECT_EQ(GetParent(jpeg), app_.app);
    EXPECT_EQ(rig::TitleOf(jpeg), "JPEG Save Options");
    HWND ok = FindWindowExA(jpeg, nullptr, "TBitBtn", "OK");
    HWND cancel = FindWindowExA(jpeg, nullptr, "TBitBtn", "Cancel");
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);

    // Its OK pressed while no JPEG save waits: nothing but the journal line.
    ASSERT_TRUE(SendBounded(ok, BM_CLICK, 0, 0));
    EXPECT_TRUE(app_.WaitFor("ignored", "jpeg-ok")) << app_.Journal();
    EXPECT_FALSE(IsWindowVisible(jpeg));

    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    struct Case {
        const char* name;
        bool confirm;
    };
    const Case cases[] = {{"kept.jpg", true}, {"dropped.jpg", false}, {"kept again.jpg", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = dir_ + "\\" + c.name;
        const size_t shown = app_.EventsNamed("shown", "jpeg-options").size();
        ASSERT_TRUE(app_.SaveThrough(path));
        ASSERT_TRUE(app_.WaitForEvents("shown", shown + 1, kWaitMs, "jpeg-options")) << app_.Journal();
        EXPECT_TRUE(IsWindowVisible(jpeg)) << "the start-up window itself";
        EXPECT_EQ(rig::FindTopWindow("TSaveJPEGform", nullptr, app_.proc.pid, true), jpeg) << "and no other";
        ASSERT_TRUE(SendBounded(c.confirm ? ok : cancel, BM_CLICK, 0, 0));
        // Hidden inside the press: no wait needed.
        EXPECT_FALSE(IsWindowVisible(jpeg));
        if (c.confirm) {
            EXPECT_TRUE(app_.WaitFor("saved", "JPEG " + path)) << app_.Journal();
            EXPECT_EQ(imageio::DetectFormat(path), "JPEG");
        } else {
            EXPECT_TRUE(app_.WaitForEvents("cancelled", 1, kWaitMs, "jpeg-options")) << app_.Journal();
            EXPECT_FALSE(rig::FileExists(path));
        }
        EXPECT_TRUE(IsWindow(jpeg)) << "hidden, never destroyed";
    }
    const size_t saved = app_.EventsNamed("saved").size();
    ASSERT_TRUE(SendBounded(ok, BM_CLICK, 0, 0));
    EXPECT_TRUE(app_.WaitForEvents("ignored", 2, kWaitMs, "jpeg-ok")) << app_.Journal();
    EXPECT_EQ(app_.EventsNamed("saved").size(), saved);
    ExpectCleanExit();
}

// The name box of a system file dialog: the Edit inside its "ComboBoxEx32"
// (id 1148), else the Edit with id 1152.
HWND SystemNameBox(HWND dlg)
{
    if (HWND combo = GetDlgItem(dlg, 1148))
        return rig::FindDescendant(combo, "Edit", nullptr);
    return GetDlgItem(dlg, 1152);
}

TEST_F(StandinTest, SystemDialogsAreTheSystemsOwnWithTheirQuestions)
{
    Start("--system-dialogs --propose \"{dir}\\{base}_sys.bmp\"");
    const std::string output = dir_ + "\\noisy scene_sys.bmp";
    const std::string missing = dir_ + "\\missing.bmp";
    struct Case {
        int command;
        const char* title;
        const char* kind;
        const char* button;
        std::string name;
        int answer;       // the answer to the system's own box, 0: no box expected
        std::string done; // the event when the dialog takes the name ("" the dialog is cancelled)
    };
    const Case cases[] = {
        {IDM_IMAGE_OPEN, "Open", "image-open", "&Open", missing, IDOK, ""},
        {IDM_IMAGE_OPEN, "Open", "image-open", "&Open", image_, 0, "image-opened " + image_},
        {IDM_PROFILE_OPEN, "Open", "profile-open", "&Open", profile_, 0, "profile-opened " + profile_},
        {IDM_IMAGE_SAVEAS, "Save As", "save-as", "&Save", "", 0, "saved BMP " + output},
        {IDM_IMAGE_SAVEAS, "Save As", "save-as", "&Save", output, IDNO, ""},
        {IDM_IMAGE_SAVEAS, "Save As", "save-as", "&Save", output, IDYES, "saved BMP " + output},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.kind) + " " + c.name + " " + std::to_string(c.answer));
        const size_t shown = app_.EventsNamed("shown", c.kind).size();
        app_.Post(c.command);
        HWND dlg = WaitOwned(app_.app, "#32770", c.title);
        ASSERT_NE(dlg, nullptr) << app_.Journal();
        EXPECT_TRUE(app_.WaitForEvents("shown", shown + 1, kWaitMs, c.kind)) << app_.Journal();
        // The system's layout, with the hook procedure's child dialog. (With a
        // hook, Wine 8 uses its template without the places bar: the name box
        // is a direct Edit, id 1152, not the ComboBoxEx32 of id 1148.)
        EXPECT_NE(FindWindowExA(dlg, nullptr, "#32770", nullptr), nullptr) << "the hook procedure's child dialog";
        EXPECT_NE(FindWindowExA(dlg, nullptr, "SHELLDLL_DefView", nullptr), nullptr) << "the shell's file view";
        EXPECT_EQ(rig::TextOf(GetDlgItem(dlg, IDOK)), c.button);
        HWND name = SystemNameBox(dlg);
        ASSERT_NE(name, nullptr);
        if (c.command == IDM_IMAGE_SAVEAS && c.name.empty()) {
            EXPECT_EQ(EditText(name), paths::FileNameOf(output)) << "the proposed name";
        }
        if (!c.name.empty()) {
            ASSERT_TRUE(SendBounded(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(c.name.c_str())));
        }
        const std::string bytes = rig::ReadFileText(output);
        const size_t blank = c.done.find(' ');
        const std::string doneName = c.done.substr(0, blank);
        const std::string doneArgs = blank == std::string::npos ? "" : c.done.substr(blank + 1);
        const size_t done = c.done.empty() ? 0 : app_.EventsNamed(doneName, doneArgs).size();
        rig::Click(GetDlgItem(dlg, IDOK));
        if (c.answer != 0) {
            HWND box = WaitBoxOwnedBy(dlg);
            ASSERT_NE(box, nullptr) << app_.Journal();
            std::printf("the system's box: \"%s\": %s\n", rig::TitleOf(box).c_str(), BoxText(box).c_str());
            rig::AnswerMessageBox(box, c.answer);
            EXPECT_TRUE(rig::WaitForWindowGone(box));
        }
        if (c.done.empty()) {
            EXPECT_TRUE(IsWindowVisible(dlg)) << "the dialog stays after its box";
            rig::Click(GetDlgItem(dlg, IDCANCEL));
            EXPECT_TRUE(rig::WaitForWindowGone(dlg));
            EXPECT_TRUE(app_.WaitFor("cancelled", c.kind)) << app_.Journal();
            EXPECT_EQ(app_.Last().name + " " + app_.Last().args, std::string("cancelled ") + c.kind);
        } else {
            EXPECT_TRUE(rig::WaitForWindowGone(dlg));
            EXPECT_TRUE(app_.WaitForEvents(doneName, done + 1, kWaitMs, doneArgs)) << app_.Journal();
        }
        if (c.answer == IDNO) {
            EXPECT_FALSE(bytes.empty());
            EXPECT_TRUE(rig::ReadFileText(output) == bytes) << "the existing file is unchanged";
        }
    }
    EXPECT_EQ(app_.EventsNamed("saved").size(), 2u) << app_.Journal();
    ExpectCleanExit();
}

TEST_F(StandinTest, SystemTitlesAreReadAtStartUpWithoutAWindowLeft)
{
    Start("--system-titles");
    std::vector<Event> events = app_.Events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].name, "system-titles") << app_.Journal();
    EXPECT_NE(events[0].args.find(" Open|&Open|Save As|&Save"), std::string::npos) << events[0].args;
    for (HWND w : rig::TopWindowsOf(app_.proc.pid))
        EXPECT_NE(rig::ClassOf(w), "#32770") << "a measuring dialog stayed: " << rig::TitleOf(w);
    // In English the stand-in's own dialogs keep their usual texts, and work.
    app_.Post(IDM_IMAGE_SAVEAS);
    HWND dlg = WaitOwned(app_.app, "#32770", "Save As");
    ASSERT_NE(dlg, nullptr) << app_.Journal();
    EXPECT_EQ(rig::TextOf(GetDlgItem(dlg, IDOK)), "&Save");
    rig::Click(GetDlgItem(dlg, IDCANCEL));
    EXPECT_TRUE(app_.WaitFor("cancelled", "save-as"));
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    EXPECT_TRUE(app_.WaitFor("image-opened", image_)) << app_.Journal();
    ExpectCleanExit();
}

} // namespace
