// Tests of menubridge.dll that start owners of their own: two at once, a program the bridge was injected
// into, a menu that changes, and an owner that stops answering or is gone.

#include "bridge_owner.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace bridgetest;

namespace {

// Tests that start owners of their own.
class MenuBridgeOwnersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(LoadBridge(), nullptr); }
};

// Two owners at once: each menu is answered by its own process.
TEST_F(MenuBridgeOwnersTest, TwoOwnersEachAnswerForTheirOwnMenu)
{
    Owner a, b;
    std::string error;
    ASSERT_TRUE(a.Start(&error)) << error;
    ASSERT_TRUE(b.Start(&error)) << error;
    ASSERT_NE(a.menu, b.menu);
    for (int round = 0; round < 2; ++round) {
        ExpectSameWalk(a.tree, sample::DumpMenuTree(a.menu));
        ExpectSameWalk(b.tree, sample::DumpMenuTree(b.menu));
    }
    EXPECT_NE(a.tree, b.tree);
}

// The client half in a program the DLL was injected into (as the rig does with the product): menuowner.exe
// in --walk mode reads another owner's menu through its own redirected imports.
TEST_F(MenuBridgeOwnersTest, InjectedProgramReadsAnotherProgramsMenu)
{
    Owner owner;
    std::string error;
    ASSERT_TRUE(owner.Start(&error)) << error;
    struct Case {
        const char* name;
        bool inject;
    } cases[] = {{"without the bridge", false}, {"with the bridge injected", true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string out = testutil::TempFile("walk");
        rig::Process reader;
        ASSERT_TRUE(rig::StartProgram(rig::ExeDir() + "menuowner.exe",
                                      "--walk " + std::to_string(sample::HandleValue(owner.menu)) + " \"" + out + "\"",
                                      &reader, "", c.inject ? rig::ExeDir() + "menubridge.dll" : "", &error))
            << error;
        DWORD code = 99;
        bool ended = rig::WaitExit(reader, 20000, &code);
        rig::EndProgram(reader);
        ASSERT_TRUE(ended);
        EXPECT_EQ(code, 0u);
        std::vector<std::string> walk = testutil::SplitLines(rig::ReadFileText(out));
        DeleteFileA(out.c_str());
        if (c.inject) {
            ExpectSameWalk(owner.tree, walk);
        } else {
            // Wine refuses the foreign menu outright; Windows reads it as the owner does.
            ASSERT_FALSE(walk.empty());
            EXPECT_TRUE(walk == owner.tree || walk[0].find("count=-1") != std::string::npos) << Lines(walk);
        }
    }
}

// A menu that changes while its owner runs is read as it is now.
TEST_F(MenuBridgeOwnersTest, FollowsAMenuThatChanges)
{
    Owner owner;
    std::string error;
    ASSERT_TRUE(owner.Start(&error)) << error;
    HMENU view = MenuAt(owner.menu, {sample::kBarView});
    ASSERT_EQ(::GetMenuItemCount(view), 8);
    for (int n = 1; n <= 2; ++n) {
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutA(owner.hwnd, sample::kAppendItemMessage, 0, 0, SMTO_ABORTIFHUNG, 5000, &result));
        EXPECT_EQ(static_cast<int>(result), n);
        ASSERT_EQ(::GetMenuItemCount(view), 8 + n);
        char text[32] = {};
        MENUITEMINFOA mii{};
        mii.cbSize = sample::kCompatInfoSize;
        mii.fMask = MIIM_TYPE;
        mii.dwTypeData = text;
        mii.cch = sizeof(text);
        ASSERT_TRUE(::GetMenuItemInfoA(view, 7 + n, TRUE, &mii));
        EXPECT_STREQ(text, ("Added &" + std::to_string(n)).c_str());
        EXPECT_EQ(::GetMenuItemID(view, 7 + n), sample::kAddedBase + n);
    }
}

// A server that does not answer costs a bounded wait, not a hang; once its owner is gone, its menus fail at
// once with the local error.
TEST_F(MenuBridgeOwnersTest, UnresponsiveOwnerIsBoundedAndGoneOwnerFailsFast)
{
    Owner stuck;
    std::string error;
    ASSERT_TRUE(stuck.Start(&error)) << error;
    ASSERT_EQ(::GetMenuItemCount(stuck.menu), sample::kBarCount);

    std::vector<HANDLE> suspended;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
    ASSERT_NE(snap, INVALID_HANDLE_VALUE);
    THREADENTRY32 te;
    te.dwSize = sizeof(te);
    for (BOOL ok = Thread32First(snap, &te); ok; ok = Thread32Next(snap, &te)) {
        if (te.th32OwnerProcessID != stuck.proc.pid)
            continue;
        HANDLE th = OpenThread(THREAD_SUSPEND_RESUME, FALSE, te.th32ThreadID);
        if (th && SuspendThread(th) != static_cast<DWORD>(-1)) {
            suspended.push_back(th);
        } else if (th) {
            CloseHandle(th);
        }
    }
    CloseHandle(snap);
    ASSERT_FALSE(suspended.empty());

    DWORD start = GetTickCount();
    SetLastError(0);
    int count = ::GetMenuItemCount(stuck.menu);
    DWORD elapsed = GetTickCount() - start;
    EXPECT_EQ(count, -1);
    EXPECT_LT(elapsed, 12000u);
    std::printf("[ info ] bridged call to a suspended owner gave up after %lu ms\n",
                static_cast<unsigned long>(elapsed));

    for (HANDLE th : suspended) {
        ResumeThread(th);
        CloseHandle(th);
    }
    EXPECT_EQ(::GetMenuItemCount(stuck.menu), sample::kBarCount);

    HMENU gone = stuck.menu;
    stuck.Stop();
    auto realCount = testutil::ProcAs<int(WINAPI*)(HMENU)>(GetModuleHandleA("user32.dll"), "GetMenuItemCount");
    ASSERT_NE(realCount, nullptr);
    start = GetTickCount();
    ExpectSameAsDirect(
        "menu of an ended owner", [&] { return static_cast<long long>(realCount(gone)); },
        [&] { return static_cast<long long>(::GetMenuItemCount(gone)); });
    EXPECT_EQ(::GetMenuItemCount(gone), -1);
    EXPECT_LT(GetTickCount() - start, 2000u);
}

} // namespace
