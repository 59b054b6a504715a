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

// The text of the "Warning" box of a Start refused because the session log
// cannot be written: the log's path, then the system's reason as
// TrimSystemText leaves it.
constexpr char kLogRefusalFormat[] =
    "Cannot write the session log \"%s\": %s. Move Tolvane to a folder you can write "
    "to, such as your Documents, and start it again.";
// Room for that text with the longest log path (1023 characters) and reason
// (511): the fixed words take under 120.
constexpr std::size_t kLogRefusalSize = 1024 + 512 + 128;

// Cuts the line end, blanks and full stops from the end of a system message
// (FormatMessage ends its texts with ".\r\n", some with ". \r\n"), in place, so
// that it can stand inside a sentence. Returns the length left.
std::size_t TrimSystemText(char* text);
