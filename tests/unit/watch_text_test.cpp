// The texts of the watch over Neat Image and the run's closing log line.
#include "batch/run_summary.h"
#include "target/watch_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Folded(const char* before, const char* text, size_t size = 64)
{
    std::vector<char> buf(size + 1, '#'); // one byte past the end must stay
    std::strncpy(buf.data(), before, size - 1);
    buf[size - 1] = '\0';
    AppendFoldedText(buf.data(), size, text);
    EXPECT_EQ(buf[size], '#') << "wrote past the buffer";
    return buf.data();
}

TEST(WatchText, AppendFoldedTextFoldsBlanksAndCutsAtTheBuffer)
{
    struct Case {
        const char* before;
        const char* text;
        size_t size;
        const char* expected;
    } cases[] = {
        {"", "File not found.", 64, "File not found."},
        {"", "  a\r\n\tb   c  ", 64, "a b c"},
        {"x", "y", 64, "x y"},
        {"x", "   ", 64, "x"},
        {"x", nullptr, 64, "x"},
        {"", "abcdef", 4, "abc"},
        {"ab", "cd", 4, "ab"}, // no room for the blank and a letter
        {"ab", "cd", 5, "ab c"},
        {"", "C:\\out\\a.bmp already exists.\nDo you want to replace it?", 64,
         "C:\\out\\a.bmp already exists. Do you want to replace it?"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.before) + "|" + (c.text ? c.text : "(null)"));
        EXPECT_EQ(Folded(c.before, c.text, c.size), c.expected);
    }
}

TEST(WatchText, BoxMessageNamesCaptionAndText)
{
    struct Case {
        const char* caption;
        const char* texts;
        size_t size;
        const char* expected;
    } cases[] = {
        {"Neat Image", "Cannot read the file.", kWatchMessageSize,
         "Neat Image is showing \"Neat Image\": Cannot read the file."},
        {"Confirm Save As", "a.bmp already exists.\nDo you want to replace it?", kWatchMessageSize,
         "Neat Image is showing \"Confirm Save As\": a.bmp already exists. Do you want to replace it?"},
        // A box whose text is not in windows Tolvane can read.
        {"Error", "", kWatchMessageSize, "Neat Image is showing \"Error\""},
        {"", "File not found", kWatchMessageSize, "Neat Image is showing \"\": File not found"},
        // A long caption is cut, its closing quote kept.
        {"0123456789", "x", 28, "Neat Image is showing \"012\""},
        {"Caption", "0123456789", 40, "Neat Image is showing \"Caption\": 012345"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.caption);
        std::vector<char> buf(c.size + 1, '#');
        FormatBoxMessage(buf.data(), c.size, c.caption, c.texts);
        EXPECT_EQ(std::string(buf.data()), c.expected);
        EXPECT_EQ(buf[c.size], '#') << "wrote past the buffer";
    }
}

TEST(WatchText, BoxMessageFitsTheErrorBox)
{
    // The "Error" box holds 255 characters, 54 of them its fixed words.
    EXPECT_LE(kWatchMessageSize - 1, 201u);
    std::string longText(1000, 'w');
    char buf[kWatchMessageSize];
    FormatBoxMessage(buf, sizeof buf, std::string(300, 'c').c_str(), longText.c_str());
    EXPECT_EQ(std::strlen(buf), kWatchMessageSize - 1) << buf;
    EXPECT_EQ(buf[kWatchMessageSize - 2], '"') << "a long caption is cut before its closing quote";
}

// A dialog template as a resource holds it: the fixed part, then menu,
// class and caption.
std::vector<unsigned char> Template(bool extended, std::vector<unsigned short> menu, std::vector<unsigned short> cls,
                                    const std::wstring& caption)
{
    std::vector<unsigned char> t(extended ? 26 : 18, 0);
    if (extended) {
        t[0] = 1;
        t[2] = 0xFF;
        t[3] = 0xFF;
    }
    auto put = [&](unsigned short w) {
        t.push_back(static_cast<unsigned char>(w & 0xFF));
        t.push_back(static_cast<unsigned char>(w >> 8));
    };
    for (auto w : menu)
        put(w);
    for (auto w : cls)
        put(w);
    for (wchar_t c : caption)
        put(static_cast<unsigned short>(c));
    put(0);
    return t;
}

