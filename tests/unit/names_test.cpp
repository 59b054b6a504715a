// Names as Tolvane takes them from the system: the exact conversion into the
// code page, the image filter, the order of a folder's names, the profile
// dialog's start folder, and a UTF-16 dialog result converted as a whole.
#include "jobs/jobs.h"
#include "jobs/names.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

struct ConvertCase {
    const char* name;
    std::wstring path;
    unsigned codePage;
    long result;       // bytes, or -1 / -2
    std::string bytes; // when converted
};

TEST(ConvertExactly, OnlyNamesTheCodePageHoldsWholeAreConverted)
{
    const ConvertCase cases[] = {
        {"plain", L"C:\\a.jpg", 1252, 8, "C:\\a.jpg"},
        {"a character of 1252", L"C:\\caf\u00e9.jpg", 1252, 11, "C:\\caf\xe9.jpg"},
        {"a Polish L with stroke has only a look-alike in 1252", L"C:\\\u0141\u00f3d\u017a.jpg", 1252, -1, ""},
        {"the same in 1250 is held", L"C:\\\u0141\u00f3d\u017a.jpg", 1250, 11, "C:\\\xa3\xf3\x64\x9f.jpg"},
        {"a full-width letter best-fits to A in 1252", L"\uff21.jpg", 1252, -1, ""},
        {"katakana in 932 takes two bytes", L"C:\\\u30bd", 932, 5, "C:\\\x83\x5c"},
        {"an unpaired surrogate in UTF-8", L"C:\\\xd800.jpg", 65001, -1, ""},
        {"a character outside the BMP in UTF-8", L"C:\\\U0001F600", 65001, 7, "C:\\\xf0\x9f\x98\x80"},
    };
    for (const auto& c : cases) {
        char out[64] = "unchanged";
        unsigned cp = c.codePage;
        long n = ConvertExactly(c.path.c_str(), c.path.size(), out, sizeof out, &cp);
        EXPECT_EQ(n, c.result) << c.name;
        if (c.result >= 0) {
            EXPECT_EQ(std::string(out), c.bytes) << c.name;
        }
    }
    // Room for the bytes but not the terminator.
    char small[8];
    unsigned cp = 1252;
    EXPECT_EQ(ConvertExactly(L"C:\\a.jpg", 8, small, sizeof small, &cp), -2);
}

TEST(ToJobPath, LimitsAndTheSystemsCodePage)
{
    ASSERT_EQ(GetACP(), 1252u) << "these cases are written for code page 1252";
    char out[kJoinedPathSize];
    std::wstring fits = L"C:\\" + std::wstring(247, L'n') + L".jpg";
    ASSERT_EQ(fits.size(), 254u);
    EXPECT_EQ(ToJobPath(fits.c_str(), out, sizeof out), PathVerdict::Taken);
    EXPECT_EQ(std::string(out).size(), 254u);
    EXPECT_EQ(ToJobPath((fits + L"x").c_str(), out, sizeof out), PathVerdict::TooLong);
    EXPECT_EQ(ToJobPath(L"C:\\\u0141.jpg", out, sizeof out), PathVerdict::NotInCodePage);
    EXPECT_EQ(ToJobPath((L"C:\\\u0141" + std::wstring(300, L'n')).c_str(), out, sizeof out),
              PathVerdict::NotInCodePage);
}

TEST(IsImageFileName, TheImageDialogsFilter)
{
    const std::set<std::wstring> images = {L"a.jpg", L"B.JPEG", L"c.Bmp", L"d.tif", L"e.TIFF", L"x y.jpg.jpg"};
    const std::vector<std::wstring> others = {L"a.jpg.txt", L".jpg", L"jpg", L"a.dnp", L"a.tiff2", L"a.jp", L"a"};
    for (const auto& n : images)
        EXPECT_TRUE(IsImageFileName(n)) << std::string(n.begin(), n.end());
    for (const auto& n : others)
        EXPECT_FALSE(IsImageFileName(n)) << std::string(n.begin(), n.end());
}

TEST(SortByName, WithoutRegardToCase)
{
    std::vector<std::wstring> names = {L"b.jpg", L"DSC_0010.JPG", L"a.jpg", L"dsc_0002.jpg", L"A.jpg", L"c.bmp"};
    SortByName(names);
    EXPECT_EQ(names,
              (std::vector<std::wstring>{L"A.jpg", L"a.jpg", L"b.jpg", L"c.bmp", L"dsc_0002.jpg", L"DSC_0010.JPG"}));
}

