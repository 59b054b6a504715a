// Noise profile parsing and the cross-bilateral denoiser.
#include "denoise.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace denoise {
namespace {

std::string Trim(const std::string& s)
{
    std::size_t b = 0, e = s.size();
    while (b < e && (s[b] == ' ' || s[b] == '\t'))
        ++b;
    while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t'))
        --e;
    return s.substr(b, e - b);
}

std::string Lower(std::string s)
{
    for (char& c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// A plain decimal number: optional sign, digits, optional fraction; nothing else.
bool ParseNumber(const std::string& s, double& out)
{
    if (s.empty())
        return false;
    for (char c : s) {
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+'))
            return false;
    }
    char* end = nullptr;
    out = std::strtod(s.c_str(), &end);
    return end && *end == '\0' && std::isfinite(out);
}

bool Fail(std::string* error, int line, const std::string& what)
{
    if (error) {
        char buf[32];
        std::snprintf(buf, sizeof buf, "line %d: ", line);
        *error = line > 0 ? std::string(buf) + what : what;
    }
    return false;
}

// Replicates the edge pixels outward by `pad` on every side, turning the
// image into a float plane per channel (channel-interleaved, 3 channels).
std::vector<float> PadPlanes(const imageio::Image& img, int pad, int& pw, int& ph)
{
    pw = img.width + 2 * pad;
    ph = img.height + 2 * pad;
    std::vector<float> out(static_cast<std::size_t>(pw) * ph * 3);
    for (int y = 0; y < ph; ++y) {
        int sy = std::min(std::max(y - pad, 0), img.height - 1);
        const std::uint8_t* src = img.row(sy);
        float* dst = out.data() + static_cast<std::size_t>(y) * pw * 3;
        for (int x = 0; x < pw; ++x) {
            int sx = std::min(std::max(x - pad, 0), img.width - 1);
            const std::uint8_t* p = src + sx * img.channels;
            dst[x * 3 + 0] = p[0];
            dst[x * 3 + 1] = p[1];
            dst[x * 3 + 2] = p[2];
        }
    }
    return out;
}

} // namespace

bool ParseProfile(const std::string& text, NoiseProfile& out, std::string* error)
{
    if (text.size() > 4096)
        return Fail(error, 0, "profile larger than 4 KiB");
    NoiseProfile p;
    bool haveSigma = false, haveRadius = false, haveStrength = false;
    std::size_t pos = 0;
    int lineNo = 0;
    while (pos <= text.size()) {
        std::size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() + 1 : nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        for (char c : line) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t')
                return Fail(error, lineNo, "control character");
        }
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';')
            continue;
        std::size_t eq = line.find('=');
        if (eq == std::string::npos)
            return Fail(error, lineNo, "expected key=value");
        std::string key = Lower(Trim(line.substr(0, eq)));
        std::string val = Trim(line.substr(eq + 1));
        double v = 0.0;
        if (!ParseNumber(val, v))
            return Fail(error, lineNo, "not a number: " + val);
        if (key == "sigma") {
            if (haveSigma)
                return Fail(error, lineNo, "sigma given twice");
            if (!(v > 0.0 && v <= 100.0))
                return Fail(error, lineNo, "sigma out of range (0, 100]");
            p.sigma = v;
            haveSigma = true;
        } else if (key == "radius") {
            if (haveRadius)
                return Fail(error, lineNo, "radius given twice");
            if (v != std::floor(v) || v < 1.0 || v > 5.0)
                return Fail(error, lineNo, "radius must be a whole number 1..5");
            p.radius = static_cast<int>(v);
            haveRadius = true;
        } else if (key == "strength") {
            if (haveStrength)
                return Fail(error, lineNo, "strength given twice");
            if (v < 0.1 || v > 4.0)
                return Fail(error, lineNo, "strength out of range [0.1, 4]");
            p.strength = v;
            haveStrength = true;
        } else {
            return Fail(error, lineNo, "unknown key: " + key);
        }
    }
    if (!haveSigma)
        return Fail(error, 0, "sigma missing");
    out = p;
    return true;
}

bool LoadProfile(const std::string& path, NoiseProfile& out, std::string* error)
{
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return Fail(error, 0, "cannot open file");
    std::string text;
    char buf[1024];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) {
        text.append(buf, n);
        if (text.size() > 4096)
            break;
    }
    bool readError = std::ferror(f) != 0;
    std::fclose(f);
    if (readError)
        return Fail(error, 0, "cannot read file");
    return ParseProfile(text, out, error);
}

