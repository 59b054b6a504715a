// Tolvane under a German display language: the system's file dialogs carry
// German titles and buttons ("Öffnen", "Speichern als", "&Öffnen",
// "&Speichern" under Wine), both the system's own and the stand-in's dialogs
// titled as the system titles them. Each run completes its job. This
// program runs with LANG=de_DE.UTF-8, which a Wine process takes its locale
// from and passes on to the programs it starts.
#include "sequence.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

namespace {

using namespace sequencetest;

struct LocaleCase {
    const char* name;
    const char* switches;
    int format;
    const char* saved;
};

void PrintTo(const LocaleCase& c, std::ostream* os)
{
    *os << c.name;
}

class GermanWindows : public Sequence, public testing::WithParamInterface<LocaleCase> {};

TEST_P(GermanWindows, RunCompletesItsJob)
{
    const LocaleCase& c = GetParam();
    ASSERT_EQ(GetUserDefaultLCID() & 0x3FF, static_cast<LCID>(LANG_GERMAN)) << "not run under a German locale";
    StartBoth(c.switches);
    SetFormat(c.format);
    AddJob(Image("de.bmp"));
    Start();
    ASSERT_TRUE(WaitForStatus("Processing complete", 30000)) << Status() << standin_.JournalText();
    ASSERT_TRUE(standin_.WaitForEvents("saved", 1, 10000)) << standin_.JournalText();
    EXPECT_EQ(standin_.EventsNamed("saved")[0].args.rfind(c.saved, 0), 0u) << standin_.JournalText();
}

const LocaleCase kLocales[] = {
    {"SystemDialogs", "--system-dialogs", kBitmap, "BMP"},
    {"SystemDialogsJpeg", "--system-dialogs", kJpeg, "JPEG"},
    {"OwnDialogsWithSystemTitles", "--system-titles", kBitmap, "BMP"},
};

INSTANTIATE_TEST_SUITE_P(Locale, GermanWindows, testing::ValuesIn(kLocales),
                         [](const testing::TestParamInfo<LocaleCase>& info) { return info.param.name; });

} // namespace
