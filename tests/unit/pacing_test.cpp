// Fast pacing's plain rules: the stability rule and the verdicts drawn from
// what a look saw.
#include "target/pacing.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct SteadyCase {
    const char* name;
    std::vector<Verdict> verdicts;
    std::vector<std::uintptr_t> keys;
    std::vector<bool> passes;
};

TEST(Pacing, ALookPassesOnlyWhenReadyTwiceInARowAboutTheSameWindows)
{
    const Verdict R = Verdict::Ready, N = Verdict::NotYet;
    const SteadyCase cases[] = {
        {"ready at once", {R, R, R}, {7, 7, 7}, {false, true, true}},
        {"a single ready look never passes", {R, N, R}, {7, 7, 7}, {false, false, false}},
        {"other windows start again", {R, R, R}, {7, 8, 8}, {false, false, true}},
        {"controls created between looks", {N, R, R}, {1, 2, 2}, {false, false, true}},
        {"a file still growing", {R, R, R, R}, {10, 20, 30, 30}, {false, false, false, true}},
    };
    for (const SteadyCase& c : cases) {
        SCOPED_TRACE(c.name);
        Steadiness steadiness;
        std::vector<bool> passes;
        for (size_t i = 0; i < c.verdicts.size(); ++i)
            passes.push_back(SteadyReady(steadiness, c.verdicts[i], c.keys[i]));
        EXPECT_EQ(passes, c.passes);
    }
}

TEST(Pacing, DialogIsReadyOnlyWithEveryConditionMet)
{
    const DialogFacts ready = {true, true, true, true, true, true, true, true, true, true, true, false, false};
    EXPECT_EQ(DialogVerdict(ready), Verdict::Ready);
    // Each condition alone holds it back: a dialog not yet shown or enabled,
    // owned elsewhere, Neat Image's main window still enabled, a control not
    // yet created, shown or enabled, a dialog that does not answer.
    bool DialogFacts::*const conditions[] = {
        &DialogFacts::visible,          &DialogFacts::enabled,
        &DialogFacts::ownedByAppWindow, &DialogFacts::mainWindowDisabled,
        &DialogFacts::nameBoxFound,     &DialogFacts::nameBoxVisible,
        &DialogFacts::nameBoxEnabled,   &DialogFacts::buttonFound,
        &DialogFacts::buttonVisible,    &DialogFacts::buttonEnabled,
        &DialogFacts::answers,
    };
    for (auto condition : conditions) {
        DialogFacts facts = ready;
        facts.*condition = false;
        EXPECT_EQ(DialogVerdict(facts), Verdict::NotYet);
    }
    // A Save As dialog is ready only once it proposes a name; an Open dialog
    // may come with an empty box.
    DialogFacts saveAs = ready;
    saveAs.nameNeeded = true;
    EXPECT_EQ(DialogVerdict(saveAs), Verdict::NotYet);
    saveAs.nameProposed = true;
    EXPECT_EQ(DialogVerdict(saveAs), Verdict::Ready);
}

TEST(Pacing, ANameBoxThatChangedIsNotTheSameAnswer)
{
    EXPECT_EQ(TextKey("C:\\pics\\a_filtered"), TextKey("C:\\pics\\a_filtered"));
    EXPECT_NE(TextKey("C:\\pics\\a_filtered"), TextKey("C:\\pics\\a_filtere"));
    EXPECT_NE(TextKey(""), TextKey("a"));
    EXPECT_NE(TextKey("ab"), TextKey("ba"));
}

TEST(Pacing, OptionsAndMainWindowVerdicts)
{
    const OptionsFacts options = {true, true, true, true, true};
    EXPECT_EQ(OptionsVerdict(options), Verdict::Ready);
    for (bool OptionsFacts::*c : {&OptionsFacts::enabled, &OptionsFacts::okFound, &OptionsFacts::okVisible,
                                  &OptionsFacts::okEnabled, &OptionsFacts::answers}) {
        OptionsFacts facts = options;
        facts.*c = false;
        EXPECT_EQ(OptionsVerdict(facts), Verdict::NotYet);
    }
    const MainFacts main = {true, true, true, false};
    EXPECT_EQ(MainVerdict(main), Verdict::Ready);
    for (bool MainFacts::*c : {&MainFacts::pressedWindowGone, &MainFacts::mainEnabled, &MainFacts::mainAnswers}) {
        MainFacts facts = main;
        facts.*c = false;
        EXPECT_EQ(MainVerdict(facts), Verdict::NotYet);
    }
    MainFacts filtering = main;
    filtering.progressVisible = true;
    EXPECT_EQ(MainVerdict(filtering), Verdict::NotYet);
}

