// The stand-in target application driven from outside, step by step, the way
// Tolvane drives it: menu commands to its main window, file dialogs found by
// class, title and owner, text typed into their name box, buttons pressed with
// BM_CLICK or WM_COMMAND, the filter command sent synchronously, the JPEG
// options confirmed. Outputs are decoded and compared with a clean original;
// the journal the stand-in writes tells what it did. Every wait is bounded.
#include "rig.h"
#include "standin_app.h"

#include "commands.h"
#include "imageio.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using standin::IDM_FILTER_APPLY;
using standin::IDM_IMAGE_OPEN;
using standin::IDM_IMAGE_SAVEAS;
using standin::IDM_PROFILE_OPEN;

constexpr DWORD kWaitMs = 5000;
constexpr double kNoiseSigma = 15.0;

// ---- Test images ----------------------------------------------------------------------------------------

struct Scene {
    imageio::Image clean;
    imageio::Image noisy;
};

// Smooth gradients, hard-edged blocks and a disc, then Gaussian noise of the
// given strength with a fixed seed.
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

// ---- Journal --------------------------------------------------------------------------------------------

using Event = rig::JournalEvent;

// ---- Window helpers -------------------------------------------------------------------------------------

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

// A top-level window of exact class and title (nullptr = any) whose parent,
// as GetParent reports it, is `owner`.
HWND FindOwned(HWND owner, const char* cls, const char* title, bool includeHidden = false)
{
    OwnedSearch s{owner, cls, title, includeHidden, nullptr};
    EnumWindows(OwnedSearchProc, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

HWND WaitOwned(HWND owner, const char* cls, const char* title, DWORD timeoutMs = kWaitMs,
               bool includeHidden = false)
{
    HWND found = nullptr;
    rig::WaitUntil([&] { return (found = FindOwned(owner, cls, title, includeHidden)) != nullptr; }, timeoutMs);
    return found;
}

// SendMessage with a limit; false when it did not return in time.
bool SendBounded(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs = kWaitMs, LRESULT* result = nullptr)
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

// Samples the progress window from another thread while the filter runs.
class CalcWatcher {
public:
    CalcWatcher()
        : thread_([this] {
              while (!stop_) {
                  HWND calc = FindWindowA("TCalcForm", nullptr);
                  if (calc && IsWindowVisible(calc)) {
                      seen_ = true;
                      owner_ = GetParent(calc);
                      char title[32] = "";
                      GetWindowTextA(calc, title, 31);
                      int percent = -1;
                      char exact[32] = "";
                      if (std::sscanf(title, "Calculating:%d", &percent) == 1)
                          std::snprintf(exact, sizeof exact, "Calculating:%d%%", percent);
                      if (percent >= 0 && std::strcmp(exact, title) == 0) {
                          if (percents_.empty() || percents_.back() != percent)
                              percents_.push_back(percent);
                      } else {
                          badTitle_ = title;
                      }
                  }
                  Sleep(2);
              }
          })
    {
    }
    ~CalcWatcher() { Stop(); }
    void Stop()
    {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }
    // Valid after Stop().
    bool seen() const { return seen_; }
    HWND owner() const { return owner_; }
    const std::vector<int>& percents() const { return percents_; }
    const std::string& badTitle() const { return badTitle_; }

private:
    std::atomic<bool> stop_{false};
    bool seen_ = false;
    HWND owner_ = nullptr;
    std::vector<int> percents_;
    std::string badTitle_;
    std::thread thread_;
};

// ---- The stand-in process -------------------------------------------------------------------------------

// The stand-in process of the rig, started without the menu bridge unless
// one is given, with the two file-dialog round trips these tests make.
class Standin : public rig::StandInApp {
public:
    bool Start(const std::string& dir, const std::string& args, std::string* error, const std::string& dll = "")
    {
        return rig::StandInApp::Start(args, error, dir, dll);
    }
    std::string Journal() const { return JournalText(); }

    // Posts an open command, waits for the visible "Open" dialog owned by the
    // application window, types the path and presses "&Open" with BM_CLICK.
    ::testing::AssertionResult OpenThrough(int command, const std::string& path) const
    {
        Post(command);
        HWND dlg = WaitOwned(app, "#32770", "Open");
        if (!dlg)
            return ::testing::AssertionFailure() << "no Open dialog\n" << JournalText();
        HWND edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
        HWND open = FindWindowExA(dlg, nullptr, "Button", "&Open");
        if (!edit || !open)
            return ::testing::AssertionFailure() << "Open dialog without name box or &Open button";
        if (!SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str())))
            return ::testing::AssertionFailure() << "WM_SETTEXT not answered";
        if (!SendBounded(open, BM_CLICK, 0, 0))
            return ::testing::AssertionFailure() << "BM_CLICK not answered";
        if (!rig::WaitForWindowGone(dlg))
            return ::testing::AssertionFailure() << "the Open dialog stayed";
        return ::testing::AssertionSuccess();
    }

    // Posts Save As, waits for the dialog, reads the proposed name into
    // *proposed, types `name` (empty: keep the proposal) and presses "&Save"
    // with a WM_COMMAND carrying its identifier and BN_CLICKED.
    ::testing::AssertionResult SaveThrough(const std::string& name, std::string* proposed = nullptr) const
    {
        Post(IDM_IMAGE_SAVEAS);
        HWND dlg = WaitOwned(app, "#32770", "Save As");
        if (!dlg)
            return ::testing::AssertionFailure() << "no Save As dialog\n" << JournalText();
        HWND edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
        HWND save = FindWindowExA(dlg, nullptr, "Button", "&Save");
        if (!edit || !save)
            return ::testing::AssertionFailure() << "Save As dialog without name box or &Save button";
        if (proposed)
            *proposed = EditText(edit);
        if (!name.empty() && !SendBounded(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(name.c_str())))
            return ::testing::AssertionFailure() << "WM_SETTEXT not answered";
        WPARAM wp = MAKEWPARAM(GetDlgCtrlID(save) & 0xFFFF, BN_CLICKED);
        if (!SendBounded(dlg, WM_COMMAND, wp, reinterpret_cast<LPARAM>(save)))
            return ::testing::AssertionFailure() << "the &Save command was not answered";
        return ::testing::AssertionSuccess();
    }

};

