// Parsing of an open dialog's result: plain functions with no window handles,
// tested directly and fuzzed natively.
#pragma once

#include <cstddef>

// Size of the buffer in which each joined path of a multiple selection is built.
constexpr std::size_t kJoinedPathSize = 512;

// Receives each full path found in a dialog result.
using SelectionSink = void (*)(const char* path, void* context);

// Splits the result of an Explorer-style open dialog (bufferSize bytes at
// buffer) into full image paths: a single path when the byte after the first
// string's terminator is zero, else the folder followed by names, each joined
// as folder + "\" (unless the folder already ends with one) + name. Scanning
// never leaves the buffer, even when it is not double-terminated. A joined
// path that would not fit kJoinedPathSize bytes is not emitted; it is counted
// in *skipped. Returns the number of paths emitted.
int SplitSelection(const char* buffer, std::size_t bufferSize, SelectionSink sink, void* context, int* skipped);

// Copies the first string of a dialog result into a start-location buffer of
// destSize bytes. When it does not fit, the destination is left as it was
// (the previous location stays) and false is returned.
bool RememberStartLocation(char* dest, std::size_t destSize, const char* first, std::size_t firstMax);
