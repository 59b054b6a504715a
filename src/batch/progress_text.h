// The progress line's text: plain functions of the batch state, the tick
// count and the progress window's title, tested directly and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

// One tick's inputs, each read once from the shared state.
struct ProgressInput {
    std::int32_t imagesDone;
    std::int32_t imageTotal;
    std::uint32_t batchStartTick;
    std::uint32_t imageStartTick;
    std::uint32_t now;
    bool progressWindowVisible; // a visible progress window was found
    const char* title;          // its title as read (at most 30 characters seen)
};

// Capacity of the progress text, terminator included.
constexpr std::size_t kProgressTextSize = 256;

// Builds the progress line for one tick into out (outSize bytes, always
// terminated). Returns the length written.
std::size_t FormatProgressText(const ProgressInput& in, char* out, std::size_t outSize);

// Appends "%d:%.2d:%.2d" for a signed number of seconds.
std::size_t FormatHms(char* out, std::size_t outSize, long long seconds);

// Reads the percentage from a progress window title of the form
// "Calculating:%d%": the exact prefix, optional white space, an optional sign
// and decimal digits (saturated to the 32-bit range); whatever follows is
// ignored. Anything else gives 0.
int ParseProgressPercent(const char* title);
