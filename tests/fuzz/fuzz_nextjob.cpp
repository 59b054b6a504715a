// Fuzzes the choice of a run's next job: a whole run of TakeNextJob calls over
// a job list that the input changes between any two reads (rows removed
// anywhere, rows appended), as the user may while a run goes on.
//
// Input: the number of rows at Start, then one byte per read of the list:
//   0x00-0x7F  nothing happens before this read
//   0x80-0xBF  the row at (byte & 0x3F) modulo the row count is removed first
//   0xC0-0xFF  a row is appended first
// At most kMaxChanges changes happen in a run, fewer than TakeNextJob's
// attempts, so every call must find its answer.
//
// Checked: the jobs taken are Start's rows in list order, each at most once,
// with the texts of that very row; every Start row that is not taken was
// removed before its turn passed; no row added during the run is taken.
#include "fuzz_support.h"
#include "jobs/nextjob.h"

#include <string>
#include <vector>

namespace {

constexpr int kMaxChanges = 40;

struct Row {
    JobId id;
    std::string image, profile;
};

struct World {
    std::vector<Row> rows;
    JobId nextId = 1;
    InputReader* in = nullptr;
    int changes = 0;
    long clock = 0;              // one tick per read
    std::vector<long> removedAt; // by identity: when it was removed, or -1
};

void Append(World& w)
{
    JobId id = w.nextId++;
    w.rows.push_back({id, "image " + std::to_string(id), "profile " + std::to_string(id)});
    w.removedAt.push_back(-1);
}

// Before every read the input may change the list.
void MaybeChange(World& w)
{
    ++w.clock;
    std::uint8_t b = w.in->Byte();
    if (b < 0x80 || w.changes >= kMaxChanges)
        return;
    ++w.changes;
    if (b >= 0xC0) {
        Append(w);
    } else if (!w.rows.empty()) {
        std::size_t at = (b & 0x3F) % w.rows.size();
        w.removedAt[static_cast<std::size_t>(w.rows[at].id - 1)] = w.clock;
        w.rows.erase(w.rows.begin() + static_cast<long>(at));
    }
}

int Count(void* context)
{
    auto& w = *static_cast<World*>(context);
    MaybeChange(w);
    return static_cast<int>(w.rows.size());
}

bool Read(void* context, int row, int column, char* text, std::size_t textSize, JobId* id)
{
    auto& w = *static_cast<World*>(context);
    MaybeChange(w);
    if (row < 0 || static_cast<std::size_t>(row) >= w.rows.size())
        return false;
    const Row& r = w.rows[static_cast<std::size_t>(row)];
    *id = r.id;
    if (text != nullptr) {
        const std::string& s = column == 0 ? r.image : r.profile;
        std::size_t n = s.size() < textSize - 1 ? s.size() : textSize - 1;
        std::memcpy(text, s.data(), n);
        text[n] = '\0';
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InputReader in(data, size);
    World w;
    w.in = &in;
    int atStart = in.Byte() % 40;
    for (int i = 0; i < atStart; ++i)
        Append(w);
    JobId last = w.rows.empty() ? 0 : w.rows.back().id;
    JobListReader list = {Count, Read, &w};

    JobId after = 0;
    char image[32], profile[32];
    for (int turn = 0; turn <= atStart; ++turn) {
        JobId id = 0;
        NextJob next = TakeNextJob(list, after, last, image, profile, sizeof image, &id);
        FUZZ_CHECK(next == NextJob::Found || next == NextJob::None, "a readable list was reported unreadable");
        // Every Start row between the last job and this one (or the end) was
        // removed before this call returned.
        JobId upTo = next == NextJob::Found ? id : last + 1;
        for (JobId skipped = after + 1; skipped < upTo && skipped <= last; ++skipped)
            FUZZ_CHECK(w.removedAt[static_cast<std::size_t>(skipped - 1)] >= 0, "a job of the run was skipped");
        if (next == NextJob::None)
            return 0;
        FUZZ_CHECK(id > after, "a job was taken twice or out of order");
        FUZZ_CHECK(id <= last, "a row added during the run was taken");
        FUZZ_CHECK(image == "image " + std::to_string(id) && profile == "profile " + std::to_string(id),
                   "the texts do not belong to the job taken");
        after = id;
    }
    FUZZ_CHECK(false, "more jobs were taken than there were rows at Start");
    return 0;
}