class StandinTest : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = rig::MakeTempDir("standin");
        ASSERT_FALSE(dir_.empty());
        image_ = dir_ + "\\noisy scene.bmp";
        profile_ = dir_ + "\\grain.dnp";
        scene_ = MakeScene(320, 240, kNoiseSigma);
        std::string error;
        ASSERT_TRUE(imageio::SaveImage(image_, scene_.noisy, imageio::Format::BMP, 90, &error)) << error;
        ASSERT_TRUE(rig::WriteFileText(profile_, "# stand-in noise profile\nsigma=15\nradius=2\n"));
    }

    void TearDown() override { EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer"; }

    void Start(const std::string& args = "", const std::string& dll = "")
    {
        std::string error;
        ASSERT_TRUE(app_.Start(dir_, args, &error, dll)) << error;
        watchdog_.Watch(app_.proc.pid);
    }

    void ExpectCleanExit()
    {
        DWORD code = 12345;
        ASSERT_TRUE(app_.Close(&code)) << "the stand-in did not end\n" << app_.Journal();
        EXPECT_EQ(code, 0u);
        EXPECT_EQ(app_.Last().name, "exit") << app_.Journal();
    }

    // Opens the test image and the profile through their dialogs.
    void OpenImageAndProfile()
    {
        ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
        ASSERT_TRUE(app_.WaitFor("image-opened", image_)) << app_.Journal();
        ASSERT_TRUE(app_.OpenThrough(IDM_PROFILE_OPEN, profile_));
        ASSERT_TRUE(app_.WaitFor("profile-opened", profile_)) << app_.Journal();
    }

    std::string dir_;
    std::string image_;
    std::string profile_;
    Scene scene_;
    Standin app_;
    rig::Watchdog watchdog_{15000};
};

// ---- Tests ----------------------------------------------------------------------------------------------

TEST_F(StandinTest, WindowsJournalStartAndCleanExit)
{
    Start();
    EXPECT_EQ(app_.startPid, app_.proc.pid);
    ASSERT_TRUE(IsWindow(app_.main));
    ASSERT_TRUE(IsWindow(app_.app));
    EXPECT_EQ(rig::ClassOf(app_.main), "TForm1");
    EXPECT_EQ(rig::ClassOf(app_.app), "TApplication");
    EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image");
    EXPECT_EQ(rig::TitleOf(app_.app), "Neat Image");
    EXPECT_EQ(GetWindow(app_.main, GW_OWNER), app_.app) << "the application window owns the main window";
    EXPECT_TRUE(IsWindowVisible(app_.main));
    EXPECT_NE(GetMenu(app_.main), nullptr);
    DWORD pid = 0;
    GetWindowThreadProcessId(app_.main, &pid);
    EXPECT_EQ(pid, app_.proc.pid);

    // The discovery rule: the first top-level windows titled "Neat Image..."
    // of class "TForm1..." and "TApplication..." are these two.
    EXPECT_EQ(rig::FindTopWindow("TForm1", nullptr, app_.proc.pid), app_.main);
    EXPECT_EQ(rig::FindTopWindow("TApplication", "Neat Image", app_.proc.pid, true), app_.app);

    // Priority changes from outside are accepted.
    HANDLE h = OpenProcess(PROCESS_SET_INFORMATION, FALSE, app_.proc.pid);
    ASSERT_NE(h, nullptr);
    EXPECT_TRUE(SetPriorityClass(h, IDLE_PRIORITY_CLASS));
    CloseHandle(h);

    ExpectCleanExit();
}

