// Procedural landscapes: a few layers painted back to front on a float canvas
// (sky, sun and clouds; hills; far-shore trees; water that mirrors what lies
// above it; ground; near trees), each textured with value noise. Sizes and
// noise frequencies are taken relative to the image size, so a scene looks
// the same at any resolution.
#include "scenes.h"

#include "scene_canvas.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace scenes {
namespace {

struct Ridge {
    float base; // lowest point of the crest line, fraction of the height
    float amp;  // how far the crest rises above it
    float freq; // crest features across the width
    Rgb color;
    float snow; // 0: none; otherwise the snow line, as a fraction of amp below the highest crest
};

struct Scene {
    const char* name;
    std::uint32_t seed;
    Rgb skyTop, skyHorizon;
    float sunX, sunY, sunR; // fractions of width/height; radius a fraction of the width
    Rgb sun;
    float glow;
    float clouds; // 0: clear .. 1: overcast
    Rgb cloudLight, cloudShade;
    int ridgeCount;
    Ridge ridges[3];
    float groundTop; // where the ground meets the last hill (no-water scenes)
    Rgb groundFar, groundNear;
    float water; // top of the water, fraction of height; 0 = no water
    float bank;  // top of the foreground bank in water scenes
    Rgb waterTint;
    int shoreTrees; // small conifers on the far shore (water scenes)
    int conifers, broadleaf;
    Rgb coniferColor;
    Rgb foliage[3];
    float treeMin, treeMax; // tree height (fraction of height) far and near
};

// One scene a few lines, as a table reads best.
// clang-format off
const Scene kScenes[] = {
    {"meadow", 11u, {58, 110, 190}, {170, 200, 228}, 0.78f, 0.14f, 0.028f, {255, 250, 225}, 0.55f, 0.45f,
     {250, 250, 252}, {170, 178, 196}, 2,
     {{0.50f, 0.13f, 2.2f, {112, 140, 160}, 0.0f}, {0.58f, 0.10f, 3.0f, {78, 118, 70}, 0.0f}, {}},
     0.62f, {120, 150, 70}, {72, 120, 38}, 0.0f, 0.0f, {}, 0, 3, 9, {38, 70, 40},
     {{64, 112, 40}, {86, 128, 44}, {52, 96, 36}}, 0.06f, 0.42f},
    {"lake", 23u, {92, 140, 200}, {232, 214, 204}, 0.22f, 0.30f, 0.022f, {255, 236, 200}, 0.75f, 0.25f,
     {250, 240, 236}, {168, 160, 176}, 3,
     {{0.42f, 0.22f, 1.6f, {140, 156, 182}, 0.55f}, {0.50f, 0.14f, 2.6f, {96, 116, 140}, 0.0f},
      {0.56f, 0.06f, 4.0f, {48, 76, 60}, 0.0f}},
     0.0f, {86, 120, 60}, {60, 96, 40}, 0.56f, 0.86f, {40, 70, 96}, 26, 5, 0, {30, 58, 40},
     {{60, 100, 40}, {70, 110, 44}, {50, 90, 36}}, 0.05f, 0.30f},
    {"sunset", 37u, {44, 52, 110}, {250, 150, 70}, 0.52f, 0.44f, 0.034f, {255, 220, 140}, 1.25f, 0.35f,
     {250, 170, 120}, {120, 70, 90}, 2,
     {{0.48f, 0.12f, 2.0f, {96, 66, 104}, 0.0f}, {0.57f, 0.08f, 3.2f, {58, 40, 66}, 0.0f}, {}},
     0.0f, {50, 40, 40}, {34, 26, 30}, 0.60f, 0.88f, {70, 50, 80}, 18, 4, 0, {26, 22, 30},
     {{40, 30, 34}, {46, 34, 36}, {36, 28, 32}}, 0.05f, 0.34f},
    {"alpine", 41u, {30, 86, 180}, {160, 196, 230}, 0.30f, 0.12f, 0.024f, {255, 252, 235}, 0.5f, 0.3f,
     {252, 252, 255}, {180, 188, 204}, 3,
     {{0.40f, 0.30f, 1.4f, {120, 136, 170}, 0.5f}, {0.52f, 0.18f, 2.2f, {84, 104, 128}, 0.35f},
      {0.60f, 0.07f, 3.5f, {60, 96, 56}, 0.0f}},
     0.64f, {112, 146, 64}, {70, 118, 42}, 0.0f, 0.0f, {}, 0, 14, 2, {28, 60, 38},
     {{70, 118, 44}, {80, 126, 48}, {60, 108, 40}}, 0.05f, 0.46f},
    {"coast", 53u, {64, 126, 204}, {196, 222, 240}, 0.66f, 0.18f, 0.026f, {255, 252, 232}, 0.6f, 0.6f,
     {252, 252, 252}, {150, 160, 180}, 1,
     {{0.47f, 0.07f, 2.4f, {100, 126, 120}, 0.0f}, {}, {}},
     0.0f, {214, 196, 150}, {196, 172, 120}, 0.50f, 0.80f, {36, 96, 128}, 0, 0, 4, {30, 60, 40},
     {{60, 104, 44}, {76, 118, 46}, {54, 96, 40}}, 0.10f, 0.40f},
    {"autumn", 67u, {118, 134, 156}, {206, 206, 200}, 0.40f, 0.10f, 0.0f, {240, 236, 220}, 0.25f, 0.75f,
     {232, 232, 232}, {140, 142, 150}, 2,
     {{0.50f, 0.10f, 2.4f, {120, 122, 110}, 0.0f}, {0.57f, 0.08f, 3.0f, {110, 104, 60}, 0.0f}, {}},
     0.60f, {168, 150, 80}, {130, 112, 46}, 0.0f, 0.0f, {}, 0, 1, 11, {40, 60, 40},
     {{200, 90, 30}, {220, 160, 40}, {170, 50, 30}}, 0.06f, 0.44f},
};
// clang-format on
const int kSceneCount = static_cast<int>(sizeof kScenes / sizeof kScenes[0]);

void PaintSky(Canvas& cv, const Scene& sc, float horizonY)
{
    const int W = cv.W(), H = cv.H();
    const float sx = sc.sunX * W, sy = sc.sunY * H, sr = sc.sunR * W;
    for (int y = 0; y < H; ++y) {
        float t = Clamp01(y / horizonY);
        Rgb base = Mix(sc.skyTop, sc.skyHorizon, std::pow(t, 0.8f));
        float fade = 1.0f - Smooth(0.7f, 1.0f, t); // clouds thin out towards the horizon
        for (int x = 0; x < W; ++x) {
            Rgb c = base;
            float dx = x - sx, dy = y - sy;
            float d = std::sqrt(dx * dx + dy * dy);
            float dn = d / W;
            float glow = sc.glow * (0.9f * std::exp(-dn / 0.05f) + 0.35f * std::exp(-dn / 0.25f));
            c = c + sc.sun * (glow * 0.5f);
            if (sr > 0.0f)
                c = Mix(c, sc.sun * 1.05f, Smooth(sr + 1.5f, sr - 1.5f, d));
            float u = static_cast<float>(x) / W, v = static_cast<float>(y) / W;
            float n = Fbm(u * 3.5f, v * 11.0f, 6, sc.seed + 3u);
            float density = Smooth(1.0f - sc.clouds * 0.75f - 0.2f, 1.0f - sc.clouds * 0.75f + 0.12f, n) * fade;
            if (density > 0.0f) {
                float shade = Clamp01((Fbm(u * 3.5f, v * 11.0f + 0.08f, 4, sc.seed + 3u) - n) * 6.0f + 0.45f);
                Rgb cloud = Mix(sc.cloudLight, sc.cloudShade, shade);
                // Clouds near the sun catch its light.
                cloud = cloud + sc.sun * (0.25f * sc.glow * std::exp(-dn / 0.15f));
                c = Mix(c, cloud, density * 0.92f);
            }
            cv.At(x, y) = c;
        }
    }
}

// The crest line of a hill, in pixels from the top. Snowy ranges get sharp
// peaks (ridged noise); the others roll.
float CrestY(const Ridge& r, int index, float x, int W, int H, std::uint32_t seed)
{
    float n = Fbm(x / W * r.freq, 3.7f * index + 0.5f, 6, seed + 40u + index);
    if (r.snow > 0.0f) {
        float ridged = 1.0f - std::fabs(2.0f * n - 1.0f);
        n = 0.35f * n + 0.65f * ridged * ridged;
    }
    return H * (r.base - r.amp * (n * 1.6f - 0.3f));
}

void PaintRidges(Canvas& cv, const Scene& sc)
{
    const int W = cv.W(), H = cv.H();
    const float lightSide = sc.sunX < 0.5f ? -1.0f : 1.0f;
    for (int i = 0; i < sc.ridgeCount; ++i) {
        const Ridge& r = sc.ridges[i];
        float snowY = H * (r.base - r.amp * (1.3f - 0.9f * r.snow));
        for (int x = 0; x < W; ++x) {
            float crest = CrestY(r, i, static_cast<float>(x), W, H, sc.seed);
            float slope = CrestY(r, i, x + 3.0f, W, H, sc.seed) - CrestY(r, i, x - 3.0f, W, H, sc.seed);
            float crestLight = Clamp01(0.5f + slope * 0.08f * lightSide);
            int y0 = std::max(0, static_cast<int>(std::floor(crest)) - 1);
            for (int y = y0; y < H; ++y) {
                float cover = Clamp01(y - crest + 0.5f);
                float u = static_cast<float>(x) / W, v = static_cast<float>(y) / W;
                // Faces of the slopes: the sideways gradient of a noise
                // terrain, blending into the crest's own slope at the top.
                float fu = u * r.freq * 5.0f, fv = v * r.freq * 5.0f;
                float grad = Fbm(fu + 0.02f, fv, 4, sc.seed + 50u + i) - Fbm(fu - 0.02f, fv, 4, sc.seed + 50u + i);
                float faceLight = Clamp01(0.5f + grad * lightSide * 12.0f);
                float light = Mix(Rgb{faceLight, 0, 0}, Rgb{crestLight, 0, 0}, std::exp(-(y - crest) / (0.05f * H))).r;
                float tex = Fbm(u * r.freq * 9.0f, v * r.freq * 9.0f, 4, sc.seed + 60u + i);
                // Gullies run down the slopes of the high ranges.
                float gully = r.snow > 0.0f ? Fbm(u * r.freq * 30.0f, v * r.freq * 8.0f, 3, sc.seed + 70u + i) : 0.5f;
                Rgb c = r.color * (0.8f + 0.24f * tex + 0.08f * (gully - 0.5f) + 0.3f * (light - 0.5f));
                // Lower down the slope the hill darkens a little (haze is thinner).
                c = c * (1.0f - 0.12f * Clamp01((y - crest) / (0.25f * H)));
                if (r.snow > 0.0f) {
                    float s = Smooth(snowY + 10.0f, snowY - 8.0f, y + 60.0f * (tex - 0.5f) + 10.0f * (0.5f - light));
                    c = Mix(c, Rgb{236, 240, 248} * (0.86f + 0.2f * light), s);
                }
                cv.Blend(x, y, c, cover);
            }
        }
    }
}

// The ground's top edge: a gentle rolling line.
float GroundLine(const Scene& sc, float top, float x, int W, int H, std::uint32_t salt)
{
    return H * (top - 0.025f * Fbm(x / W * 2.5f, 9.1f, 3, sc.seed + salt));
}

void PaintGround(Canvas& cv, const Scene& sc, float top, std::uint32_t salt)
{
    const int W = cv.W(), H = cv.H();
    for (int x = 0; x < W; ++x) {
        float gy = GroundLine(sc, top, static_cast<float>(x), W, H, salt);
        int y0 = std::max(0, static_cast<int>(std::floor(gy)) - 1);
        for (int y = y0; y < H; ++y) {
            float cover = Clamp01(y - gy + 0.5f);
            float dz = Clamp01((y - gy) / (H - gy)); // 0 far .. 1 near
            float persp = 1.0f / (0.12f + 0.88f * dz);
            float u = static_cast<float>(x) / W, v = static_cast<float>(y) / H;
            float fine = Fbm(u * 90.0f * persp, v * 40.0f * persp, 3, sc.seed + salt + 7u);
            float blades = Noise(x * 0.9f, y * 0.12f, sc.seed + salt + 9u); // vertical streaks close up
            float patches = Fbm(u * 3.0f, v * 5.0f, 4, sc.seed + salt + 11u);
            Rgb c = Mix(sc.groundFar, sc.groundNear, std::pow(dz, 0.7f));
            float tex = 0.82f + 0.3f * (fine - 0.5f) + 0.22f * dz * (blades - 0.5f);
            c = c * (tex * (0.8f + 0.4f * patches));
            cv.Blend(x, y, c, cover);
        }
    }
}

void PaintWater(Canvas& cv, const Scene& sc)
{
    const int W = cv.W(), H = cv.H();
    const int top = static_cast<int>(sc.water * H);
    const float sx = sc.sunX * W;
    const bool sunAbove = sc.sunR > 0.0f && sc.sunY * H < top;
    for (int y = top; y < H; ++y) {
        float depth = static_cast<float>(y - top) / (H - top); // 0 at the far shore
        for (int x = 0; x < W; ++x) {
            float u = static_cast<float>(x) / W;
            // Ripples shift the mirrored sample sideways and vertically,
            // more strongly close to the viewer.
            float wob = Fbm(u * 30.0f, y * 0.35f, 3, sc.seed + 80u) - 0.5f;
            int mx = x + static_cast<int>(wob * (2.0f + 18.0f * depth));
            int my = 2 * top - y - 1 + static_cast<int>(wob * 6.0f * depth);
            my = std::min(my, top - 1);
            Rgb mirror = cv.Get(mx, my);
            float reflect = 0.85f - 0.45f * depth;
            Rgb c = Mix(sc.waterTint, mirror * 0.9f, reflect);
            float streak = Noise(u * 14.0f, y * 0.9f, sc.seed + 81u);
            c = c * (0.9f + 0.2f * streak);
            if (sunAbove) {
                float band = 0.02f * W + 0.12f * W * depth;
                float near = Smooth(band, 0.0f, std::fabs(x - sx));
                if (near > 0.0f && Lattice(x / 5, y / 2, sc.seed + 82u) > 0.8f - 0.25f * near)
                    c = Mix(c, sc.sun, 0.6f * near);
            }
            cv.At(x, y) = c;
        }
    }
}

void PaintShadow(Canvas& cv, float cx, float cy, float rx, float ry)
{
    for (int y = static_cast<int>(cy - ry) - 1; y <= static_cast<int>(cy + ry) + 1; ++y)
        for (int x = static_cast<int>(cx - rx) - 1; x <= static_cast<int>(cx + rx) + 1; ++x) {
            if (x < 0 || y < 0 || x >= cv.W() || y >= cv.H())
                continue;
            float dx = (x - cx) / rx, dy = (y - cy) / ry;
            float a = Smooth(1.0f, 0.3f, std::sqrt(dx * dx + dy * dy)) * 0.4f;
            cv.At(x, y) = cv.At(x, y) * (1.0f - a);
        }
}

void PaintConifer(Canvas& cv, const Scene& sc, float x0, float yb, float h, float lightSide, std::uint32_t id)
{
    const Rgb trunk{70, 50, 36};
    const float tiers = 5.0f + (id % 4);
    int xl = static_cast<int>(x0 - 0.25f * h) - 2, xr = static_cast<int>(x0 + 0.25f * h) + 2;
    for (int y = static_cast<int>(yb - h); y <= static_cast<int>(yb); ++y) {
        float v = (yb - y) / h; // 0 at the foot, 1 at the tip
        if (v < 0.0f || v > 1.0f)
            continue;
        float tier = v * tiers - std::floor(v * tiers);
        float width = h * 0.2f * (1.0f - v) * (0.6f + 0.4f * (1.0f - tier));
        width *= 0.85f + 0.3f * Noise(v * 25.0f, static_cast<float>(id % 997u), sc.seed + 90u);
        for (int x = xl; x <= xr; ++x) {
            float dx = x - x0;
            if (v < 0.12f) {
                float tw = std::max(1.0f, 0.025f * h);
                cv.Blend(x, y, trunk * (0.8f + 0.3f * Lattice(x, y, id)), Clamp01(tw - std::fabs(dx) + 0.5f));
            }
            if (v < 0.08f)
                continue;
            float cover = Clamp01(width - std::fabs(dx) + 0.5f);
            if (cover <= 0.0f)
                continue;
            float side = width > 1.0f ? dx / width : 0.0f;
            float light = 0.78f + 0.3f * side * lightSide + 0.1f * (1.0f - tier);
            float needles = 0.75f + 0.5f * Noise(x * 0.7f, y * 0.7f, sc.seed + id);
            cv.Blend(x, y, sc.coniferColor * (light * needles), cover);
        }
    }
}

void PaintBroadleaf(Canvas& cv, const Scene& sc, float x0, float yb, float h, float lightSide, Rgb leaf,
                    std::uint32_t id)
{
    const Rgb bark{84, 70, 58};
    // Trunk.
    for (int y = static_cast<int>(yb - 0.5f * h); y <= static_cast<int>(yb); ++y) {
        float v = (yb - y) / (0.5f * h);
        float tw = std::max(1.0f, 0.035f * h * (1.2f - 0.5f * v));
        for (int x = static_cast<int>(x0 - tw) - 1; x <= static_cast<int>(x0 + tw) + 1; ++x)
            cv.Blend(x, y, bark * (0.8f + 0.3f * Lattice(x, y, id) + 0.15f * lightSide * (x - x0) / tw),
                     Clamp01(tw - std::fabs(x - x0) + 0.5f));
    }
    // Crown: a lumpy ellipse, lit from the sun's side and from above.
    const float cx = x0, cy = yb - 0.64f * h, rx = 0.34f * h, ry = 0.36f * h;
    for (int y = static_cast<int>(cy - 1.3f * ry); y <= static_cast<int>(cy + 1.3f * ry); ++y)
        for (int x = static_cast<int>(cx - 1.3f * rx); x <= static_cast<int>(cx + 1.3f * rx); ++x) {
            float dx = (x - cx) / rx, dy = (y - cy) / ry;
            float r = std::sqrt(dx * dx + dy * dy);
            if (r > 1.35f)
                continue;
            const float salt = static_cast<float>(id % 997u);
            float lump = Fbm(x / h * 5.0f + salt, y / h * 5.0f, 3, sc.seed + 95u);
            float edge = 0.85f + 0.45f * lump;
            float cover = Clamp01((edge - r) * rx * 0.6f + 0.5f);
            if (cover <= 0.0f)
                continue;
            float clumps = Fbm(x / h * 14.0f, y / h * 14.0f + salt, 3, sc.seed + 96u);
            float light = 0.72f + 0.3f * (-dy * 0.6f + dx * lightSide * 0.5f) + 0.35f * (clumps - 0.5f);
            cv.Blend(x, y, leaf * Clamp01(light) * 1.15f, cover);
        }
}

struct Tree {
    float x, yb, h;
    bool conifer;
    int leaf;
    std::uint32_t id;
};

void PaintTrees(Canvas& cv, const Scene& sc, std::vector<Tree> trees, bool shadows)
{
    const float lightSide = sc.sunX < 0.5f ? -1.0f : 1.0f;
    std::sort(trees.begin(), trees.end(), [](const Tree& a, const Tree& b) { return a.yb < b.yb; });
    for (const Tree& t : trees) {
        if (shadows)
            PaintShadow(cv, t.x - lightSide * 0.15f * t.h, t.yb, 0.35f * t.h, 0.05f * t.h + 1.0f);
        if (t.conifer)
            PaintConifer(cv, sc, t.x, t.yb, t.h, lightSide, t.id);
        else
            PaintBroadleaf(cv, sc, t.x, t.yb, t.h, lightSide, sc.foliage[t.leaf], t.id);
    }
}

// Trees standing on the ground between `top` (a ground line) and the bottom.
std::vector<Tree> PlaceTrees(const Scene& sc, Rng& rng, int W, int H, float top, std::uint32_t salt)
{
    std::vector<Tree> trees;
    int total = sc.conifers + sc.broadleaf;
    for (int i = 0; i < total; ++i) {
        Tree t;
        t.conifer = i < sc.conifers;
        t.x = rng.Range(-0.02f, 1.02f) * W;
        float gy = GroundLine(sc, top, t.x, W, H, salt);
        float dz = rng.Range(0.03f, 1.0f);
        dz = dz * dz; // more trees in the distance, as in a real view
        t.yb = gy + dz * (H * 1.06f - gy);
        t.h = H * (sc.treeMin + (sc.treeMax - sc.treeMin) * dz) * rng.Range(0.8f, 1.2f);
        t.leaf = static_cast<int>(rng.Next() % 3);
        t.id = rng.Next();
        trees.push_back(t);
    }
    return trees;
}

} // namespace

