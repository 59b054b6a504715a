// Fuzzes where an output goes: PlaceOutput over any image path and any
// proposed name (the text another program put in its Save As box), in
// buffers of any size.
//
// Input: flags, a size byte, a split byte, then the body, split in two at
// (split byte % (body length + 1)): the image path, then the name.
//   flags bits 0-1  buffer size: kOutputNameSize as the program uses it, the
//                   size byte (0 included), 250 + size byte % 16, or
//                   1 + 4 * size byte
//   flags bit 2     expand run-length escapes in the body (long paths)
#include "fuzz_support.h"
#include "target/output_path.h"

#include <string>
#include <vector>

namespace {

std::size_t BufferSize(std::uint8_t flags, std::uint8_t sizeByte)
{
    switch (flags & 3) {
    case 0:
        return kOutputNameSize;
    case 1:
        return sizeByte;
    case 2:
        return 250u + sizeByte % 16;
    default:
        return 1u + 4u * sizeByte;
    }
}

bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// The image path up to and with its last separator.
std::string FolderOf(const std::string& image)
{
    std::size_t last = image.find_last_of("\\/");
    return last == std::string::npos ? std::string() : image.substr(0, last + 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    std::uint8_t flags = in.Byte();
    std::size_t outSize = BufferSize(flags, in.Byte());
    std::uint8_t split = in.Byte();
    std::vector<char> body = Body(in, (flags & 4) != 0, 4096);
    std::size_t at = split % (body.size() + 1);
    // Texts end at their first zero, as they do in the program.
    const std::string image = std::string(body.data(), at).c_str();
    const std::string name = std::string(body.data() + at, body.size() - at).c_str();

    GuardedBuffer out(outSize);
    OutputPlace place = PlaceOutput(image.c_str(), name.c_str(), out.data(), out.size());
    FUZZ_CHECK(out.GuardIntact(), "PlaceOutput wrote past its buffer");
    if (outSize == 0) {
        FUZZ_CHECK(place == OutputPlace::TooLong, "PlaceOutput placed a path in no room at all");
        return 0;
    }
    FUZZ_CHECK(out.Terminated(), "PlaceOutput left its buffer unterminated");
    const std::string result(out.data());
    FUZZ_CHECK(OutputPlaced(place) || result.empty(), "PlaceOutput failed but left a path behind");
    FUZZ_CHECK((place == OutputPlace::NoName) == name.empty(), "an empty name is NoName and only that");

    // The same inputs with all the room they could need: the small buffer
    // holds the same path, or the path is too long for it.
    GuardedBuffer roomy(image.size() + name.size() + 2);
    OutputPlace roomyPlace = PlaceOutput(image.c_str(), name.c_str(), roomy.data(), roomy.size());
    FUZZ_CHECK(roomyPlace != OutputPlace::TooLong, "PlaceOutput found a path too long for all the room it needs");
    const std::string full(roomy.data());
    if (place == OutputPlace::TooLong) {
        FUZZ_CHECK(OutputPlaced(roomyPlace) && full.size() >= outSize, "TooLong for a path that fits");
        return 0;
    }
    FUZZ_CHECK(place == roomyPlace && result == full, "the buffer's size changed the path");

    switch (place) {
    case OutputPlace::Kept:
        FUZZ_CHECK(result == name, "a kept name was changed");
        break;
    case OutputPlace::InImageFolder:
        FUZZ_CHECK(!FolderOf(image).empty() && result == FolderOf(image) + name,
                   "a name without a folder is not in the image's folder");
        FUZZ_CHECK(!IsSeparator(name[0]), "a rooted name was put in the image's folder");
        break;
    case OutputPlace::OnImageDrive:
        FUZZ_CHECK(IsSeparator(name[0]) && result.size() > name.size() &&
                       result.compare(result.size() - name.size(), name.size(), name) == 0 &&
                       image.compare(0, result.size() - name.size(), result, 0, result.size() - name.size()) == 0,
                   "a rooted name is not on the image's drive");
        break;
    default:
        break;
    }
    return 0;
}
