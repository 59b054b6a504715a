// Where a job's output goes (target/output_path.h): plain text work, no
// window or file is touched.
#include "target/output_path.h"

#include <cstring>

namespace {

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

bool IsDriveLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// "C:" at the start of a path.
bool HasDrive(const char* path)
{
    return IsDriveLetter(path[0]) && path[1] == ':';
}

// A path that names its folder on its own: "C:\..." or "\\server\...".
bool IsFullPath(const char* path)
{
    return (HasDrive(path) && IsSeparator(path[2])) || (IsSeparator(path[0]) && IsSeparator(path[1]));
}

// Length of the image's folder with its closing separator ("C:\photos\" of
// "C:\photos\a.jpg"); 0 when the path holds no separator.
std::size_t FolderLength(const char* imagePath)
{
    const char* last = nullptr;
    for (const char* p = imagePath; *p != '\0'; ++p)
        if (IsSeparator(*p))
            last = p;
    return last != nullptr ? static_cast<std::size_t>(last - imagePath) + 1 : 0;
}

// Length of the image's drive: "C:", or "\\server\share" of a network path;
// 0 when it names none.
std::size_t DriveLength(const char* imagePath)
{
    if (HasDrive(imagePath))
        return 2;
    if (!(IsSeparator(imagePath[0]) && IsSeparator(imagePath[1])))
        return 0;
    // The server's name, then the share's, each ended by a separator or the end.
    std::size_t at = 2;
    for (int part = 0; part < 2; ++part) {
        std::size_t begin = at;
        while (imagePath[at] != '\0' && !IsSeparator(imagePath[at]))
            ++at;
        if (at == begin)
            return 0;
        if (part == 0) {
            if (imagePath[at] == '\0')
                return 0;
            ++at;
        }
    }
    return at;
}

// Writes `head` (headLength bytes) then `tail` into out when both fit.
bool Concatenate(const char* head, std::size_t headLength, const char* tail, char* out, std::size_t outSize)
{
    std::size_t tailLength = std::strlen(tail);
    if (headLength > outSize - 1 || tailLength > outSize - 1 - headLength)
        return false;
    std::memmove(out, head, headLength);
    std::memcpy(out + headLength, tail, tailLength + 1);
    return true;
}

} // namespace

// The name comes from another program and the image path from the job list:
// neither is trusted to be short, so every write is measured against outSize
// first and nothing is written on a failure but the empty text.
OutputPlace PlaceOutput(const char* imagePath, const char* name, char* out, std::size_t outSize)
{
    if (outSize == 0)
        return OutputPlace::TooLong;
    out[0] = '\0';
    if (name[0] == '\0')
        return OutputPlace::NoName;
    if (IsFullPath(name))
        return Concatenate("", 0, name, out, outSize) ? OutputPlace::Kept : OutputPlace::TooLong;
    if (HasDrive(name))
        return OutputPlace::DriveRelative;
    if (IsSeparator(name[0])) {
        std::size_t drive = DriveLength(imagePath);
        if (drive == 0)
            return OutputPlace::NoImageFolder;
        return Concatenate(imagePath, drive, name, out, outSize) ? OutputPlace::OnImageDrive : OutputPlace::TooLong;
    }
    std::size_t folder = FolderLength(imagePath);
    if (folder == 0)
        return OutputPlace::NoImageFolder;
    return Concatenate(imagePath, folder, name, out, outSize) ? OutputPlace::InImageFolder : OutputPlace::TooLong;
}

bool OutputPlaced(OutputPlace place)
{
    return place == OutputPlace::Kept || place == OutputPlace::InImageFolder || place == OutputPlace::OnImageDrive;
}
