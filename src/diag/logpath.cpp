// The log path rule, kept free of window handles so it is tested directly.
#include "diag/logpath.h"

#include <cstring>

bool JoinModulePath(const char* modulePath, std::size_t keep, const char* suffix, char* out, std::size_t outSize)
{
    if (out == nullptr || outSize == 0)
        return false;
    out[0] = '\0';
    if (modulePath == nullptr)
        return false;
    std::size_t suffixSize = std::strlen(suffix) + 1;
    if (keep + suffixSize > outSize)
        return false;
    std::memcpy(out, modulePath, keep);
    std::memcpy(out + keep, suffix, suffixSize);
    return true;
}

bool BuildLogPath(const char* modulePath, char* out, std::size_t outSize)
{
    if (modulePath == nullptr)
        return JoinModulePath(nullptr, 0, "", out, outSize);
    // The last "." anywhere in the path, folders included.
    const char* dot = std::strrchr(modulePath, '.');
    std::size_t keep = dot ? static_cast<std::size_t>(dot - modulePath) : std::strlen(modulePath);
    return JoinModulePath(modulePath, keep, "_log.txt", out, outSize);
}

std::size_t TrimSystemText(char* text)
{
    if (text == nullptr)
        return 0;
    std::size_t n = std::strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' || text[n - 1] == '.'))
        --n;
    text[n] = '\0';
    return n;
}
