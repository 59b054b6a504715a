// The session log's path rule, kept free of window handles so that it is
// tested directly and fuzzed natively.
#pragma once

#include <cstddef>

// The module path with everything from its last "." replaced by "_log.txt"
// (or "_log.txt" appended when it has no "."), written into out (outSize
// bytes). Returns false and leaves out empty when the result would not fit: a
// cut path could name another folder.
bool BuildLogPath(const char* modulePath, char* out, std::size_t outSize);

// The first `keep` characters of the module path followed by `suffix`, into
// out (outSize bytes). False, with out empty, when it does not fit.
bool JoinModulePath(const char* modulePath, std::size_t keep, const char* suffix, char* out, std::size_t outSize);
