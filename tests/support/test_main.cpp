// Entry point of every test program: no box may ever wait for a person.
#include "rig.h"

#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// A crash ends the test program at once with a line on standard error,
// instead of starting the system's debugger, which may wait for ever.
LONG WINAPI EndOnCrash(EXCEPTION_POINTERS* info)
{
    std::fprintf(stderr, "test program crashed: exception 0x%08lx at %p\n",
                 static_cast<unsigned long>(info->ExceptionRecord->ExceptionCode),
                 info->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

// Around every test: a watchdog over this process's own boxes, so that a box
// that code under test shows on the test's thread, and nobody answers, fails
// the test within seconds instead of stalling it until ctest's timeout; and
// the temporary folders the test made, removed once it has passed (kept, and
// named, when it failed).
class AroundEachTest : public testing::EmptyTestEventListener {
public:
    // Longer than any test takes to answer a box it provokes itself.
    static constexpr DWORD kGraceMs = 15000;

    void OnTestStart(const testing::TestInfo&) override
    {
        firstDir_ = rig::TempDirs().size();
        watchdog_.reset(new rig::Watchdog(kGraceMs));
    }
    void OnTestEnd(const testing::TestInfo& info) override
    {
        std::string strays = watchdog_->Strays();
        watchdog_.reset();
        EXPECT_EQ(strays, "") << "boxes of the test program that nobody answered";
        if (info.result()->Passed()) {
            rig::RemoveTempDirs(firstDir_);
        } else {
            std::vector<std::string> dirs = rig::TempDirs();
            for (size_t i = firstDir_; i < dirs.size(); ++i)
                std::printf("kept for the failed test: %s\n", dirs[i].c_str());
        }
    }
    void OnTestProgramEnd(const testing::UnitTest& unit) override
    {
        if (unit.Passed())
            rig::RemoveTempDirs(0); // folders of suite-wide set-ups
    }

private:
    size_t firstDir_ = 0;
    std::unique_ptr<rig::Watchdog> watchdog_;
};

} // namespace

int main(int argc, char** argv)
{
    // assert() and the runtime's error reports go to standard error, and a
    // crash never raises a system box, so a failing test ends instead of
    // waiting for a click.
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    SetUnhandledExceptionFilter(EndOnCrash);
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    // Ahead of the result printer, so that a failure it adds is printed with
    // the test and counts in the exit code.
    testing::TestEventListeners& listeners = testing::UnitTest::GetInstance()->listeners();
    testing::TestEventListener* printer = listeners.Release(listeners.default_result_printer());
    listeners.Append(new AroundEachTest);
    if (printer)
        listeners.Append(printer);
    return RUN_ALL_TESTS();
}
