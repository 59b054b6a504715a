// Names as Tolvane takes them from the system (see names.h).
#include "jobs/names.h"
#include "jobs/dialog_result.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>

const char kDefaultProfileDir[] = "C:\\Program Files\\Neat Image\\PROFILES";
const char kProfileDirX86[] = "C:\\Program Files (x86)\\Neat Image\\PROFILES";

long ConvertExactly(const wchar_t* name, std::size_t len, char* out, std::size_t outSize, void* context)
{
    UINT codePage = context ? *static_cast<const unsigned*>(context) : CP_ACP;
    if (name == nullptr || out == nullptr || outSize == 0 || len > 0x7FFFFFF)
        return -2;
    if (len == 0) {
        out[0] = '\0';
        return 0;
    }
    // UTF-8 takes neither WC_NO_BEST_FIT_CHARS nor a default character; an
    // unpaired surrogate is what it cannot hold, and WC_ERR_INVALID_CHARS
    // refuses it. Every other code page is asked not to map best-fit and to
    // say whether it used its default character.
    UINT acp = codePage == CP_ACP ? GetACP() : codePage;
    bool utf8 = acp == CP_UTF8;
    DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
    BOOL usedDefault = FALSE;
    int wlen = static_cast<int>(len);
    int need = WideCharToMultiByte(codePage, flags, name, wlen, nullptr, 0, nullptr, utf8 ? nullptr : &usedDefault);
    if (need <= 0 || usedDefault)
        return -1;
    if (static_cast<std::size_t>(need) >= outSize)
        return -2;
    usedDefault = FALSE;
    int got = WideCharToMultiByte(codePage, flags, name, wlen, out, need, nullptr, utf8 ? nullptr : &usedDefault);
    if (got != need || usedDefault)
        return -1;
    out[got] = '\0';
    // Read back: a conversion that still changed a character (a code page
    // whose table maps more than one character to the same bytes) is no exact
    // one either.
    wchar_t back[1024];
    if (len > sizeof back / sizeof back[0])
        return -2;
    int backLen = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, out, got, back, static_cast<int>(len));
    if (backLen != wlen || std::wmemcmp(back, name, len) != 0)
        return -1;
    return got;
}

PathVerdict ToJobPath(const wchar_t* path, char* out, std::size_t outSize)
{
    unsigned codePage = CP_ACP;
    std::size_t len = std::wcslen(path);
    // A path of more UTF-16 units than a job may hold bytes is too long
    // whatever it converts to.
    if (len > kMaxJobPath) {
        long n = ConvertExactly(path, len, out, outSize, &codePage);
        return n == -1 ? PathVerdict::NotInCodePage : PathVerdict::TooLong;
    }
    long n = ConvertExactly(path, len, out, outSize, &codePage);
    if (n == -1)
        return PathVerdict::NotInCodePage;
    if (n < 0 || static_cast<std::size_t>(n) > kMaxJobPath)
        return PathVerdict::TooLong;
    return PathVerdict::Taken;
}

bool IsImageFileName(const std::wstring& name)
{
    static const wchar_t* const kExtensions[] = {L".jpg", L".jpeg", L".bmp", L".tif", L".tiff"};
    for (const wchar_t* ext : kExtensions) {
        std::size_t n = std::wcslen(ext);
        if (name.size() <= n)
            continue;
        bool same = true;
        for (std::size_t i = 0; i < n && same; ++i) {
            wchar_t c = name[name.size() - n + i];
            if (c >= L'A' && c <= L'Z')
                c = static_cast<wchar_t>(c - L'A' + L'a');
            same = c == ext[i];
        }
        if (same)
            return true;
    }
    return false;
}

void SortByName(std::vector<std::wstring>& names)
{
    std::sort(names.begin(), names.end(), [](const std::wstring& a, const std::wstring& b) {
        int c = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), -1, b.c_str(), -1);
        if (c != CSTR_EQUAL && c != 0)
            return c == CSTR_LESS_THAN;
        return a < b;
    });
}

const char* ProfileDialogStart(const char* remembered, bool (*folderExists)(const char* folder))
{
    if (std::strcmp(remembered, kDefaultProfileDir) == 0 && !folderExists(kDefaultProfileDir) &&
        folderExists(kProfileDirX86))
        return kProfileDirX86;
    return remembered;
}
