// Entry point of every test program: no box may ever wait for a person.
#include <windows.h>
#include <commctrl.h>

#include <gtest/gtest.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    // assert() and the runtime's error reports go to standard error, and a
    // crash never raises a system box, so a failing test ends instead of
    // waiting for a click.
    _set_error_mode(_OUT_TO_STDERR);
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
    InitCommonControls();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
