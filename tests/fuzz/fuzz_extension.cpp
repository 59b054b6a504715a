// Fuzzes the output extension rule: OutputExtension over any selector index
// and AppendOutputExtension over names of any length in buffers of any size,
// terminated or not.
//
// Input: flags, a size byte, a filler byte, an index byte, then the name.
//   flags bits 0-1  buffer size: 260 as the program uses it, 1 + size byte,
//                   252 + size byte % 16, or 1 + 4 * size byte
//   flags bit 2     expand run-length escapes in the name (long names)
//   flags bit 3     the bytes after the name are the filler byte, not zero
//   flags bit 4     take the extension from the name's first (index % 8)
//                   bytes instead of OutputExtension(index)
//   flags bit 5     scale the index far outside the selector's range
#include "fuzz_support.h"
#include "target/extension.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::size_t BufferSize(std::uint8_t flags, std::uint8_t sizeByte)
{
    switch (flags & 3) {
    case 0:
        return 260;
    case 1:
        return 1u + sizeByte;
    case 2:
        return 252u + sizeByte % 16;
    default:
        return 1u + 4u * sizeByte;
    }
}

void CheckOutputExtension(long index, const char* ext)
{
    if (index < 0 || index > 2) {
        FUZZ_CHECK(ext == nullptr, "OutputExtension gave an extension for an index out of range");
        return;
    }
    FUZZ_CHECK(ext != nullptr, "OutputExtension gave nothing for a valid index");
    FUZZ_CHECK(std::strlen(ext) == 4 && ext[0] == '.', "OutputExtension's extension is not '.' and 3 letters");
    for (long other = 0; other <= 2; ++other)
        FUZZ_CHECK(other == index || std::strcmp(OutputExtension(other), ext) != 0,
                   "two selector indexes share an extension");
}

void FuzzAppend(const std::vector<char>& name, std::size_t bufSize, char filler, const char* ext)
{
    GuardedBuffer buf(bufSize, static_cast<unsigned char>(filler));
    buf.Fill(name.data(), name.size());
    std::vector<char> before = buf.Snapshot();

    bool ok = AppendOutputExtension(buf.data(), buf.size(), ext);

    FUZZ_CHECK(buf.GuardIntact(), "AppendOutputExtension wrote past its buffer");
    std::vector<char> after = buf.Snapshot();
    if (ext == nullptr) {
        FUZZ_CHECK(!ok && after == before, "AppendOutputExtension accepted a null extension");
        return;
    }
    std::string e(ext);

    // What should happen, from the buffer as it was.
    const void* end = std::memchr(before.data(), '\0', before.size());
    if (end == nullptr) {
        FUZZ_CHECK(!ok && after == before, "AppendOutputExtension touched an unterminated name");
        return;
    }
    std::size_t len = static_cast<std::size_t>(static_cast<const char*>(end) - before.data());
    std::string original(before.data(), len);

    if (!ok) {
        FUZZ_CHECK(after == before, "AppendOutputExtension changed the buffer and returned false");
        FUZZ_CHECK(!EndsWith(original, e) && len + e.size() + 1 > bufSize,
                   "AppendOutputExtension refused a name it could extend");
        return;
    }

    // Success: the buffer holds the name, or the name with the extension
    // appended, and nothing else changed.
    FUZZ_CHECK(buf.Terminated(), "AppendOutputExtension left the name unterminated");
    std::string result(buf.data());
    FUZZ_CHECK(EndsWith(result, e), "AppendOutputExtension returned true but the name lacks the extension");
    if (EndsWith(original, e)) {
        FUZZ_CHECK(after == before, "AppendOutputExtension changed a name that already had the extension");
        return;
    }
    FUZZ_CHECK(result == original + e, "AppendOutputExtension did more than append the extension");
    std::size_t written = len + e.size() + 1;
    FUZZ_CHECK(written <= bufSize, "AppendOutputExtension wrote a result that does not fit");
    FUZZ_CHECK(std::equal(after.begin() + static_cast<long>(written), after.end(),
                          before.begin() + static_cast<long>(written)),
               "AppendOutputExtension wrote past the new terminator");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    std::uint8_t flags = in.Byte();
    std::size_t bufSize = BufferSize(flags, in.Byte());
    std::uint8_t fillByte = in.Byte();
    char filler = (flags & 8) ? static_cast<char>(fillByte) : '\0';
    long index = static_cast<std::int8_t>(in.Byte());
    if (flags & 32)
        index *= 0x10000001L;
    std::vector<char> name = Body(in, (flags & 4) != 0, 4096);

    const char* ext = OutputExtension(index);
    CheckOutputExtension(index, ext);

    std::string ownExt;
    if (flags & 16) {
        // Any short extension, even an empty one or one with a terminator inside.
        std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(index & 7), name.size());
        ownExt.assign(name.data(), n);
        ext = ownExt.c_str();
    }
    FuzzAppend(name, bufSize, filler, ext);
    return 0;
}
