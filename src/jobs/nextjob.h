// Which row of the job list holds the next job of a run: plain functions over
// a reader of the list, tested directly and fuzzed natively.
//
// Every row carries an identity, a number that InsertJob gives it and that
// grows down the list (rows are only ever appended, and removing one moves
// none of the others past another). A run remembers the identity of the last
// job it took and of the last row present at Start, so rows removed or added
// while it goes on can neither make it skip a job nor take one twice.
#pragma once

#include <cstddef>

using JobId = long long;

// How the selection reads the list. Each call is one read of the list as it
// is at that moment; the list may change between two calls (the user removes
// or adds rows while the run goes on), never during one.
struct JobListReader {
    // The number of rows.
    int (*count)(void* context);
    // Row `row`: its identity, and when text is not null the text of column
    // `column` (at most textSize - 1 characters, terminated). False when the
    // row cannot be read (it no longer exists).
    bool (*read)(void* context, int row, int column, char* text, std::size_t textSize, JobId* id);
    void* context;
};

enum class NextJob {
    Found,           // image and profile of the job with identity *id
    None,            // no row of this run is left
    ImageUnreadable, // the row could not be read, again and again
    ProfileUnreadable,
};

// Index of the first row whose identity exceeds `after`, found by bisection
// over identities that grow down the list; `count` when there is none. A row
// that cannot be read counts as lying beyond.
int FirstRowAfter(const JobListReader& list, int count, JobId after);

// Takes the next job of a run: the first row, in list order, whose identity
// exceeds `after` (the last job taken; 0 before the first) and does not
// exceed `last` (the last row present at Start). Fills image and profile
// (textSize bytes each) from that one row, and checks that no removal moved
// the rows between its reads; if one did, it looks again. Gives up after a
// bounded number of attempts.
NextJob TakeNextJob(const JobListReader& list, JobId after, JobId last, char* image, char* profile,
                    std::size_t textSize, JobId* id);