int Count()
{
    return kSceneCount;
}

const char* Name(int index)
{
    return index >= 0 && index < kSceneCount ? kScenes[index].name : "";
}

imageio::Image Render(int index, int width, int height)
{
    const Scene& sc = kScenes[index];
    Canvas cv(width, height);
    Rng rng{sc.seed * 2654435761u + 1u};
    const float horizon = (sc.water > 0.0f ? sc.water : sc.groundTop) * height;

    PaintSky(cv, sc, horizon);
    PaintRidges(cv, sc);
    if (sc.water > 0.0f) {
        // Small trees along the far shore, painted before the water so that
        // it mirrors them.
        std::vector<Tree> shore;
        for (int i = 0; i < sc.shoreTrees; ++i) {
            Tree t;
            t.conifer = true;
            t.x = rng.Range(0.0f, 1.0f) * width;
            t.yb = sc.water * height + rng.Range(-2.0f, 1.0f);
            t.h = height * rng.Range(0.03f, 0.07f);
            t.leaf = 0;
            t.id = rng.Next();
            shore.push_back(t);
        }
        PaintTrees(cv, sc, shore, false);
        PaintWater(cv, sc);
        PaintGround(cv, sc, sc.bank, 200u);
        PaintTrees(cv, sc, PlaceTrees(sc, rng, width, height, sc.bank + 0.02f, 200u), true);
    } else {
        PaintGround(cv, sc, sc.groundTop, 100u);
        PaintTrees(cv, sc, PlaceTrees(sc, rng, width, height, sc.groundTop, 100u), true);
    }
    return ToImage(cv);
}

} // namespace scenes
