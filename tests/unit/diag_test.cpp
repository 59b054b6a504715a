// The session log's three states, the fatal-error exit and the trace, seen
// from outside: a copy of diag_probe runs each scenario in a folder of its own.
#include "rig.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

class DiagProbe : public testing::Test {
protected:
    void SetUp() override
    {
        dir_ = rig::MakeTempDir("diag");
        ASSERT_FALSE(dir_.empty());
        exe_ = dir_ + "\\probe.exe";
        ASSERT_TRUE(CopyFileA((rig::ExeDir() + "diag_probe.exe").c_str(), exe_.c_str(), FALSE));
        log_ = dir_ + "\\probe_log.txt";
        out_ = dir_ + "\\stdout.txt";
    }
    void TearDown() override
    {
        EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer";
        rig::EndProgram(proc_);
    }

    // Starts the probe; its standard output goes to out_.
    void Start(const std::string& args)
    {
        std::string error;
        ASSERT_TRUE(rig::StartProgram(exe_, args, &proc_, out_, "", &error)) << error;
        watchdog_.Watch(proc_.pid);
    }
    DWORD Finish(DWORD timeoutMs = 20000)
    {
        DWORD code = 12345;
        EXPECT_TRUE(rig::WaitExit(proc_, timeoutMs, &code)) << "probe did not end";
        return code;
    }

    std::string dir_, exe_, log_, out_;
    rig::Process proc_;
    rig::Watchdog watchdog_;
};

TEST_F(DiagProbe, FirstLineCreatesTheLogAndEachLineIsFlushed)
{
    rig::WriteFileText(log_, "old contents of an earlier process\r\n");
    // The probe writes one line, signals, and waits for the test before the
    // next: each line must be in the file while the process still runs.
    std::string name = "tolvane-diag-" + std::to_string(GetCurrentProcessId());
    HANDLE written = CreateEventA(nullptr, FALSE, FALSE, (name + "-written").c_str());
    HANDLE go = CreateEventA(nullptr, FALSE, FALSE, (name + "-go").c_str());
    ASSERT_TRUE(written && go);
    Start("stepwise 3 " + name);
    std::string expected;
    for (int i = 1; i <= 3; ++i) {
        ASSERT_EQ(WaitForSingleObject(written, 10000), WAIT_OBJECT_0) << "line " << i << " not written";
        expected += "line " + std::to_string(i) + "\r\n";
        EXPECT_EQ(rig::ReadFileText(log_), expected) << "after line " << i;
        DWORD code = 0;
        EXPECT_TRUE(i == 3 || !rig::WaitExit(proc_, 0, &code)) << "the probe must still be running";
        SetEvent(go);
    }
    EXPECT_EQ(Finish(), 0u);
    CloseHandle(written);
    CloseHandle(go);
    EXPECT_EQ(rig::ReadFileText(log_), "line 1\r\nline 2\r\nline 3\r\n");
    // The path is traced when the log is opened; the lines do not go to stdout.
    EXPECT_EQ(rig::ReadFileText(out_), "Using Log File: " + log_ + "\r\n");
}

TEST_F(DiagProbe, LongTextsAreCutAt1023Characters)
{
    Start("long");
    EXPECT_EQ(Finish(), 0u);
    EXPECT_EQ(rig::ReadFileText(log_), std::string(1023, 'a') + "\r\n" + std::string(1023, 'b') + "\r\n");
}

TEST_F(DiagProbe, LogThatCannotBeOpenedGoesToStandardOutput)
{
    // A folder standing at the log file's path stops the open (tests run as
    // root, so a read-only folder would not).
    ASSERT_TRUE(CreateDirectoryA(log_.c_str(), nullptr));
    Start("lines 2");
    EXPECT_EQ(Finish(), 0u);
    std::string using_ = "Using Log File: " + log_ + "\r\n";
    EXPECT_EQ(rig::ReadFileText(out_), using_ + "*: line 1\r\n" + using_ + "*: line 2\r\n");
    RemoveDirectoryA(log_.c_str());
}

TEST_F(DiagProbe, FatalErrorLogsOnceShowsTheBoxAndExitsMinusOne)
{
    Start("fatal \"Could not find Save As Dialog\"");
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, proc_.pid, 10000));
    EXPECT_EQ(box.text, "An Error Occurred:\n\nCould not find Save As Dialog\n\nThis program will now terminate.");
    // The message is in the log while the box is still up.
    EXPECT_EQ(rig::ReadFileText(log_), "before\r\nCould not find Save As Dialog\r\n");
    // No owner: the probe has no main dialog.
    EXPECT_EQ(GetWindow(box.window, GW_OWNER), nullptr);
    rig::AnswerMessageBox(box.window);
    EXPECT_EQ(Finish(), 0xFFFFFFFFu);
    // Written exactly once: the second line after the box was discarded.
    EXPECT_EQ(rig::ReadFileText(log_), "before\r\nCould not find Save As Dialog\r\n");
}

TEST_F(DiagProbe, FatalErrorAsFirstLineCreatesTheLog)
{
    Start("fatal-first \"CreateThread Failed!\"");
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, proc_.pid, 10000));
    rig::AnswerMessageBox(box.window);
    EXPECT_EQ(Finish(), 0xFFFFFFFFu);
    EXPECT_EQ(rig::ReadFileText(log_), "CreateThread Failed!\r\n");
}

TEST_F(DiagProbe, FatalErrorWithoutALogPrintsItsLineTwice)
{
    ASSERT_TRUE(CreateDirectoryA(log_.c_str(), nullptr));
    Start("fatal-first \"Could not get handle to edit box\"");
    rig::MessageBoxInfo box;
    ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, proc_.pid, 10000));
    rig::AnswerMessageBox(box.window);
    EXPECT_EQ(Finish(), 0xFFFFFFFFu);
    std::string using_ = "Using Log File: " + log_ + "\r\n";
    std::string line = "*: Could not get handle to edit box\r\n";
    EXPECT_EQ(rig::ReadFileText(out_), using_ + line + using_ + line);
    RemoveDirectoryA(log_.c_str());
}

TEST_F(DiagProbe, ThreadKilledMidWriteLeavesTraceAndLogUsable)
{
    Start("kill-mid-write");
    // Hanging here would mean a lock left held by a terminated thread.
    EXPECT_EQ(Finish(60000), 0u);
    std::string out = rig::ReadFileText(out_);
    EXPECT_NE(out.find("after kill 24\r\n"), std::string::npos);
    EXPECT_NE(out.find("survived\r\n"), std::string::npos);
    // Only a kill inside a write tests anything: at least one must land there.
    int inTrace = -1, inLog = -1;
    size_t at = out.find("kills mid-write: ");
    ASSERT_NE(at, std::string::npos) << out.substr(out.size() > 2000 ? out.size() - 2000 : 0);
    ASSERT_EQ(std::sscanf(out.c_str() + at, "kills mid-write: %d in Trace, %d in LogMessage", &inTrace, &inLog), 2);
    std::printf("kills mid-write: %d in Trace, %d in LogMessage, of 25\n", inTrace, inLog);
    EXPECT_GE(inTrace + inLog, 1) << "no kill landed inside a write";
    std::string log = rig::ReadFileText(log_);
    EXPECT_NE(log.find("after kill 0\r\n"), std::string::npos);
    EXPECT_NE(log.find("after kill 24\r\n"), std::string::npos);
}

} // namespace
