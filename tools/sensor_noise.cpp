// Sensor-like noise for the sample images: brightness-dependent luminance
// noise and chroma noise from hashed normal deviates, the same for the same
// seed on any machine.
#include "scene_canvas.h"
#include "scenes.h"

#include <cmath>
#include <cstdint>

namespace scenes {
namespace {

// A standard normal deviate from two hashed uniforms (Box-Muller).
float Gauss(int x, int y, std::uint32_t seed)
{
    std::uint32_t a = Hash(x, y, seed), b = Hash(y, x, seed ^ 0xA5A5A5A5u);
    double u1 = (static_cast<double>(a >> 8) + 0.5) / 16777216.0;
    double u2 = static_cast<double>(b >> 8) / 16777216.0;
    return static_cast<float>(std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2));
}

} // namespace

imageio::Image AddSensorNoise(const imageio::Image& clean, double lumaSigma, double chromaSigma, unsigned seed,
                              NoiseStats* stats)
{
    imageio::Image out = clean;
    double sumSq = 0.0;
    for (int y = 0; y < clean.height; ++y) {
        const std::uint8_t* src = clean.row(y);
        std::uint8_t* dst = out.row(y);
        for (int x = 0; x < clean.width; ++x) {
            const std::uint8_t* p = src + x * clean.channels;
            float b = p[0], g = p[1], r = p[2];
            float lum = 0.299f * r + 0.587f * g + 0.114f * b;
            // Shot noise grows with the signal; read noise keeps a floor.
            float k = 0.75f + 0.5f * std::sqrt(lum / 255.0f);
            float l = Gauss(x, y, seed) * static_cast<float>(lumaSigma) * k;
            float c1 = Gauss(x, y, seed + 1u) * static_cast<float>(chromaSigma);
            float c2 = Gauss(x, y, seed + 2u) * static_cast<float>(chromaSigma);
            float n[3] = {l + c2, l - 0.5f * (c1 + c2), l + c1}; // B, G, R
            std::uint8_t* q = dst + x * out.channels;
            for (int c = 0; c < 3; ++c) {
                sumSq += static_cast<double>(n[c]) * n[c];
                float v = q[c] + n[c] + 0.5f;
                q[c] = static_cast<std::uint8_t>(v < 0.0f ? 0.0f : (v > 255.0f ? 255.0f : v));
            }
        }
    }
    if (stats) {
        double count = 3.0 * clean.width * clean.height;
        stats->sigma = count > 0 ? std::sqrt(sumSq / count) : 0.0;
    }
    return out;
}

} // namespace scenes
