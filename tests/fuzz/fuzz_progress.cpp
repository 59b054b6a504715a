// Fuzzes the progress line: FormatProgressText over any batch state, tick
// counts and progress window title, FormatHms over any number of seconds,
// and ParseProgressPercent over any title.
//
// Input (little-endian): imagesDone, imageTotal (int32), batchStartTick,
// imageStartTick, now (uint32), flags, an output size (uint16), a number of
// seconds (int64), then the title bytes.
//   flags bit 0  a visible progress window was found
//   flags bit 1  no title at all (null pointer)
//   flags bit 2  output of exactly kProgressTextSize bytes, as the program uses;
//                else of (output size % 513) bytes
//   flags bit 3  imageStartTick and now are offsets from batchStartTick and
//                imageStartTick (small offsets give the ticks in the order a
//                run gives them)
//   flags bit 4  each of the five numbers is an edge value picked by its low
//                byte, plus its second byte in milliseconds (ticks only) and
//                plus its high half as a signed count (of seconds for ticks),
//                so that extremes and near-extremes are met early
#include "batch/progress_text.h"
#include "fuzz_support.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// The title the progress timer reads: at most 30 characters and a terminator.
constexpr std::size_t kTitleChars = 30;

// The percentage of a title, the way the C library reads a number.
int ReferencePercent(const char* title)
{
    static const char kPrefix[] = "Calculating:";
    if (title == nullptr || std::strncmp(title, kPrefix, sizeof kPrefix - 1) != 0)
        return 0;
    long long v = std::strtoll(title + sizeof kPrefix - 1, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

// Walks a text that must have an exact shape, reading numbers as it goes.
class Cursor {
public:
    explicit Cursor(const std::string& s) : s_(s) {}

    bool Literal(const char* lit)
    {
        std::size_t n = std::strlen(lit);
        if (s_.compare(at_, n, lit) != 0)
            return false;
        at_ += n;
        return true;
    }

    // An optional minus and at least minDigits decimal digits.
    bool Number(long long* value, std::size_t minDigits = 1)
    {
        std::size_t start = at_;
        bool negative = at_ < s_.size() && s_[at_] == '-';
        if (negative)
            ++at_;
        std::size_t digitsStart = at_;
        __int128 v = 0;
        while (at_ < s_.size() && s_[at_] >= '0' && s_[at_] <= '9') {
            v = v * 10 + (s_[at_] - '0');
            if (v > static_cast<__int128>(LLONG_MAX) + 1)
                return false;
            ++at_;
        }
        if (at_ - digitsStart < minDigits) {
            at_ = start;
            return false;
        }
        if (negative)
            v = -v;
        if (v > LLONG_MAX || v < LLONG_MIN)
            return false;
        *value = static_cast<long long>(v);
        return true;
    }

    // "h:mm:ss" as FormatHms writes it; gives the seconds it stands for.
    bool Hms(long long* seconds)
    {
        long long h = 0, m = 0, s = 0;
        if (!Number(&h) || !Literal(":") || !Number(&m, 2) || !Literal(":") || !Number(&s, 2))
            return false;
        // Truncating division: every part has the sign of the whole, or is 0.
        if (m <= -60 || m >= 60 || s <= -60 || s >= 60)
            return false;
        bool anyNegative = h < 0 || m < 0 || s < 0;
        bool anyPositive = h > 0 || m > 0 || s > 0;
        if (anyNegative && anyPositive)
            return false;
        __int128 total = static_cast<__int128>(h) * 3600 + m * 60 + s;
        if (total > LLONG_MAX || total < LLONG_MIN)
            return false;
        *seconds = static_cast<long long>(total);
        return true;
    }

    bool AtEnd() const { return at_ == s_.size(); }

private:
    const std::string& s_;
    std::size_t at_ = 0;
};

void FuzzHms(long long seconds, std::size_t smallSize)
{
    GuardedBuffer full(64);
    std::size_t n = FormatHms(full.data(), full.size(), seconds);
    CheckBoundedText(full, n, "FormatHms");
    std::string text(full.data());
    Cursor c(text);
    long long back = 0;
    FUZZ_CHECK(c.Hms(&back) && c.AtEnd(), "FormatHms wrote something other than h:mm:ss");
    FUZZ_CHECK(back == seconds, "FormatHms's h:mm:ss does not add up to its seconds");

    // A short buffer gets the start of the same text.
    GuardedBuffer cut(smallSize);
    std::size_t m = FormatHms(cut.data(), cut.size(), seconds);
    CheckBoundedText(cut, m, "FormatHms into a short buffer");
    if (smallSize > 0)
        FUZZ_CHECK(text.compare(0, m, cut.data()) == 0 && m == std::min(text.size(), smallSize - 1),
                   "FormatHms into a short buffer is not the start of its text");
}

void FuzzProgress(const ProgressInput& in, std::size_t outSize)
{
    // The whole text, in a buffer far larger than any line.
    GuardedBuffer big(1024);
    std::size_t n = FormatProgressText(in, big.data(), big.size());
    CheckBoundedText(big, n, "FormatProgressText");
    std::string text(big.data());
    FUZZ_CHECK(text.size() < kProgressTextSize, "the progress text does not fit kProgressTextSize");

    const std::uint32_t totalSeconds = (in.now - in.batchStartTick) / 1000;
    const std::uint32_t imageSeconds = (in.now - in.imageStartTick) / 1000;
    Cursor c(text);
    long long total = 0, image = 0;
    FUZZ_CHECK(c.Literal("Elapsed Time:   Total = "), "the first line does not begin with 'Elapsed Time:'");
    FUZZ_CHECK(c.Hms(&total) && c.Literal("     Image = ") && c.Hms(&image), "the elapsed times are malformed");
    FUZZ_CHECK(total == totalSeconds, "the elapsed total is not the ticks since the batch started");
    FUZZ_CHECK(image == imageSeconds, "the elapsed image time is not the ticks since the image started");

    if (!in.progressWindowVisible) {
        FUZZ_CHECK(c.AtEnd(), "text follows the elapsed times with no progress window");
    } else {
        int percent = ReferencePercent(in.title);
        long long shown = 0;
        FUZZ_CHECK(c.Literal("  (") && c.Number(&shown) && c.Literal("% complete)\n"), "the percentage is malformed");
        FUZZ_CHECK(shown == percent, "the percentage is not the one in the title");
        if (percent == 0) {
            FUZZ_CHECK(c.AtEnd(), "remaining times shown at 0%");
        } else {
            long long remainingTotal = 0, remainingImage = 0;
            FUZZ_CHECK(c.Literal("Remaining Time:"), "'Remaining Time:' is missing");
            if (in.imagesDone != 0)
                FUZZ_CHECK(c.Literal("    Total = ") && c.Hms(&remainingTotal), "the remaining total is malformed");
            FUZZ_CHECK(c.Literal("    Image = ") && c.Hms(&remainingImage) && c.AtEnd(),
                       "the remaining image time is malformed");
            if (percent >= 1 && percent <= 100) {
                FUZZ_CHECK(remainingImage >= 0 && remainingImage <= 99LL * imageSeconds,
                           "the remaining image time is out of its range");
                if (percent == 100)
                    FUZZ_CHECK(remainingImage == 0, "time remains at 100%");
                bool inOrder = totalSeconds >= imageSeconds;
                if (in.imagesDone > 0 && in.imagesDone < in.imageTotal && inOrder)
                    FUZZ_CHECK(remainingTotal >= remainingImage, "less remains of the batch than of the image");
            }
        }
    }

    // Any smaller buffer gets the start of the same text.
    GuardedBuffer out(outSize);
    std::size_t m = FormatProgressText(in, out.data(), out.size());
    CheckBoundedText(out, m, "FormatProgressText into a given size");
    if (outSize > 0)
        FUZZ_CHECK(m == std::min(text.size(), outSize - 1) && text.compare(0, m, out.data()) == 0,
                   "a short progress text is not the start of the full one");
}

// Values at and next to the ends of the 32-bit ranges, and small ones.
std::uint32_t EdgeValue(std::uint32_t raw, bool tick)
{
    static const std::uint32_t kEdges[] = {
        0u,          1u,          2u,          3u,          100u,        0xFFFFFFFFu, 0xFFFFFFFEu,
        0x7FFFFFFFu, 0x7FFFFFFEu, 0x80000000u, 0x80000001u, 0x40000000u, 0xC0000000u, 0xFFFFFC18u,
    };
    std::uint32_t value = kEdges[(raw & 0xFF) % (sizeof kEdges / sizeof kEdges[0])];
    std::int32_t count = static_cast<std::int16_t>(raw >> 16);
    if (tick)
        value += ((raw >> 8) & 0xFF) + static_cast<std::uint32_t>(count) * 1000u;
    else
        value += static_cast<std::uint32_t>(count);
    return value;
}

void FuzzPercent(const char* title)
{
    FUZZ_CHECK(ParseProgressPercent(title) == ReferencePercent(title),
               "ParseProgressPercent differs from strtoll with saturation");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader r(data, size);
    std::uint32_t words[5];
    for (auto& w : words)
        w = r.U32();
    std::uint8_t flags = r.Byte();
    if (flags & 16) {
        for (int i = 0; i < 5; ++i)
            words[i] = EdgeValue(words[i], i >= 2);
    }
    ProgressInput in = {};
    in.imagesDone = static_cast<std::int32_t>(words[0]);
    in.imageTotal = static_cast<std::int32_t>(words[1]);
    in.batchStartTick = words[2];
    in.imageStartTick = words[3];
    in.now = words[4];
    std::uint16_t sizeWord = r.U16();
    std::size_t outSize = (flags & 4) ? kProgressTextSize : sizeWord % 513u;
    long long seconds = static_cast<long long>(r.U64());
    if (flags & 8) {
        in.imageStartTick += in.batchStartTick;
        in.now += in.imageStartTick;
    }
    in.progressWindowVisible = (flags & 1) != 0;

    // The whole rest as one title of any length, then cut as the timer cuts it.
    GuardedBuffer whole(r.RestSize() + 1);
    whole.Fill(r.Rest(), r.RestSize());
    whole.data()[r.RestSize()] = '\0';
    FuzzPercent(whole.data());
    FuzzPercent(nullptr);

    std::size_t titleLen = std::min(r.RestSize(), kTitleChars);
    GuardedBuffer title(titleLen + 1);
    title.Fill(r.Rest(), titleLen);
    title.data()[titleLen] = '\0';
    in.title = (flags & 2) ? nullptr : title.data();

    FuzzHms(seconds, 1u + (outSize % 24));
    FuzzProgress(in, outSize);
    return 0;
}
