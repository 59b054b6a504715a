// The output extension rule: plain functions, tested directly and fuzzed
// natively.
#pragma once

#include <cstddef>

// The output extension of a format selector index (0 ".tif", 1 ".jpg",
// 2 ".bmp"), or nullptr for any other index (nothing selected).
const char* OutputExtension(long formatIndex);
// Appends ext to the name in buf (bufSize bytes) unless the name already ends
// with it: at least four characters whose last four equal ext byte for byte.
// Never removes or replaces. Returns false, leaving buf unchanged, when the
// result would not fit.
bool AppendOutputExtension(char* buf, std::size_t bufSize, const char* ext);
