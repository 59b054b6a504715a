// Image file input and output over the Windows Imaging Component (WIC).
//
// Plain functions, no windows. Every function initialises COM on the calling
// thread for the length of the call (apartment-threaded; a thread that already
// runs COM in either model is fine), so they can be used from any thread of a
// test or of the stand-in application. Paths are ANSI (system code page).
//
// Pixels are kept top-down, blue-green-red byte order (and alpha last for four
// channels), with rows padded to a multiple of four bytes so that a buffer can
// be handed to GDI as a DIB section without copying.
#ifndef STANDIN_IMAGEIO_H
#define STANDIN_IMAGEIO_H

#include <cstdint>
#include <string>
#include <vector>

namespace imageio {

struct Image {
    int width = 0;
    int height = 0;
    int channels = 3; // 3: BGR, 4: BGRA
    int stride = 0;   // bytes per row, a multiple of 4
    std::vector<std::uint8_t> pixels;

    bool empty() const { return width <= 0 || height <= 0 || pixels.empty(); }
    std::uint8_t* row(int y) { return pixels.data() + static_cast<std::size_t>(y) * stride; }
    const std::uint8_t* row(int y) const { return pixels.data() + static_cast<std::size_t>(y) * stride; }
};

enum class Format { Unknown, BMP, JPEG, TIFF, PNG };

// Allocates a zero-filled image of the given size (channels 3 or 4).
Image MakeImage(int width, int height, int channels = 3);

// Decodes the first frame of an image file and converts it to 24-bit BGR
// (channels 3) or 32-bit BGRA (channels 4). On failure returns false, leaves
// `out` empty and, when `error` is given, describes the failing step.
bool LoadImage(const std::string& path, Image& out, int channels = 3, std::string* error = nullptr);

// Encodes `img` into a new file (replacing any existing file) in the given
// container format. `jpegQuality` (1..100) is used for JPEG only.
bool SaveImage(const std::string& path, const Image& img, Format format, int jpegQuality = 90,
               std::string* error = nullptr);

// Decodes just enough of a file to report its container format: "BMP", "JPEG",
// "TIFF", "PNG", another upper-case short name for formats WIC knows, or ""
// when the file cannot be decoded at all. The name of the file plays no part.
std::string DetectFormat(const std::string& path);

// The format chosen by a file name's extension, compared without regard to
// case: ".tif" TIFF, ".jpg" JPEG, ".bmp" BMP, ".png" PNG; anything else Unknown.
Format FormatFromExtension(const std::string& path);

// "BMP", "JPEG", "TIFF", "PNG" or "" for Unknown.
const char* FormatName(Format format);

// Peak signal-to-noise ratio in dB over the colour channels (B, G, R) of two
// images of equal size; alpha is ignored. Identical images give +infinity;
// images of different size (or empty ones) give -1.
double Psnr(const Image& a, const Image& b);

} // namespace imageio

#endif
