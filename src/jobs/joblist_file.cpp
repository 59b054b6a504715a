// Job list files, free of window handles (see joblist_file.h).
#include "jobs/joblist_file.h"
#include "jobs/dialog_result.h"
#include "diag/logpath.h"
#include "diag/text.h"

#include <cstring>

namespace {

// The line (from 1) that holds the byte at offset.
long LineOf(const char* data, std::size_t offset)
{
    long line = 1;
    for (std::size_t i = 0; i < offset; ++i)
        if (data[i] == '\n')
            ++line;
    return line;
}

// A line of blanks is an empty line to the eye, and is skipped like one.
bool OnlyBlanks(const char* text, std::size_t len)
{
    for (std::size_t i = 0; i < len; ++i)
        if (text[i] != ' ' && text[i] != '\t')
            return false;
    return true;
}

// A full path as Add gives them: "X:\" or a share's "\\".
bool IsFullPath(const char* text, std::size_t len)
{
    bool drive = len >= 3 && ((text[0] >= 'A' && text[0] <= 'Z') || (text[0] >= 'a' && text[0] <= 'z')) &&
                 text[1] == ':' && text[2] == '\\';
    bool share = len >= 3 && text[0] == '\\' && text[1] == '\\' && text[2] != '\\';
    return drive || share;
}

// One path of a line, converted into the code page; the fault that keeps it
// out, or none.
bool ConvertPath(const char* text, std::size_t len, FromUtf8 convert, void* context, std::string* out,
                 JobLineFault* fault)
{
    char converted[kJoinedPathSize];
    long n = convert(text, len, converted, sizeof converted, context);
    if (n == -1) {
        *fault = JobLineFault::NotInCodePage;
        return false;
    }
    if (n < 0 || static_cast<std::size_t>(n) > kMaxJobPath) {
        *fault = JobLineFault::TooLong;
        return false;
    }
    out->assign(converted, static_cast<std::size_t>(n));
    return true;
}

// Checks one line (without its line end) and adds it as a job or as refused.
void TakeLine(const char* text, std::size_t len, long number, FromUtf8 convert, void* context, JobListParse* parse)
{
    if (OnlyBlanks(text, len))
        return;
    const char* tab = static_cast<const char*>(std::memchr(text, '\t', len));
    JobLineFault fault = JobLineFault::NoTab;
    JobListEntry job;
    bool taken = false;
    if (tab != nullptr) {
        std::size_t imageLen = static_cast<std::size_t>(tab - text);
        const char* profile = tab + 1;
        std::size_t profileLen = len - imageLen - 1;
        if (std::memchr(profile, '\t', profileLen) != nullptr)
            fault = JobLineFault::ExtraTab;
        else if (imageLen == 0)
            fault = JobLineFault::NoImage;
        else if (profileLen == 0)
            fault = JobLineFault::NoProfile;
        else if (!IsFullPath(text, imageLen) || !IsFullPath(profile, profileLen))
            fault = JobLineFault::NotFullPath;
        else
            taken = ConvertPath(text, imageLen, convert, context, &job.image, &fault) &&
                    ConvertPath(profile, profileLen, convert, context, &job.profile, &fault);
    }
    if (taken)
        parse->jobs.push_back(std::move(job));
    else
        parse->refused.push_back({number, fault});
}

// The length of the UTF-8 sequence that starts at data[0], or 0 when it is
// malformed: the ranges of RFC 3629, which leave out overlong forms,
// surrogates and everything above U+10FFFF.
std::size_t SequenceLength(const unsigned char* p, std::size_t left)
{
    unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || n > left)
        return 0;
    unsigned char low = 0x80, high = 0xBF; // the allowed range of the second byte
    if (c == 0xE0)
        low = 0xA0;
    else if (c == 0xED)
        high = 0x9F;
    else if (c == 0xF0)
        low = 0x90;
    else if (c == 0xF4)
        high = 0x8F;
    if (p[1] < low || p[1] > high)
        return 0;
    for (std::size_t i = 2; i < n; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return n;
}

} // namespace

// Checked before any line is read, so that a file of another encoding adds
// nothing instead of look-alike paths.
bool IsUtf8(const char* data, std::size_t len, std::size_t* bad)
{
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data);
    std::size_t i = 0;
    while (i < len) {
        std::size_t n = SequenceLength(p + i, len - i);
        if (n == 0) {
            if (bad != nullptr)
                *bad = i;
            return false;
        }
        i += n;
    }
    return true;
}

