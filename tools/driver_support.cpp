#include "driver_support.h"

#include "rig.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tools {

CommandLine::CommandLine(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        std::string value;
        if (name.compare(0, 2, "--") == 0 && i + 1 < argc && std::strncmp(argv[i + 1], "--", 2) != 0)
            value = argv[++i];
        items_.emplace_back(name, value);
    }
}

bool CommandLine::Has(const std::string& name) const
{
    for (auto& it : items_)
        if (it.first == name)
            return true;
    return false;
}

std::string CommandLine::Value(const std::string& name, const std::string& fallback) const
{
    for (auto& it : items_)
        if (it.first == name)
            return it.second;
    return fallback;
}

long CommandLine::Number(const std::string& name, long fallback) const
{
    std::string v = Value(name);
    if (v.empty())
        return fallback;
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    return end && *end == '\0' ? n : fallback;
}

std::string CommandLine::Unknown(const std::vector<std::string>& known) const
{
    for (auto& it : items_) {
        bool ok = false;
        for (auto& k : known)
            ok = ok || it.first == k;
        if (!ok)
            return it.first;
    }
    return std::string();
}

bool EnsureFolder(const std::string& path)
{
    if (CreateDirectoryA(path.c_str(), nullptr))
        return true;
    DWORD attrs = GetFileAttributesA(path.c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY);
}

long long FileSize(const std::string& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

std::string Fixed(double value, int decimals)
{
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
    return buf;
}

std::string Pad(const std::string& text, size_t width, bool right)
{
    if (text.size() >= width)
        return text.substr(0, width);
    std::string fill(width - text.size(), ' ');
    return right ? fill + text : text + fill;
}

double Median(std::vector<double> v)
{
    if (v.empty())
        return 0.0;
    std::sort(v.begin(), v.end());
    size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2.0;
}

void Print(const std::string& text)
{
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
}

void PlaceWindow(HWND window, int x, int y, int cx, int cy)
{
    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (cx < 0 || cy < 0)
        flags |= SWP_NOSIZE;
    SetWindowPos(window, nullptr, x, y, cx < 0 ? 0 : cx, cy < 0 ? 0 : cy, flags);
}

SIZE ScreenSize()
{
    SIZE s = {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    return s;
}

bool CaptureScreen(const RECT& area, imageio::Image& out)
{
    const int w = area.right - area.left, h = area.bottom - area.top;
    if (w <= 0 || h <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    if (!screen)
        return false;
    HDC mem = CreateCompatibleDC(screen);
    BITMAPINFO bi = {};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h; // top-down rows, as imageio keeps them
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(screen, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (mem && dib && bits) {
        HGDIOBJ old = SelectObject(mem, dib);
        ok = BitBlt(mem, 0, 0, w, h, screen, area.left, area.top, SRCCOPY | CAPTUREBLT) != FALSE;
        GdiFlush();
        if (ok) {
            out = imageio::MakeImage(w, h, 3);
            // A DIB row and an imageio row are both padded to four bytes.
            std::memcpy(out.pixels.data(), bits, out.pixels.size());
        }
        SelectObject(mem, old);
    }
    if (dib)
        DeleteObject(dib);
    if (mem)
        DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return ok;
}

bool SaveWindowShot(HWND window, const std::string& pngPath, std::string* error)
{
    RECT r;
    if (!IsWindow(window) || !GetWindowRect(window, &r)) {
        if (error)
            *error = "no window to capture";
        return false;
    }
    // Only the part that is on the screen can be read.
    SIZE s = ScreenSize();
    r.left = r.left < 0 ? 0 : r.left;
    r.top = r.top < 0 ? 0 : r.top;
    r.right = r.right > s.cx ? s.cx : r.right;
    r.bottom = r.bottom > s.cy ? s.cy : r.bottom;
    imageio::Image img;
    if (!CaptureScreen(r, img)) {
        if (error)
            *error = "BitBlt from the screen failed";
        return false;
    }
    // An all-black capture means the screen could not really be read.
    bool anything = false;
    for (size_t i = 0; i < img.pixels.size() && !anything; ++i)
        anything = img.pixels[i] != 0;
    if (!anything) {
        if (error)
            *error = "the screen capture came back black";
        return false;
    }
    return imageio::SaveImage(pngPath, img, imageio::Format::PNG, 90, error);
}

std::vector<JobRecord> JobsFromJournal(const std::vector<rig::JournalEvent>& events)
{
    std::vector<JobRecord> jobs;
    for (const auto& e : events) {
        if (e.name == "menu" && e.args == "image-open") {
            jobs.emplace_back();
            jobs.back().openMenu = e.tick;
            continue;
        }
        if (jobs.empty())
            continue;
        JobRecord& j = jobs.back();
        if (e.name == "image-opened") {
            j.image = e.args;
            j.imageOpened = e.tick;
        } else if (e.name == "menu" && e.args == "profile-open") {
            j.profileMenu = e.tick;
        } else if (e.name == "menu" && e.args == "filter-apply") {
            j.filterMenu = e.tick;
        } else if (e.name == "filter-applied") {
            j.filterDone = e.tick;
            j.filterMs = static_cast<DWORD>(std::strtoul(e.args.c_str(), nullptr, 10));
        } else if (e.name == "menu" && e.args == "image-saveas") {
            j.saveMenu = e.tick;
        } else if (e.name == "saved") {
            size_t blank = e.args.find(' ');
            j.savedAs = e.args.substr(0, blank);
            j.output = blank == std::string::npos ? std::string() : e.args.substr(blank + 1);
            j.saved = e.tick;
        } else if (e.name == "open-failed" || e.name == "profile-failed" || e.name == "filter-failed" ||
                   e.name == "save-failed") {
            j.failed = true;
        }
    }
    return jobs;
}

} // namespace tools
