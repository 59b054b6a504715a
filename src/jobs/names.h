// Names as Tolvane takes them from the system: the exact conversion of a
// UTF-16 name into the ANSI code page, which files count as images, the order
// of a folder's names, and where the profile dialog starts. Plain functions
// with no window handles, tested directly.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The profile dialog's first start folder, and the one a 32-bit Neat Image
// gets on 64-bit Windows.
extern const char kDefaultProfileDir[];
extern const char kProfileDirX86[];

// Converts len UTF-16 units at name into code page codePage (CP_ACP for the
// system's) into out (outSize bytes), terminated, only when the result names
// the very same characters: no best-fit look-alike ("Lodz" for "Łódź"), no
// default character, and the bytes read back give the same UTF-16 again.
// Returns the bytes written without the terminator, -1 when the name does not
// convert exactly, -2 when it does not fit outSize - 1 bytes. The signature is
// that of a WideConverter (jobs/dialog_result.h); context points at the
// unsigned code page.
long ConvertExactly(const wchar_t* name, std::size_t len, char* out, std::size_t outSize, void* context);

enum class PathVerdict {
    Taken,         // out holds the ANSI path
    TooLong,       // more than kMaxJobPath bytes in ANSI
    NotInCodePage, // a character the code page cannot hold
};

// A full path as a job may hold it: converted exactly into the system's code
// page and at most kMaxJobPath bytes long. out has outSize bytes.
PathVerdict ToJobPath(const wchar_t* path, char* out, std::size_t outSize);

// Whether the image dialog's filter (*.jpg;*.jpeg;*.bmp;*.tif;*.tiff) shows a
// file of this name: its extension, in any case.
bool IsImageFileName(const std::wstring& name);

// Sorts names as a folder listed by name shows them: without regard to case,
// in the user's locale, ties broken by the exact units so that the order is
// always the same.
void SortByName(std::vector<std::wstring>& names);

// The folder the profile dialog is given. The remembered location, unless it
// is still the first default and that folder does not exist while the one of
// a 32-bit installation on 64-bit Windows does; then that one.
const char* ProfileDialogStart(const char* remembered, bool (*folderExists)(const char* folder));
