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
