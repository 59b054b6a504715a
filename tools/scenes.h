// Procedural landscape scenes and sensor-like noise for the demo.
//
// Everything here is deterministic: the same scene number and size always give
// the same pixels, on any machine, so a demo run can be compared with another.
#pragma once

#include "imageio.h"

#include <string>

namespace scenes {

// The number of built-in scenes and the short name of each (used in file names).
int Count();
const char* Name(int index);

// Renders scene `index` (0..Count()-1) at the given size: sky with sun and
// clouds, layered hills, textured ground, trees and, in some scenes, water.
imageio::Image Render(int index, int width, int height);

// Noise as a camera sensor adds it: a luminance part whose strength grows
// with brightness (sigma lumaSigma at mid grey) and an independent chroma
// part (chromaSigma on the red and blue differences). Deterministic in seed.
struct NoiseStats {
    double sigma = 0.0; // measured standard deviation of the added noise, per channel, before clipping
};
imageio::Image AddSensorNoise(const imageio::Image& clean, double lumaSigma, double chromaSigma, unsigned seed,
                              NoiseStats* stats = nullptr);

} // namespace scenes
