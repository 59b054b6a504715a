// Neat Image's rights against Tolvane's at Start: the comparison of the two
// integrity levels, and the read of a process's level.
#include "target/rights.h"

#include <gtest/gtest.h>

namespace {

constexpr DWORD kLow = 0x1000, kMedium = 0x2000, kHigh = 0x3000, kSystem = 0x4000;

struct RightsCase {
    const char* what;
    DWORD own;
    DWORD target;
    bool refused;
};

TEST(Rights, OnlyAHigherLevelReadForBothRefuses)
{
    const RightsCase cases[] = {
        {"equal", kMedium, kMedium, false},
        {"equal, both elevated", kHigh, kHigh, false},
        {"Neat Image lower", kHigh, kMedium, false},
        {"Neat Image at low", kMedium, kLow, false},
        {"Neat Image higher", kMedium, kHigh, true},
        {"Neat Image at system", kHigh, kSystem, true},
        {"Neat Image unreadable", kMedium, kLevelUnreadable, false},
        {"own unreadable", kLevelUnreadable, kHigh, false},
        {"both unreadable", kLevelUnreadable, kLevelUnreadable, false},
    };
    for (const RightsCase& c : cases)
        EXPECT_EQ(TargetRightsTooHigh(c.own, c.target), c.refused) << c.what;
}

TEST(Rights, OwnLevelIsReadAndAHandleThatIsNoProcessIsUnreadable)
{
    DWORD own = ProcessIntegrityLevel(GetCurrentProcess());
    ASSERT_NE(own, kLevelUnreadable);
    EXPECT_EQ(own % 0x1000, 0u) << std::hex << own;
    EXPECT_LE(own, kSystem) << std::hex << own;

    // Opened with the limited right alone, as Start opens Neat Image.
    HANDLE limited = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, GetCurrentProcessId());
    ASSERT_NE(limited, nullptr);
    EXPECT_EQ(ProcessIntegrityLevel(limited), own);
    CloseHandle(limited);

    // No token behind it: unreadable, not some level.
    HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(event, nullptr);
    EXPECT_EQ(ProcessIntegrityLevel(event), kLevelUnreadable);
    CloseHandle(event);
    EXPECT_EQ(ProcessIntegrityLevel(nullptr), kLevelUnreadable);
}

} // namespace
