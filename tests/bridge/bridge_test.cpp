// Tests of menubridge.dll: a menu of menuowner.exe, read from this process through the ordinary USER32 calls,
// must give exactly the answers the owner's USER32 gives in its own process.
//
// Every menu call below is a plain ::GetMenuItemCount / ::GetMenuItemInfoA / ::GetMenuItemID / ::GetSubMenu,
// i.e. it goes through this executable's import table, which the bridge redirects once it is loaded.

#include "bridge_test_util.h"
#include "process.h"
#include "sample_menu.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr DWORD kStartTimeoutMs = 10000;

HMODULE g_bridge = nullptr;

// Loads the bridge into this process (which redirects this executable's menu imports) once.
HMODULE LoadBridge() {
    if (!g_bridge) g_bridge = LoadLibraryA((rig::ExeDir() + "menubridge.dll").c_str());
    return g_bridge;
}

// One running menuowner.exe with the bridge in it, and what it wrote about itself.
struct Owner {
    rig::Process proc;
    HWND hwnd = nullptr;
    HMENU menu = nullptr;
    std::vector<std::string> tree;  // the owner's own in-process walk of its menu
    std::string infoPath, treePath;
    DWORD serverWaitMs = 0;         // how long after the info file the server window still needed

    Owner() = default;
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    ~Owner() { Stop(); }

    void Stop() {
        rig::EndProgram(proc);
        if (!infoPath.empty()) DeleteFileA(infoPath.c_str());
        if (!treePath.empty()) DeleteFileA(treePath.c_str());
    }

    bool Start(std::string* error) {
        infoPath = testutil::TempFile("info");
        treePath = testutil::TempFile("tree");
        std::string args = "\"" + infoPath + "\" \"" + treePath + "\"";
        if (!rig::StartProgram(rig::ExeDir() + "menuowner.exe", args, &proc, "", rig::ExeDir() + "menubridge.dll", error))
            return false;
        std::string info;
        bool ready = testutil::WaitUntil(
            [&] {
                info = rig::ReadFileText(infoPath);
                return !info.empty() && info.back() == '\n';
            },
            kStartTimeoutMs);
        if (!ready) {
            *error = "menuowner wrote no info file";
            return false;
        }
        unsigned long long pid = 0, window = 0, bar = 0;
        std::istringstream in(info);
        if (!(in >> pid >> window >> bar) || pid != proc.pid) {
            *error = "unexpected info file: " + info;
            return false;
        }
        hwnd = reinterpret_cast<HWND>(static_cast<ULONG_PTR>(window));
        menu = reinterpret_cast<HMENU>(static_cast<ULONG_PTR>(bar));
        tree = testutil::SplitLines(rig::ReadFileText(treePath));
        DWORD start = GetTickCount();
        if (!testutil::WaitUntil([&] { return testutil::BridgeServerOf(proc.pid) != nullptr; }, 5000)) {
            *error = "no bridge server window in menuowner";
            return false;
        }
        serverWaitMs = GetTickCount() - start;
        return true;
    }
};

// Descends from `menu` through the drop-downs at `path` (positions).
HMENU MenuAt(HMENU menu, const std::vector<int>& path) {
    for (int pos : path) {
        if (!menu) return nullptr;
        menu = ::GetSubMenu(menu, pos);
    }
    return menu;
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

// Compares two walks line by line, so a failure names the first item that differs.
void ExpectSameWalk(const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
    ASSERT_FALSE(expected.empty());
    for (size_t i = 0; i < std::min(expected.size(), actual.size()); ++i) {
        ASSERT_EQ(expected[i], actual[i]) << "line " << i;
    }
    ASSERT_EQ(expected.size(), actual.size()) << "expected:\n" << Lines(expected) << "actual:\n" << Lines(actual);
}

// The bridge takes no part before it is loaded: a foreign menu then either is refused (Wine) or reads
// correctly (Windows). Runs before anything loads the bridge; skipped if the bridge is already there.
TEST(MenuBridgeBaseline, ForeignMenuWithoutBridge) {
    if (GetModuleHandleA("menubridge.dll")) GTEST_SKIP() << "bridge already loaded";
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

// Shared owner for the read-only tests, plus the same menu built in this process as the reference for what
// USER32 answers in-process.
class MenuBridgeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        LoadBridge();
        owner_ = new Owner;
        std::string error;
        if (!owner_->Start(&error)) startError_ = new std::string(error);
        localPicture_ = CreateBitmap(16, 16, 1, 1, nullptr);
        local_ = sample::BuildSampleMenu(localPicture_);
    }
    static void TearDownTestSuite() {
        delete owner_;
        owner_ = nullptr;
        delete startError_;
        startError_ = nullptr;
        DestroyMenu(local_);
        DeleteObject(localPicture_);
    }
    void SetUp() override {
        ASSERT_NE(g_bridge, nullptr) << "menubridge.dll did not load: " << GetLastError();
        ASSERT_EQ(startError_, nullptr) << *startError_;
    }

    static Owner* owner_;
    static std::string* startError_;
    static HMENU local_;
    static HBITMAP localPicture_;
};

