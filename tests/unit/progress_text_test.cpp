// The progress line's text for one tick.
#include "batch/batch.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// A tick at `now` of a run that began totalSeconds ago and whose current image
// began imageSeconds ago.
ProgressInput Tick(LONG done, LONG total, DWORD totalSeconds, DWORD imageSeconds, const char* title,
                   DWORD now = 5000000)
{
    ProgressInput in{};
    in.imagesDone = done;
    in.imageTotal = total;
    in.now = now;
    in.batchStartTick = now - totalSeconds * 1000;
    in.imageStartTick = now - imageSeconds * 1000;
    in.progressWindowVisible = title != nullptr;
    in.title = title;
    return in;
}

std::string Text(const ProgressInput& in)
{
    char out[kProgressTextSize];
    size_t n = FormatProgressText(in, out, sizeof out);
    EXPECT_EQ(n, std::string(out).size());
    return out;
}

TEST(ProgressText, WorkedExample)
{
    EXPECT_EQ(Text(Tick(2, 5, 200, 45, "Calculating:37%")),
              "Elapsed Time:   Total = 0:03:20     Image = 0:00:45  (37% complete)\n"
              "Remaining Time:    Total = 0:03:50    Image = 0:01:16");
}

struct TextCase {
    const char* name;
    ProgressInput in;
    const char* expected;
};