TEST(WatchText, DialogTemplateCaption)
{
    struct Case {
        const char* name;
        std::vector<unsigned char> data;
        bool ok;
        std::wstring caption;
    } cases[] = {
        {"plain template, no menu or class", Template(false, {0}, {0}, L"Open"), true, L"Open"},
        {"extended template", Template(true, {0}, {0}, L"\u00d6ffnen"), true, L"\u00d6ffnen"},
        {"menu by ordinal, class by name", Template(false, {0xFFFF, 7}, {'M', 'y', 0}, L"Save As"), true, L"Save As"},
        {"no caption", Template(false, {0}, {0}, L""), false, L""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        wchar_t out[64];
        EXPECT_EQ(DialogTemplateCaption(c.data.data(), c.data.size(), out, 64), c.ok);
        EXPECT_EQ(std::wstring(out), c.caption);
        // Every cut of the template gives no caption, and reads nothing past it.
        for (size_t n = 0; n + 2 < c.data.size(); ++n) {
            std::vector<unsigned char> cut(c.data.begin(), c.data.begin() + n);
            EXPECT_FALSE(DialogTemplateCaption(cut.data(), cut.size(), out, 64)) << n;
            EXPECT_EQ(out[0], L'\0');
        }
    }
    // A caption longer than the output is refused, not cut to a wrong title.
    auto t = Template(false, {0}, {0}, L"Speichern als");
    wchar_t small[5];
    EXPECT_FALSE(DialogTemplateCaption(t.data(), t.size(), small, 5));
    EXPECT_EQ(small[0], L'\0');
}

TEST(RunSummary, Lines)
{
    struct Case {
        RunEnd end;
        long processed, skipped, failed;
        unsigned start, now;
        const char* expected;
    } cases[] = {
        {RunEnd::Complete, 3, 1, 0, 1000, 66000, "Run complete: 3 processed, 1 skipped, 0 failed in 0:01:05"},
        {RunEnd::Stopped, 0, 0, 0, 5000, 5999, "Run stopped: 0 processed, 0 skipped, 0 failed in 0:00:00"},
        {RunEnd::Error, 800, 2, 0, 0, 36000000u + 61000u,
         "Run ended by an error: 800 processed, 2 skipped, 0 failed in 10:01:01"},
        // Across the wrap of the millisecond counter.
        {RunEnd::Complete, 1, 0, 0, 0xFFFFF000u, 0x00001000u + 5000u,
         "Run complete: 1 processed, 0 skipped, 0 failed in 0:00:13"},
    };
    for (const Case& c : cases) {
        char out[kRunSummarySize];
        size_t n = FormatRunSummary(out, sizeof out, c.end, c.processed, c.skipped, c.failed, c.start, c.now);
        EXPECT_EQ(std::string(out), c.expected);
        EXPECT_EQ(n, std::strlen(out));
    }
}

TEST(RunSummary, StatusOfACompleteRun)
{
    struct Case {
        long failed, skipped;
        const char* expected;
    } cases[] = {
        {0, 0, "Processing complete"},
        {1, 0, "Processing complete (1 job failed)"},
        {2, 0, "Processing complete (2 jobs failed)"},
        {0, 1, "Processing complete (1 job skipped)"},
        {1, 3, "Processing complete (1 job failed, 3 jobs skipped)"},
        {4, 1, "Processing complete (4 jobs failed, 1 job skipped)"},
    };
    for (const Case& c : cases) {
        char out[64];
        FormatCompleteStatus(out, sizeof out, c.failed, c.skipped);
        EXPECT_EQ(std::string(out), c.expected);
    }
}

} // namespace
