// The one bounded wait of the per-image sequence, in its forms: a plain
// stop-aware pause with the watch looking, a poll for a window, and a wait
// until Neat Image is verifiably ready. Each gives its end as a value that the
// caller must look at (batch worker).
#pragma once

#include <windows.h>

#include "target/pacing.h"

#include <cstdint>

// How a wait ended.
enum class [[nodiscard]] WaitEnd{
    Passed,     // what it waited for is there
    OutOfTime,  // its bound ran out first
    CannotTell, // what it waits for cannot be read; it took its fixed time
};

// A stop-aware pause of `ms`, with a look at Neat Image at least every 250 ms
// and at its end.
void Pause(DWORD ms);

// Where the pause of each try of a poll stands relative to its look.
enum class PauseOrder { BeforeEachLook, AfterEachLook };

// What a poll looks for: true once it is there. The context carries the
// question and receives the answer.
using LookFor = bool (*)(void* context);

// Up to `tries` looks, each with a stop-aware pause of the pacing's pause
// before or after it (after: also after the look that succeeds), and a look
// at Neat Image before each; with fast pacing, one look every lookEveryMs
// within the same bound, and no pause after the look that succeeds.
// `traceEachTry`, when given, is traced at the start of every try.
WaitEnd Poll(const Pacing& pacing, int tries, PauseOrder order, LookFor look, void* context,
             const char* traceEachTry = nullptr);

// What one readiness look found: its verdict, and the windows (or the file
// size) it was about, for the stability rule.
struct ReadyLook {
    Verdict verdict;
    std::uintptr_t key;
};
using LookReady = ReadyLook (*)(void* context);

// Looks every lookEveryMs, with the watch looking too, until a look passes by
// the stability rule, a look cannot tell, or boundMs has passed.
WaitEnd LookUntilReady(const Pacing& pacing, DWORD boundMs, LookReady ready, void* context);

// The pacing's plan at one point of a job: its fixed pause, or its readiness
// wait (ending as soon as `ready` passes; a look that cannot tell takes the
// rest of the plan's time). A fixed pause, or none, is Passed.
WaitEnd PauseAt(const Pacing& pacing, PausePoint point, LookReady ready, void* context);