Owner* MenuBridgeTest::owner_ = nullptr;
std::string* MenuBridgeTest::startError_ = nullptr;
HMENU MenuBridgeTest::local_ = nullptr;
HBITMAP MenuBridgeTest::localPicture_ = nullptr;

// The four imports of this executable now lead into menubridge.dll.
TEST_F(MenuBridgeTest, ImportsOfThisProgramLeadToTheBridge) {
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
        ASSERT_TRUE(GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                           GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                       static_cast<const char*>(imp.target), &module))
            << imp.name;
        EXPECT_EQ(module, g_bridge) << imp.name;
    }
}

// The whole tree read from here equals the owner's own walk, field by field.
TEST_F(MenuBridgeTest, WholeTreeMatchesTheOwnersOwnWalk) {
    EXPECT_EQ(testutil::BridgeServerOf(GetCurrentProcessId()) != nullptr, true) << "this process serves too";
    ExpectSameWalk(owner_->tree, sample::DumpMenuTree(owner_->menu));
    // The walk saw real content, not a run of failures.
    std::string walk = Lines(sample::DumpMenuTree(owner_->menu));
    EXPECT_EQ(walk.find("Err="), std::string::npos) << walk;
    EXPECT_EQ(walk.find("count=-1"), std::string::npos) << walk;
    // Many calls in a row keep getting the owner's answer.
    for (int i = 0; i < 300; ++i) ASSERT_EQ(::GetMenuItemCount(owner_->menu), sample::kBarCount) << "call " << i;
    ExpectSameWalk(owner_->tree, sample::DumpMenuTree(owner_->menu));
}

