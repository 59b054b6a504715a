// Where a job's output goes: the name a Save As dialog proposed, put in the
// image's folder unless it is a full path already. A plain function over
// texts, tested directly and fuzzed natively.
#pragma once

#include <cstddef>

// Room for the name typed into a Save As dialog, terminator included: a
// proposed name of up to 254 characters (the read of TEXT_MAX) with a
// 4-character extension appended, as the output name buffer holds it.
constexpr std::size_t kOutputNameSize = 254 + 4 + 1;

// How the output's full path came about, or why there is none.
enum class OutputPlace {
    Kept,          // the name is a full path ("C:\...", "\\server\share\..."): its own folder
    InImageFolder, // a name without a folder, or one below it: put in the image's folder
    OnImageDrive,  // a name from the root of a drive ("\out\a.bmp"): on the image's drive
    NoName,        // the name is empty
    DriveRelative, // "C:a.bmp": relative to a drive's current folder, which only the system knows
    NoImageFolder, // the image path has no folder to put the name in
    TooLong,       // the full path would not fit `outSize` bytes
};

// Writes the full path the output is saved under into `out` (outSize bytes,
// never overrun, always terminated): `name` as it is when it is a full path,
// else joined to the folder (or the drive) of `imagePath` with one separator
// between them. Backslashes and slashes both count as separators. Returns how
// the path came about; on a failure `out` holds an empty text.
OutputPlace PlaceOutput(const char* imagePath, const char* name, char* out, std::size_t outSize);

// Whether the place is a path to save under (Kept, InImageFolder, OnImageDrive).
bool OutputPlaced(OutputPlace place);
