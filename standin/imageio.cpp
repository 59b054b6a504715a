// Image file input and output over the Windows Imaging Component.
#include "imageio.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

namespace imageio {
namespace {

// Holds one COM interface pointer and releases it on scope exit.
template <class T>
class Com {
public:
    Com() = default;
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    ~Com() { reset(); }
    T* get() const { return p_; }
    T* operator->() const { return p_; }
    T** put()
    {
        reset();
        return &p_;
    }
    void reset()
    {
        if (p_)
            p_->Release();
        p_ = nullptr;
    }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

// Initialises COM on this thread for the lifetime of the object. A thread that
// already runs COM (in either apartment model) is left as it is.
class ComScope {
public:
    ComScope()
    {
        HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        owned_ = SUCCEEDED(hr); // S_OK and S_FALSE both need a matching uninit
    }
    ~ComScope()
    {
        if (owned_)
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool owned_ = false;
};

void SetError(std::string* error, const char* step, HRESULT hr)
{
    if (!error)
        return;
    char buf[160];
    std::snprintf(buf, sizeof buf, "%s failed (0x%08lX)", step, static_cast<unsigned long>(hr));
    *error = buf;
}

std::wstring Widen(const std::string& s)
{
    if (s.empty())
        return std::wstring();
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    if (n <= 0)
        return std::wstring();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

HRESULT CreateFactory(Com<IWICImagingFactory>& factory)
{
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                            reinterpret_cast<void**>(factory.put()));
}

std::string LowerExtension(const std::string& path)
{
    std::size_t slash = path.find_last_of("\\/:");
    std::size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::string();
    std::string ext = path.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

} // namespace

Image MakeImage(int width, int height, int channels)
{
    Image img;
    if (width <= 0 || height <= 0 || (channels != 3 && channels != 4))
        return img;
    img.width = width;
    img.height = height;
    img.channels = channels;
    img.stride = (width * channels + 3) & ~3;
    img.pixels.assign(static_cast<std::size_t>(img.stride) * static_cast<std::size_t>(height), 0);
    return img;
}

bool LoadImage(const std::string& path, Image& out, int channels, std::string* error)
{
    out = Image();
    if (channels != 3 && channels != 4) {
        if (error)
            *error = "channels must be 3 or 4";
        return false;
    }
    ComScope com;
    Com<IWICImagingFactory> factory;
    HRESULT hr = CreateFactory(factory);
    if (FAILED(hr))
        return SetError(error, "CoCreateInstance(WICImagingFactory)", hr), false;

    std::wstring wpath = Widen(path);
    Com<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromFilename(wpath.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                            decoder.put());
    if (FAILED(hr))
        return SetError(error, "CreateDecoderFromFilename", hr), false;

    Com<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, frame.put());
    if (FAILED(hr))
        return SetError(error, "GetFrame", hr), false;

    UINT w = 0, h = 0;
    hr = frame->GetSize(&w, &h);
    if (FAILED(hr))
        return SetError(error, "GetSize", hr), false;
    if (w == 0 || h == 0 || w > 30000 || h > 30000) {
        if (error)
            *error = "unsupported image size";
        return false;
    }

    Com<IWICFormatConverter> converter;
    hr = factory->CreateFormatConverter(converter.put());
    if (FAILED(hr))
        return SetError(error, "CreateFormatConverter", hr), false;
    const WICPixelFormatGUID& want = channels == 3 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
    hr = converter->Initialize(frame.get(), want, WICBitmapDitherTypeNone, nullptr, 0.0, WICBitmapPaletteTypeCustom);
    if (FAILED(hr))
        return SetError(error, "FormatConverter::Initialize", hr), false;

