// Fuzzes job list files: ParseJobList over any bytes with a model code page
// (model_code_page.h), FormatJobList's round trip,
// IsUtf8 against a plain decoder, and the warning's and the unfinished
// file's texts into outputs of any size.
//
// Input: a size (uint16) for the warning's text, a size (uint16) for the
// unfinished file's path, then the file's bytes (whose first string is also
// the module path).
#include "jobs/dialog_result.h"
#include "jobs/joblist_file.h"
#include "fuzz_support.h"
#include "model_code_page.h"

#include <cstdint>
#include <string>

namespace {

// A plain decoder, written apart from the product's: code points, their
// least value for each length, surrogates and the end of Unicode.
bool ReferenceUtf8(const unsigned char* p, std::size_t n, std::size_t* bad)
{
    std::size_t i = 0;
    while (i < n) {
        unsigned c = p[i];
        std::size_t need = 0;
        std::uint32_t cp = 0, least = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if ((c & 0xE0) == 0xC0) {
            need = 1, cp = c & 0x1F, least = 0x80;
        } else if ((c & 0xF0) == 0xE0) {
            need = 2, cp = c & 0x0F, least = 0x800;
        } else if ((c & 0xF8) == 0xF0) {
            need = 3, cp = c & 0x07, least = 0x10000;
        } else {
            *bad = i;
            return false;
        }
        for (std::size_t k = 1; k <= need; ++k) {
            if (i + k >= n || (p[i + k] & 0xC0) != 0x80) {
                *bad = i;
                return false;
            }
            cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (cp < least || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            *bad = i;
            return false;
        }
        i += need + 1;
    }
    return true;
}

void CheckPaths(const JobListEntry& job)
{
    for (const std::string* path : {&job.image, &job.profile}) {
        FUZZ_CHECK(!path->empty() && path->size() <= kMaxJobPath, "a job's path is empty or too long");
        FUZZ_CHECK(path->find_first_of(std::string("\t\n\0", 3)) == std::string::npos,
                   "a job's path holds a TAB, a line feed or a NUL");
        FUZZ_CHECK((path->size() >= 3 && (*path)[1] == ':' && (*path)[2] == '\\') || path->compare(0, 2, "\\\\") == 0,
                   "a job's path is no full path");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    std::size_t warningSize = in.U16() % 1200;
    std::size_t pathSize = in.U16() % 600;
    const char* text = reinterpret_cast<const char*>(in.Rest());
    std::size_t len = in.RestSize();

    std::size_t bad = 0, refBad = 0;
    bool utf8 = IsUtf8(text, len, &bad);
    FUZZ_CHECK(utf8 == ReferenceUtf8(in.Rest(), len, &refBad), "IsUtf8 disagrees with the plain decoder");
    FUZZ_CHECK(utf8 || bad == refBad, "IsUtf8 names another first bad byte");

    JobListParse parse = ParseJobList(text, len, modelcp::FromUtf8, nullptr);
    long lines = 1;
    for (std::size_t i = 0; i < len; ++i)
        lines += text[i] == '\n' ? 1 : 0;
    if (parse.fault != JobListFileFault::None) {
        FUZZ_CHECK(parse.jobs.empty() && parse.refused.empty(), "a refused file still gave lines");
    } else {
        FUZZ_CHECK(static_cast<long>(parse.jobs.size() + parse.refused.size()) <= lines,
                   "more jobs and refused lines than lines");
        long last = 0;
        for (const RefusedLine& r : parse.refused) {
            FUZZ_CHECK(r.line > last && r.line <= lines, "refused line numbers out of order or range");
            last = r.line;
        }
        for (const JobListEntry& job : parse.jobs)
            CheckPaths(job);
        // What Save writes of the jobs reads back as the same jobs.
        std::string saved;
        FUZZ_CHECK(FormatJobList(parse.jobs, modelcp::ToUtf8, nullptr, &saved), "a job read could not be written");
        JobListParse back = ParseJobList(saved.data(), saved.size(), modelcp::FromUtf8, nullptr);
        FUZZ_CHECK(back.fault == JobListFileFault::None && back.refused.empty(), "a saved list does not read back");
        FUZZ_CHECK(back.jobs.size() == parse.jobs.size(), "a saved list reads back with other jobs");
        for (std::size_t i = 0; i < back.jobs.size(); ++i)
            FUZZ_CHECK(back.jobs[i].image == parse.jobs[i].image && back.jobs[i].profile == parse.jobs[i].profile,
                       "a saved job reads back changed");
    }

    GuardedBuffer warning(warningSize);
    std::size_t n = FormatRefusedLines(warning.data(), warning.size(), parse);
    FUZZ_CHECK(warning.GuardIntact(), "FormatRefusedLines wrote past its output");
    if (warningSize > 0)
        FUZZ_CHECK(warning.Terminated() && n < warningSize && std::strlen(warning.data()) == n,
                   "FormatRefusedLines left its text unterminated or miscounted");
    GuardedBuffer why(warningSize);
    FormatFileFault(why.data(), why.size(), parse.fault, parse.faultLine);
    FUZZ_CHECK(why.GuardIntact(), "FormatFileFault wrote past its output");

    std::string module(text, strnlen(text, len));
    GuardedBuffer path(pathSize);
    bool fits = BuildUnfinishedPath(module.c_str(), path.data(), path.size());
    FUZZ_CHECK(path.GuardIntact(), "BuildUnfinishedPath wrote past its output");
    if (pathSize > 0)
        FUZZ_CHECK(path.Terminated(), "BuildUnfinishedPath left its output unterminated");
    if (fits) {
        std::string built(path.data());
        static const std::string kSuffix = "_unfinished.txt";
        FUZZ_CHECK(built.size() >= kSuffix.size() &&
                       built.compare(built.size() - kSuffix.size(), kSuffix.size(), kSuffix) == 0,
                   "the unfinished file's name does not end with _unfinished.txt");
        std::string stem = built.substr(0, built.size() - kSuffix.size());
        FUZZ_CHECK(module.compare(0, stem.size(), stem) == 0, "the unfinished file's path is not the module's");
        std::string dropped = module.substr(stem.size());
        FUZZ_CHECK(dropped.empty() || (dropped.rfind('.') == 0 && dropped.find_first_of("\\/") == std::string::npos),
                   "more than the extension was dropped");
    } else if (pathSize > 0) {
        FUZZ_CHECK(path.data()[0] == '\0', "BuildUnfinishedPath failed but left a path");
    }
    return 0;
}
