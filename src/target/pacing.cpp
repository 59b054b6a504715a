// The pacing of the automation and its plain rules (target/pacing.h).
#include "target/pacing.h"

#include <cstring>

namespace {

// Fast pacing: the time from the start of one look of a poll to the next.
constexpr unsigned long kFastLookMs = 25;

void Plan(Pacing& pacing, PausePoint point, unsigned long fixedMs, unsigned long readyBoundMs)
{
    pacing.points[static_cast<int>(point)] = {fixedMs, readyBoundMs, readyBoundMs != 0 ? pacing.pauseMs : 0};
}

} // namespace

Pacing MakePacing(bool fast, unsigned long pauseMs, int waitTries)
{
    Pacing pacing = {};
    pacing.pauseMs = pauseMs;
    if (!fast) {
        // The fixed pauses: after each press of an "Open" dialog's button,
        // after "&Apply", before the polls for the Save As dialog and for the
        // JPEG options window, and after the last job. Nothing waits where a
        // window is found, typed into or saved.
        pacing.lookEveryMs = 0;
        Plan(pacing, PausePoint::AfterPress, pauseMs, 0);
        Plan(pacing, PausePoint::AfterApply, pauseMs, 0);
        Plan(pacing, PausePoint::BeforeSaveAsPoll, pauseMs, 0);
        Plan(pacing, PausePoint::BeforeJpegPoll, pauseMs, 0);
        Plan(pacing, PausePoint::AfterLastJob, pauseMs, 0);
        return pacing;
    }
    // Fast pacing: the pause after a press, after "&Apply" and before a
    // poll is folded into the wait that follows (the next command waits for
    // its menu item and the main window; the poll looks at once). Where a
    // window was found, typed into or saved, the step waits for it to be
    // ready, at most one pause; a command waits as long as a window may take.
    pacing.lookEveryMs = kFastLookMs;
    Plan(pacing, PausePoint::BeforeCommand, 0, FastWaitBoundMs(pauseMs, waitTries));
    Plan(pacing, PausePoint::DialogFound, 0, pauseMs);
    Plan(pacing, PausePoint::Typed, 0, pauseMs);
    Plan(pacing, PausePoint::OptionsFound, 0, pauseMs);
    Plan(pacing, PausePoint::OutputWritten, 0, pauseMs);
    Plan(pacing, PausePoint::AfterLastJob, 0, pauseMs);
    return pacing;
}

PausePlan PlanPause(const Pacing& pacing, PausePoint point)
{
    int i = static_cast<int>(point);
    return i >= 0 && i < static_cast<int>(PausePoint::Count) ? pacing.points[i] : PausePlan{};
}

unsigned long FixedPausesOfJobMs(const Pacing& pacing, bool jpeg)
{
    // Each poll that finds its window at the first look pauses once when
    // polls pause (the image and profile "Open" dialogs before their look,
    // the Save As dialog and the JPEG options window after it).
    unsigned long pollPauses = pacing.lookEveryMs == 0 ? pacing.pauseMs : 0;
    auto fixed = [&](PausePoint p) { return PlanPause(pacing, p).fixedMs; };
    unsigned long total = 2 * (pollPauses + fixed(PausePoint::AfterPress)) + fixed(PausePoint::AfterApply) +
                          fixed(PausePoint::BeforeSaveAsPoll) + pollPauses;
    if (jpeg)
        total += fixed(PausePoint::BeforeJpegPoll) + pollPauses;
    return total;
}

bool SteadyReady(Steadiness& steadiness, Verdict verdict, std::uintptr_t key)
{
    bool ready = verdict == Verdict::Ready;
    bool passed = ready && steadiness.previousReady && steadiness.previousKey == key;
    steadiness.previousReady = ready;
    steadiness.previousKey = key;
    return passed;
}

Verdict DialogVerdict(const DialogFacts& f)
{
    bool dialog = f.visible && f.enabled && f.ownedByAppWindow && f.mainWindowDisabled;
    bool nameBox = f.nameBoxFound && f.nameBoxVisible && f.nameBoxEnabled;
    bool button = f.buttonFound && f.buttonVisible && f.buttonEnabled;
    bool name = !f.nameNeeded || f.nameProposed;
    return dialog && nameBox && button && f.answers && name ? Verdict::Ready : Verdict::NotYet;
}

Verdict OptionsVerdict(const OptionsFacts& f)
{
    return f.enabled && f.okFound && f.okVisible && f.okEnabled && f.answers ? Verdict::Ready : Verdict::NotYet;
}

Verdict MainVerdict(const MainFacts& f)
{
    return f.pressedWindowGone && f.mainEnabled && f.mainAnswers && !f.progressVisible ? Verdict::Ready
                                                                                       : Verdict::NotYet;
}

Verdict CommandVerdict(ItemState item, const MainFacts& main)
{
    if (item == ItemState::Unreadable)
        return Verdict::CannotTell;
    return item == ItemState::Enabled && MainVerdict(main) == Verdict::Ready ? Verdict::Ready : Verdict::NotYet;
}

Verdict OutputVerdict(const OutputFacts& f)
{
    if (!f.fullPath)
        return Verdict::CannotTell;
    return f.exists && f.openableAlone ? Verdict::Ready : Verdict::NotYet;
}

bool TypedTextArrived(const char* typed, const char* readBack)
{
    return std::strcmp(typed, readBack) == 0;
}

std::uintptr_t TextKey(const char* text)
{
    std::uint32_t hash = 2166136261u;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p != 0; ++p)
        hash = (hash ^ *p) * 16777619u;
    return hash;
}

unsigned long FastWaitBoundMs(unsigned long pauseMs, int tries)
{
    return tries > 0 ? pauseMs * static_cast<unsigned long>(tries) : 0;
}
