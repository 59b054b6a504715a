// A model code page for the tests of job list files, natively and under
// Wine alike: ASCII, and U+00A0 to U+00FF as one byte each (as Windows-1252
// holds them); nothing else. The conversions have the signatures of FromUtf8
// and ToUtf8 (jobs/joblist_file.h).
#pragma once

#include <cstddef>
#include <cstring>
#include <string>

namespace modelcp {

inline long FromUtf8(const char* text, std::size_t len, char* out, std::size_t outSize, void*)
{
    std::string got;
    for (std::size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            got.push_back(static_cast<char>(c));
            continue;
        }
        if ((c != 0xC2 && c != 0xC3) || i + 1 >= len)
            return -1;
        unsigned value = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(text[++i]) & 0x3Fu);
        if (value < 0xA0)
            return -1;
        got.push_back(static_cast<char>(value));
    }
    if (got.size() + 1 > outSize)
        return -2;
    std::memcpy(out, got.c_str(), got.size() + 1);
    return static_cast<long>(got.size());
}

inline bool ToUtf8(const char* text, std::size_t len, std::string* out, void*)
{
    for (std::size_t i = 0; i < len; ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c >= 0x80 && c < 0xA0)
            return false; // never made by FromUtf8
        if (c < 0x80) {
            out->push_back(static_cast<char>(c));
        } else {
            out->push_back(static_cast<char>(0xC0 | (c >> 6)));
            out->push_back(static_cast<char>(0x80 | (c & 0x3F)));
        }
    }
    return true;
}

} // namespace modelcp
