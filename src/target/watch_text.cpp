// The texts of the watch over Neat Image (plain functions).
#include "target/watch_text.h"

#include <cstdint>
#include <cstring>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A 16-bit little-endian value at `at`, as a resource stores it.
std::uint16_t Word(const unsigned char* data, std::size_t at)
{
    return static_cast<std::uint16_t>(data[at] | (data[at + 1] << 8));
}

// Skips a "sz_Or_Ord" member of a dialog template at *at: 0x0000 (none),
// 0xFFFF and an ordinal, or a zero-terminated wide string. False when the
// template ends first.
bool SkipSzOrOrd(const unsigned char* data, std::size_t size, std::size_t* at)
{
    if (*at + 2 > size)
        return false;
    std::uint16_t first = Word(data, *at);
    if (first == 0x0000) {
        *at += 2;
        return true;
    }
    if (first == 0xFFFF) {
        if (*at + 4 > size)
            return false;
        *at += 4;
        return true;
    }
    for (; *at + 2 <= size; *at += 2) {
        if (Word(data, *at) == 0) {
            *at += 2;
            return true;
        }
    }
    return false;
}

} // namespace

void AppendFoldedText(char* buf, std::size_t size, const char* text)
{
    if (buf == nullptr || size == 0)
        return;
    buf[size - 1] = '\0';
    std::size_t len = std::strlen(buf);
    if (text == nullptr)
        return;
    bool pendingBlank = len > 0; // one blank between what buf holds and the text
    for (const char* p = text; *p != '\0'; ++p) {
        if (IsBlank(*p)) {
            pendingBlank = len > 0;
            continue;
        }
        std::size_t need = (pendingBlank ? 1 : 0) + 1;
        if (len + need >= size)
            break;
        if (pendingBlank)
            buf[len++] = ' ';
        buf[len++] = *p;
        pendingBlank = false;
    }
    buf[len] = '\0';
}

void FormatBoxMessage(char* buf, std::size_t size, const char* caption, const char* texts)
{
    if (buf == nullptr || size == 0)
        return;
    buf[0] = '\0';
    static const char kLead[] = "Neat Image is showing \"";
    std::size_t lead = sizeof kLead - 1;
    if (lead >= size) {
        std::memcpy(buf, kLead, size - 1);
        buf[size - 1] = '\0';
        return;
    }
    std::memcpy(buf, kLead, lead + 1);
    // The caption, folded, then the closing quote: room for the quote is
    // kept back so a long caption is cut, never its quote.
    if (size - lead > 1) {
        AppendFoldedText(buf + lead, size - lead - 1, caption);
        // AppendFoldedText puts no blank in front of the first word here,
        // because the caption starts an empty buffer of its own.
    }
    std::size_t len = std::strlen(buf);
    if (len + 1 < size) {
        buf[len++] = '"';
        buf[len] = '\0';
    }
    char folded[kWatchMessageSize] = "";
    AppendFoldedText(folded, sizeof folded, texts);
    if (folded[0] == '\0')
        return;
    if (len + 2 < size) {
        buf[len++] = ':';
        buf[len] = '\0';
        AppendFoldedText(buf, size, folded);
    }
}

bool DialogTemplateCaption(const unsigned char* data, std::size_t size, wchar_t* out, std::size_t outCount)
{
    if (out == nullptr || outCount == 0)
        return false;
    out[0] = L'\0';
    if (data == nullptr)
        return false;
    // DLGTEMPLATEEX begins with dlgVer 1 and signature 0xFFFF; its fixed part
    // is 26 bytes. DLGTEMPLATE's fixed part is 18 bytes.
    std::size_t at = 0;
    if (size >= 4 && Word(data, 0) == 1 && Word(data, 2) == 0xFFFF)
        at = 26;
    else
        at = 18;
    if (at > size)
        return false;
    if (!SkipSzOrOrd(data, size, &at)) // menu
        return false;
    if (!SkipSzOrOrd(data, size, &at)) // window class
        return false;
    std::size_t n = 0;
    for (; at + 2 <= size; at += 2) {
        std::uint16_t c = Word(data, at);
        if (c == 0) {
            out[n] = L'\0';
            return n > 0;
        }
        if (n + 1 >= outCount)
            break;
        out[n++] = static_cast<wchar_t>(c);
    }
    out[0] = L'\0';
    return false;
}
