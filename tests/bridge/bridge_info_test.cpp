// Tests of menubridge.dll: GetMenuItemInfoA and the other calls through the bridge against the same calls
// on the same menu built in this process: caption buffers of every size, every field, lookups by
// identifier, failures and the last error they leave.

#include "bridge_owner.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace bridgetest;

namespace {

struct Answer {
    BOOL ok = FALSE;
    DWORD error = 0;
    MENUITEMINFOA info{};
    std::string buffer; // the whole caller buffer after the call, guard bytes included
    bool typeDataIsBuffer = false;
};

// One GetMenuItemInfoA with a caller buffer of `bufferSize` bytes (plus guard bytes) claimed as `cch`.
Answer AskInfo(HMENU menu, UINT item, BOOL byPosition, UINT cbSize, UINT mask, bool withBuffer, UINT cch)
{
    std::vector<char> buffer(cch + 16, 'Z');
    Answer a;
    a.info.cbSize = cbSize;
    a.info.fMask = mask;
    a.info.dwTypeData = withBuffer ? buffer.data() : nullptr;
    a.info.cch = cch;
    SetLastError(0xBEEF);
    a.ok = ::GetMenuItemInfoA(menu, item, byPosition, &a.info);
    a.error = GetLastError();
    a.typeDataIsBuffer = withBuffer && a.info.dwTypeData == buffer.data();
    a.buffer.assign(buffer.begin(), buffer.end());
    return a;
}

// Caption copies with every kind of buffer give what USER32 gives in-process on the same menu: same return
// value, same cch, same bytes written (and none beyond), for short, exact and long buffers.
TEST_F(MenuBridgeTest, CaptionBufferSemanticsMatchInProcess)
{
    struct Target {
        const char* name;
        std::vector<int> parent;
        int pos;
    } targets[] = {{"shortcut caption", {0}, 0}, {"long caption", {1}, 6}, {"empty caption", {0, 3, 1}, 1},
                   {"separator", {0}, 2},        {"bitmap", {1}, 2},       {"owner-drawn", {1}, 3},
                   {"drop-down", {0}, 3}};
    const UINT masks[] = {MIIM_TYPE, MIIM_STRING, MIIM_STRING | MIIM_FTYPE};
    const std::string longCaption = sample::LongCaption();
    const UINT sizes[] = {0,
                          1,
                          2,
                          4,
                          14,
                          15,
                          16,
                          17,
                          255,
                          static_cast<UINT>(longCaption.size()),
                          static_cast<UINT>(longCaption.size() + 1),
                          600};
    int compared = 0;
    for (const Target& t : targets) {
        HMENU remote = MenuAt(owner_->menu, t.parent);
        HMENU local = MenuAt(local_, t.parent);
        ASSERT_NE(remote, nullptr);
        ASSERT_NE(local, nullptr);
        for (UINT mask : masks) {
            for (int withBuffer = 0; withBuffer < 2; ++withBuffer) {
                for (UINT cch : sizes) {
                    SCOPED_TRACE(std::string(t.name) + " mask=" + std::to_string(mask) +
                                 " buffer=" + std::to_string(withBuffer) + " cch=" + std::to_string(cch));
                    Answer want = AskInfo(local, t.pos, TRUE, sample::kCompatInfoSize, mask, withBuffer, cch);
                    Answer got = AskInfo(remote, t.pos, TRUE, sample::kCompatInfoSize, mask, withBuffer, cch);
                    ASSERT_TRUE(want.ok);
                    EXPECT_EQ(got.ok, want.ok);
                    EXPECT_EQ(got.error, want.error);
                    EXPECT_EQ(got.info.fType, want.info.fType);
                    EXPECT_EQ(got.info.cch, want.info.cch);
                    EXPECT_EQ(got.typeDataIsBuffer, want.typeDataIsBuffer);
                    if (!want.typeDataIsBuffer && !(want.info.fType & MFT_BITMAP)) {
                        EXPECT_EQ(got.info.dwTypeData, want.info.dwTypeData);
                    }
                    EXPECT_EQ(got.buffer, want.buffer);
                    ++compared;
                }
            }
        }
    }
    EXPECT_EQ(compared, 7 * 3 * 2 * 12);
}

// Truncation read from the other process: cch = buffer size - 1, only the buffer's bytes are written, and
// the answer equals the in-process one. (Windows ends the copy with a terminator; Wine 8 fills all cch bytes
// with characters and writes none.)
TEST_F(MenuBridgeTest, SmallBufferTruncates)
{
    HMENU file = MenuAt(owner_->menu, {sample::kBarFile});
    HMENU localFile = MenuAt(local_, {sample::kBarFile});
    Answer a = AskInfo(file, 0, TRUE, sample::kCompatInfoSize, MIIM_TYPE, true, 4);
    ASSERT_TRUE(a.ok);
    EXPECT_EQ(a.info.cch, 3u);
    EXPECT_EQ(a.buffer.substr(0, 3), "&Op");
    EXPECT_TRUE(a.buffer[3] == '\0' || a.buffer[3] == 'e') << a.buffer;
    EXPECT_EQ(a.buffer.substr(4), std::string(16, 'Z'));
    EXPECT_EQ(a.buffer, AskInfo(localFile, 0, TRUE, sample::kCompatInfoSize, MIIM_TYPE, true, 4).buffer);

    Answer len = AskInfo(file, 0, TRUE, sample::kCompatInfoSize, MIIM_TYPE, false, 0);
    ASSERT_TRUE(len.ok);
    EXPECT_EQ(len.info.cch, std::strlen("&Open...\tCtrl+O"));
}

// Full-size structure with every field: same answers as in-process, handles mapped to each side's own.
TEST_F(MenuBridgeTest, AllFieldsMatchInProcess)
{
    const UINT mask =
        MIIM_STRING | MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA | MIIM_CHECKMARKS | MIIM_BITMAP;
    const std::vector<std::vector<int>> menus = {{}, {0}, {0, 3}, {0, 3, 1}, {1}, {3}, {4}};
    for (const auto& path : menus) {
        HMENU remote = MenuAt(owner_->menu, path);
        HMENU local = MenuAt(local_, path);
        int count = ::GetMenuItemCount(local);
        ASSERT_EQ(::GetMenuItemCount(remote), count);
        for (int pos = 0; pos < count; ++pos) {
            SCOPED_TRACE("menu depth " + std::to_string(path.size()) + " pos " + std::to_string(pos));
            Answer want = AskInfo(local, pos, TRUE, sizeof(MENUITEMINFOA), mask, true, 64);
            Answer got = AskInfo(remote, pos, TRUE, sizeof(MENUITEMINFOA), mask, true, 64);
            ASSERT_TRUE(want.ok);
            ASSERT_TRUE(got.ok) << got.error;
            EXPECT_EQ(got.info.cbSize, want.info.cbSize);
            EXPECT_EQ(got.info.fMask, want.info.fMask);
            EXPECT_EQ(got.info.fType, want.info.fType);
            EXPECT_EQ(got.info.fState, want.info.fState);
            // A drop-down added with AppendMenuA(MF_POPUP) has its sub-menu handle as identifier.
            if (want.info.hSubMenu && want.info.wID == static_cast<UINT>(sample::HandleValue(want.info.hSubMenu))) {
                EXPECT_EQ(got.info.wID, static_cast<UINT>(sample::HandleValue(got.info.hSubMenu)));
            } else {
                EXPECT_EQ(got.info.wID, want.info.wID);
            }
            EXPECT_EQ(got.info.dwItemData, want.info.dwItemData);
            EXPECT_EQ(got.info.cch, want.info.cch);
            EXPECT_EQ(got.buffer, want.buffer);
            EXPECT_EQ(got.typeDataIsBuffer, want.typeDataIsBuffer);
            EXPECT_EQ(got.info.hbmpChecked == nullptr, want.info.hbmpChecked == nullptr);
            EXPECT_EQ(got.info.hbmpUnchecked == nullptr, want.info.hbmpUnchecked == nullptr);
            EXPECT_EQ(got.info.hbmpItem == nullptr, want.info.hbmpItem == nullptr);
            EXPECT_EQ(got.info.hSubMenu == nullptr, want.info.hSubMenu == nullptr);
            EXPECT_EQ(got.info.hSubMenu, ::GetSubMenu(remote, pos));
        }
    }
}

// Identifier lookups (fByPosition FALSE) search the drop-downs, in the owner as in-process.
TEST_F(MenuBridgeTest, LookupByIdentifierSearchesDropDowns)
{
    const UINT ids[] = {sample::kDeep, sample::kOpen, sample::kAbout, sample::kGo, sample::kChecked, 9999};
    for (UINT id : ids) {
        SCOPED_TRACE(id);
        Answer want = AskInfo(local_, id, FALSE, sample::kCompatInfoSize, MIIM_TYPE | MIIM_ID, true, 64);
        Answer got = AskInfo(owner_->menu, id, FALSE, sample::kCompatInfoSize, MIIM_TYPE | MIIM_ID, true, 64);
        EXPECT_EQ(got.ok, want.ok);
        EXPECT_EQ(got.error, want.error);
        EXPECT_EQ(got.buffer, want.buffer);
        EXPECT_EQ(got.info.wID, want.info.wID);
        EXPECT_EQ(got.ok, id != 9999u);
    }
}

// Calls the owner's USER32 refuses fail here with the owner's error; calls on handles nobody owns fail with
// the local error. Each compared with the same call on this process's copy of the menu.
TEST_F(MenuBridgeTest, FailuresCarryTheOwnersError)
{
    struct Case {
        const char* name;
        UINT item;
        UINT cbSize;
        UINT mask;
    } cases[] = {
        {"position past the end", 99, sample::kCompatInfoSize, MIIM_TYPE},
        {"zero cbSize", 0, 0, MIIM_TYPE},
        {"odd cbSize", 0, 12, MIIM_TYPE},
        {"MIIM_TYPE with MIIM_FTYPE", 0, sample::kCompatInfoSize, MIIM_TYPE | MIIM_FTYPE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Answer want = AskInfo(local_, c.item, TRUE, c.cbSize, c.mask, true, 32);
        Answer got = AskInfo(owner_->menu, c.item, TRUE, c.cbSize, c.mask, true, 32);
        EXPECT_FALSE(want.ok);
        EXPECT_FALSE(got.ok);
        EXPECT_EQ(got.error, want.error);
        EXPECT_EQ(got.buffer, want.buffer);
    }

    struct Simple {
        const char* name;
        std::function<long long(HMENU)> call;
    } simple[] = {
        {"GetMenuItemID past the end",
         [](HMENU m) { return static_cast<long long>(static_cast<int>(::GetMenuItemID(m, 99))); }},
        {"GetSubMenu past the end",
         [](HMENU m) { return static_cast<long long>(sample::HandleValue(::GetSubMenu(m, 99))); }},
        {"GetSubMenu of a command",
         [](HMENU m) { return static_cast<long long>(sample::HandleValue(::GetSubMenu(m, sample::kBarGo))); }},
        {"GetMenuItemID of a drop-down",
         [](HMENU m) { return static_cast<long long>(static_cast<int>(::GetMenuItemID(m, 0))); }},
    };
    for (const Simple& s : simple) {
        SCOPED_TRACE(s.name);
        SetLastError(0xBEEF);
        long long want = s.call(local_);
        DWORD wantError = GetLastError();
        SetLastError(0xBEEF);
        long long got = s.call(owner_->menu);
        DWORD gotError = GetLastError();
        EXPECT_EQ(got, want);
        EXPECT_EQ(gotError, wantError);
    }

    // A handle that is nobody's menu: exactly the plain USER32 failure, compared with a direct call.
    HMODULE user32 = GetModuleHandleA("user32.dll");
    auto realCount = testutil::ProcAs<int(WINAPI*)(HMENU)>(user32, "GetMenuItemCount");
    auto realInfo = testutil::ProcAs<BOOL(WINAPI*)(HMENU, UINT, BOOL, LPMENUITEMINFOA)>(user32, "GetMenuItemInfoA");
    auto realSub = testutil::ProcAs<HMENU(WINAPI*)(HMENU, int)>(user32, "GetSubMenu");
    auto realId = testutil::ProcAs<UINT(WINAPI*)(HMENU, int)>(user32, "GetMenuItemID");
    ASSERT_TRUE(realCount && realInfo && realSub && realId);
    ASSERT_NE(reinterpret_cast<void*>(realCount), reinterpret_cast<void*>(&::GetMenuItemCount));
    HMENU bogus = reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(0x7ff00));
    ExpectSameAsDirect(
        "GetMenuItemCount", [&] { return static_cast<long long>(realCount(bogus)); },
        [&] { return static_cast<long long>(::GetMenuItemCount(bogus)); });
    ExpectSameAsDirect(
        "GetSubMenu", [&] { return static_cast<long long>(sample::HandleValue(realSub(bogus, 0))); },
        [&] { return static_cast<long long>(sample::HandleValue(::GetSubMenu(bogus, 0))); });
    ExpectSameAsDirect(
        "GetMenuItemID", [&] { return static_cast<long long>(realId(bogus, 0)); },
        [&] { return static_cast<long long>(::GetMenuItemID(bogus, 0)); });
    Answer none = AskInfo(bogus, 0, TRUE, sample::kCompatInfoSize, MIIM_TYPE, true, 8);
    EXPECT_FALSE(none.ok);
    EXPECT_EQ(none.buffer, std::string(8 + 16, 'Z'));
    MENUITEMINFOA direct{};
    direct.cbSize = sample::kCompatInfoSize;
    direct.fMask = MIIM_TYPE;
    char buf[8];
    direct.dwTypeData = buf;
    direct.cch = sizeof(buf);
    SetLastError(0xBEEF);
    EXPECT_FALSE(realInfo(bogus, 0, TRUE, &direct));
    EXPECT_EQ(none.error, GetLastError());
}

// A successful bridged call leaves the caller's last error as an in-process call would.
TEST_F(MenuBridgeTest, LastErrorAfterSuccessMatchesInProcess)
{
    SetLastError(12345);
    ::GetMenuItemCount(local_);
    DWORD want = GetLastError();
    SetLastError(12345);
    EXPECT_EQ(::GetMenuItemCount(owner_->menu), sample::kBarCount);
    EXPECT_EQ(GetLastError(), want);

    Answer local = AskInfo(local_, 0, TRUE, sample::kCompatInfoSize, MIIM_TYPE, true, 32);
    Answer remote = AskInfo(owner_->menu, 0, TRUE, sample::kCompatInfoSize, MIIM_TYPE, true, 32);
    ASSERT_TRUE(remote.ok);
    EXPECT_EQ(remote.error, local.error);
}

} // namespace