void Denoise(const imageio::Image& in, imageio::Image& out, const NoiseProfile& profile, const Progress& progress,
             int bandRows)
{
    out = imageio::MakeImage(in.width, in.height, in.channels);
    if (in.empty())
        return;
    if (bandRows < 1)
        bandRows = 1;
    const int r = std::min(std::max(profile.radius, 1), 5);
    const int pad = r + 1; // one more for the blurred guide
    int pw = 0, ph = 0;
    std::vector<float> src = PadPlanes(in, pad, pw, ph);

    // Guide: a 3x3 binomial blur of the noisy image. Its noise is about 0.375
    // of the input's, so comparing guide values tells structure from noise far
    // better than comparing the noisy pixels themselves.
    std::vector<float> guide(src.size());
    {
        std::vector<float> tmp(src.size());
        const int rowLen = pw * 3;
        for (int y = 0; y < ph; ++y) {
            const float* s = src.data() + static_cast<std::size_t>(y) * rowLen;
            float* t = tmp.data() + static_cast<std::size_t>(y) * rowLen;
            for (int i = 0; i < rowLen; ++i) {
                float l = i >= 3 ? s[i - 3] : s[i];
                float rr = i + 3 < rowLen ? s[i + 3] : s[i];
                t[i] = 0.25f * l + 0.5f * s[i] + 0.25f * rr;
            }
        }
        for (int y = 0; y < ph; ++y) {
            const float* up = tmp.data() + static_cast<std::size_t>(y > 0 ? y - 1 : y) * rowLen;
            const float* mid = tmp.data() + static_cast<std::size_t>(y) * rowLen;
            const float* dn = tmp.data() + static_cast<std::size_t>(y + 1 < ph ? y + 1 : y) * rowLen;
            float* g = guide.data() + static_cast<std::size_t>(y) * rowLen;
            for (int i = 0; i < rowLen; ++i)
                g[i] = 0.25f * up[i] + 0.5f * mid[i] + 0.25f * dn[i];
        }
    }

    // Range weights by the mean absolute colour difference of the guide,
    // in steps of 1/8 level; spatial weights by distance.
    const double h = std::max(0.5, 0.9 * profile.sigma * profile.strength);
    const int lutSize = 256 * 8 + 1;
    std::vector<float> rangeLut(static_cast<std::size_t>(lutSize));
    for (int i = 0; i < lutSize; ++i) {
        double d = i / 8.0;
        rangeLut[static_cast<std::size_t>(i)] = static_cast<float>(std::exp(-(d * d) / (2.0 * h * h)));
    }
    const double sigmaS = std::max(1.0, 0.8 * r);
    const int win = 2 * r + 1;
    std::vector<float> spatial(static_cast<std::size_t>(win) * win);
    std::vector<std::ptrdiff_t> offsets(static_cast<std::size_t>(win) * win);
    for (int dy = -r; dy <= r; ++dy) {
        for (int dx = -r; dx <= r; ++dx) {
            std::size_t k = static_cast<std::size_t>((dy + r) * win + (dx + r));
            spatial[k] = static_cast<float>(std::exp(-(dx * dx + dy * dy) / (2.0 * sigmaS * sigmaS)));
            offsets[k] = (static_cast<std::ptrdiff_t>(dy) * pw + dx) * 3;
        }
    }
    const float sadScale = 8.0f / 3.0f; // mean over three channels, in 1/8 levels
    const std::size_t taps = spatial.size();

    for (int y0 = 0; y0 < in.height; y0 += bandRows) {
        const int y1 = std::min(in.height, y0 + bandRows);
        for (int y = y0; y < y1; ++y) {
            std::uint8_t* dst = out.row(y);
            const std::uint8_t* alphaSrc = in.row(y);
            const std::size_t base = (static_cast<std::size_t>(y + pad) * pw + pad) * 3;
            for (int x = 0; x < in.width; ++x) {
                const std::size_t c = base + static_cast<std::size_t>(x) * 3;
                const float g0 = guide[c], g1 = guide[c + 1], g2 = guide[c + 2];
                float wsum = 0.f, a0 = 0.f, a1 = 0.f, a2 = 0.f;
                for (std::size_t k = 0; k < taps; ++k) {
                    const std::size_t n = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(c) + offsets[k]);
                    float sad = std::fabs(guide[n] - g0) + std::fabs(guide[n + 1] - g1) + std::fabs(guide[n + 2] - g2);
                    int idx = static_cast<int>(sad * sadScale + 0.5f);
                    if (idx >= lutSize)
                        continue;
                    const float w = spatial[k] * rangeLut[static_cast<std::size_t>(idx)];
                    wsum += w;
                    a0 += w * src[n];
                    a1 += w * src[n + 1];
                    a2 += w * src[n + 2];
                }
                // The centre tap always has weight 1, so wsum is never zero.
                const float inv = 1.0f / wsum;
                std::uint8_t* o = dst + x * out.channels;
                o[0] = static_cast<std::uint8_t>(std::min(255.f, a0 * inv + 0.5f));
                o[1] = static_cast<std::uint8_t>(std::min(255.f, a1 * inv + 0.5f));
                o[2] = static_cast<std::uint8_t>(std::min(255.f, a2 * inv + 0.5f));
                if (out.channels == 4)
                    o[3] = alphaSrc[x * in.channels + 3];
            }
        }
        if (progress)
            progress(y1, in.height);
    }
}

} // namespace denoise