TEST(ProgressText, Cases)
{
    const TextCase cases[] = {
        {"first job shows only the image piece", Tick(0, 3, 10, 10, "Calculating:50%"),
         "Elapsed Time:   Total = 0:00:10     Image = 0:00:10  (50% complete)\n"
         "Remaining Time:    Image = 0:00:10"},
        {"100 percent: image 0, total is the later images alone", Tick(1, 4, 100, 40, "Calculating:100%"),
         "Elapsed Time:   Total = 0:01:40     Image = 0:00:40  (100% complete)\n"
         "Remaining Time:    Total = 0:02:00    Image = 0:00:00"},
        {"above 100 gives a negative estimate", Tick(0, 1, 30, 30, "Calculating:200%"),
         "Elapsed Time:   Total = 0:00:30     Image = 0:00:30  (200% complete)\n"
         "Remaining Time:    Image = 0:00:-15"},
        {"minus 30 seconds prints as 0:00:-30", Tick(0, 1, 60, 60, "Calculating:200%"),
         "Elapsed Time:   Total = 0:01:00     Image = 0:01:00  (200% complete)\n"
         "Remaining Time:    Image = 0:00:-30"},
        {"below zero", Tick(0, 1, 10, 10, "Calculating:-50%"),
         "Elapsed Time:   Total = 0:00:10     Image = 0:00:10  (-50% complete)\n"
         "Remaining Time:    Image = 0:00:-30"},
        {"negative hours and minutes keep their signs", Tick(0, 1, 3700, 3700, "Calculating:200%"),
         "Elapsed Time:   Total = 1:01:40     Image = 1:01:40  (200% complete)\n"
         "Remaining Time:    Image = 0:-30:-50"},
        {"no progress window: elapsed only", Tick(1, 2, 5, 2, nullptr),
         "Elapsed Time:   Total = 0:00:05     Image = 0:00:02"},
        {"title without the prefix: 0 percent, no remaining", Tick(1, 2, 5, 2, "calculating:40%"),
         "Elapsed Time:   Total = 0:00:05     Image = 0:00:02  (0% complete)\n"},
        {"prefix but no number", Tick(1, 2, 5, 2, "Calculating:"),
         "Elapsed Time:   Total = 0:00:05     Image = 0:00:02  (0% complete)\n"},
        {"blanks before the number are skipped", Tick(0, 1, 9, 9, "Calculating: 10%"),
         "Elapsed Time:   Total = 0:00:09     Image = 0:00:09  (10% complete)\n"
         "Remaining Time:    Image = 0:01:21"},
        {"100 hours and more", Tick(0, 1, 100 * 3600 + 61, 4000000, nullptr),
         "Elapsed Time:   Total = 100:01:01     Image = 1111:06:40"},
        {"before any run every field is zero", ProgressInput{0, 0, 0, 0, 0, false, nullptr},
         "Elapsed Time:   Total = 0:00:00     Image = 0:00:00"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Text(c.in), c.expected) << c.name;
}

TEST(ProgressText, HiddenWindowShowsElapsedOnly)
{
    ProgressInput in = Tick(1, 2, 5, 2, "Calculating:40%");
    in.progressWindowVisible = false;
    EXPECT_EQ(Text(in), "Elapsed Time:   Total = 0:00:05     Image = 0:00:02");
}

TEST(ProgressText, WrapOfTheMillisecondCounter)
{
    // The run began 100 s before the counter wrapped; now is 20 s after it.
    ProgressInput in{};
    in.batchStartTick = 0xFFFFFFFFu - 99999u;
    in.imageStartTick = 0xFFFFFFFFu - 9999u;
    in.now = 20000;
    in.imagesDone = 0;
    in.imageTotal = 1;
    EXPECT_EQ(Text(in), "Elapsed Time:   Total = 0:02:00     Image = 0:00:30");
}

TEST(ProgressText, TotalRemainingBeyondTheSigned32BitRange)
{
    // 2^31 - 2 later images at 1000 s each: far beyond 2^31 seconds. The
    // estimate is shown whole instead of wrapping into a negative time.
    ProgressInput in = Tick(1, 0x7FFFFFFF, 2000, 1000, "Calculating:100%");
    std::string text = Text(in);
    long long later = (0x7FFFFFFFLL - 2) * 1000;
    std::string expected = "Total = " + std::to_string(later / 3600) + ":" + (later / 60 % 60 < 10 ? "0" : "") +
                           std::to_string(later / 60 % 60) + ":" + (later % 60 < 10 ? "0" : "") +
                           std::to_string(later % 60);
    EXPECT_NE(text.find(expected), std::string::npos) << text;
}

TEST(ProgressText, AbsurdFieldsStayWithinRange)
{
    // A negative image total cannot come from the job list, but even then the
    // estimate is clamped instead of overflowing (found by fuzzing).
    ProgressInput in{};
    in.imagesDone = 1;
    in.imageTotal = INT32_MIN;
    in.batchStartTick = 10000;
    in.imageStartTick = 8000;
    in.now = 20000;
    in.progressWindowVisible = true;
    in.title = "Calculating:1";
    std::string text = Text(in);
    EXPECT_NE(text.find("Remaining Time:    Total = -2500000000000000:00:00"), std::string::npos) << text;
}

TEST(ProgressText, NeverRunsPastASmallBuffer)
{
    ProgressInput in = Tick(2, 5, 200, 45, "Calculating:37%");
    char out[40];
    std::fill(std::begin(out), std::end(out), '#');
    size_t n = FormatProgressText(in, out, 30);
    EXPECT_EQ(n, 29u);
    EXPECT_EQ(out[29], '\0');
    EXPECT_EQ(out[30], '#');
}

struct PercentCase {
    const char* title;
    int percent;
};

TEST(ProgressPercent, ParsesLikeTheScanFormat)
{
    const PercentCase cases[] = {
        {"Calculating:37%", 37},
        {"Calculating:0%", 0},
        {"Calculating:+5%", 5},
        {"Calculating:-7%", -7},
        {"Calculating:12abc", 12},
        {"Calculating:\t 9%", 9},
        {"Calculating:%", 0},
        {"Calculating: x1", 0},
        {"Calculating 37%", 0},
        {"CALCULATING:37%", 0},
        {"", 0},
        {nullptr, 0},
        {"Calculating:99999999999999%", 2147483647},
        {"Calculating:-99999999999%", -2147483647 - 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseProgressPercent(c.title), c.percent) << (c.title ? c.title : "(null)");
}

} // namespace
