// Runs one scenario of the session log and the console trace, chosen on the
// command line, with the product's own code. The tests copy this program into
// a folder of their own so that its log file lands there.
//
//   diag_probe lines N        N log lines "line 1".."line N"
//   diag_probe long           a 1023-character and a 3000-character log text
//   diag_probe fatal MESSAGE  one log line "before", then FatalError(MESSAGE)
//   diag_probe fatal-first M  FatalError(M) as the process's first log line
//   diag_probe kill-mid-write a worker traces and logs in a tight loop and is
//                             terminated; then this thread traces and logs
#include "diag/diag.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile LONG WorkerLines = 0;

DWORD WINAPI Chatter(LPVOID)
{
    std::string big(900, 'w');
    for (;;) {
        Trace("worker trace %ld %s\n", WorkerLines, big.c_str());
        LogMessage("worker log %ld %s", WorkerLines, big.c_str());
        InterlockedIncrement(&WorkerLines);
    }
}

int KillMidWrite()
{
    for (int round = 0; round < 25; ++round) {
        HANDLE worker = CreateThread(nullptr, 0, Chatter, nullptr, 0, nullptr);
        if (!worker)
            return 3;
        // Let it get well into its loop, at a different point each round.
        Sleep(20 + (round % 5) * 7);
        if (!TerminateThread(worker, 0))
            return 4;
        WaitForSingleObject(worker, 5000);
        CloseHandle(worker);
        Trace("after kill %d\n", round);
        LogMessage("after kill %d", round);
    }
    Trace("survived\n");
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    if (std::strcmp(argv[1], "lines") == 0 && argc > 2) {
        int n = std::atoi(argv[2]);
        for (int i = 1; i <= n; ++i)
            LogMessage("line %d", i);
        return 0;
    }
    if (std::strcmp(argv[1], "long") == 0) {
        std::string a(1023, 'a');
        std::string b(3000, 'b');
        LogMessage("%s", a.c_str());
        LogMessage("%s", b.c_str());
        return 0;
    }
    if (std::strcmp(argv[1], "fatal") == 0 && argc > 2) {
        LogMessage("before");
        FatalError(argv[2]);
    }
    if (std::strcmp(argv[1], "fatal-first") == 0 && argc > 2)
        FatalError(argv[2]);
    if (std::strcmp(argv[1], "kill-mid-write") == 0)
        return KillMidWrite();
    return 2;
}