TEST_F(StandinTest, FileDialogsMeetTheContractAndCancel)
{
    Start();
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));

    struct Case {
        int command;
        const char* title;
        const char* kind;
        const char* button;
    };
    const Case cases[] = {
        {IDM_IMAGE_OPEN, "Open", "image-open", "&Open"},
        {IDM_PROFILE_OPEN, "Open", "profile-open", "&Open"},
        {IDM_IMAGE_SAVEAS, "Save As", "save-as", "&Save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind);
        app_.Post(c.command);
        HWND dlg = WaitOwned(app_.app, "#32770", c.title);
        ASSERT_NE(dlg, nullptr) << app_.Journal();
        // The journal line follows the showing of the window.
        EXPECT_TRUE(rig::WaitUntil([&] { return app_.Has("shown", c.kind); }, 3000));
        EXPECT_EQ(GetParent(dlg), app_.app);

        // The name box is the first Edit among the direct children.
        HWND firstEdit = nullptr;
        for (HWND child : rig::Children(dlg)) {
            if (rig::ClassOf(child) == "Edit") {
                firstEdit = child;
                break;
            }
        }
        ASSERT_NE(firstEdit, nullptr);
        EXPECT_EQ(FindWindowExA(dlg, nullptr, "Edit", nullptr), firstEdit);
        EXPECT_EQ(GetParent(firstEdit), dlg) << "a direct child";
        HWND button = FindWindowExA(dlg, nullptr, "Button", c.button);
        ASSERT_NE(button, nullptr);
        HWND cancel = FindWindowExA(dlg, nullptr, "Button", "Cancel");
        ASSERT_NE(cancel, nullptr);

        ASSERT_TRUE(SendBounded(cancel, BM_CLICK, 0, 0));
        EXPECT_TRUE(rig::WaitForWindowGone(dlg));
        EXPECT_TRUE(app_.WaitFor("cancelled", c.kind)) << app_.Journal();
    }
    ExpectCleanExit();
}

TEST_F(StandinTest, OpenFilterAndSaveInEachFormat)
{
    Start();
    const double noisyPsnr = imageio::Psnr(scene_.clean, scene_.noisy);
    struct Case {
        const char* ext;
        const char* format;
        bool jpeg;
    };
    const Case cases[] = {{".tif", "TIFF", false}, {".jpg", "JPEG", true}, {".bmp", "BMP", false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.format);
        // Each round opens the original again, as a batch does with its jobs.
        OpenImageAndProfile();
        EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image - noisy scene.bmp");

        LRESULT handled = -1;
        ASSERT_TRUE(SendBounded(app_.main, WM_COMMAND, IDM_FILTER_APPLY, 0, 20000, &handled));
        // The send returns only once the filter is done.
        std::vector<Event> events = app_.Events();
        ASSERT_FALSE(events.empty());
        EXPECT_EQ(events.back().name, "filter-applied") << app_.Journal();

        std::string proposed;
        const std::string proposal = dir_ + "\\noisy scene_filtered.bmp";
        const std::string output = (std::string(c.ext) == ".bmp") ? proposal : proposal + c.ext;
        ASSERT_TRUE(app_.SaveThrough(output, &proposed));
        EXPECT_EQ(proposed, proposal);
        if (c.jpeg) {
            HWND jpeg = rig::WaitForWindow("TSaveJPEGform", "JPEG Save Options", app_.proc.pid);
            ASSERT_NE(jpeg, nullptr) << app_.Journal();
            EXPECT_EQ(GetParent(jpeg), app_.app);
            EXPECT_TRUE(rig::WaitUntil([&] { return app_.Has("shown", "jpeg-options"); }, 3000));
            EXPECT_FALSE(app_.Has("saved", std::string("JPEG ") + output)) << "saved before OK was pressed";
            HWND ok = FindWindowExA(jpeg, nullptr, "TBitBtn", "OK");
            ASSERT_NE(ok, nullptr);
            EXPECT_EQ(rig::TitleOf(ok), "OK");
            ASSERT_TRUE(SendBounded(ok, BM_CLICK, 0, 0));
            EXPECT_TRUE(rig::WaitForWindowGone(jpeg));
        }
        ASSERT_TRUE(app_.WaitFor("saved", std::string(c.format) + " " + output)) << app_.Journal();

        EXPECT_EQ(imageio::DetectFormat(output), c.format);
        imageio::Image result;
        std::string error;
        ASSERT_TRUE(imageio::LoadImage(output, result, 3, &error)) << error;
        EXPECT_EQ(result.width, scene_.clean.width);
        EXPECT_EQ(result.height, scene_.clean.height);
        const double psnr = imageio::Psnr(scene_.clean, result);
        EXPECT_GT(psnr, noisyPsnr + 3.0) << "the filtered output is not clearly cleaner than the noisy input";
    }
    // The original was never overwritten.
    imageio::Image original;
    ASSERT_TRUE(imageio::LoadImage(image_, original));
    EXPECT_TRUE(std::isinf(imageio::Psnr(original, scene_.noisy)));

    // Every journal line is "<tick> <event> ...", ticks never going back.
    std::vector<Event> events = app_.Events();
    for (size_t i = 0; i < events.size(); ++i) {
        EXPECT_FALSE(events[i].name.empty()) << "malformed line " << i;
        if (i > 0) {
            EXPECT_GE(events[i].tick, events[i - 1].tick);
        }
    }
    ExpectCleanExit();
}

