// The painting primitives of the scenes: colours, hashed value noise and its
// fractal sums, a small deterministic generator for placing things, and the
// float canvas the layers are painted on, with its conversion to an image.
// All inline: the scenes call them for every pixel.
#pragma once

#include "imageio.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace scenes {

struct Rgb {
    float r, g, b;
};

inline Rgb operator+(Rgb a, Rgb b)
{
    return {a.r + b.r, a.g + b.g, a.b + b.b};
}
inline Rgb operator*(Rgb a, float s)
{
    return {a.r * s, a.g * s, a.b * s};
}
inline Rgb Mix(Rgb a, Rgb b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}
inline float Clamp01(float v)
{
    return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v);
}
inline float Smooth(float e0, float e1, float x)
{
    float t = Clamp01((x - e0) / (e1 - e0));
    return t * t * (3.0f - 2.0f * t);
}

inline std::uint32_t Hash(int x, int y, std::uint32_t seed)
{
    std::uint32_t h = seed * 0x9E3779B9u;
    h ^= static_cast<std::uint32_t>(x) * 0x27D4EB2Du;
    h = (h << 13) | (h >> 19);
    h ^= static_cast<std::uint32_t>(y) * 0x165667B1u;
    h ^= h >> 15;
    h *= 0x2C1B3C6Du;
    h ^= h >> 12;
    h *= 0x297A2D39u;
    h ^= h >> 15;
    return h;
}

inline float Lattice(int x, int y, std::uint32_t seed)
{
    return static_cast<float>(Hash(x, y, seed) >> 8) / 16777216.0f;
}

// Smooth value noise in [0, 1).
inline float Noise(float x, float y, std::uint32_t seed)
{
    float fx = std::floor(x), fy = std::floor(y);
    int ix = static_cast<int>(fx), iy = static_cast<int>(fy);
    float tx = x - fx, ty = y - fy;
    tx = tx * tx * (3.0f - 2.0f * tx);
    ty = ty * ty * (3.0f - 2.0f * ty);
    float a = Lattice(ix, iy, seed), b = Lattice(ix + 1, iy, seed);
    float c = Lattice(ix, iy + 1, seed), d = Lattice(ix + 1, iy + 1, seed);
    return (a + (b - a) * tx) + ((c + (d - c) * tx) - (a + (b - a) * tx)) * ty;
}

// Fractal sum of octaves, normalised to [0, 1).
inline float Fbm(float x, float y, int octaves, std::uint32_t seed)
{
    float sum = 0.0f, amp = 0.5f, norm = 0.0f;
    for (int i = 0; i < octaves; ++i) {
        sum += amp * Noise(x, y, seed + static_cast<std::uint32_t>(i) * 101u);
        norm += amp;
        x = x * 2.03f + 17.1f;
        y = y * 2.03f + 5.3f;
        amp *= 0.5f;
    }
    return sum / norm;
}

// A small deterministic generator for placing things.
struct Rng {
    std::uint32_t state;
    std::uint32_t Next()
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return state;
    }
    float Range(float lo, float hi) { return lo + (hi - lo) * static_cast<float>(Next() >> 8) / 16777216.0f; }
};

class Canvas {
public:
    Canvas(int w, int h) : w_(w), h_(h), px_(static_cast<std::size_t>(w) * h, Rgb{0, 0, 0}) {}
    int W() const { return w_; }
    int H() const { return h_; }
    Rgb& At(int x, int y) { return px_[static_cast<std::size_t>(y) * w_ + x]; }
    Rgb Get(int x, int y) const
    {
        x = std::min(std::max(x, 0), w_ - 1);
        y = std::min(std::max(y, 0), h_ - 1);
        return px_[static_cast<std::size_t>(y) * w_ + x];
    }
    void Blend(int x, int y, Rgb c, float a)
    {
        if (x < 0 || y < 0 || x >= w_ || y >= h_ || a <= 0.0f)
            return;
        Rgb& p = At(x, y);
        p = Mix(p, c, Clamp01(a));
    }

private:
    int w_, h_;
    std::vector<Rgb> px_;
};

// The canvas as a 24-bit image, with a soft vignette.
inline imageio::Image ToImage(const Canvas& cv)
{
    const int W = cv.W(), H = cv.H();
    imageio::Image img = imageio::MakeImage(W, H, 3);
    for (int y = 0; y < H; ++y) {
        std::uint8_t* row = img.row(y);
        for (int x = 0; x < W; ++x) {
            Rgb c = cv.Get(x, y);
            // A soft vignette, as a lens gives.
            float dx = (x - 0.5f * W) / (0.5f * W), dy = (y - 0.5f * H) / (0.5f * H);
            float k = 1.0f - 0.12f * (dx * dx + dy * dy);
            auto to8 = [k](float v) {
                float s = v * k + 0.5f;
                return static_cast<std::uint8_t>(s < 0.0f ? 0.0f : (s > 255.0f ? 255.0f : s));
            };
            row[x * 3 + 0] = to8(c.b);
            row[x * 3 + 1] = to8(c.g);
            row[x * 3 + 2] = to8(c.r);
        }
    }
    return img;
}

} // namespace scenes
