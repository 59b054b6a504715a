// Tests of the test rig's program launcher (rig::StartProgram and friends), driving menuowner.exe.

#include "bridge_test_util.h"
#include "process.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

std::string OwnerExe()
{
    return rig::ExeDir() + "menuowner.exe";
}

class LauncherTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        rig::EndProgram(proc_);
        for (const std::string& f : files_)
            DeleteFileA(f.c_str());
    }
    std::string NewFile(const std::string& tag)
    {
        files_.push_back(testutil::TempFile(tag));
        return files_.back();
    }
    rig::Process proc_;
    std::vector<std::string> files_;
};

TEST_F(LauncherTest, ExeDirIsThisProgramsFolder)
{
    std::string dir = rig::ExeDir();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '\\');
    EXPECT_NE(GetFileAttributesA((dir + "bridge_test.exe").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(LauncherTest, ReadFileTextOfMissingFileIsEmpty)
{
    EXPECT_EQ(rig::ReadFileText(NewFile("missing")), "");
}

TEST_F(LauncherTest, ReadFileTextReadsBinaryContentWhole)
{
    std::string path = NewFile("binary");
    std::string content;
    for (int i = 0; i < 200000; ++i)
        content += static_cast<char>(i % 251);
    HANDLE f = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(f, content.data(), static_cast<DWORD>(content.size()), &written, nullptr));
    CloseHandle(f);
    EXPECT_EQ(rig::ReadFileText(path), content);
}

// Output of the C runtime's stdout and stderr and of the raw handle all land in the one file, the argument
// string arrives intact, and the exit code comes back.
TEST_F(LauncherTest, CapturesOutputAndExitCode)
{
    std::string out = NewFile("out");
    std::string error;
    ASSERT_TRUE(rig::StartProgram(OwnerExe(), "--echo 7 \"two words\"", &proc_, out, "", &error)) << error;
    EXPECT_NE(proc_.pid, 0u);
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(proc_, 10000, &code));
    EXPECT_EQ(code, 7u);
    std::string text = rig::ReadFileText(out);
    // The C runtime writes text mode ("\r\n"); SplitLines drops the "\r".
    std::vector<std::string> lines = testutil::SplitLines(text);
    for (const char* want : {"out:two words", "err:two words", "raw:two words"}) {
        EXPECT_NE(std::find(lines.begin(), lines.end(), want), lines.end()) << want << " in:\n" << text;
    }
}

