// Fuzzes the parsing of an open dialog's result: SplitSelection,
// RememberStartLocation and ConvertSelection (the UTF-16 dialog's result
// made ANSI), over buffers that may hold anything, with or without their
// terminators.
//
// Input: a flag byte, a start-location size byte, a byte that shortens the
// bound given to RememberStartLocation, then the dialog result itself.
//   flags bit 0  expand run-length escapes in the result (long paths)
//   flags bit 1  place the result at the start of a zero-filled 8192-byte
//                buffer, as the dialog leaves it, instead of an exact one
//   flags bit 2  pass no skipped counter
//   flags bit 3  start-location buffer of 256 + size byte bytes
//   flags bit 4  give RememberStartLocation a bound shorter than the buffer
//   flags bit 5  read the folder in code page 932 (double-byte) instead of 1252
//   flags bit 6  give ConvertSelection an output of the shorten byte's size
//                instead of 8192 bytes
// For ConvertSelection each byte of the result is one UTF-16 unit: below
// 0x80 itself, 0x80-0xBF a character the model converter writes as two
// bytes, 0xC0-0xFF one it refuses.
#include "fuzz_support.h"
#include "jobs/dialog_result.h"

#include <algorithm>
#include <string>
#include <vector>

// The system's character functions are not here natively: this stands in for
// the product's CharPrevExA-based test, with the lead bytes of code page 932
// and single bytes in every other code page.
bool IsLeadByte932(unsigned char c)
{
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

bool FolderEndsWithSeparator(const char* folder, std::size_t len, unsigned codePage)
{
    if (folder == nullptr || len == 0)
        return false;
    std::size_t last = 0;
    for (std::size_t i = 0; i < len;) {
        last = i;
        i += (codePage == 932 && IsLeadByte932(static_cast<unsigned char>(folder[i])) && i + 1 < len) ? 2 : 1;
    }
    return last == len - 1 && folder[last] == '\\';
}

namespace {

constexpr std::size_t kDialogBufferSize = 8192;
unsigned CodePage = 1252;

// The model's own reading of the folder's last character: the characters,
// split from the front, and whether the last one is a lone "\".
bool ModelEndsWithSeparator(const std::string& folder)
{
    std::vector<std::string> chars;
    for (std::size_t i = 0; i < folder.size();) {
        std::size_t w =
            (CodePage == 932 && IsLeadByte932(static_cast<unsigned char>(folder[i])) && i + 1 < folder.size()) ? 2 : 1;
        chars.push_back(folder.substr(i, w));
        i += w;
    }
    return !chars.empty() && chars.back() == "\\";
}

struct Received {
    std::vector<std::string> paths;
};

void Collect(const char* path, void* context)
{
    auto* got = static_cast<Received*>(context);
    FUZZ_CHECK(path != nullptr, "SplitSelection passed a null path");
    // strlen runs over the path as given: ASan reports a missing terminator.
    got->paths.emplace_back(path, std::strlen(path));
}

struct Expected {
    std::vector<std::string> paths;
    int skipped = 0;
    bool joined = false; // a folder followed by names
};

// What a dialog result means, written with strings rather than offsets.
Expected Reference(const char* b, std::size_t n)
{
    Expected e;
    // Every terminated string up to the first empty one after the folder: a
    // dialog buffer is mostly zeros, each of them an empty string.
    std::vector<std::string> strings;
    std::size_t pos = 0;
    while (pos < n) {
        std::size_t end = pos;
        while (end < n && b[end] != '\0')
            ++end;
        if (end == n)
            break; // runs off the buffer: not a string of the result
        strings.emplace_back(b + pos, end - pos);
        if (strings.size() > 1 && strings.back().empty())
            break;
        pos = end + 1;
    }
    if (strings.empty())
        return e;
    const std::string& folder = strings[0];
    // The first string stands alone when the buffer ends after it or the byte
    // after it is zero; else names follow, even if the first of them runs off
    // the buffer.
    std::size_t after = folder.size() + 1;
    bool nameFollows = after < n && b[after] != '\0';
    if (!nameFollows) {
        if (folder.size() > kMaxJobPath)
            ++e.skipped;
        else if (!folder.empty())
            e.paths.push_back(folder);
        return e;
    }
    e.joined = true;
    std::string prefix = folder;
    if (!ModelEndsWithSeparator(folder))
        prefix += '\\';
    for (std::size_t i = 1; i < strings.size() && !strings[i].empty(); ++i) {
        std::string joined = prefix + strings[i];
        if (joined.size() <= kMaxJobPath)
            e.paths.push_back(joined);
        else
            ++e.skipped;
    }
    return e;
}

void FuzzSplit(const GuardedBuffer& buffer, bool countSkipped)
{
    std::vector<char> before = buffer.Snapshot();

    Received got;
    int skipped = -7;
    int n = SplitSelection(buffer.data(), buffer.size(), CodePage, Collect, &got, countSkipped ? &skipped : nullptr);

    FUZZ_CHECK(buffer.GuardIntact(), "SplitSelection wrote past its buffer");
    FUZZ_CHECK(buffer.Snapshot() == before, "SplitSelection changed its input");
    FUZZ_CHECK(n >= 0 && static_cast<std::size_t>(n) == got.paths.size(),
               "SplitSelection's count differs from the paths it emitted");

    Expected want = Reference(buffer.data(), buffer.size());
    if (countSkipped)
        FUZZ_CHECK(skipped == want.skipped, "SplitSelection's skipped count is wrong");
    FUZZ_CHECK(got.paths.size() == want.paths.size(), "SplitSelection emitted a wrong number of paths");
    for (std::size_t i = 0; i < got.paths.size(); ++i)
        FUZZ_CHECK(got.paths[i] == want.paths[i], "SplitSelection emitted a wrong path");

    // Completeness is read within the buffer alone. A complete result is one
    // whose every name SplitSelection can see whole: it then skips nothing
    // for running off the buffer.
    bool complete = SelectionIsComplete(buffer.data(), buffer.size());
    FUZZ_CHECK(buffer.GuardIntact(), "SelectionIsComplete wrote past its buffer");
    if (complete && buffer.size() > 0 && buffer.data()[0] != '\0') {
        std::size_t names = 0;
        std::size_t pos = std::strlen(buffer.data()) + 1;
        while (pos < buffer.size() && buffer.data()[pos] != '\0') {
            pos += std::strlen(buffer.data() + pos) + 1;
            ++names;
        }
        std::size_t expected = names == 0 ? 1 : names;
        FUZZ_CHECK(got.paths.size() + static_cast<std::size_t>(want.skipped) == expected,
                   "a complete result did not give one path per name");
    }

    // A joined path always fits the buffer it is built in, and has the folder
    // and a separator in front; a single path is the first string.
    const void* folderEnd = buffer.size() > 0 ? std::memchr(buffer.data(), '\0', buffer.size()) : nullptr;
    FUZZ_CHECK(folderEnd != nullptr || got.paths.empty(), "SplitSelection emitted from an unterminated buffer");
    std::string folder = folderEnd ? std::string(buffer.data()) : std::string();
    for (const auto& p : got.paths) {
        if (want.joined) {
            FUZZ_CHECK(p.size() <= kMaxJobPath, "a joined path is longer than a job's path may be");
            FUZZ_CHECK(p.compare(0, folder.size(), folder) == 0 && p.size() > folder.size() &&
                           (p[folder.size()] == '\\' || (!folder.empty() && folder.back() == '\\')),
                       "a joined path does not start with the folder and a separator");
        } else {
            FUZZ_CHECK(p == folder && !p.empty() && p.size() <= kMaxJobPath, "a single path is not the first string");
        }
    }
}

void FuzzRemember(const GuardedBuffer& result, std::size_t destSize, std::size_t shorten)
{
    // The source is exactly its bound long, so ASan sees any read past it.
    std::size_t firstMax = result.size() - (shorten < result.size() ? shorten : result.size());
    GuardedBuffer first(firstMax, 0);
    first.Fill(result.data(), firstMax);

    // The destination holds a previous location, then filler.
    GuardedBuffer dest(destSize, 0x5A);
    static const char kPrevious[] = "C:\\previous";
    dest.Fill(kPrevious, destSize < sizeof kPrevious ? destSize : sizeof kPrevious);
    if (destSize > 0)
        dest.data()[destSize - 1] = '\0';
    std::vector<char> before = dest.Snapshot();

    bool ok = RememberStartLocation(dest.data(), dest.size(), first.data(), firstMax);

    FUZZ_CHECK(dest.GuardIntact(), "RememberStartLocation wrote past its destination");
    FUZZ_CHECK(first.GuardIntact(), "RememberStartLocation wrote past its source");
    const void* end = firstMax > 0 ? std::memchr(first.data(), '\0', firstMax) : nullptr;
    std::size_t len = end ? static_cast<std::size_t>(static_cast<const char*>(end) - first.data()) : 0;
    bool fits = end != nullptr && len < destSize;
    FUZZ_CHECK(ok == fits, "RememberStartLocation accepted or refused wrongly");
    std::vector<char> after = dest.Snapshot();
    if (!ok) {
        FUZZ_CHECK(after == before, "RememberStartLocation changed the destination on failure");
        return;
    }
    FUZZ_CHECK(std::memcmp(dest.data(), first.data(), len + 1) == 0, "RememberStartLocation copied wrongly");
    FUZZ_CHECK(std::equal(after.begin() + static_cast<long>(len + 1), after.end(),
                          before.begin() + static_cast<long>(len + 1)),
               "RememberStartLocation wrote past the copied string");
}

// The model converter: ASCII as itself, units 0x100-0x13F as the two bytes
// 0x81 and the unit's low bits over 0x40, anything else refused; -2 when the
// string and its terminator do not fit.
long ModelConvert(const wchar_t* s, std::size_t len, char* out, std::size_t outSize, void*)
{
    std::string bytes;
    for (std::size_t i = 0; i < len; ++i) {
        unsigned u = static_cast<unsigned>(s[i]);
        if (u < 0x80)
            bytes += static_cast<char>(u);
        else if (u >= 0x100 && u < 0x140)
            bytes += {'\x81', static_cast<char>(0x40 | (u & 0x3F))};
        else
            return -1;
    }
    if (bytes.size() + 1 > outSize)
        return -2;
    std::memcpy(out, bytes.c_str(), bytes.size() + 1);
    return static_cast<long>(bytes.size());
}

void FuzzConvert(const std::vector<char>& result, std::size_t outSize)
{
    // Exactly the units given, so that ASan sees any read past them.
    std::vector<wchar_t> wide(result.size());
    for (std::size_t i = 0; i < result.size(); ++i) {
        unsigned b = static_cast<unsigned char>(result[i]);
        wide[i] = static_cast<wchar_t>(b < 0x80 ? b : b < 0xC0 ? 0x100 + (b - 0x80) : 0x4E00 + b);
    }
    const std::vector<wchar_t> before = wide;
    GuardedBuffer out(outSize, 0x5A);
    int refused = -7;
    std::size_t n = ConvertSelection(wide.empty() ? nullptr : wide.data(), wide.size(), ModelConvert, nullptr,
                                     out.data(), out.size(), &refused);

    FUZZ_CHECK(out.GuardIntact(), "ConvertSelection wrote past its output");
    FUZZ_CHECK(wide == before, "ConvertSelection changed its input");
    FUZZ_CHECK(n <= outSize, "ConvertSelection reports more bytes than its output holds");
    FUZZ_CHECK(refused >= 0, "ConvertSelection's refused count is negative or unset");
    bool anyRefusable = false;
    for (wchar_t w : wide)
        anyRefusable = anyRefusable || static_cast<unsigned>(w) >= 0x4E00;
    FUZZ_CHECK(anyRefusable || refused == 0, "ConvertSelection refused a name that converts");
    // Only what the converter wrote: ASCII, the lead byte 0x81 and its trail
    // bytes 0x40-0x7F.
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(out.data()[i]);
        FUZZ_CHECK(c < 0x80 || c == 0x81, "ConvertSelection wrote a byte no converter gave");
    }
    // What it wrote reads as a dialog result, within exactly those bytes.
    GuardedBuffer converted(n, 0);
    converted.Fill(out.data(), n);
    SelectionIsComplete(converted.data(), converted.size());
    Received got;
    SplitSelection(converted.data(), converted.size(), 932, Collect, &got, nullptr);
    FUZZ_CHECK(converted.GuardIntact(), "reading the converted result wrote past it");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    std::uint8_t flags = in.Byte();
    CodePage = (flags & 32) ? 932 : 1252;
    std::size_t destSize = in.Byte() + ((flags & 8) ? 256u : 0u);
    std::uint8_t shortenByte = in.Byte();
    std::size_t shorten = (flags & 16) ? shortenByte : 0;
    std::vector<char> result = Body(in, (flags & 1) != 0, kDialogBufferSize);

    // The dialog's buffer: exactly the result, or the result at the start of
    // a zero-filled buffer of the size the program uses.
    GuardedBuffer buffer((flags & 2) ? kDialogBufferSize : result.size(), 0);
    buffer.Fill(result.data(), result.size());

    FuzzSplit(buffer, (flags & 4) == 0);
    FuzzRemember(buffer, destSize, shorten);
    FuzzConvert(result, (flags & 64) ? shortenByte : kDialogBufferSize);
    return 0;
}
