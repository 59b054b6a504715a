// The bridge tests' common ground: the bridge loaded into this process, a running menuowner.exe with what
// it wrote about its own menu, the comparisons of two walks and of a direct and an imported call, and the
// fixture that shares one owner among the read-only tests.
#pragma once

#include "bridge_test_util.h"
#include "process.h"
#include "sample_menu.h"

#include <gtest/gtest.h>

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace bridgetest {

constexpr DWORD kStartTimeoutMs = 10000;

extern HMODULE g_bridge;

// Loads the bridge into this process (which redirects this executable's menu imports) once.
HMODULE LoadBridge();

// One running menuowner.exe with the bridge in it, and what it wrote about itself.
struct Owner {
    rig::Process proc;
    HWND hwnd = nullptr;
    HMENU menu = nullptr;
    std::vector<std::string> tree; // the owner's own in-process walk of its menu
    std::string infoPath, treePath;
    DWORD serverWaitMs = 0; // how long after the info file the server window still needed

    Owner() = default;
    Owner(const Owner&) = delete;
    Owner& operator=(const Owner&) = delete;
    ~Owner() { Stop(); }

    void Stop()
    {
        rig::EndProgram(proc);
        if (!infoPath.empty())
            DeleteFileA(infoPath.c_str());
        if (!treePath.empty())
            DeleteFileA(treePath.c_str());
    }

    bool Start(std::string* error)
    {
        infoPath = testutil::TempFile("info");
        treePath = testutil::TempFile("tree");
        std::string args = "\"" + infoPath + "\" \"" + treePath + "\"";
        if (!rig::StartProgram(rig::ExeDir() + "menuowner.exe", args, &proc, "", rig::ExeDir() + "menubridge.dll",
                               error))
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
HMENU MenuAt(HMENU menu, const std::vector<int>& path);

std::string Lines(const std::vector<std::string>& lines);

// Compares two walks line by line, so a failure names the first item that differs.
void ExpectSameWalk(const std::vector<std::string>& expected, const std::vector<std::string>& actual);

// Runs the direct USER32 call and the call through this program's imports with the same starting last error
// and expects the same result and last error.
void ExpectSameAsDirect(const char* what, const std::function<long long()>& direct,
                        const std::function<long long()>& imported);

// Shared owner for the read-only tests, plus the same menu built in this process as the reference for what
// USER32 answers in-process.
class MenuBridgeTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        LoadBridge();
        owner_ = new Owner;
        std::string error;
        if (!owner_->Start(&error))
            startError_ = new std::string(error);
        localPicture_ = CreateBitmap(16, 16, 1, 1, nullptr);
        local_ = sample::BuildSampleMenu(localPicture_);
    }
    static void TearDownTestSuite()
    {
        delete owner_;
        owner_ = nullptr;
        delete startError_;
        startError_ = nullptr;
        DestroyMenu(local_);
        DeleteObject(localPicture_);
    }
    void SetUp() override
    {
        ASSERT_NE(g_bridge, nullptr) << "menubridge.dll did not load: " << GetLastError();
        ASSERT_EQ(startError_, nullptr) << *startError_;
    }

    static Owner* owner_;
    static std::string* startError_;
    static HMENU local_;
    static HBITMAP localPicture_;
};

} // namespace bridgetest
