// Fuzzes the texts of the watch over Neat Image and of a run's end: the
// caption read from a dialog template (resource bytes of any shape), the
// folding of a box's texts into a buffer of any size, the box message, and
// the run's log and status lines.
//
// Input: flags, a size byte, then the body.
//   flags bits 0-1  which function: 0 DialogTemplateCaption over the body,
//                   1 AppendFoldedText, 2 FormatBoxMessage, 3 the run lines
//   flags bit 2     expand run-length escapes in the body (long texts)
//   the size byte   the output's capacity (characters or bytes), 0 to 255
#include "batch/run_summary.h"
#include "fuzz_support.h"
#include "target/watch_text.h"

#include <cctype>
#include <string>
#include <vector>

namespace {

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// A folded text: no white space but single blanks, none at either end.
void CheckFolded(const char* text, const char* who)
{
    std::size_t n = std::strlen(text);
    for (std::size_t i = 0; i < n; ++i) {
        FUZZ_CHECK(!IsBlank(text[i]) || text[i] == ' ', who);
        FUZZ_CHECK(text[i] != ' ' || (i > 0 && i + 1 < n && text[i + 1] != ' '), who);
    }
}

void FuzzTemplate(const std::vector<char>& body, std::size_t outCount)
{
    // The template in a buffer of exactly its size: a read past it is caught.
    GuardedBuffer data(body.size());
    data.Fill(body.data(), body.size());
    std::vector<wchar_t> out(outCount + 1, L'#');
    bool ok =
        DialogTemplateCaption(reinterpret_cast<const unsigned char*>(data.data()), body.size(), out.data(), outCount);
    FUZZ_CHECK(out[outCount] == L'#', "DialogTemplateCaption wrote past its output");
    if (outCount == 0) {
        FUZZ_CHECK(!ok, "a caption in no room");
        return;
    }
    std::size_t len = 0;
    while (len < outCount && out[len] != L'\0')
        ++len;
    FUZZ_CHECK(len < outCount, "DialogTemplateCaption left its output unterminated");
    FUZZ_CHECK(ok == (len > 0), "a caption reported without text, or text without a caption");
}

void FuzzFolding(const std::vector<char>& body, std::size_t size)
{
    // The body's first part is what the buffer holds already, the rest the text.
    std::size_t split = body.empty() ? 0 : static_cast<unsigned char>(body[0]) % (body.size() + 1);
    std::string before(body.begin(), body.begin() + static_cast<long>(split));
    std::string text(body.begin() + static_cast<long>(split), body.end());
    before = before.substr(0, before.find('\0'));
    for (char& c : before)
        if (IsBlank(c))
            c = 'x'; // what buf holds already is a folded text
    GuardedBuffer buf(size);
    if (size > 0) {
        std::size_t n = before.size() < size - 1 ? before.size() : size - 1;
        buf.Fill(before.data(), n);
        buf.data()[n] = '\0';
    }
    AppendFoldedText(buf.data(), size, text.c_str());
    FUZZ_CHECK(buf.GuardIntact(), "AppendFoldedText wrote past its buffer");
    if (size == 0)
        return;
    FUZZ_CHECK(buf.Terminated(), "AppendFoldedText left its buffer unterminated");
    CheckFolded(buf.data(), "AppendFoldedText's result is not folded");
}

void FuzzBoxMessage(const std::vector<char>& body, std::size_t size)
{
    std::string all(body.begin(), body.end());
    std::size_t zero = all.find('\0');
    std::string caption = all.substr(0, zero);
    std::string texts = zero == std::string::npos ? std::string() : all.substr(zero + 1);
    texts = texts.substr(0, texts.find('\0'));
    GuardedBuffer buf(size);
    FormatBoxMessage(buf.data(), size, caption.c_str(), texts.c_str());
    FUZZ_CHECK(buf.GuardIntact(), "FormatBoxMessage wrote past its buffer");
    if (size == 0)
        return;
    FUZZ_CHECK(buf.Terminated(), "FormatBoxMessage left its buffer unterminated");
    std::string message = buf.data();
    const std::string lead = "Neat Image is showing \"";
    FUZZ_CHECK(message.compare(0, lead.size(), lead.substr(0, message.size())) == 0, "the message's lead");
    if (size > lead.size() + 1)
        FUZZ_CHECK(message.find('"', lead.size()) != std::string::npos, "the caption's closing quote was cut");
}

void FuzzRunLines(InputReader& in, std::size_t size)
{
    long processed = static_cast<long>(in.U32()), skipped = static_cast<long>(in.U32());
    long failed = static_cast<long>(in.U32());
    std::uint32_t start = in.U32(), now = in.U32();
    RunEnd end = static_cast<RunEnd>(in.Byte() % 3);
    GuardedBuffer line(size);
    std::size_t n = FormatRunSummary(line.data(), size, end, processed, skipped, failed, start, now);
    CheckBoundedText(line, n, "FormatRunSummary");
    GuardedBuffer status(size);
    n = FormatCompleteStatus(status.data(), size, failed, skipped);
    CheckBoundedText(status, n, "FormatCompleteStatus");
    if (size >= kRunSummarySize && processed >= 0 && skipped >= 0 && failed >= 0) {
        std::string text = line.data();
        FUZZ_CHECK(text.find(" failed in ") != std::string::npos, "a run line without its time");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    std::uint8_t flags = in.Byte();
    std::size_t capacity = in.Byte();
    switch (flags & 3) {
    case 0:
        FuzzTemplate(Body(in, flags & 4, 4096), capacity);
        break;
    case 1:
        FuzzFolding(Body(in, flags & 4, 4096), capacity);
        break;
    case 2:
        FuzzBoxMessage(Body(in, flags & 4, 4096), capacity);
        break;
    default:
        FuzzRunLines(in, capacity);
        break;
    }
    return 0;
}
