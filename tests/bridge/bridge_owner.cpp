// The bridge tests' common ground (see bridge_owner.h): loading the bridge, the walk comparisons and the
// shared owner of the read-only tests.

#include "bridge_owner.h"

#include <algorithm>

namespace bridgetest {

HMODULE g_bridge = nullptr;

HMODULE LoadBridge()
{
    if (!g_bridge)
        g_bridge = LoadLibraryA((rig::ExeDir() + "menubridge.dll").c_str());
    return g_bridge;
}

HMENU MenuAt(HMENU menu, const std::vector<int>& path)
{
    for (int pos : path) {
        if (!menu)
            return nullptr;
        menu = ::GetSubMenu(menu, pos);
    }
    return menu;
}

std::string Lines(const std::vector<std::string>& lines)
{
    std::string s;
    for (const std::string& l : lines)
        s += l + "\n";
    return s;
}

void ExpectSameWalk(const std::vector<std::string>& expected, const std::vector<std::string>& actual)
{
    ASSERT_FALSE(expected.empty());
    for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
        ASSERT_EQ(expected[i], actual[i]) << "line " << i;
    }
    ASSERT_EQ(expected.size(), actual.size()) << "expected:\n" << Lines(expected) << "actual:\n" << Lines(actual);
}

void ExpectSameAsDirect(const char* what, const std::function<long long()>& direct,
                        const std::function<long long()>& imported)
{
    SCOPED_TRACE(what);
    SetLastError(0xBEEF);
    long long want = direct();
    DWORD wantError = GetLastError();
    SetLastError(0xBEEF);
    long long got = imported();
    EXPECT_EQ(got, want);
    EXPECT_EQ(GetLastError(), wantError);
}

Owner* MenuBridgeTest::owner_ = nullptr;
std::string* MenuBridgeTest::startError_ = nullptr;
HMENU MenuBridgeTest::local_ = nullptr;
HBITMAP MenuBridgeTest::localPicture_ = nullptr;

} // namespace bridgetest
