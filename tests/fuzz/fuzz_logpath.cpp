// Fuzzes the diagnostics' text helpers: BuildLogPath over any module path
// and output size, and FormatText's cutting over any text and buffer size.
//
// Input: flags, an output size (uint16) for BuildLogPath, a size byte for
// FormatText, then the module path (also the text FormatText formats).
//   flags bit 0     expand run-length escapes in the path (long paths)
//   flags bit 1     no module path at all (null pointer)
//   flags bits 2-3  FormatText's format: "%s", integers, h:mm:ss, "%.*s"
//   flags bit 4     FormatText's size is 8 * size byte rather than size byte
#include "diag/logpath.h"
#include "diag/text.h"
#include "fuzz_support.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

const char kSuffix[] = "_log.txt";

void FuzzLogPath(const char* modulePath, std::size_t outSize)
{
    GuardedBuffer out(outSize, 0x77);
    std::vector<char> before = out.Snapshot();

    bool ok = BuildLogPath(modulePath, out.data(), out.size());

    FUZZ_CHECK(out.GuardIntact(), "BuildLogPath wrote past its output");
    if (outSize == 0) {
        FUZZ_CHECK(!ok, "BuildLogPath succeeded with no room");
        return;
    }
    FUZZ_CHECK(out.Terminated(), "BuildLogPath left its output unterminated");
    std::string result(out.data());
    if (!ok) {
        FUZZ_CHECK(result.empty(), "BuildLogPath failed but left a path");
        std::vector<char> after = out.Snapshot();
        FUZZ_CHECK(std::equal(after.begin() + 1, after.end(), before.begin() + 1),
                   "BuildLogPath failed but wrote more than a terminator");
    }
    if (modulePath == nullptr) {
        FUZZ_CHECK(!ok, "BuildLogPath succeeded without a module path");
        return;
    }

    // Everything from the last "." (anywhere in the path) gives way to the suffix.
    std::string path(modulePath);
    std::size_t dot = path.rfind('.');
    std::string want = path.substr(0, dot == std::string::npos ? path.size() : dot) + kSuffix;
    bool fits = want.size() < outSize;
    FUZZ_CHECK(ok == fits, "BuildLogPath accepted or refused wrongly");
    if (!ok)
        return;
    FUZZ_CHECK(EndsWith(result, kSuffix), "BuildLogPath's path does not end with _log.txt");
    FUZZ_CHECK(result == want, "BuildLogPath built the wrong path");
    std::vector<char> after = out.Snapshot();
    FUZZ_CHECK(std::equal(after.begin() + static_cast<long>(want.size() + 1), after.end(),
                          before.begin() + static_cast<long>(want.size() + 1)),
               "BuildLogPath wrote past the path's terminator");
}

// Formats the same arguments with FormatText into size bytes and with the C
// library into ample room; the first must be the start of the second.
template <typename... Args>
void CompareFormat(std::size_t size, const char* format, Args... args)
{
    int whole = std::snprintf(nullptr, 0, format, args...);
    FUZZ_CHECK(whole >= 0, "the reference formatting failed");
    std::vector<char> ref(static_cast<std::size_t>(whole) + 1);
    std::snprintf(ref.data(), ref.size(), format, args...);

    GuardedBuffer out(size, 0x3C);
    std::size_t n = FormatText(out.data(), out.size(), format, args...);
    CheckBoundedText(out, n, "FormatText");
    if (size == 0)
        return;
    std::size_t expect = std::min(static_cast<std::size_t>(whole), size - 1);
    FUZZ_CHECK(n == expect, "FormatText's length is not the text's cut to its buffer");
    FUZZ_CHECK(std::memcmp(out.data(), ref.data(), n) == 0, "FormatText's text is not the start of the whole");
}

void FuzzFormat(int mode, std::size_t size, const char* text, const std::vector<char>& raw)
{
    // Numbers drawn from the raw bytes (zero when there are too few).
    std::uint64_t words[3] = {};
    if (!raw.empty())
        std::memcpy(words, raw.data(), std::min(raw.size(), sizeof words));
    switch (mode) {
    case 0:
        CompareFormat(size, "%s", text);
        break;
    case 1:
        CompareFormat(size, "%d|%u|%x|%lld", static_cast<int>(words[0]), static_cast<unsigned>(words[1]),
                      static_cast<unsigned>(words[1] >> 32), static_cast<long long>(words[2]));
        break;
    case 2:
        CompareFormat(size, "%lld:%.2lld:%.2lld", static_cast<long long>(words[0]), static_cast<long long>(words[1]),
                      static_cast<long long>(words[2]));
        break;
    default:
        CompareFormat(size, "[%.*s] %s%%", static_cast<int>(words[0] % 64), text, text);
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    std::uint8_t flags = in.Byte();
    std::size_t logSize = in.U16() % 1100u;
    std::uint8_t sizeByte = in.Byte();
    std::size_t formatSize = (flags & 16) ? 8u * sizeByte : sizeByte;
    std::vector<char> body = Body(in, (flags & 1) != 0, 4096);

    // The path as an exactly sized terminated string, so ASan sees any read past it.
    GuardedBuffer path(body.size() + 1);
    path.Fill(body.data(), body.size());
    path.data()[body.size()] = '\0';

    FuzzLogPath((flags & 2) ? nullptr : path.data(), logSize);
    FuzzFormat((flags >> 2) & 3, formatSize, path.data(), body);
    return 0;
}
