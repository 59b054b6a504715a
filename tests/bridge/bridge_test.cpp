// Tests of menubridge.dll: a menu of menuowner.exe, read from this process through the ordinary USER32 calls,
// must give exactly the answers the owner's USER32 gives in its own process.
//
// Every menu call below is a plain ::GetMenuItemCount / ::GetMenuItemInfoA / ::GetMenuItemID / ::GetSubMenu,
// i.e. it goes through this executable's import table, which the bridge redirects once it is loaded.
//
// This file: the bridge before it is loaded, the imports it takes over, and the whole menu tree and each
// kind of item read through it; the test program's main.

#include "bridge_owner.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

using namespace bridgetest;

namespace {

// The bridge takes no part before it is loaded: a foreign menu then either is refused (Wine) or reads
// correctly (Windows). Runs before anything loads the bridge; skipped if the bridge is already there.
TEST(MenuBridgeBaseline, ForeignMenuWithoutBridge)
{
    if (GetModuleHandleA("menubridge.dll"))
        GTEST_SKIP() << "bridge already loaded";
    Owner owner;
    std::string error;
    ASSERT_TRUE(owner.Start(&error)) << error;
    SetLastError(0);
    int count = ::GetMenuItemCount(owner.menu);
    DWORD err = GetLastError();
    if (count == -1) {
        std::printf("[ info ] without the bridge, GetMenuItemCount of a foreign menu gives -1, error %lu\n",
                    static_cast<unsigned long>(err));
        EXPECT_EQ(::GetSubMenu(owner.menu, sample::kBarFile), nullptr);
    } else {
        EXPECT_EQ(count, sample::kBarCount);
    }
}

// The four imports of this executable now lead into menubridge.dll.
TEST_F(MenuBridgeTest, ImportsOfThisProgramLeadToTheBridge)
{
    struct Import {
        const char* name;
        const void* target;
    } imports[] = {
        {"GetMenuItemCount", reinterpret_cast<const void*>(&::GetMenuItemCount)},
        {"GetMenuItemInfoA", reinterpret_cast<const void*>(&::GetMenuItemInfoA)},
        {"GetMenuItemID", reinterpret_cast<const void*>(&::GetMenuItemID)},
        {"GetSubMenu", reinterpret_cast<const void*>(&::GetSubMenu)},
    };
    for (const Import& imp : imports) {
        HMODULE module = nullptr;
        ASSERT_TRUE(
            GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                               static_cast<const char*>(imp.target), &module))
            << imp.name;
        EXPECT_EQ(module, g_bridge) << imp.name;
    }
}

// The whole tree read from here equals the owner's own walk, field by field.
TEST_F(MenuBridgeTest, WholeTreeMatchesTheOwnersOwnWalk)
{
    EXPECT_EQ(testutil::BridgeServerOf(GetCurrentProcessId()) != nullptr, true) << "this process serves too";
    ExpectSameWalk(owner_->tree, sample::DumpMenuTree(owner_->menu));
    // The walk saw real content, not a run of failures.
    std::string walk = Lines(sample::DumpMenuTree(owner_->menu));
    EXPECT_EQ(walk.find("Err="), std::string::npos) << walk;
    EXPECT_EQ(walk.find("count=-1"), std::string::npos) << walk;
    // Many calls in a row keep getting the owner's answer.
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(::GetMenuItemCount(owner_->menu), sample::kBarCount) << "call " << i;
    ExpectSameWalk(owner_->tree, sample::DumpMenuTree(owner_->menu));
}

