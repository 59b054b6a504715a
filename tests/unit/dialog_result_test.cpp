// Splitting an open dialog's result into full image paths.
#include "jobs/jobs.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

void Collect(const char* path, void* context)
{
    static_cast<std::vector<std::string>*>(context)->push_back(path);
}

// A dialog result as the dialog leaves it in a zero-filled buffer.
std::vector<char> Result(const std::vector<std::string>& strings, size_t size = 8192)
{
    std::vector<char> buf(size, '\0');
    size_t at = 0;
    for (const auto& s : strings) {
        std::copy(s.begin(), s.end(), buf.begin() + static_cast<long>(at));
        at += s.size() + 1;
    }
    return buf;
}

struct SplitCase {
    const char* name;
    std::vector<std::string> result;
    std::vector<std::string> expected;
    unsigned codePage = 1252;
};

// "ソ" in code page 932 is 0x83 0x5C: its second byte is the byte of "\".
const std::string kSo = "\x83\x5C";

TEST(SplitSelection, SingleMultipleAndRoot)
{
    const SplitCase cases[] = {
        {"single file", {"C:\\photos\\a.jpg"}, {"C:\\photos\\a.jpg"}},
        {"three in one folder, dialog order",
         {"C:\\photos", "c.jpg", "a one.bmp", "b.tif"},
         {"C:\\photos\\c.jpg", "C:\\photos\\a one.bmp", "C:\\photos\\b.tif"}},
        {"drive root has one separator", {"C:\\", "a.jpg", "b.jpg"}, {"C:\\a.jpg", "C:\\b.jpg"}},
        {"folder already ending with a separator", {"D:\\x\\", "n.bmp"}, {"D:\\x\\n.bmp"}},
        {"same name twice", {"C:\\p", "a.jpg", "a.jpg"}, {"C:\\p\\a.jpg", "C:\\p\\a.jpg"}},
        {"empty result", {}, {}},
        {"932: a folder ending in a character whose second byte is 0x5C gets its separator",
         {"C:\\" + kSo, "a.jpg", "b.jpg"},
         {"C:\\" + kSo + "\\a.jpg", "C:\\" + kSo + "\\b.jpg"},
         932},
        {"932: a real separator after such a character stays single",
         {"C:\\" + kSo + "\\", "a.jpg"},
         {"C:\\" + kSo + "\\a.jpg"},
         932},
        {"932: a drive's root", {"C:\\", "a.jpg"}, {"C:\\a.jpg"}, 932},
        {"1252: the same bytes are two characters, the last a separator",
         {"C:\\" + kSo, "a.jpg"},
         {"C:\\" + kSo + "a.jpg"},
         1252},
        {"1252: a drive's root", {"C:\\", "a.jpg"}, {"C:\\a.jpg"}, 1252},
        {"1252: a plain folder", {"C:\\photos", "a.jpg"}, {"C:\\photos\\a.jpg"}, 1252},
    };
    for (const auto& c : cases) {
        auto buf = Result(c.result);
        std::vector<std::string> got;
        int skipped = -1;
        int n = SplitSelection(buf.data(), buf.size(), c.codePage, Collect, &got, &skipped);
        EXPECT_EQ(got, c.expected) << c.name;
        EXPECT_EQ(n, static_cast<int>(c.expected.size())) << c.name;
        EXPECT_EQ(skipped, 0) << c.name;
    }
}

TEST(SplitSelection, PathsLongerThan254CharactersAreCountedNotEmitted)
{
    // Folder + "\" + name of exactly 254 characters is a job; 255 is not.
    std::string folder = "C:\\" + std::string(200, 'f');
    std::string fitting(254 - folder.size() - 1, 'n');
    std::string tooLong(255 - folder.size() - 1, 'm');
    auto buf = Result({folder, fitting, tooLong, "ok.jpg", std::string(300, 'x')});
    std::vector<std::string> got;
    int skipped = 0;
    EXPECT_EQ(SplitSelection(buf.data(), buf.size(), 1252, Collect, &got, &skipped), 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].size(), 254u);
    EXPECT_EQ(got[1], folder + "\\ok.jpg");
    EXPECT_EQ(skipped, 2);

    // A single path: 254 characters is a job, 255 and 259 are not.
    for (size_t len : {254u, 255u, 259u}) {
        std::string path = "C:\\" + std::string(len - 7, 'p') + ".bmp";
        auto single = Result({path});
        got.clear();
        skipped = 0;
        int n = SplitSelection(single.data(), single.size(), 1252, Collect, &got, &skipped);
        EXPECT_EQ(n, len <= 254 ? 1 : 0) << len;
        EXPECT_EQ(skipped, len <= 254 ? 0 : 1) << len;
    }
}

TEST(SplitSelection, StaysInsideAnUnterminatedBuffer)
{
    // No terminator at all: nothing is read past the buffer, nothing emitted.
    std::vector<char> full(64, 'x');
    std::vector<std::string> got;
    EXPECT_EQ(SplitSelection(full.data(), full.size(), 1252, Collect, &got, nullptr), 0);

    // A last name cut by the end of the buffer is not taken.
    std::vector<char> cut = {'C', ':', '\\', 'd', '\0', 'a', '\0', 'b', 'b'};
    got.clear();
    EXPECT_EQ(SplitSelection(cut.data(), cut.size(), 1252, Collect, &got, nullptr), 1);
    EXPECT_EQ(got, std::vector<std::string>{"C:\\d\\a"});

    // A single path ending exactly at the buffer's last byte.
    std::vector<char> edge = {'C', ':', '\\', 'z', '\0'};
    got.clear();
    EXPECT_EQ(SplitSelection(edge.data(), edge.size(), 1252, Collect, &got, nullptr), 1);
}

struct CompleteCase {
    const char* name;
    std::vector<char> bytes;
    size_t written;
    bool complete;
};

TEST(SelectionIsComplete, CutResultsAreNotComplete)
{
    auto bytes = [](const std::string& s) { return std::vector<char>(s.begin(), s.end()); };
    const CompleteCase cases[] = {
        {"single path", bytes(std::string("C:\\a.jpg\0\0", 10)), 10, true},
        {"single path filling the capacity", bytes(std::string("C:\\a.jpg\0", 9)), 9, true},
        {"folder and names closed in time", bytes(std::string("C:\\d\0a\0b\0\0", 10)), 10, true},
        {"cut inside the last name", bytes(std::string("C:\\d\0a\0bc", 9)), 8, false},
        {"cut just after a name: no room for the closing empty string", bytes(std::string("C:\\d\0a\0b\0\0", 10)), 9,
         false},
        {"first string not terminated", bytes(std::string("C:\\dddd", 7)), 7, false},
        {"nothing written", bytes(std::string("\0", 1)), 0, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SelectionIsComplete(c.bytes.data(), c.written), c.complete) << c.name;
}

TEST(RememberStartLocation, KeepsThePreviousLocationWhenTooLong)
{
    char dir[256] = "C:\\before";
    std::string p255(255, 'a');
    EXPECT_TRUE(RememberStartLocation(dir, sizeof dir, p255.c_str(), 8192));
    EXPECT_EQ(std::string(dir), p255);

    for (size_t len : {256u, 257u, 259u, 4000u}) {
        std::strcpy(dir, "C:\\before");
        std::string p(len, 'b');
        EXPECT_FALSE(RememberStartLocation(dir, sizeof dir, p.c_str(), 8192)) << len;
        EXPECT_STREQ(dir, "C:\\before") << len;
    }
}

} // namespace
