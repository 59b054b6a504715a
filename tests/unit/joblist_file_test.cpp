// Job list files as plain functions: reading with a model code page (Latin-1
// as Windows-1252 holds it, nothing beyond), the line rules, the file
// faults, the warning's text, the path of the unfinished jobs; and the
// system's conversions that Open and Save use.
#include "jobs/joblist_file.h"
#include "jobs/joblist_io.h"
#include "model_code_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

JobListParse Parse(const std::string& text)
{
    return ParseJobList(text.data(), text.size(), modelcp::FromUtf8, nullptr);
}

const std::string kImage = "C:\\Photos\\a.jpg";
const std::string kProfile = "C:\\Profiles\\p.dnp";
const std::string kLine = kImage + "\t" + kProfile;

TEST(JobListFile, EachLineIsAJobOrRefusedWithItsFirstFault)
{
    const std::string longPath = "C:\\" + std::string(251, 'x'); // 254 characters: the most a job holds
    struct Row {
        const char* what;
        std::string line;
        bool taken;
        JobLineFault fault;
    };
    const JobLineFault Any = JobLineFault::NoTab;
    const Row rows[] = {
        {"two full paths", kLine, true, Any},
        {"a share", "\\\\server\\photos\\a.jpg\t\\\\server\\p.dnp", true, Any},
        {"254 characters", longPath + "\t" + kProfile, true, Any},
        {"an accent the code page holds", "C:\\Caf\xC3\xA9\\a.jpg\t" + kProfile, true, Any},
        {"no TAB", kImage + " " + kProfile, false, JobLineFault::NoTab},
        {"two TABs", kLine + "\tC:\\x", false, JobLineFault::ExtraTab},
        {"TAB at the end", kLine + "\t", false, JobLineFault::ExtraTab},
        {"no image", "\t" + kProfile, false, JobLineFault::NoImage},
        {"no profile", kImage + "\t", false, JobLineFault::NoProfile},
        {"a relative image", "a.jpg\t" + kProfile, false, JobLineFault::NotFullPath},
        {"a relative profile", kImage + "\tp.dnp", false, JobLineFault::NotFullPath},
        {"a drive without its backslash", "C:a.jpg\t" + kProfile, false, JobLineFault::NotFullPath},
        {"255 characters", longPath + "y\t" + kProfile, false, JobLineFault::TooLong},
        {"a long profile", kImage + "\t" + longPath + "y", false, JobLineFault::TooLong},
        {"a Polish name", "C:\\\xC5\x81\xC3\xB3\x64\xC5\xBA.jpg\t" + kProfile, false, JobLineFault::NotInCodePage},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        JobListParse p = Parse(r.line + "\r\n");
        EXPECT_EQ(p.fault, JobListFileFault::None);
        ASSERT_EQ(p.jobs.size(), r.taken ? 1u : 0u);
        ASSERT_EQ(p.refused.size(), r.taken ? 0u : 1u);
        if (!r.taken) {
            EXPECT_EQ(p.refused[0].line, 1);
            EXPECT_EQ(p.refused[0].fault, r.fault);
        }
    }
    JobListParse accent = Parse("C:\\Caf\xC3\xA9\\a.jpg\t" + kProfile);
    ASSERT_EQ(accent.jobs.size(), 1u);
    EXPECT_EQ(accent.jobs[0].image, "C:\\Caf\xE9\\a.jpg") << "converted into the code page";
    EXPECT_EQ(accent.jobs[0].profile, kProfile);
}