// What each kind of item reads as from here.
TEST_F(MenuBridgeTest, EachKindOfItem)
{
    struct Case {
        const char* name;
        std::vector<int> parent;
        int pos;
        UINT type;
        const char* caption; // null: no caption expected in dwTypeData
        int itemId;          // GetMenuItemID
        bool dropDown;
    };
    const std::string longCaption = sample::LongCaption();
    const Case cases[] = {
        {"string with shortcut", {0}, 0, MFT_STRING, "&Open...\tCtrl+O", sample::kOpen, false},
        {"grayed string", {0}, 1, MFT_STRING, "&Save\tCtrl+S", sample::kSave, false},
        {"separator", {0}, 2, MFT_SEPARATOR, nullptr, 0, false},
        {"drop-down", {0}, 3, MFT_STRING, "&Recent", -1, true},
        {"nested drop-down", {0, 3}, 1, MFT_STRING, "&More", -1, true},
        {"item two levels down", {0, 3, 1}, 0, MFT_STRING, "Deep &item", sample::kDeep, false},
        {"exit", {0}, 5, MFT_STRING, "E&xit\tAlt+F4", sample::kExit, false},
        {"radio check", {1}, 0, MFT_STRING | MFT_RADIOCHECK, "&Normal", sample::kNormal, false},
        {"radio unchecked", {1}, 1, MFT_STRING | MFT_RADIOCHECK, "&Zoomed", sample::kZoomed, false},
        {"bitmap", {1}, 2, MFT_BITMAP, nullptr, sample::kPicture, false},
        {"owner-drawn", {1}, 3, MFT_OWNERDRAW, nullptr, sample::kOwnerDrawn, false},
        {"menu break", {1}, 4, MFT_STRING | MFT_MENUBREAK, "Column &two", sample::kColumnTwo, false},
        {"menu bar break", {1}, 5, MFT_STRING | MFT_MENUBARBREAK, "Bar &break", sample::kBarBreak, false},
        {"long caption", {1}, 6, MFT_STRING, longCaption.c_str(), sample::kLong, false},
        {"bar command", {}, sample::kBarGo, MFT_STRING, "&Go!", sample::kGo, false},
        {"empty drop-down", {}, sample::kBarEmpty, MFT_STRING, "&Empty", -1, true},
        {"right-justified", {}, sample::kBarHelp, MFT_STRING | MFT_RIGHTJUSTIFY, "&Help", -1, true},
        {"under right-justified", {4}, 0, MFT_STRING, "&About", sample::kAbout, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HMENU parent = MenuAt(owner_->menu, c.parent);
        ASSERT_NE(parent, nullptr);
        char text[1024];
        std::memset(text, 0, sizeof(text));
        MENUITEMINFOA mii{};
        mii.cbSize = sample::kCompatInfoSize;
        mii.fMask = MIIM_TYPE;
        mii.dwTypeData = text;
        mii.cch = sizeof(text);
        ASSERT_TRUE(::GetMenuItemInfoA(parent, c.pos, TRUE, &mii)) << GetLastError();
        EXPECT_EQ(mii.fType, c.type);
        if (c.caption) {
            EXPECT_EQ(mii.dwTypeData, text);
            EXPECT_STREQ(text, c.caption);
            EXPECT_EQ(mii.cch, std::strlen(c.caption));
        } else {
            EXPECT_NE(mii.dwTypeData, text);
        }
        EXPECT_EQ(static_cast<int>(::GetMenuItemID(parent, c.pos)), c.itemId);

        MENUITEMINFOA sub{};
        sub.cbSize = sample::kCompatInfoSize;
        sub.fMask = MIIM_SUBMENU;
        ASSERT_TRUE(::GetMenuItemInfoA(parent, c.pos, TRUE, &sub));
        EXPECT_EQ(sub.hSubMenu != nullptr, c.dropDown);
        EXPECT_EQ(::GetSubMenu(parent, c.pos), sub.hSubMenu);
        if (c.dropDown) {
            EXPECT_GE(::GetMenuItemCount(sub.hSubMenu), 0);
        }
    }
    EXPECT_EQ(::GetMenuItemCount(owner_->menu), sample::kBarCount);
    EXPECT_EQ(::GetMenuItemCount(MenuAt(owner_->menu, {sample::kBarEmpty})), 0);
    EXPECT_EQ(::GetMenuItemCount(MenuAt(owner_->menu, {sample::kBarFile})), 6);
    EXPECT_EQ(::GetMenuItemCount(MenuAt(owner_->menu, {sample::kBarView})), 8);
}

// The bitmap item hands back the owner's bitmap handle in dwTypeData, exactly as the owner's walk saw it.
TEST_F(MenuBridgeTest, BitmapItemGivesTheOwnersBitmap)
{
    HMENU view = MenuAt(owner_->menu, {sample::kBarView});
    char text[64] = "untouched";
    MENUITEMINFOA mii{};
    mii.cbSize = sample::kCompatInfoSize;
    mii.fMask = MIIM_TYPE;
    mii.dwTypeData = text;
    mii.cch = sizeof(text);
    ASSERT_TRUE(::GetMenuItemInfoA(view, 2, TRUE, &mii));
    EXPECT_EQ(mii.fType, static_cast<UINT>(MFT_BITMAP));
    EXPECT_EQ(mii.cch, 0u);
    EXPECT_STREQ(text, "untouched");
    std::string want = " typeData=" + std::to_string(sample::HandleValue(mii.dwTypeData)) + " ";
    bool found = false;
    for (const std::string& line : owner_->tree)
        found = found || line.find(want) != std::string::npos;
    EXPECT_TRUE(found) << "no item of the owner's walk has" << want;
    EXPECT_NE(mii.dwTypeData, nullptr);
}

// Several threads of this process walking at once all get the owner's answers.
TEST_F(MenuBridgeTest, ConcurrentWalksFromManyThreads)
{
    std::atomic<int> good{0}, bad{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 5; ++i) {
                if (sample::DumpMenuTree(owner_->menu) == owner_->tree) {
                    ++good;
                } else {
                    ++bad;
                }
            }
        });
    }
    for (std::thread& t : threads)
        t.join();
    EXPECT_EQ(good.load(), 20);
    EXPECT_EQ(bad.load(), 0);
}

// Ends the test program if a stray message box (an assertion, a crash report) would otherwise block ctest.
void StartWatchdog(DWORD limitMs)
{
    std::thread([limitMs] {
        Sleep(limitMs);
        std::fprintf(stderr, "bridge_test: watchdog ended the run after %lu ms\n", static_cast<unsigned long>(limitMs));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 99);
    }).detach();
}

} // namespace

int main(int argc, char** argv)
{
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    StartWatchdog(110000);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
