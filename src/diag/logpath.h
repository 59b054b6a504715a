// The session log's path rule, kept free of window handles so that it is
// tested directly and fuzzed natively.
#pragma once

#include <cstddef>

// The module path with everything from its last "." replaced by "_log.txt"
// (or "_log.txt" appended when it has no "."), written into out (outSize
// bytes). Returns false and leaves out empty when the result would not fit: a
// cut path could name another folder.
bool BuildLogPath(const char* modulePath, char* out, std::size_t outSize);
