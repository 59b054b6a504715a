// The output extension rule, free of window handles.
#include "target/extension.h"

#include <cstring>

const char* OutputExtension(long formatIndex)
{
    switch (formatIndex) {
    case 0:
        return ".tif";
    case 1:
        return ".jpg";
    case 2:
        return ".bmp";
    default:
        return nullptr;
    }
}

bool AppendOutputExtension(char* buf, std::size_t bufSize, const char* ext)
{
    if (buf == nullptr || ext == nullptr || bufSize == 0)
        return false;
    std::size_t extLen = std::strlen(ext);
    const void* end = std::memchr(buf, '\0', bufSize);
    if (end == nullptr)
        return false; // not a terminated name: leave it alone
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(end) - buf);
    if (len >= extLen && std::memcmp(buf + len - extLen, ext, extLen) == 0)
        return true;
    if (len + extLen + 1 > bufSize)
        return false;
    std::memcpy(buf + len, ext, extLen + 1);
    return true;
}
