// The progress line's text, computed from the batch state, the tick count and
// the progress window's title. Free of window handles so it is tested directly.
#include "batch/progress_text.h"
#include "diag/text.h"

#include <climits>
#include <cstring>

namespace {

// Appends formatted text at *len, never past size - 1.
void Append(char* out, std::size_t size, std::size_t* len, const char* piece)
{
    std::size_t room = size - *len;
    std::size_t n = std::strlen(piece);
    if (n >= room)
        n = room - 1;
    std::memcpy(out + *len, piece, n);
    *len += n;
    out[*len] = '\0';
}

} // namespace

std::size_t FormatHms(char* out, std::size_t outSize, long long s)
{
    // Signed division truncating toward zero: a remainder takes the sign of s,
    // so minus 30 seconds prints as 0:00:-30.
    long long hours = s / 3600;
    long long minutes = (s / 60) % 60;
    long long seconds = s % 60;
    return FormatText(out, outSize, "%lld:%.2lld:%.2lld", hours, minutes, seconds);
}

int ParseProgressPercent(const char* title)
{
    static const char kPrefix[] = "Calculating:";
    if (title == nullptr || std::strncmp(title, kPrefix, sizeof kPrefix - 1) != 0)
        return 0;
    const char* p = title + sizeof kPrefix - 1;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\v' || *p == '\f')
        ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p < '0' || *p > '9')
        return 0;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        if (value <= static_cast<long long>(INT_MAX) + 1)
            value = value * 10 + (*p - '0');
    }
    if (negative)
        value = -value;
    if (value > INT_MAX)
        return INT_MAX;
    if (value < INT_MIN)
        return INT_MIN;
    return static_cast<int>(value);
}

std::size_t FormatProgressText(const ProgressInput& in, char* out, std::size_t outSize)
{
    if (out == nullptr || outSize == 0)
        return 0;
    out[0] = '\0';
    std::size_t len = 0;
    char piece[96];
    char a[40], b[40];

    // Unsigned differences stay right across the wrap of the tick counter.
    std::uint32_t totalSeconds = static_cast<std::uint32_t>(in.now - in.batchStartTick) / 1000;
    std::uint32_t imageSeconds = static_cast<std::uint32_t>(in.now - in.imageStartTick) / 1000;

    FormatHms(a, sizeof a, totalSeconds);
    FormatHms(b, sizeof b, imageSeconds);
    FormatText(piece, sizeof piece, "Elapsed Time:   Total = %s     Image = %s", a, b);
    Append(out, outSize, &len, piece);

    if (!in.progressWindowVisible)
        return len;

    int percent = ParseProgressPercent(in.title);
    FormatText(piece, sizeof piece, "  (%d%% complete)\n", percent);
    Append(out, outSize, &len, piece);
    if (percent == 0)
        return len;

    Append(out, outSize, &len, "Remaining Time:");
    // 100 - percent taken in 64 bits, so an absurd title cannot overflow.
    double imageRemaining =
        static_cast<double>(100LL - percent) / static_cast<double>(percent) * static_cast<double>(imageSeconds);

    if (in.imagesDone != 0) {
        std::uint32_t average = (totalSeconds - imageSeconds) / static_cast<std::uint32_t>(in.imagesDone);
        // The later-images estimate is taken in double precision and kept
        // within the 64-bit range: a run long and large enough to pass the
        // signed 32-bit range still shows its true estimate, and no field
        // value, however absurd, can overflow.
        double laterImages = (static_cast<double>(in.imageTotal) - 1.0 - static_cast<double>(in.imagesDone)) *
                             static_cast<double>(average);
        double total = laterImages + imageRemaining;
        const double kLimit = 9.0e18;
        if (total > kLimit)
            total = kLimit;
        if (total < -kLimit)
            total = -kLimit;
        long long totalRemaining = static_cast<long long>(total);
        FormatHms(a, sizeof a, totalRemaining);
        FormatText(piece, sizeof piece, "    Total = %s", a);
        Append(out, outSize, &len, piece);
    }

    FormatHms(a, sizeof a, static_cast<long long>(imageRemaining));
    FormatText(piece, sizeof piece, "    Image = %s", a);
    Append(out, outSize, &len, piece);
    return len;
}
