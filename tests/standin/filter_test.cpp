// The stand-in's filter and images, driven from outside: open, filter and
// save in each format with the outputs decoded and compared with a clean
// original, the progress window while the sent filter runs, a large image,
// file problems journaled without boxes, and the strict profile parser.
#include "standin_fixture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace standintest;

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

} // namespace
