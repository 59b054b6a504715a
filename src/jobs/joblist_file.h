// Job list files: one job a line, the image path, a TAB and the profile path,
// in UTF-8. Reading, checking and writing them are plain functions with no
// window handles; the conversion between UTF-8 and the system's code page is
// passed in, so that they are tested directly and fuzzed natively.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The largest file Open reads: more than 60,000 jobs of the longest paths.
constexpr std::size_t kMaxJobListBytes = 32u << 20;
// Lines whose reasons the warning after an Open names one by one.
constexpr std::size_t kRefusedLinesShown = 5;

// Converts len bytes of UTF-8 at text into the system's code page in out
// (outSize bytes), terminated. Returns the bytes written without the
// terminator, -1 when a character has no exact equivalent in the code page,
// -2 when the result does not fit.
using FromUtf8 = long (*)(const char* text, std::size_t len, char* out, std::size_t outSize, void* context);
// Converts len bytes in the system's code page into UTF-8, appended to out.
// False when the bytes are no text of that code page.
using ToUtf8 = bool (*)(const char* text, std::size_t len, std::string* out, void* context);

// Why a whole file is refused.
enum class JobListFileFault {
    None,
    TooLarge, // more than kMaxJobListBytes
    Utf16,    // starts with a UTF-16 byte order mark
    NulBytes, // holds a zero byte: not a text file
    NotUtf8,  // a byte sequence that is no UTF-8
};

// Why one line is not added.
enum class JobLineFault {
    NoTab,         // no TAB between the two paths
    ExtraTab,      // more than one TAB
    NoImage,       // nothing before the TAB
    NoProfile,     // nothing after it
    NotFullPath,   // a path that does not start with a drive ("C:\") or a share ("\\")
    NotInCodePage, // characters the system's code page cannot hold
    TooLong,       // a path longer than kMaxJobPath bytes in the code page
};

struct JobListEntry {
    std::string image;   // in the system's code page
    std::string profile; // in the system's code page
};

struct RefusedLine {
    long line; // counted from 1
    JobLineFault fault;
};

struct JobListParse {
    JobListFileFault fault = JobListFileFault::None;
    long faultLine = 0; // the line of a NUL byte or of a byte that is no UTF-8
    std::vector<JobListEntry> jobs;
    std::vector<RefusedLine> refused;
};

// Reads a job list file's bytes. Accepts a UTF-8 byte order mark, LF or CR LF
// line ends, and skips lines that are empty or hold only blanks and TABs.
// Each other line becomes a job when it holds exactly one TAB, two full
// paths, and both convert exactly into the code page within kMaxJobPath
// bytes; otherwise it is refused with its first fault. A file with a fault of
// its own gives no jobs at all.
JobListParse ParseJobList(const char* data, std::size_t size, FromUtf8 convert, void* context);

// The text of one job list: every job's line in order, each ended by CR LF.
// False when a path cannot be converted (out then holds the lines before it).
bool FormatJobList(const std::vector<JobListEntry>& jobs, ToUtf8 convert, void* context, std::string* out);

// Whether len bytes at data are well-formed UTF-8 (no overlong form, no
// surrogate, nothing above U+10FFFF). When not, *bad is the offset of the
// first byte of the first bad sequence.
bool IsUtf8(const char* data, std::size_t len, std::size_t* bad);

// The reason of a refused line, as the warning after an Open gives it.
const char* JobLineFaultText(JobLineFault fault);

// The warning after an Open that refused lines: how many were refused and
// how many jobs were added, then the first kRefusedLinesShown lines with
// their reasons, then how many more. Written into out (outSize bytes, always
// terminated); returns the length.
std::size_t FormatRefusedLines(char* out, std::size_t outSize, const JobListParse& parse);

// The reason a whole file was refused, as the warning after an Open gives it
// (for example "it is not UTF-8 text (line 3)"), into out; returns the length.
std::size_t FormatFileFault(char* out, std::size_t outSize, JobListFileFault fault, long line);

// The file of the unfinished jobs beside the executable: the module path
// without its extension (the part from the last "." of its file name) and
// "_unfinished.txt". False, with out empty, when it does not fit outSize.
bool BuildUnfinishedPath(const char* modulePath, char* out, std::size_t outSize);
