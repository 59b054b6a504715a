// Parsing of an open dialog's result: plain functions with no window handles,
// tested directly and fuzzed natively.
#pragma once

#include <cstddef>

// Size of the buffer in which each joined path of a multiple selection is built.
constexpr std::size_t kJoinedPathSize = 512;
// The longest path that reaches Neat Image whole: the batch worker reads a
// job's texts with a limit of 255 characters, terminator included, and Neat
// Image's file name box takes no more either.
constexpr std::size_t kMaxJobPath = 254;

// True when the folder (len bytes at folder, in the given ANSI code page)
// ends with a "\" character. Its last character, not its last byte: in the
// double-byte code pages 0x5C is also the second byte of some characters.
bool FolderEndsWithSeparator(const char* folder, std::size_t len, unsigned codePage);

// Receives each full path found in a dialog result.
using SelectionSink = void (*)(const char* path, void* context);

// Splits the result of an Explorer-style open dialog (bufferSize bytes at
// buffer) into full image paths: a single path when the byte after the first
// string's terminator is zero, else the folder followed by names, each joined
// as folder + "\" (unless the folder already ends with one, judged in
// codePage) + name. Scanning never leaves the buffer, even when it is not
// double-terminated. A path longer than kMaxJobPath characters is not
// emitted; it is counted in *skipped. Returns the number of paths emitted.
int SplitSelection(const char* buffer, std::size_t bufferSize, unsigned codePage, SelectionSink sink, void* context,
                   int* skipped);

// Copies the first string of a dialog result into a start-location buffer of
// destSize bytes. When it does not fit, the destination is left as it was
// (the previous location stays) and false is returned.
bool RememberStartLocation(char* dest, std::size_t destSize, const char* first, std::size_t firstMax);

// True when a dialog result of at most `written` bytes (the capacity given to
// the dialog) is complete: a single path, or a folder and names closed by
// an empty string that itself lies within those bytes. A result the dialog
// cut at its capacity (Wine does so when a selection does not fit, instead
// of failing) is not complete, even when the cut falls just after a name.
bool SelectionIsComplete(const char* buffer, std::size_t written);
