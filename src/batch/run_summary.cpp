// The session log's line at the end of every run (plain function).
#include "batch/run_summary.h"
#include "batch/progress_text.h"
#include "diag/text.h"

std::size_t FormatRunSummary(char* out, std::size_t outSize, RunEnd end, long processed, long skipped, long failed,
                             std::uint32_t startTick, std::uint32_t now)
{
    const char* lead = end == RunEnd::Complete  ? "Run complete"
                       : end == RunEnd::Stopped ? "Run stopped"
                                                : "Run ended by an error";
    char hms[32];
    FormatHms(hms, sizeof hms, static_cast<long long>(static_cast<std::uint32_t>(now - startTick) / 1000u));
    return FormatText(out, outSize, "%s: %ld processed, %ld skipped, %ld failed in %s", lead, processed, skipped,
                      failed, hms);
}

std::size_t FormatCompleteStatus(char* out, std::size_t outSize, long failed, long skipped)
{
    if (failed > 0 && skipped > 0)
        return FormatText(out, outSize, "Processing complete (%ld job%s failed, %ld job%s skipped)", failed,
                          failed == 1 ? "" : "s", skipped, skipped == 1 ? "" : "s");
    if (failed > 0)
        return FormatText(out, outSize, "Processing complete (%ld job%s failed)", failed, failed == 1 ? "" : "s");
    if (skipped > 0)
        return FormatText(out, outSize, "Processing complete (%ld job%s skipped)", skipped, skipped == 1 ? "" : "s");
    return FormatText(out, outSize, "Processing complete");
}