TEST_F(StandinTest, ProgressWindowTitleRisesWhileTheSentFilterRuns)
{
    Start("--filter-ms 1500");
    OpenImageAndProfile();
    CalcWatcher watcher;
    DWORD start = rig::Now();
    ASSERT_TRUE(SendBounded(app_.main, WM_COMMAND, IDM_FILTER_APPLY, 0, 20000));
    DWORD took = rig::Now() - start;
    watcher.Stop();

    // The command returns only once filtering is done, which --filter-ms
    // makes last at least that long.
    EXPECT_GE(took, 1500u);
    ASSERT_TRUE(watcher.seen()) << "no visible TCalcForm while filtering";
    EXPECT_EQ(watcher.owner(), app_.app);
    EXPECT_TRUE(watcher.badTitle().empty()) << watcher.badTitle();
    // How many steps a sampler catches depends on the machine's load; that
    // the title moves, and only upwards, does not.
    const std::vector<int>& p = watcher.percents();
    ASSERT_GE(p.size(), 2u) << "the title should move in steps";
    for (size_t i = 1; i < p.size(); ++i)
        EXPECT_GT(p[i], p[i - 1]) << "percentages must rise";
    HWND calc = FindWindowA("TCalcForm", nullptr);
    EXPECT_TRUE(calc == nullptr || !IsWindowVisible(calc)) << "the progress window stays after filtering";

    Event last = app_.Last();
    EXPECT_EQ(last.name, "filter-applied");
    EXPECT_GE(std::strtoul(last.args.c_str(), nullptr, 10), 1500ul);
    EXPECT_TRUE(app_.Has("shown", "calc"));
    EXPECT_TRUE(app_.Has("filter-begin", ""));
    ExpectCleanExit();
}

// How long it takes is a figure of scripts/bench, not a test.
TEST_F(StandinTest, FiltersALargeImage)
{
    Scene big = MakeScene(1024, 768, kNoiseSigma);
    ASSERT_TRUE(imageio::SaveImage(image_, big.noisy, imageio::Format::BMP));
    Start();
    OpenImageAndProfile();
    ASSERT_TRUE(SendBounded(app_.main, WM_COMMAND, IDM_FILTER_APPLY, 0, 20000));
    Event last = app_.Last();
    ASSERT_EQ(last.name, "filter-applied") << app_.Journal();
    ASSERT_TRUE(app_.SaveThrough(dir_ + "\\big.bmp"));
    ASSERT_TRUE(app_.WaitFor("saved", "BMP " + dir_ + "\\big.bmp")) << app_.Journal();
    imageio::Image out;
    ASSERT_TRUE(imageio::LoadImage(dir_ + "\\big.bmp", out));
    EXPECT_EQ(out.width, 1024);
    EXPECT_EQ(out.height, 768);
    ExpectCleanExit();
}

TEST_F(StandinTest, ProposedNamePatternAndExtensionCase)
{
    Start("--propose \"{dir}\\{base}_out.TIF\"");
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    std::string proposed;
    ASSERT_TRUE(app_.SaveThrough("", &proposed));
    const std::string expected = dir_ + "\\noisy scene_out.TIF";
    EXPECT_EQ(proposed, expected);
    // The extension chooses the format regardless of its letter case.
    ASSERT_TRUE(app_.WaitFor("saved", "TIFF " + expected)) << app_.Journal();
    EXPECT_EQ(imageio::DetectFormat(expected), "TIFF");
    ExpectCleanExit();
}

