// The separator test of a multiple selection, over the system's character
// functions so that double-byte code pages are read by character.
#include "jobs/dialog_result.h"

#include <windows.h>

// CharPrevExA steps back one whole character: in code page 932 the folder
// "C:\ソ" ends in the bytes 0x83 0x5C, whose 0x5C is no separator.
bool FolderEndsWithSeparator(const char* folder, std::size_t len, unsigned codePage)
{
    if (folder == nullptr || len == 0)
        return false;
    const char* end = folder + len;
    const char* last = CharPrevExA(static_cast<WORD>(codePage), folder, end, 0);
    return last + 1 == end && *last == '\\';
}
