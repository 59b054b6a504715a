// Fast pacing's plain rules (target/pacing.h).
#include "target/pacing.h"

#include <cstring>

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
