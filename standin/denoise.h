// Noise profiles and the edge-preserving denoiser of the stand-in application.
//
// Noise profile files (*.dnp) are short text files, one `key=value` a line:
//
//     # stand-in noise profile
//     sigma=12.5
//     radius=2
//     strength=1.0
//
//   sigma     required; standard deviation of the noise in 8-bit levels, 0 < sigma <= 100
//   radius    optional, default 2; half-width of the filter window in pixels, 1..5
//   strength  optional, default 1.0; scales how different two pixels may be and
//             still be averaged together, 0.1..4
//
// Blank lines and lines starting with '#' or ';' are ignored; blanks around
// keys and values are ignored; keys are matched without regard to case. Any
// other line, an unknown or repeated key, a value that is not a plain number
// or lies outside its range, a missing sigma, or a file larger than 4 KiB or
// holding control characters makes the profile unusable.
#ifndef STANDIN_DENOISE_H
#define STANDIN_DENOISE_H

#include <functional>
#include <string>

#include "imageio.h"

namespace denoise {

struct NoiseProfile {
    double sigma = 0.0;
    int radius = 2;
    double strength = 1.0;
};

// Parses profile text as described above. On failure returns false and, when
// `error` is given, says which line or value was wrong.
bool ParseProfile(const std::string& text, NoiseProfile& out, std::string* error = nullptr);

// Reads and parses a profile file (ANSI path).
bool LoadProfile(const std::string& path, NoiseProfile& out, std::string* error = nullptr);

// Called after each band of rows with the rows finished so far and the total.
using Progress = std::function<void(int rowsDone, int rowsTotal)>;

// Cross-bilateral filter: every pixel becomes a weighted mean of its
// (2*radius+1)^2 neighbourhood, where a neighbour's weight falls with its
// distance and with its colour difference to the centre. Colour differences
// are measured on a lightly blurred copy of the image so that the noise itself
// does not decide which pixels look alike; edges, whose differences are large
// against the noise level, are kept. `in` and `out` may not be the same
// object; `out` gets the size and channel count of `in` (alpha is copied).
// `progress` (optional) is called after every `bandRows` rows.
void Denoise(const imageio::Image& in, imageio::Image& out, const NoiseProfile& profile,
             const Progress& progress = Progress(), int bandRows = 16);

} // namespace denoise

#endif