// What each kind of item reads as from here.
TEST_F(MenuBridgeTest, EachKindOfItem) {
    struct Case {
        const char* name;
        std::vector<int> parent;
        int pos;
        UINT type;
        const char* caption;  // null: no caption expected in dwTypeData
        int itemId;           // GetMenuItemID
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
TEST_F(MenuBridgeTest, BitmapItemGivesTheOwnersBitmap) {
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
    for (const std::string& line : owner_->tree) found = found || line.find(want) != std::string::npos;
    EXPECT_TRUE(found) << "no item of the owner's walk has" << want;
    EXPECT_NE(mii.dwTypeData, nullptr);
}

// Runs the direct USER32 call and the call through this program's imports with the same starting last error
// and expects the same result and last error.
void ExpectSameAsDirect(const char* what, const std::function<long long()>& direct,
                        const std::function<long long()>& imported) {
    SCOPED_TRACE(what);
    SetLastError(0xBEEF);
    long long want = direct();
    DWORD wantError = GetLastError();
    SetLastError(0xBEEF);
    long long got = imported();
    EXPECT_EQ(got, want);
    EXPECT_EQ(GetLastError(), wantError);
}

struct Answer {
    BOOL ok = FALSE;
    DWORD error = 0;
    MENUITEMINFOA info{};
    std::string buffer;  // the whole caller buffer after the call, guard bytes included
    bool typeDataIsBuffer = false;
};

// One GetMenuItemInfoA with a caller buffer of `bufferSize` bytes (plus guard bytes) claimed as `cch`.
Answer AskInfo(HMENU menu, UINT item, BOOL byPosition, UINT cbSize, UINT mask, bool withBuffer, UINT cch) {
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
TEST_F(MenuBridgeTest, CaptionBufferSemanticsMatchInProcess) {
    struct Target {
        const char* name;
        std::vector<int> parent;
        int pos;
    } targets[] = {{"shortcut caption", {0}, 0}, {"long caption", {1}, 6}, {"empty caption", {0, 3, 1}, 1},
                   {"separator", {0}, 2},        {"bitmap", {1}, 2},        {"owner-drawn", {1}, 3},
                   {"drop-down", {0}, 3}};
    const UINT masks[] = {MIIM_TYPE, MIIM_STRING, MIIM_STRING | MIIM_FTYPE};
    const std::string longCaption = sample::LongCaption();
    const UINT sizes[] = {0, 1, 2, 4, 14, 15, 16, 17, 255, static_cast<UINT>(longCaption.size()),
                          static_cast<UINT>(longCaption.size() + 1), 600};
    int compared = 0;
    for (const Target& t : targets) {
        HMENU remote = MenuAt(owner_->menu, t.parent);
        HMENU local = MenuAt(local_, t.parent);
        ASSERT_NE(remote, nullptr);
        ASSERT_NE(local, nullptr);
        for (UINT mask : masks) {
            for (int withBuffer = 0; withBuffer < 2; ++withBuffer) {
                for (UINT cch : sizes) {
                    SCOPED_TRACE(std::string(t.name) + " mask=" + std::to_string(mask) + " buffer=" +
                                 std::to_string(withBuffer) + " cch=" + std::to_string(cch));
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
TEST_F(MenuBridgeTest, SmallBufferTruncates) {
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
TEST_F(MenuBridgeTest, AllFieldsMatchInProcess) {
    const UINT mask = MIIM_STRING | MIIM_FTYPE | MIIM_ID | MIIM_STATE | MIIM_SUBMENU | MIIM_DATA |
                      MIIM_CHECKMARKS | MIIM_BITMAP;
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
TEST_F(MenuBridgeTest, LookupByIdentifierSearchesDropDowns) {
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
TEST_F(MenuBridgeTest, FailuresCarryTheOwnersError) {
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
        {"GetMenuItemID past the end", [](HMENU m) { return static_cast<long long>(static_cast<int>(::GetMenuItemID(m, 99))); }},
        {"GetSubMenu past the end", [](HMENU m) { return static_cast<long long>(sample::HandleValue(::GetSubMenu(m, 99))); }},
        {"GetSubMenu of a command", [](HMENU m) { return static_cast<long long>(sample::HandleValue(::GetSubMenu(m, sample::kBarGo))); }},
        {"GetMenuItemID of a drop-down", [](HMENU m) { return static_cast<long long>(static_cast<int>(::GetMenuItemID(m, 0))); }},
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
    ExpectSameAsDirect("GetMenuItemCount", [&] { return static_cast<long long>(realCount(bogus)); },
                       [&] { return static_cast<long long>(::GetMenuItemCount(bogus)); });
    ExpectSameAsDirect("GetSubMenu", [&] { return static_cast<long long>(sample::HandleValue(realSub(bogus, 0))); },
                       [&] { return static_cast<long long>(sample::HandleValue(::GetSubMenu(bogus, 0))); });
    ExpectSameAsDirect("GetMenuItemID", [&] { return static_cast<long long>(realId(bogus, 0)); },
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
TEST_F(MenuBridgeTest, LastErrorAfterSuccessMatchesInProcess) {
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

// Several threads of this process walking at once all get the owner's answers.
TEST_F(MenuBridgeTest, ConcurrentWalksFromManyThreads) {
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
    for (std::thread& t : threads) t.join();
    EXPECT_EQ(good.load(), 20);
    EXPECT_EQ(bad.load(), 0);
}

// Tests that start owners of their own.
class MenuBridgeOwnersTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_NE(LoadBridge(), nullptr); }
};

// Two owners at once: each menu is answered by its own process.
TEST_F(MenuBridgeOwnersTest, TwoOwnersEachAnswerForTheirOwnMenu) {
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
TEST_F(MenuBridgeOwnersTest, InjectedProgramReadsAnotherProgramsMenu) {
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
TEST_F(MenuBridgeOwnersTest, FollowsAMenuThatChanges) {
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
TEST_F(MenuBridgeOwnersTest, UnresponsiveOwnerIsBoundedAndGoneOwnerFailsFast) {
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
        if (te.th32OwnerProcessID != stuck.proc.pid) continue;
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
    std::printf("[ info ] bridged call to a suspended owner gave up after %lu ms\n", static_cast<unsigned long>(elapsed));

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
    ExpectSameAsDirect("menu of an ended owner", [&] { return static_cast<long long>(realCount(gone)); },
                       [&] { return static_cast<long long>(::GetMenuItemCount(gone)); });
    EXPECT_EQ(::GetMenuItemCount(gone), -1);
    EXPECT_LT(GetTickCount() - start, 2000u);
}

// Ends the test program if a stray message box (an assertion, a crash report) would otherwise block ctest.
void StartWatchdog(DWORD limitMs) {
    std::thread([limitMs] {
        Sleep(limitMs);
        std::fprintf(stderr, "bridge_test: watchdog ended the run after %lu ms\n", static_cast<unsigned long>(limitMs));
        std::fflush(stderr);
        TerminateProcess(GetCurrentProcess(), 99);
    }).detach();
}

}  // namespace

int main(int argc, char** argv) {
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    StartWatchdog(110000);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