TEST_F(StandinTest, TitleAndClassSwitches)
{
    Start("--main-title \"Neat Image fixed\" --app-title \"Neat Image app\" --class-suffix Q");
    EXPECT_EQ(rig::ClassOf(app_.main), "TForm1Q");
    EXPECT_EQ(rig::ClassOf(app_.app), "TApplicationQ");
    EXPECT_EQ(rig::TitleOf(app_.app), "Neat Image app");
    EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image fixed");
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    EXPECT_EQ(rig::TitleOf(app_.main), "Neat Image fixed") << "a fixed title stays";
    ExpectCleanExit();
}

// Every fault of the automation's failure table, one switch at a time.
TEST_F(StandinTest, FaultSwitchesShapeTheWindows)
{
    enum Expect { Never, WrongTitle, Hidden, NoEdit, NoButton };
    struct Case {
        const char* args;
        int command;
        const char* kind;
        const char* title;   // the title when right
        Expect expect;
        const char* shown;   // the title actually shown (WrongTitle)
        const char* button;  // the button that is missing (NoButton)
    };
    const Case cases[] = {
        {"--never image-open", IDM_IMAGE_OPEN, "image-open", "Open", Never, nullptr, nullptr},
        {"--never profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", Never, nullptr, nullptr},
        {"--never save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", Never, nullptr, nullptr},
        {"--wrong-title image-open", IDM_IMAGE_OPEN, "image-open", "Open", WrongTitle, "open", nullptr},
        {"--wrong-title profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", WrongTitle, "open", nullptr},
        {"--wrong-title save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", WrongTitle, "save as", nullptr},
        {"--hidden profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", Hidden, nullptr, nullptr},
        {"--no-edit image-open", IDM_IMAGE_OPEN, "image-open", "Open", NoEdit, nullptr, nullptr},
        {"--no-edit profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", NoEdit, nullptr, nullptr},
        {"--no-edit save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", NoEdit, nullptr, nullptr},
        {"--no-button image-open", IDM_IMAGE_OPEN, "image-open", "Open", NoButton, nullptr, "&Open"},
        {"--no-button profile-open", IDM_PROFILE_OPEN, "profile-open", "Open", NoButton, nullptr, "&Open"},
        {"--no-button save-as", IDM_IMAGE_SAVEAS, "save-as", "Save As", NoButton, nullptr, "&Save"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        app.Post(c.command);
        ASSERT_TRUE(app.WaitFor("menu", c.kind == std::string("save-as") ? "image-saveas" : c.kind));
        switch (c.expect) {
        case Never:
            EXPECT_TRUE(app.WaitFor("never", c.kind)) << app.Journal();
            EXPECT_EQ(WaitOwned(app.app, "#32770", nullptr, 1000, true), nullptr) << "no dialog at all";
            break;
        case WrongTitle: {
            HWND dlg = WaitOwned(app.app, "#32770", c.shown);
            EXPECT_NE(dlg, nullptr) << app.Journal();
            EXPECT_EQ(FindOwned(app.app, "#32770", c.title), nullptr);
            break;
        }
        case Hidden: {
            EXPECT_TRUE(app.WaitFor("hidden", c.kind)) << app.Journal();
            EXPECT_NE(FindOwned(app.app, "#32770", c.title, true), nullptr) << "created";
            EXPECT_EQ(FindOwned(app.app, "#32770", c.title, false), nullptr) << "but never shown";
            break;
        }
        case NoEdit: {
            HWND dlg = WaitOwned(app.app, "#32770", c.title);
            ASSERT_NE(dlg, nullptr) << app.Journal();
            EXPECT_EQ(FindWindowExA(dlg, nullptr, "Edit", nullptr), nullptr);
            break;
        }
        case NoButton: {
            HWND dlg = WaitOwned(app.app, "#32770", c.title);
            ASSERT_NE(dlg, nullptr) << app.Journal();
            EXPECT_NE(FindWindowExA(dlg, nullptr, "Edit", nullptr), nullptr);
            EXPECT_EQ(FindWindowExA(dlg, nullptr, "Button", c.button), nullptr);
            EXPECT_NE(FindWindowExA(dlg, nullptr, "Button", "Cancel"), nullptr);
            break;
        }
        }
        // Whatever the fault, the application still answers and closes cleanly,
        // even with its dialog (visible or not) still open.
        EXPECT_TRUE(SendBounded(app.main, WM_GETTEXTLENGTH, 0, 0, 2000));
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

TEST_F(StandinTest, JpegOptionsFaultSwitches)
{
    enum Expect { Never, NoOk, WrongTitle, Hidden };
    struct Case {
        const char* args;
        Expect expect;
    };
    const Case cases[] = {
        {"--never jpeg-options", Never},
        {"--no-button jpeg-options", NoOk},
        {"--wrong-title jpeg-options", WrongTitle},
        {"--hidden jpeg-options", Hidden},
    };
    int round = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error)) << error;
        watchdog_.Watch(app.proc.pid);
        ASSERT_TRUE(app.OpenThrough(IDM_IMAGE_OPEN, image_));
        ASSERT_TRUE(app.WaitFor("image-opened", image_));
        const std::string output = dir_ + "\\fault" + std::to_string(++round) + ".jpg";
        ASSERT_TRUE(app.SaveThrough(output));

        if (c.expect == Never) {
            EXPECT_TRUE(app.WaitFor("never", "jpeg-options")) << app.Journal();
            // A command posted behind: once it is journaled, whatever the
            // swallowed one could have shown would be there.
            app.Post(-1);
            EXPECT_TRUE(app.WaitFor("menu", "other")) << app.Journal();
            EXPECT_EQ(rig::FindTopWindow("TSaveJPEGform", nullptr, app.proc.pid, true), nullptr);
        } else {
            HWND jpeg = rig::WaitForWindow("TSaveJPEGform", nullptr, app.proc.pid, kWaitMs, true);
            ASSERT_NE(jpeg, nullptr) << app.Journal();
            EXPECT_EQ(GetParent(jpeg), app.app);
            switch (c.expect) {
            case NoOk:
                EXPECT_TRUE(IsWindowVisible(jpeg));
                EXPECT_EQ(rig::TitleOf(jpeg), "JPEG Save Options");
                EXPECT_EQ(FindWindowExA(jpeg, nullptr, "TBitBtn", "OK"), nullptr);
                EXPECT_NE(FindWindowExA(jpeg, nullptr, "TBitBtn", "Cancel"), nullptr);
                break;
            case WrongTitle:
                EXPECT_TRUE(IsWindowVisible(jpeg));
                EXPECT_EQ(rig::TitleOf(jpeg), "jpeg save options");
                EXPECT_NE(FindWindowExA(jpeg, nullptr, "TBitBtn", "OK"), nullptr);
                break;
            case Hidden:
                EXPECT_TRUE(app.WaitFor("hidden", "jpeg-options")) << app.Journal();
                EXPECT_FALSE(IsWindowVisible(jpeg));
                break;
            case Never:
                break;
            }
            // Closing the options window cancels the save.
            PostMessageA(jpeg, WM_CLOSE, 0, 0);
            EXPECT_TRUE(app.WaitFor("cancelled", "jpeg-options")) << app.Journal();
        }
        EXPECT_FALSE(rig::FileExists(output)) << "nothing is saved without the options confirmed";
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code)) << app.Journal();
        EXPECT_EQ(code, 0u);
    }
}