    Image img = MakeImage(static_cast<int>(w), static_cast<int>(h), channels);
    hr = converter->CopyPixels(nullptr, static_cast<UINT>(img.stride), static_cast<UINT>(img.pixels.size()),
                               img.pixels.data());
    if (FAILED(hr))
        return SetError(error, "CopyPixels", hr), false;
    out = std::move(img);
    return true;
}

bool SaveImage(const std::string& path, const Image& img, Format format, int jpegQuality, std::string* error)
{
    if (img.empty() || (img.channels != 3 && img.channels != 4)) {
        if (error)
            *error = "no image to save";
        return false;
    }
    const GUID* container = nullptr;
    switch (format) {
    case Format::BMP:
        container = &GUID_ContainerFormatBmp;
        break;
    case Format::JPEG:
        container = &GUID_ContainerFormatJpeg;
        break;
    case Format::TIFF:
        container = &GUID_ContainerFormatTiff;
        break;
    case Format::PNG:
        container = &GUID_ContainerFormatPng;
        break;
    default:
        if (error)
            *error = "unknown output format";
        return false;
    }
    ComScope com;
    Com<IWICImagingFactory> factory;
    HRESULT hr = CreateFactory(factory);
    if (FAILED(hr))
        return SetError(error, "CoCreateInstance(WICImagingFactory)", hr), false;

    // The pixels must outlive the bitmap that wraps them; they do, since the
    // bitmap is released before this function returns.
    const WICPixelFormatGUID& srcFormat =
        img.channels == 3 ? GUID_WICPixelFormat24bppBGR : GUID_WICPixelFormat32bppBGRA;
    Com<IWICBitmap> source;
    hr = factory->CreateBitmapFromMemory(static_cast<UINT>(img.width), static_cast<UINT>(img.height), srcFormat,
                                         static_cast<UINT>(img.stride), static_cast<UINT>(img.pixels.size()),
                                         const_cast<BYTE*>(img.pixels.data()), source.put());
    if (FAILED(hr))
        return SetError(error, "CreateBitmapFromMemory", hr), false;

    std::wstring wpath = Widen(path);
    Com<IWICStream> stream;
    hr = factory->CreateStream(stream.put());
    if (FAILED(hr))
        return SetError(error, "CreateStream", hr), false;
    hr = stream->InitializeFromFilename(wpath.c_str(), GENERIC_WRITE);
    if (FAILED(hr))
        return SetError(error, "InitializeFromFilename", hr), false;

    Com<IWICBitmapEncoder> encoder;
    hr = factory->CreateEncoder(*container, nullptr, encoder.put());
    if (FAILED(hr))
        return SetError(error, "CreateEncoder", hr), false;
    hr = encoder->Initialize(stream.get(), WICBitmapEncoderNoCache);
    if (FAILED(hr))
        return SetError(error, "Encoder::Initialize", hr), false;

    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    hr = encoder->CreateNewFrame(frame.put(), options.put());
    if (FAILED(hr))
        return SetError(error, "CreateNewFrame", hr), false;
    if (format == Format::JPEG && options) {
        // An encoder that does not know the option keeps its default quality.
        PROPBAG2 name = {};
        name.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        int q = jpegQuality < 1 ? 1 : (jpegQuality > 100 ? 100 : jpegQuality);
        value.fltVal = static_cast<float>(q) / 100.0f;
        options->Write(1, &name, &value);
    }
    hr = frame->Initialize(options.get());
    if (FAILED(hr))
        return SetError(error, "Frame::Initialize", hr), false;
    hr = frame->SetSize(static_cast<UINT>(img.width), static_cast<UINT>(img.height));
    if (FAILED(hr))
        return SetError(error, "SetSize", hr), false;
    hr = frame->SetResolution(96.0, 96.0);
    if (FAILED(hr))
        return SetError(error, "SetResolution", hr), false;

    WICPixelFormatGUID frameFormat = srcFormat;
    hr = frame->SetPixelFormat(&frameFormat);
    if (FAILED(hr))
        return SetError(error, "SetPixelFormat", hr), false;

    // The encoder may have picked another pixel format than the one asked
    // for (JPEG has no alpha, for one); convert the source to match it.
    Com<IWICBitmapSource> converted;
    IWICBitmapSource* toWrite = source.get();
    if (!IsEqualGUID(frameFormat, srcFormat)) {
        hr = WICConvertBitmapSource(frameFormat, source.get(), converted.put());
        if (FAILED(hr))
            return SetError(error, "WICConvertBitmapSource", hr), false;
        toWrite = converted.get();
    }
    hr = frame->WriteSource(toWrite, nullptr);
    if (FAILED(hr))
        return SetError(error, "WriteSource", hr), false;
    hr = frame->Commit();
    if (FAILED(hr))
        return SetError(error, "Frame::Commit", hr), false;
    hr = encoder->Commit();
    if (FAILED(hr))
        return SetError(error, "Encoder::Commit", hr), false;
    return true;
}

std::string DetectFormat(const std::string& path)
{
    ComScope com;
    Com<IWICImagingFactory> factory;
    if (FAILED(CreateFactory(factory)))
        return std::string();
    std::wstring wpath = Widen(path);
    Com<IWICBitmapDecoder> decoder;
    if (FAILED(factory->CreateDecoderFromFilename(wpath.c_str(), nullptr, GENERIC_READ, WICDecodeMetadataCacheOnDemand,
                                                  decoder.put())))
        return std::string();
    // A decoder that was created but cannot hand out a frame did not really
    // recognise the file.
    Com<IWICBitmapFrameDecode> frame;
    if (FAILED(decoder->GetFrame(0, frame.put())))
        return std::string();
    GUID container;
    if (FAILED(decoder->GetContainerFormat(&container)))
        return std::string();
    if (IsEqualGUID(container, GUID_ContainerFormatBmp))
        return "BMP";
    if (IsEqualGUID(container, GUID_ContainerFormatJpeg))
        return "JPEG";
    if (IsEqualGUID(container, GUID_ContainerFormatTiff))
        return "TIFF";
    if (IsEqualGUID(container, GUID_ContainerFormatPng))
        return "PNG";
    if (IsEqualGUID(container, GUID_ContainerFormatGif))
        return "GIF";
    if (IsEqualGUID(container, GUID_ContainerFormatIco))
        return "ICO";
    return "OTHER";
}

Format FormatFromExtension(const std::string& path)
{
    std::string ext = LowerExtension(path);
    if (ext == ".tif")
        return Format::TIFF;
    if (ext == ".jpg")
        return Format::JPEG;
    if (ext == ".bmp")
        return Format::BMP;
    if (ext == ".png")
        return Format::PNG;
    return Format::Unknown;
}

const char* FormatName(Format format)
{
    switch (format) {
    case Format::BMP:
        return "BMP";
    case Format::JPEG:
        return "JPEG";
    case Format::TIFF:
        return "TIFF";
    case Format::PNG:
        return "PNG";
    default:
        return "";
    }
}

double Psnr(const Image& a, const Image& b)
{
    if (a.empty() || b.empty() || a.width != b.width || a.height != b.height)
        return -1.0;
    double sum = 0.0;
    for (int y = 0; y < a.height; ++y) {
        const std::uint8_t* pa = a.row(y);
        const std::uint8_t* pb = b.row(y);
        for (int x = 0; x < a.width; ++x) {
            for (int c = 0; c < 3; ++c) {
                double d = static_cast<double>(pa[x * a.channels + c]) - static_cast<double>(pb[x * b.channels + c]);
                sum += d * d;
            }
        }
    }
    if (sum == 0.0)
        return std::numeric_limits<double>::infinity();
    double mse = sum / (3.0 * a.width * static_cast<double>(a.height));
    return 10.0 * std::log10(255.0 * 255.0 / mse);
}

} // namespace imageio
