// The log path rule, kept free of window handles so it is tested directly.
#include "diag/logpath.h"

#include <cstring>

bool BuildLogPath(const char* modulePath, char* out, std::size_t outSize)
{
    static const char kSuffix[] = "_log.txt";
    if (out == nullptr || outSize == 0)
        return false;
    out[0] = '\0';
    if (modulePath == nullptr)
        return false;

    std::size_t len = std::strlen(modulePath);
    // The last "." anywhere in the path, folders included.
    const char* dot = std::strrchr(modulePath, '.');
    std::size_t keep = dot ? static_cast<std::size_t>(dot - modulePath) : len;
    if (keep + sizeof kSuffix > outSize)
        return false;
    std::memcpy(out, modulePath, keep);
    std::memcpy(out + keep, kSuffix, sizeof kSuffix);
    return true;
}