TEST(JobListFile, LineEndsByteOrderMarkAndEmptyLines)
{
    const std::string second = "D:\\b.tif\tD:\\q.dnp";
    struct Row {
        const char* what;
        std::string text;
    };
    const Row rows[] = {
        {"LF", kLine + "\n" + second + "\n"},
        {"CR LF", kLine + "\r\n" + second + "\r\n"},
        {"no end after the last line", kLine + "\r\n" + second},
        {"a byte order mark", "\xEF\xBB\xBF" + kLine + "\r\n" + second + "\r\n"},
        {"empty and blank lines", "\r\n\n" + kLine + "\r\n   \r\n\t\n\r\n" + second + "\n\n"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        JobListParse p = Parse(r.text);
        EXPECT_EQ(p.fault, JobListFileFault::None);
        EXPECT_TRUE(p.refused.empty());
        ASSERT_EQ(p.jobs.size(), 2u);
        EXPECT_EQ(p.jobs[0].image, kImage);
        EXPECT_EQ(p.jobs[0].profile, kProfile);
        EXPECT_EQ(p.jobs[1].image, "D:\\b.tif");
        EXPECT_EQ(p.jobs[1].profile, "D:\\q.dnp");
    }
    EXPECT_TRUE(Parse("").jobs.empty());
    EXPECT_EQ(Parse("").fault, JobListFileFault::None);
}

TEST(JobListFile, RefusedLinesKeepTheirNumbersAndTheGoodOnesStay)
{
    std::string text = kLine + "\r\n" +         // 1
                       "no tab here\r\n" +      // 2
                       "\r\n" +                 // 3
                       kLine + "\r\n" +         // 4
                       "\ta\r\n" +              // 5
                       kImage + "\trel.dnp\n" + // 6
                       kLine;                   // 7
    JobListParse p = Parse(text);
    EXPECT_EQ(p.jobs.size(), 3u);
    ASSERT_EQ(p.refused.size(), 3u);
    EXPECT_EQ(p.refused[0].line, 2);
    EXPECT_EQ(p.refused[0].fault, JobLineFault::NoTab);
    EXPECT_EQ(p.refused[1].line, 5);
    EXPECT_EQ(p.refused[1].fault, JobLineFault::NoImage);
    EXPECT_EQ(p.refused[2].line, 6);
    EXPECT_EQ(p.refused[2].fault, JobLineFault::NotFullPath);
}

TEST(JobListFile, AFileThatIsNoUtf8TextGivesNoJobAtAll)
{
    struct Row {
        const char* what;
        std::string text;
        JobListFileFault fault;
        long line;
    };
    const Row rows[] = {
        {"UTF-16 LE",
         std::string("\xFF\xFE"
                     "C\0:\0",
                     6),
         JobListFileFault::Utf16, 0},
        {"UTF-16 BE", std::string("\xFE\xFF\0C\0:", 6), JobListFileFault::Utf16, 0},
        {"a NUL on line 2", kLine + "\r\n" + std::string("C:\\a\0b\tC:\\p", 11), JobListFileFault::NulBytes, 2},
        {"Latin-1 on line 3", kLine + "\n" + kLine + "\nC:\\Caf\xE9\tC:\\p", JobListFileFault::NotUtf8, 3},
        {"an overlong slash",
         "C:\\a\xC0\xAF"
         "b\tC:\\p",
         JobListFileFault::NotUtf8, 1},
        {"a surrogate", "C:\\\xED\xA0\x80\tC:\\p", JobListFileFault::NotUtf8, 1},
        {"above U+10FFFF", "C:\\\xF4\x90\x80\x80\tC:\\p", JobListFileFault::NotUtf8, 1},
        {"a sequence cut at the end", kLine + "\n" + "C:\\\xE2\x82", JobListFileFault::NotUtf8, 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        JobListParse p = Parse(r.text);
        EXPECT_EQ(p.fault, r.fault);
        EXPECT_EQ(p.faultLine, r.line);
        EXPECT_TRUE(p.jobs.empty());
        EXPECT_TRUE(p.refused.empty());
    }
    std::string large(kMaxJobListBytes + 1, 'x');
    EXPECT_EQ(Parse(large).fault, JobListFileFault::TooLarge);
}

TEST(JobListFile, SavedListsReadBackAsTheSameJobs)
{
    std::vector<JobListEntry> jobs = {
        {kImage, kProfile}, {"C:\\Caf\xE9\\b.bmp", "\\\\server\\p.dnf"}, {"D:\\x y\\c.tif", kProfile}};
    std::string text;
    ASSERT_TRUE(FormatJobList(jobs, modelcp::ToUtf8, nullptr, &text));
    EXPECT_EQ(text, kLine + "\r\n" + "C:\\Caf\xC3\xA9\\b.bmp\t\\\\server\\p.dnf\r\n" + "D:\\x y\\c.tif\t" + kProfile +
                        "\r\n");
    JobListParse back = Parse(text);
    ASSERT_EQ(back.jobs.size(), jobs.size());
    for (std::size_t i = 0; i < jobs.size(); ++i) {
        EXPECT_EQ(back.jobs[i].image, jobs[i].image);
        EXPECT_EQ(back.jobs[i].profile, jobs[i].profile);
    }
    ASSERT_TRUE(FormatJobList({}, modelcp::ToUtf8, nullptr, &text));
    EXPECT_EQ(text, "");
}

TEST(JobListFile, TheWarningNamesTheFirstLinesAndCountsTheRest)
{
    JobListParse p;
    p.jobs.resize(12);
    p.refused = {{2, JobLineFault::NoTab}};
    char text[1000];
    FormatRefusedLines(text, sizeof text, p);
    EXPECT_STREQ(text,
                 "1 line of the job list was not added (12 jobs were added):\n"
                 "line 2: no TAB between the image and the noise profile.");
    p.jobs.resize(1);
    p.refused = {{2, JobLineFault::NoTab},         {3, JobLineFault::ExtraTab},    {5, JobLineFault::NoImage},
                 {8, JobLineFault::NoProfile},     {9, JobLineFault::NotFullPath}, {10, JobLineFault::TooLong},
                 {11, JobLineFault::NotInCodePage}};
    FormatRefusedLines(text, sizeof text, p);
    EXPECT_STREQ(text,
                 "7 lines of the job list were not added (1 job was added):\n"
                 "line 2: no TAB between the image and the noise profile.\n"
                 "line 3: more than one TAB.\n"
                 "line 5: no image path before the TAB.\n"
                 "line 8: no noise profile path after the TAB.\n"
                 "line 9: a path that is not a full path (such as C:\\Photos\\a.jpg).\n"
                 "... and 2 more lines.");
    // A small buffer is cut, never overrun.
    char small[24];
    std::memset(small, 'z', sizeof small);
    FormatRefusedLines(small, 20, p);
    EXPECT_EQ(std::strlen(small), 19u);
    EXPECT_EQ(small[20], 'z');
}

TEST(JobListFile, WhyAWholeFileIsRefused)
{
    char text[200];
    struct Row {
        JobListFileFault fault;
        long line;
        const char* text;
    };
    const Row rows[] = {
        {JobListFileFault::TooLarge, 0, "it is larger than 32 MB."},
        {JobListFileFault::Utf16, 0, "it is UTF-16 text. Save it as UTF-8 and open it again."},
        {JobListFileFault::NulBytes, 4, "it is not a text file (a zero byte on line 4)."},
        {JobListFileFault::NotUtf8, 3, "it is not UTF-8 text (line 3). Save it as UTF-8 and open it again."},
        {JobListFileFault::None, 0, ""},
    };
    for (const Row& r : rows) {
        FormatFileFault(text, sizeof text, r.fault, r.line);
        EXPECT_STREQ(text, r.text);
    }
}

TEST(JobListFile, TheUnfinishedJobsGoBesideTheExecutable)
{
    struct Row {
        const char* module;
        const char* path; // nullptr: does not fit
        std::size_t size;
    };
    const Row rows[] = {
        {"C:\\Tools\\tolvane.exe", "C:\\Tools\\tolvane_unfinished.txt", 64},
        {"C:\\Tools\\batch", "C:\\Tools\\batch_unfinished.txt", 64},
        {"C:\\My.Tools\\batch", "C:\\My.Tools\\batch_unfinished.txt", 64},
        {"C:\\a\\b.c.exe", "C:\\a\\b.c_unfinished.txt", 64},
        {"C:\\a\\b.", "C:\\a\\b_unfinished.txt", 64},
        {"C:\\T\\t.exe", "C:\\T\\t_unfinished.txt", 22},
        {"C:\\T\\t.exe", nullptr, 21},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.module);
        char out[64];
        std::memset(out, 'z', sizeof out);
        bool fits = BuildUnfinishedPath(r.module, out, r.size);
        EXPECT_EQ(fits, r.path != nullptr);
        EXPECT_STREQ(out, r.path != nullptr ? r.path : "");
        if (r.size < sizeof out) {
            EXPECT_EQ(out[r.size], 'z');
        }
    }
}

// The system's conversions under the code page Wine gives by default (1252).
TEST(JobListFile, TheSystemConvertsExactlyOrNotAtAll)
{
    char out[600];
    EXPECT_EQ(JobPathFromUtf8("C:\\Caf\xC3\xA9.jpg", 12, out, sizeof out, nullptr), 11);
    EXPECT_STREQ(out, "C:\\Caf\xE9.jpg");
    EXPECT_EQ(JobPathFromUtf8("C:\\\xC5\x81\xC3\xB3\x64\xC5\xBA.jpg", 14, out, sizeof out, nullptr), -1);
    std::string longest = "C:\\" + std::string(251, 'x');
    EXPECT_EQ(JobPathFromUtf8(longest.data(), longest.size(), out, sizeof out, nullptr), 254);
    std::string over = longest + "\xC3\xA9";
    EXPECT_EQ(JobPathFromUtf8(over.data(), over.size(), out, sizeof out, nullptr), -2);
    std::string tooFar(2000, 'x');
    EXPECT_EQ(JobPathFromUtf8(tooFar.data(), tooFar.size(), out, sizeof out, nullptr), -2);
    std::string utf8;
    EXPECT_TRUE(JobPathToUtf8("C:\\Caf\xE9.jpg", 11, &utf8, nullptr));
    EXPECT_EQ(utf8, "C:\\Caf\xC3\xA9.jpg");
}

} // namespace
