// The log path rule: the executable's path with its last "." onwards replaced.
#include "diag/logpath.h"
#include "diag/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct LogPathCase {
    const char* module;
    const char* expected;
};

TEST(LogPath, ReplacesFromTheLastDotOrAppends)
{
    const LogPathCase cases[] = {
        {"C:\\Tools\\batch.exe", "C:\\Tools\\batch_log.txt"},
        {"C:\\Tools\\batch", "C:\\Tools\\batch_log.txt"},
        // The last "." may stand in a folder name.
        {"C:\\My.Tools\\batch", "C:\\My_log.txt"},
        {"C:\\a.b\\c.d.exe", "C:\\a.b\\c.d_log.txt"},
        {"tolvane.", "tolvane_log.txt"},
        {"", "_log.txt"},
    };
    for (const auto& c : cases) {
        char out[1024];
        ASSERT_TRUE(BuildLogPath(c.module, out, sizeof out)) << c.module;
        EXPECT_STREQ(out, c.expected) << c.module;
    }
}

TEST(LogPath, NeverRunsPastItsBuffer)
{
    // 1023 characters with no dot leave no room for the suffix: refused, and
    // the output stays an empty, terminated string.
    std::string longPath = "C:\\" + std::string(1020, 'x');
    char out[1024 + 16];
    std::fill(std::begin(out), std::end(out), '#');
    EXPECT_FALSE(BuildLogPath(longPath.c_str(), out, 1024));
    EXPECT_EQ(out[0], '\0');
    EXPECT_EQ(out[1024], '#') << "wrote past the buffer";

    // The longest that fits: 1015 characters kept + "_log.txt" + terminator.
    std::string fits = std::string(1015, 'y');
    ASSERT_TRUE(BuildLogPath(fits.c_str(), out, 1024));
    EXPECT_EQ(std::string(out).size(), 1023u);
    EXPECT_FALSE(BuildLogPath((fits + "y").c_str(), out, 1024));

    // A dot near the end shortens the result enough to fit.
    std::string withDot = std::string(1018, 'z') + ".exe";
    EXPECT_FALSE(BuildLogPath(withDot.c_str(), out, 1024));
    std::string withEarlyDot = std::string(1000, 'z') + "." + std::string(100, 'e');
    ASSERT_TRUE(BuildLogPath(withEarlyDot.c_str(), out, 1024));
    EXPECT_EQ(std::string(out), std::string(1000, 'z') + "_log.txt");
}

TEST(FormatText, CutsAndTerminates)
{
    char buf[8];
    EXPECT_EQ(FormatText(buf, sizeof buf, "%s", "0123456789"), 7u);
    EXPECT_STREQ(buf, "0123456");
    EXPECT_EQ(FormatText(buf, sizeof buf, "%d", 42), 2u);
    EXPECT_STREQ(buf, "42");
}

struct TrimCase {
    const char* text;
    const char* expected;
};

TEST(LogRefusal, SystemTextLosesItsLineEndAndFullStop)
{
    const TrimCase cases[] = {
        {"Access is denied.\r\n", "Access is denied"},
        {"The system cannot find the path specified. \r\n", "The system cannot find the path specified"},
        {"No full stop\r\n", "No full stop"},
        {"Ends with dots...", "Ends with dots"},
        {"Inner. Stops stay.\r\n", "Inner. Stops stay"},
        {"\r\n", ""},
        {"", ""},
    };
    for (const TrimCase& c : cases) {
        char text[64];
        std::snprintf(text, sizeof text, "%s", c.text);
        EXPECT_EQ(TrimSystemText(text), std::strlen(c.expected)) << c.text;
        EXPECT_STREQ(text, c.expected);
    }
}

TEST(LogRefusal, LongestPathAndReasonFitTheBoxText)
{
    std::string path = "C:\\" + std::string(1020, 'p');
    std::string reason(511, 'r');
    char text[kLogRefusalSize];
    std::size_t n = FormatText(text, sizeof text, kLogRefusalFormat, path.c_str(), reason.c_str());
    EXPECT_LT(n, sizeof text - 1) << "cut";
    std::string expected = "Cannot write the session log \"" + path + "\": " + reason +
                           ". Move Tolvane to a folder you can write to, such as your Documents, and start it again.";
    EXPECT_EQ(std::string(text), expected);
}

} // namespace