TEST_F(StandinTest, DelayedWindowsAppearLaterWhileMessagesAreServed)
{
    Start("--delay image-open 1500");
    DWORD start = rig::Now();
    app_.Post(IDM_IMAGE_OPEN);
    ASSERT_TRUE(app_.WaitFor("menu", "image-open"));
    // Still answering while it waits.
    EXPECT_TRUE(SendBounded(app_.main, WM_GETTEXTLENGTH, 0, 0, 500));
    EXPECT_EQ(FindOwned(app_.app, "#32770", "Open"), nullptr);
    HWND dlg = WaitOwned(app_.app, "#32770", "Open", 30000);
    DWORD took = rig::Now() - start;
    ASSERT_NE(dlg, nullptr);
    // Never earlier than asked; how much later is a figure of scripts/bench.
    EXPECT_GE(took, 1500u);
    ExpectCleanExit();
}

TEST_F(StandinTest, FileProblemsAreJournaledWithoutBlockingBoxes)
{
    Start();
    const std::string missing = dir_ + "\\missing.bmp";
    const std::string notImage = dir_ + "\\not an image.bmp";
    ASSERT_TRUE(rig::WriteFileText(notImage, "this is text, not a bitmap"));

    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, missing));
    EXPECT_TRUE(app_.WaitFor("open-failed", missing)) << app_.Journal();
    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, notImage));
    EXPECT_TRUE(app_.WaitFor("open-failed", notImage)) << app_.Journal();

    ASSERT_TRUE(SendBounded(app_.main, WM_COMMAND, IDM_FILTER_APPLY, 0));
    EXPECT_EQ(app_.Last().name, "filter-failed");
    EXPECT_EQ(app_.Last().args, "no-image");

    ASSERT_TRUE(app_.OpenThrough(IDM_IMAGE_OPEN, image_));
    ASSERT_TRUE(app_.WaitFor("image-opened", image_));
    ASSERT_TRUE(SendBounded(app_.main, WM_COMMAND, IDM_FILTER_APPLY, 0));
    EXPECT_EQ(app_.Last().args, "no-profile");

    // Only .tif, .jpg and .bmp are written.
    const std::string png = dir_ + "\\out.png";
    ASSERT_TRUE(app_.SaveThrough(png));
    EXPECT_TRUE(app_.WaitFor("save-failed", png)) << app_.Journal();
    EXPECT_FALSE(rig::FileExists(png));

    // A command id that is no menu item is journaled and ignored.
    ASSERT_TRUE(SendBounded(app_.main, WM_COMMAND, static_cast<WPARAM>(-1), 0));
    EXPECT_EQ(app_.Last().name, "menu");
    EXPECT_EQ(app_.Last().args, "other");

    for (HWND w : rig::TopWindowsOf(app_.proc.pid))
        EXPECT_NE(rig::ClassOf(w), "#32770") << "a box is open: " << rig::TitleOf(w);
    ExpectCleanExit();
}