// The file's own faults first (size, UTF-16, NUL, UTF-8), then line by line.
JobListParse ParseJobList(const char* data, std::size_t size, FromUtf8 convert, void* context)
{
    JobListParse parse;
    if (size > kMaxJobListBytes) {
        parse.fault = JobListFileFault::TooLarge;
        return parse;
    }
    if (size >= 2 && ((data[0] == '\xFF' && data[1] == '\xFE') || (data[0] == '\xFE' && data[1] == '\xFF'))) {
        parse.fault = JobListFileFault::Utf16;
        return parse;
    }
    std::size_t start = size >= 3 && std::memcmp(data, "\xEF\xBB\xBF", 3) == 0 ? 3 : 0;
    const void* nul = size > 0 ? std::memchr(data, '\0', size) : nullptr;
    if (nul != nullptr) {
        parse.fault = JobListFileFault::NulBytes;
        parse.faultLine = LineOf(data, static_cast<std::size_t>(static_cast<const char*>(nul) - data));
        return parse;
    }
    std::size_t bad = 0;
    if (!IsUtf8(data + start, size - start, &bad)) {
        parse.fault = JobListFileFault::NotUtf8;
        parse.faultLine = LineOf(data, start + bad);
        return parse;
    }
    long number = 0;
    std::size_t at = start;
    while (at < size) {
        const char* end = static_cast<const char*>(std::memchr(data + at, '\n', size - at));
        std::size_t len = end != nullptr ? static_cast<std::size_t>(end - (data + at)) : size - at;
        std::size_t next = at + len + (end != nullptr ? 1 : 0);
        if (len > 0 && data[at + len - 1] == '\r')
            --len;
        TakeLine(data + at, len, ++number, convert, context, &parse);
        at = next;
    }
    return parse;
}

// CR LF, as Windows' own editors write text.
bool FormatJobList(const std::vector<JobListEntry>& jobs, ToUtf8 convert, void* context, std::string* out)
{
    out->clear();
    for (const JobListEntry& job : jobs) {
        if (!convert(job.image.data(), job.image.size(), out, context))
            return false;
        out->push_back('\t');
        if (!convert(job.profile.data(), job.profile.size(), out, context))
            return false;
        out->append("\r\n");
    }
    return true;
}

// A table, so that each text stands beside its place in JobLineFault.
const char* JobLineFaultText(JobLineFault fault)
{
    // In the order of JobLineFault.
    static const char* const kTexts[] = {
        "no TAB between the image and the noise profile",
        "more than one TAB",
        "no image path before the TAB",
        "no noise profile path after the TAB",
        "a path that is not a full path (such as C:\\Photos\\a.jpg)",
        "characters that this system's code page cannot hold",
        "a path longer than 254 characters",
    };
    std::size_t index = static_cast<std::size_t>(fault);
    return index < sizeof kTexts / sizeof kTexts[0] ? kTexts[index] : "";
}

// A box must stay readable: a few lines by number, then a count.
std::size_t FormatRefusedLines(char* out, std::size_t outSize, const JobListParse& parse)
{
    std::size_t refused = parse.refused.size();
    std::size_t added = parse.jobs.size();
    std::size_t len = FormatText(
        out, outSize, "%lu %s of the job list %s not added (%lu %s added):", static_cast<unsigned long>(refused),
        refused == 1 ? "line" : "lines", refused == 1 ? "was" : "were", static_cast<unsigned long>(added),
        added == 1 ? "job was" : "jobs were");
    for (std::size_t i = 0; i < refused && i < kRefusedLinesShown; ++i)
        len += FormatText(out + len, outSize - len, "\nline %ld: %s.", parse.refused[i].line,
                          JobLineFaultText(parse.refused[i].fault));
    if (refused > kRefusedLinesShown) {
        std::size_t more = refused - kRefusedLinesShown;
        len += FormatText(out + len, outSize - len, "\n... and %lu more %s.", static_cast<unsigned long>(more),
                          more == 1 ? "line" : "lines");
    }
    return len;
}

// Each reason says what to do about it where there is something to do.
std::size_t FormatFileFault(char* out, std::size_t outSize, JobListFileFault fault, long line)
{
    switch (fault) {
    case JobListFileFault::TooLarge:
        return FormatText(out, outSize, "it is larger than %lu MB.",
                          static_cast<unsigned long>(kMaxJobListBytes >> 20));
    case JobListFileFault::Utf16:
        return FormatText(out, outSize, "it is UTF-16 text. Save it as UTF-8 and open it again.");
    case JobListFileFault::NulBytes:
        return FormatText(out, outSize, "it is not a text file (a zero byte on line %ld).", line);
    case JobListFileFault::NotUtf8:
        return FormatText(out, outSize, "it is not UTF-8 text (line %ld). Save it as UTF-8 and open it again.", line);
    case JobListFileFault::None:
        break;
    }
    return FormatText(out, outSize, "%s", "");
}

// Beside the session log, so that the user finds both in one place.
bool BuildUnfinishedPath(const char* modulePath, char* out, std::size_t outSize)
{
    if (modulePath == nullptr)
        return JoinModulePath(nullptr, 0, "", out, outSize);
    std::size_t len = std::strlen(modulePath);
    // The extension's dot: the last "." after the last folder separator.
    std::size_t keep = len;
    for (std::size_t i = len; i > 0; --i) {
        char c = modulePath[i - 1];
        if (c == '\\' || c == '/')
            break;
        if (c == '.') {
            keep = i - 1;
            break;
        }
    }
    return JoinModulePath(modulePath, keep, "_unfinished.txt", out, outSize);
}
