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

// Converts one UTF-16 string of len units into out (outSize bytes) and
// terminates it. Returns the bytes written without the terminator, -1 when
// the string has no exact equivalent (it is then refused), -2 when it does not
// fit.
using WideConverter = long (*)(const wchar_t* s, std::size_t len, char* out, std::size_t outSize, void* context);

// Converts the result of a UTF-16 Explorer-style open dialog (at most
// wideUnits units at wide, read the way SplitSelection reads its bytes) into
// the same layout of ANSI strings in out (outSize bytes), string by string
// through convert. A name that does not convert is left out and counted in
// *refused; a folder that does not convert takes all its names with it; a
// folder left with no names gives the empty result, never a single path.
// Returns the bytes written, which SelectionIsComplete judges: a result cut
// by the dialog, or one that does not fit out, is written without its closing
// empty string.
std::size_t ConvertSelection(const wchar_t* wide, std::size_t wideUnits, WideConverter convert, void* context,
                             char* out, std::size_t outSize, int* refused);