TEST_F(LauncherTest, OutputFileIsTruncatedOnStart)
{
    std::string out = NewFile("trunc");
    {
        HANDLE f = CreateFileA(out.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        std::string old(5000, 'x');
        DWORD written = 0;
        WriteFile(f, old.data(), static_cast<DWORD>(old.size()), &written, nullptr);
        CloseHandle(f);
    }
    std::string error;
    ASSERT_TRUE(rig::StartProgram(OwnerExe(), "--echo 0 fresh", &proc_, out, "", &error)) << error;
    ASSERT_TRUE(rig::WaitExit(proc_, 10000));
    std::string text = rig::ReadFileText(out);
    EXPECT_EQ(text.find('x'), std::string::npos) << text;
    EXPECT_NE(text.find("out:fresh"), std::string::npos) << text;
}

// The output file can be read while the program still holds it open; WaitExit gives up in time on a running
// program; EndProgram ends it, and a second EndProgram does nothing.
TEST_F(LauncherTest, EndProgramEndsARunningProgram)
{
    std::string out = NewFile("running");
    std::string error;
    ASSERT_TRUE(rig::StartProgram(OwnerExe(), "--echo 0 alive 60000", &proc_, out, "", &error)) << error;
    EXPECT_TRUE(
        testutil::WaitUntil([&] { return rig::ReadFileText(out).find("raw:alive") != std::string::npos; }, 10000))
        << rig::ReadFileText(out);

    DWORD start = GetTickCount();
    EXPECT_FALSE(rig::WaitExit(proc_, 300));
    EXPECT_LT(GetTickCount() - start, 3000u);

    DWORD pid = proc_.pid;
    rig::EndProgram(proc_);
    EXPECT_EQ(proc_.process, nullptr);
    EXPECT_EQ(proc_.thread, nullptr);
    EXPECT_EQ(proc_.pid, 0u);
    EXPECT_TRUE(testutil::WaitUntil([&] { return testutil::ProcessEnded(pid); }, 5000));
    rig::EndProgram(proc_);
    EXPECT_FALSE(rig::WaitExit(proc_, 0));
}

TEST_F(LauncherTest, WithoutOutputFileTheProgramStillRuns)
{
    std::string error;
    ASSERT_TRUE(rig::StartProgram(OwnerExe(), "--echo 5 quiet", &proc_, "", "", &error)) << error;
    DWORD code = 0;
    ASSERT_TRUE(rig::WaitExit(proc_, 10000, &code));
    EXPECT_EQ(code, 5u);
}

TEST_F(LauncherTest, MissingProgramFailsWithAMessage)
{
    std::string error;
    rig::Process p;
    EXPECT_FALSE(rig::StartProgram(rig::ExeDir() + "no_such_program.exe", "", &p, "", "", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(p.process, nullptr);
    EXPECT_EQ(p.pid, 0u);
}

TEST_F(LauncherTest, UncreatableOutputFileFails)
{
    std::string error;
    rig::Process p;
    EXPECT_FALSE(rig::StartProgram(OwnerExe(), "--echo 0 x", &p, "Z:\\no\\such\\folder\\out.txt", "", &error));
    EXPECT_NE(error.find("no\\such\\folder"), std::string::npos) << error;
    EXPECT_EQ(p.process, nullptr);
}

// A DLL is in the program before it runs: its module is loaded and its server window appears.
TEST_F(LauncherTest, InjectsDllBeforeTheProgramRuns)
{
    std::string info = NewFile("info");
    std::string error;
    ASSERT_TRUE(rig::StartProgram(OwnerExe(), "\"" + info + "\"", &proc_, "", rig::ExeDir() + "menubridge.dll", &error))
        << error;
    EXPECT_TRUE(testutil::ModuleLoadedIn(proc_.pid, "menubridge.dll"));
    EXPECT_TRUE(testutil::WaitUntil([&] { return testutil::BridgeServerOf(proc_.pid) != nullptr; }, 5000));
    EXPECT_TRUE(testutil::WaitUntil([&] { return !rig::ReadFileText(info).empty(); }, 10000));
    EXPECT_FALSE(rig::WaitExit(proc_, 0)) << "the program should still be running";
}

// When the DLL cannot be loaded, the start fails and the suspended program does not stay behind.
TEST_F(LauncherTest, FailedInjectionLeavesNothingRunning)
{
    std::string notADll = NewFile("notadll");
    {
        HANDLE f =
            CreateFileA(notADll.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        ASSERT_NE(f, INVALID_HANDLE_VALUE);
        DWORD written = 0;
        WriteFile(f, "plain text", 10, &written, nullptr);
        CloseHandle(f);
    }
    struct Case {
        const char* what;
        std::string dll;
    } cases[] = {{"text file", notADll}, {"missing file", rig::ExeDir() + "no_such_bridge.dll"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        size_t before = testutil::ProcessesNamed("menuowner.exe").size();
        std::string error;
        rig::Process p;
        EXPECT_FALSE(rig::StartProgram(OwnerExe(), "--echo 0 never 60000", &p, "", c.dll, &error));
        EXPECT_NE(error.find("LoadLibraryA"), std::string::npos) << error;
        EXPECT_EQ(p.process, nullptr);
        EXPECT_TRUE(
            testutil::WaitUntil([&] { return testutil::ProcessesNamed("menuowner.exe").size() <= before; }, 5000));
        rig::EndProgram(p);
    }
}

} // namespace
