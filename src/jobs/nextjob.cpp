// The next job of a run, free of window handles.
#include "jobs/nextjob.h"

namespace {

// How often TakeNextJob looks again when the list changed under it. Each
// retry needs a removal by the user between two reads; this many in a row
// means the list cannot be read at all.
constexpr int kAttempts = 64;

} // namespace

int FirstRowAfter(const JobListReader& list, int count, JobId after)
{
    int low = 0;
    int high = count < 0 ? 0 : count;
    while (low < high) {
        int mid = low + (high - low) / 2;
        JobId id = 0;
        if (!list.read(list.context, mid, 0, nullptr, 0, &id) || id > after)
            high = mid;
        else
            low = mid + 1;
    }
    return low;
}

NextJob TakeNextJob(const JobListReader& list, JobId after, JobId last, char* image, char* profile,
                    std::size_t textSize, JobId* id)
{
    NextJob failure = NextJob::ImageUnreadable;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        int count = list.count(list.context);
        int row = FirstRowAfter(list, count, after);
        if (row >= count)
            return NextJob::None;

        // Three reads, each of the list as it is at that moment: the row with
        // its image, the identity of the row before it, the row again with its
        // profile. A removal at or before `row` between the first and the
        // third read changes the identity found at `row`; when it is the same
        // both times, nothing moved, the row before really is the one before,
        // and both texts come from the same job.
        JobId first = 0, before = 0, again = 0;
        if (!list.read(list.context, row, 0, image, textSize, &first)) {
            failure = NextJob::ImageUnreadable;
            continue;
        }
        if (row > 0 && !list.read(list.context, row - 1, 0, nullptr, 0, &before)) {
            failure = NextJob::ImageUnreadable;
            continue;
        }
        if (!list.read(list.context, row, 1, profile, textSize, &again)) {
            failure = NextJob::ProfileUnreadable;
            continue;
        }
        if (again != first || first <= after || (row > 0 && before > after))
            continue; // the list changed between the reads: look again
        if (first > last)
            return NextJob::None; // only rows added during the run are left
        *id = first;
        return NextJob::Found;
    }
    return failure;
}