TEST_F(StandinTest, NoiseProfilesAreParsedStrictly)
{
    struct Case {
        const char* text;
        bool good;
    };
    const Case cases[] = {
        {"sigma=12.5\n", true},
        {"# stand-in noise profile\r\nSIGMA = 8\r\nradius=3\r\nstrength=1.5\r\n", true},
        {"; comment\n\nsigma=100\nradius=1\n", true},
        {"", false},
        {"radius=2\n", false},
        {"sigma=abc\n", false},
        {"sigma=0\n", false},
        {"sigma=101\n", false},
        {"sigma=12\nsigma=13\n", false},
        {"sigma=12\ncolour=1\n", false},
        {"sigma=12\nradius=9\n", false},
        {"sigma=12\nradius=2.5\n", false},
        {"sigma 12\n", false},
        {"sigma=12\n\x01\x02\x03\n", false},
    };
    Start();
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const std::string path = dir_ + "\\profile" + std::to_string(++n) + ".dnp";
        ASSERT_TRUE(rig::WriteFileText(path, c.text));
        ASSERT_TRUE(app_.OpenThrough(IDM_PROFILE_OPEN, path));
        EXPECT_TRUE(app_.WaitFor(c.good ? "profile-opened" : "profile-failed", path)) << app_.Journal();
    }
    ExpectCleanExit();
}

TEST_F(StandinTest, CloseWhileADialogIsOpenEndsCleanly)
{
    Start();
    app_.Post(IDM_IMAGE_OPEN);
    HWND dlg = WaitOwned(app_.app, "#32770", "Open");
    ASSERT_NE(dlg, nullptr);
    // A second command while the first is in its dialog is dropped.
    app_.Post(IDM_PROFILE_OPEN);
    EXPECT_TRUE(app_.WaitFor("busy", "profile-open")) << app_.Journal();
    ExpectCleanExit();
    EXPECT_TRUE(app_.Has("cancelled", "image-open"));
}

TEST_F(StandinTest, BadCommandLinesPrintUsageAndExitWith2)
{
    const char* cases[] = {
        "--bogus",
        "--delay image-open",
        "--delay nothing 10",
        "--never",
        "--never calc",
        "--no-edit jpeg-options",
        "--no-menu-item save",
        "--filter-ms soon",
        "--journal",
    };
    for (const char* args : cases) {
        SCOPED_TRACE(args);
        rig::Process p;
        const std::string out = dir_ + "\\usage.txt";
        std::string error;
        ASSERT_TRUE(rig::StartProgram(rig::ExeDir() + "standin.exe", args, &p, out, "", &error)) << error;
        DWORD code = 12345;
        bool ended = rig::WaitExit(p, 10000, &code);
        rig::EndProgram(p);
        ASSERT_TRUE(ended);
        EXPECT_EQ(code, 2u);
        EXPECT_NE(rig::ReadFileText(out).find("usage: standin"), std::string::npos);
    }
}

// ---- The menu bar, read across processes through the test environment's menu bridge ----------------------

struct MenuItem {
    std::string caption;  // "" for a separator
    UINT type = 0;
    UINT id = 0;
    std::vector<MenuItem> items;
};