TEST(Pacing, CommandAndOutputVerdicts)
{
    // The command's wait also stands for the pause after the step before it:
    // the main window must be ready as after a press.
    const MainFacts ready = {true, true, true, false};
    const MainFacts silent = {true, true, false, false};
    const MainFacts disabled = {true, false, true, false};
    const MainFacts filtering = {true, true, true, true};
    const MainFacts dialogUp = {false, true, true, false};
    struct {
        ItemState item;
        MainFacts main;
        Verdict verdict;
    } commands[] = {
        {ItemState::Enabled, ready, Verdict::Ready},
        {ItemState::Enabled, silent, Verdict::NotYet},
        {ItemState::Enabled, disabled, Verdict::NotYet},
        {ItemState::Enabled, filtering, Verdict::NotYet},
        {ItemState::Enabled, dialogUp, Verdict::NotYet},
        {ItemState::Disabled, ready, Verdict::NotYet},
        // A menu that cannot be read: the step takes its fixed pause.
        {ItemState::Unreadable, ready, Verdict::CannotTell},
    };
    for (const auto& c : commands)
        EXPECT_EQ(CommandVerdict(c.item, c.main), c.verdict);

    struct {
        OutputFacts facts;
        Verdict verdict;
    } outputs[] = {
        {{true, true, true}, Verdict::Ready},
        {{true, false, false}, Verdict::NotYet},
        {{true, true, false}, Verdict::NotYet}, // its writer still holds it
        {{false, true, true}, Verdict::CannotTell},
    };
    for (const auto& c : outputs)
        EXPECT_EQ(OutputVerdict(c.facts), c.verdict);
}

TEST(Pacing, TypedTextAndTheBoundOfAWait)
{
    EXPECT_TRUE(TypedTextArrived("C:\\a b\\c.bmp", "C:\\a b\\c.bmp"));
    EXPECT_FALSE(TypedTextArrived("C:\\a b\\c.bmp", "C:\\a b\\c.bm"));
    EXPECT_FALSE(TypedTextArrived("C:\\a b\\c.bmp", "c:\\a b\\c.bmp"));
    EXPECT_EQ(FastWaitBoundMs(1000, 60), 60000u);
    EXPECT_EQ(FastWaitBoundMs(100, 60), 6000u);
    EXPECT_EQ(FastWaitBoundMs(1000, 0), 0u);
}

} // namespace

namespace {

// The plan of every point of a job under each pacing, with the product's
// pause and tries: the specified pacing pauses exactly where it always has,
// fast pacing never pauses blindly and bounds each readiness wait as the
// specified pause (a command: the whole bound of a wait for a window).
TEST(PacingPlan, EachPointOfAJobUnderEachPacing)
{
    struct Row {
        PausePoint point;
        PausePlan specified;
        PausePlan fast;
    };
    const Row rows[] = {
        {PausePoint::BeforeCommand, {0, 0, 0}, {0, 60000, 1000}},
        {PausePoint::DialogFound, {0, 0, 0}, {0, 1000, 1000}},
        {PausePoint::Typed, {0, 0, 0}, {0, 1000, 1000}},
        {PausePoint::AfterPress, {1000, 0, 0}, {0, 0, 0}},
        {PausePoint::AfterApply, {1000, 0, 0}, {0, 0, 0}},
        {PausePoint::BeforeSaveAsPoll, {1000, 0, 0}, {0, 0, 0}},
        {PausePoint::BeforeJpegPoll, {1000, 0, 0}, {0, 0, 0}},
        {PausePoint::OptionsFound, {0, 0, 0}, {0, 1000, 1000}},
        {PausePoint::OutputWritten, {0, 0, 0}, {0, 1000, 1000}},
        {PausePoint::AfterLastJob, {1000, 0, 0}, {0, 1000, 1000}},
    };
    const Pacing specified = MakePacing(false, 1000, 60);
    const Pacing fast = MakePacing(true, 1000, 60);
    EXPECT_EQ(specified.lookEveryMs, 0u) << "each try of a poll pauses once";
    EXPECT_EQ(fast.lookEveryMs, 25u);
    static_assert(static_cast<int>(PausePoint::Count) == 10, "a point without a row");
    for (const Row& r : rows) {
        SCOPED_TRACE(static_cast<int>(r.point));
        PausePlan s = PlanPause(specified, r.point);
        PausePlan f = PlanPause(fast, r.point);
        EXPECT_EQ(s.fixedMs, r.specified.fixedMs);
        EXPECT_EQ(s.readyBoundMs, r.specified.readyBoundMs);
        EXPECT_EQ(s.cannotTellMs, r.specified.cannotTellMs);
        EXPECT_EQ(f.fixedMs, r.fast.fixedMs);
        EXPECT_EQ(f.readyBoundMs, r.fast.readyBoundMs);
        EXPECT_EQ(f.cannotTellMs, r.fast.cannotTellMs);
    }
}

// A job whose windows all show at the first look: seven pauses, nine for
// JPEG, as the journal of a run with the product's pause shows them; none
// with fast pacing. The test build's pause scales the same plan.
TEST(PacingPlan, FixedPausesOfOneJob)
{
    struct Row {
        bool fast;
        unsigned long pauseMs;
        bool jpeg;
        unsigned long totalMs;
    };
    const Row rows[] = {
        {false, 1000, false, 7000}, {false, 1000, true, 9000}, {false, 100, false, 700},
        {false, 100, true, 900},    {true, 1000, false, 0},    {true, 1000, true, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::to_string(r.fast) + " " + std::to_string(r.pauseMs) + " " + std::to_string(r.jpeg));
        EXPECT_EQ(FixedPausesOfJobMs(MakePacing(r.fast, r.pauseMs, 60), r.jpeg), r.totalMs);
    }
}

} // namespace
