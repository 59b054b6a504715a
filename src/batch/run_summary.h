// The session log's line at the end of every run: a plain function, tested
// directly and fuzzed natively.
#pragma once

#include <cstddef>
#include <cstdint>

// How a run ended.
enum class RunEnd { Complete, Stopped, Error };

// Capacity of the line, terminator included.
constexpr std::size_t kRunSummarySize = 128;

// Formats the run's line into out (outSize bytes, always terminated):
//   Run complete: <p> processed, <s> skipped, <f> failed in <h:mm:ss>
// with "Run stopped" or "Run ended by an error" in front for the other ends.
// The elapsed time is the unsigned tick difference from start to now, so it
// stays right across the wrap of the millisecond counter.
std::size_t FormatRunSummary(char* out, std::size_t outSize, RunEnd end, long processed, long skipped, long failed,
                             std::uint32_t startTick, std::uint32_t now);

// Formats the status line of a run that went through all its jobs into out
// (outSize bytes, always terminated): "Processing complete", with what
// failed and what was skipped in brackets when anything did, failed first,
// the singular for one: "Processing complete (1 job failed, 3 jobs skipped)".
std::size_t FormatCompleteStatus(char* out, std::size_t outSize, long failed, long skipped);
