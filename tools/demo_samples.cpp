// The demo's sample photographs: six painted scenes at 1024x768, each kept
// clean as a PNG and written with sensor-like noise as the input Tolvane
// gets, and a noise profile that matches the noise.
#include "demo.h"

#include "imageio.h"
#include "rig.h"
#include "scenes.h"

#include <algorithm>
#include <sstream>

namespace demo {
namespace {

constexpr int kWidth = 1024;
constexpr int kHeight = 768;
constexpr double kLumaSigma = 13.0;
constexpr double kChromaSigma = 6.0;

} // namespace

bool MakeSamples(Run& run)
{
    static const char* const kExt[] = {".jpg", ".jpg", ".bmp", ".bmp", ".tif", ".tif"};
    double sigmaSum = 0.0;
    int count = std::min(scenes::Count(), 6);
    for (int i = 0; i < count; ++i) {
        double t0 = rig::NowMs();
        Sample s;
        s.name = scenes::Name(i);
        s.clean = paths::JoinPath(run.out, s.name + "_original.png");
        s.input = paths::JoinPath(run.out, s.name + kExt[i]);
        imageio::Image clean = scenes::Render(i, kWidth, kHeight);
        scenes::NoiseStats stats;
        imageio::Image noisy = scenes::AddSensorNoise(clean, kLumaSigma, kChromaSigma, 7001u + i, &stats);
        sigmaSum += stats.sigma;
        std::string error;
        if (!imageio::SaveImage(s.clean, clean, imageio::Format::PNG, 90, &error) ||
            !imageio::SaveImage(s.input, noisy, imageio::FormatFromExtension(s.input), 95, &error)) {
            run.failure = "cannot write the sample " + s.name + ": " + error;
            return false;
        }
        tools::Print("  " + tools::Pad(paths::FileNameOf(s.input), 16) + " " + std::to_string(kWidth) + "x" +
                     std::to_string(kHeight) + ", noise sigma " + tools::Fixed(stats.sigma, 1) + " (" +
                     tools::Fixed((rig::NowMs() - t0) / 1000.0, 1) + " s)\n");
        run.samples.push_back(s);
    }
    run.profile = paths::JoinPath(run.out, "demo_noise.dnp");
    std::ostringstream text;
    text << "# Noise profile of the demo's sample images\r\n"
         << "sigma=" << tools::Fixed(sigmaSum / count, 1) << "\r\nradius=2\r\nstrength=1.0\r\n";
    if (!rig::WriteFileText(run.profile, text.str())) {
        run.failure = "cannot write " + run.profile;
        return false;
    }
    tools::Print("  " + tools::Pad(paths::FileNameOf(run.profile), 16) + " sigma=" + tools::Fixed(sigmaSum / count, 1) +
                 "\n");
    return true;
}

} // namespace demo