std::set<std::string> ExistingFolders;
bool Exists(const char* folder)
{
    return ExistingFolders.count(folder) > 0;
}

TEST(ProfileDialogStart, TheDefaultFolderThenThe32BitOne)
{
    const std::string remembered = "D:\\profiles\\mine.dnp";
    struct {
        const char* name;
        std::set<std::string> existing;
        std::string given, expected;
    } const cases[] = {
        {"default exists", {kDefaultProfileDir, kProfileDirX86}, kDefaultProfileDir, kDefaultProfileDir},
        {"only the 32-bit one exists", {kProfileDirX86}, kDefaultProfileDir, kProfileDirX86},
        {"neither exists", {}, kDefaultProfileDir, kDefaultProfileDir},
        {"a remembered profile stays", {kProfileDirX86}, remembered, remembered},
    };
    for (const auto& c : cases) {
        ExistingFolders = c.existing;
        EXPECT_EQ(std::string(ProfileDialogStart(c.given.c_str(), Exists)), c.expected) << c.name;
    }
}

// A UTF-16 dialog result as the dialog leaves it in a zero-filled buffer.
std::vector<wchar_t> WideResult(const std::vector<std::wstring>& strings, size_t size = 256)
{
    std::vector<wchar_t> buf(size, L'\0');
    size_t at = 0;
    for (const auto& s : strings) {
        std::copy(s.begin(), s.end(), buf.begin() + static_cast<long>(at));
        at += s.size() + 1;
    }
    return buf;
}

// The strings of an ANSI result up to `written` bytes.
std::vector<std::string> Strings(const char* out, size_t written)
{
    std::vector<std::string> strings;
    for (size_t at = 0; at < written;) {
        std::string s(out + at);
        strings.push_back(s);
        at += s.size() + 1;
    }
    return strings;
}

TEST(ConvertSelection, NamesTheCodePageCannotHoldAreLeftOutAndCounted)
{
    struct {
        const char* name;
        std::vector<std::wstring> result;
        std::vector<std::string> expected; // the strings written, closing empty one included
        int refused;
    } const cases[] = {
        {"single path", {L"C:\\p\\a.jpg"}, {"C:\\p\\a.jpg", ""}, 0},
        {"single path refused", {L"C:\\p\\\u0141.jpg"}, {"", ""}, 1},
        {"one name of three refused",
         {L"C:\\p", L"a.jpg", L"\u0141.jpg", L"b.jpg"},
         {"C:\\p", "a.jpg", "b.jpg", ""},
         1},
        {"a refused folder takes its names", {L"C:\\\u0141", L"a.jpg", L"b.jpg"}, {"", ""}, 2},
        {"every name refused: no single path is left", {L"C:\\p", L"\u0141.jpg"}, {"", ""}, 1},
    };
    unsigned cp = 1252;
    for (const auto& c : cases) {
        auto wide = WideResult(c.result);
        char out[1024];
        int refused = -1;
        size_t written = ConvertSelection(wide.data(), wide.size() - 1, ConvertExactly, &cp, out, sizeof out, &refused);
        EXPECT_EQ(Strings(out, written), c.expected) << c.name;
        EXPECT_EQ(refused, c.refused) << c.name;
        EXPECT_TRUE(SelectionIsComplete(out, written)) << c.name;
    }

    // A result the dialog cut at its capacity stays incomplete.
    std::vector<wchar_t> cut = {L'C', L':', L'\0', L'a', L'\0', L'b', L'b'};
    char out[64];
    size_t written = ConvertSelection(cut.data(), cut.size(), ConvertExactly, &cp, out, sizeof out, nullptr);
    EXPECT_FALSE(SelectionIsComplete(out, written));
    // An output too small for the whole result is incomplete as well.
    auto wide = WideResult({L"C:\\p", L"a.jpg", L"b.jpg"});
    written = ConvertSelection(wide.data(), wide.size(), ConvertExactly, &cp, out, 12, nullptr);
    EXPECT_FALSE(SelectionIsComplete(out, written));
}

} // namespace