std::vector<MenuItem> ReadMenu(HMENU menu, int depth = 0)
{
    std::vector<MenuItem> out;
    int count = GetMenuItemCount(menu);
    for (int i = 0; i < count; ++i) {
        char text[256] = "";
        MENUITEMINFOA info = {};
        info.cbSize = sizeof info;
        info.fMask = MIIM_TYPE | MIIM_SUBMENU | MIIM_ID;
        info.dwTypeData = text;
        info.cch = sizeof text - 1;
        if (!GetMenuItemInfoA(menu, static_cast<UINT>(i), TRUE, &info))
            break;
        MenuItem item;
        item.type = info.fType;
        item.caption = (info.fType & MFT_SEPARATOR) ? "" : text;
        item.id = info.hSubMenu ? 0 : GetMenuItemID(menu, i);
        if (info.hSubMenu && depth == 0)
            item.items = ReadMenu(info.hSubMenu, 1);
        out.push_back(item);
    }
    return out;
}

class StandinMenuTest : public StandinTest {
protected:
    void SetUp() override
    {
        StandinTest::SetUp();
        bridge_ = rig::ExeDir() + "menubridge.dll";
        if (!rig::FileExists(bridge_))
            GTEST_SKIP() << "menubridge.dll is not beside the test";
        // Redirects this program's menu calls on foreign menus to the owner.
        ASSERT_NE(LoadLibraryA(bridge_.c_str()), nullptr);
    }
    std::string bridge_;
};

TEST_F(StandinMenuTest, MenuBarCaptionsAndMissingItems)
{
    using standin::IDM_EXIT;
    using standin::IDM_HELP_ABOUT;
    using standin::IDM_IMAGE_CLOSE;
    struct Case {
        const char* args;
        std::vector<std::pair<std::string, std::vector<std::pair<std::string, UINT>>>> bar;
    };
    const std::string sep;  // separator
    const Case cases[] = {
        {"",
         {{"&Image",
           {{"&Open...\tCtrl+O", IDM_IMAGE_OPEN},
            {"Save &as...\tCtrl+S", IDM_IMAGE_SAVEAS},
            {sep, 0},
            {"&Close", IDM_IMAGE_CLOSE},
            {sep, 0},
            {"E&xit", IDM_EXIT}}},
          {"&Profile", {{"&Open...\tCtrl+P", IDM_PROFILE_OPEN}}},
          {"&Filter", {{"&Apply\tF5", IDM_FILTER_APPLY}}},
          {"&Help", {{"&About...", IDM_HELP_ABOUT}}}}},
        {"--no-menu-item filter-apply --no-menu-item image-saveas",
         {{"&Image",
           {{"&Open...\tCtrl+O", IDM_IMAGE_OPEN},
            {sep, 0},
            {"&Close", IDM_IMAGE_CLOSE},
            {sep, 0},
            {"E&xit", IDM_EXIT}}},
          {"&Profile", {{"&Open...\tCtrl+P", IDM_PROFILE_OPEN}}},
          {"&Filter", {}},
          {"&Help", {{"&About...", IDM_HELP_ABOUT}}}}},
        {"--no-menu-item image-open --no-menu-item profile-open",
         {{"&Image", {{"Save &as...\tCtrl+S", IDM_IMAGE_SAVEAS}, {sep, 0}, {"&Close", IDM_IMAGE_CLOSE}, {sep, 0},
                      {"E&xit", IDM_EXIT}}},
          {"&Profile", {}},
          {"&Filter", {{"&Apply\tF5", IDM_FILTER_APPLY}}},
          {"&Help", {{"&About...", IDM_HELP_ABOUT}}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        Standin app;
        std::string error;
        ASSERT_TRUE(app.Start(dir_, c.args, &error, bridge_)) << error;
        std::vector<MenuItem> bar = ReadMenu(GetMenu(app.main));
        ASSERT_EQ(bar.size(), c.bar.size());
        for (size_t i = 0; i < bar.size(); ++i) {
            EXPECT_EQ(bar[i].caption, c.bar[i].first);
            EXPECT_EQ(bar[i].type, static_cast<UINT>(MFT_STRING));
            ASSERT_EQ(bar[i].items.size(), c.bar[i].second.size()) << bar[i].caption;
            for (size_t j = 0; j < bar[i].items.size(); ++j) {
                const MenuItem& item = bar[i].items[j];
                const bool separator = c.bar[i].second[j].first.empty();
                EXPECT_EQ(item.type, separator ? static_cast<UINT>(MFT_SEPARATOR) : static_cast<UINT>(MFT_STRING));
                EXPECT_EQ(item.caption, c.bar[i].second[j].first);
                if (!separator) {
                    EXPECT_EQ(item.id, c.bar[i].second[j].second) << item.caption;
                }
            }
        }
        DWORD code = 12345;
        ASSERT_TRUE(app.Close(&code));
        EXPECT_EQ(code, 0u);
    }
}

}  // namespace
