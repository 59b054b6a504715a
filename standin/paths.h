// Helpers over ANSI paths: the one copy that the stand-in and the demo, bench
// and soak drivers (tools/, through standin_imageio's include folder) share.
// Both slashes count as separators; nothing here touches the file system.
#ifndef STANDIN_PATHS_H
#define STANDIN_PATHS_H

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>

namespace paths {

// `name` inside `folder`, with one backslash between them ("" folder: `name`).
inline std::string JoinPath(const std::string& folder, const std::string& name)
{
    if (folder.empty())
        return name;
    char last = folder.back();
    return (last == '\\' || last == '/') ? folder + name : folder + "\\" + name;
}

// Without the trailing backslash ("C:\" keeps it); "" when there is no folder.
inline std::string FolderOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/");
    if (slash == std::string::npos)
        return std::string();
    if (slash == 2 && path.size() > 1 && path[1] == ':')
        return path.substr(0, 3); // "C:\"
    return path.substr(0, slash);
}

// After the last backslash or slash.
inline std::string FileNameOf(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The file name without its extension.
inline std::string BaseNameOf(const std::string& path)
{
    std::string name = FileNameOf(path);
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? name : name.substr(0, dot);
}

// With its dot, "" if none.
inline std::string ExtensionOf(const std::string& path)
{
    std::string name = FileNameOf(path);
    std::size_t dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot);
}

// Whether two names are the same, or come in this order, regardless of case
// (ASCII letters).
inline bool LessNoCase(const std::string& a, const std::string& b)
{
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) < std::tolower(static_cast<unsigned char>(y));
    });
}

inline bool EqualNoCase(const std::string& a, const std::string& b)
{
    return !LessNoCase(a, b) && !LessNoCase(b, a);
}

// A path with a drive ("C:...") or from a root ("\\...", "/...").
inline bool IsAbsolute(const std::string& p)
{
    return (p.size() >= 2 && p[1] == ':') || (!p.empty() && (p[0] == '\\' || p[0] == '/'));
}

// A drive's root folder: "C:" or "C:\".
inline bool IsRoot(const std::string& folder)
{
    return folder.size() <= 3 && folder.size() >= 2 && folder[1] == ':';
}

// A name with "*" or "?" in it: a pattern, not a file.
inline bool HasWildcards(const std::string& s)
{
    return s.find_first_of("*?") != std::string::npos;
}

} // namespace paths

#endif
