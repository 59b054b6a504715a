// Parsing of an open dialog's result, kept free of window handles so that it
// is tested directly and fuzzed natively.
#include "jobs/dialog_result.h"

#include <cstring>

namespace {

// Length of the string at s, never looking at more than max bytes.
std::size_t BoundedLength(const char* s, std::size_t max)
{
    const void* end = std::memchr(s, '\0', max);
    return end ? static_cast<std::size_t>(static_cast<const char*>(end) - s) : max;
}

} // namespace

int SplitSelection(const char* buffer, std::size_t bufferSize, unsigned codePage, SelectionSink sink, void* context,
                   int* skipped)
{
    if (skipped)
        *skipped = 0;
    if (buffer == nullptr || bufferSize == 0)
        return 0;

    std::size_t folderLen = BoundedLength(buffer, bufferSize);
    // A first string with no terminator inside the buffer is not a result.
    if (folderLen >= bufferSize)
        return 0;
    std::size_t pos = folderLen + 1;

    // Single selection: the first string is the full path.
    if (pos >= bufferSize || buffer[pos] == '\0') {
        if (folderLen == 0)
            return 0;
        if (folderLen > kMaxJobPath) {
            if (skipped)
                ++*skipped;
            return 0;
        }
        sink(buffer, context);
        return 1;
    }

    bool needSeparator = folderLen == 0 || !FolderEndsWithSeparator(buffer, folderLen, codePage);
    int emitted = 0;
    while (pos < bufferSize && buffer[pos] != '\0') {
        std::size_t nameLen = BoundedLength(buffer + pos, bufferSize - pos);
        if (pos + nameLen >= bufferSize)
            break; // the last name runs off the buffer: not a complete result
        std::size_t total = folderLen + (needSeparator ? 1 : 0) + nameLen;
        if (total <= kMaxJobPath && total < kJoinedPathSize) {
            char joined[kJoinedPathSize];
            std::memcpy(joined, buffer, folderLen);
            std::size_t at = folderLen;
            if (needSeparator)
                joined[at++] = '\\';
            std::memcpy(joined + at, buffer + pos, nameLen);
            joined[total] = '\0';
            sink(joined, context);
            ++emitted;
        } else if (skipped) {
            ++*skipped;
        }
        pos += nameLen + 1;
    }
    return emitted;
}

bool RememberStartLocation(char* dest, std::size_t destSize, const char* first, std::size_t firstMax)
{
    if (dest == nullptr || destSize == 0 || first == nullptr)
        return false;
    std::size_t len = BoundedLength(first, firstMax);
    if (len >= destSize || len >= firstMax)
        return false;
    std::memcpy(dest, first, len);
    dest[len] = '\0';
    return true;
}

bool SelectionIsComplete(const char* buffer, std::size_t written)
{
    if (buffer == nullptr || written == 0)
        return false;
    std::size_t pos = BoundedLength(buffer, written);
    if (pos >= written)
        return false; // the first string is not terminated within the result
    ++pos;
    if (pos >= written || buffer[pos] == '\0')
        return true; // a single path
    while (pos < written && buffer[pos] != '\0')
        pos += BoundedLength(buffer + pos, written - pos) + 1;
    return pos < written; // the closing empty string lies within the result
}

namespace {

std::size_t BoundedLengthW(const wchar_t* s, std::size_t max)
{
    std::size_t n = 0;
    while (n < max && s[n] != L'\0')
        ++n;
    return n;
}

} // namespace

std::size_t ConvertSelection(const wchar_t* wide, std::size_t wideUnits, WideConverter convert, void* context,
                             char* out, std::size_t outSize, int* refused)
{
    if (refused)
        *refused = 0;
    if (wide == nullptr || wideUnits == 0 || out == nullptr || outSize < 2)
        return 0;
    std::size_t firstLen = BoundedLengthW(wide, wideUnits);
    if (firstLen >= wideUnits)
        return 0; // the first string runs off the result
    std::size_t pos = firstLen + 1;
    std::size_t written = 0;

    // One converted string at out + written, with its terminator.
    auto put = [&](const wchar_t* s, std::size_t len, bool* taken) {
        *taken = false;
        long n = convert(s, len, out + written, outSize - written, context);
        if (n == -1)
            return true;
        if (n < 0 || written + static_cast<std::size_t>(n) + 1 >= outSize)
            return false; // does not fit, with room left for the closing zero
        written += static_cast<std::size_t>(n) + 1;
        *taken = true;
        return true;
    };
    auto empty = [&] {
        out[0] = '\0';
        out[1] = '\0';
        return std::size_t{2};
    };

    // A single path.
    if (pos >= wideUnits || wide[pos] == L'\0') {
        bool taken = false;
        if (firstLen == 0)
            return empty();
        if (!put(wide, firstLen, &taken))
            return written;
        if (!taken) {
            if (refused)
                ++*refused;
            return empty();
        }
        out[written++] = '\0';
        return written;
    }

    bool folderTaken = false;
    if (!put(wide, firstLen, &folderTaken))
        return written;
    std::size_t folderEnd = written;
    int names = 0;
    while (pos < wideUnits && wide[pos] != L'\0') {
        std::size_t len = BoundedLengthW(wide + pos, wideUnits - pos);
        if (pos + len >= wideUnits)
            return written; // the last name runs off the result: not complete
        bool taken = false;
        if (folderTaken && !put(wide + pos, len, &taken))
            return written;
        if (taken)
            ++names;
        else if (refused)
            ++*refused;
        pos += len + 1;
    }
    if (pos >= wideUnits)
        return written; // no closing empty string within the result
    if (names == 0 || folderEnd == 0)
        return empty();
    out[written++] = '\0';
    return written;
}
