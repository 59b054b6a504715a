// Runs one scenario of the session log and the console trace, chosen on the
// command line, with the product's own code. The tests copy this program into
// a folder of their own so that its log file lands there.
//
//   diag_probe lines N        N log lines "line 1".."line N"
//   diag_probe stepwise N E   the same, one at a time: after each line it sets
//                             the event E-written and waits (at most 10 s)
//                             for E-go before the next
//   diag_probe long           a 1023-character and a 3000-character log text
//   diag_probe fatal MESSAGE  one log line "before", then FatalError(MESSAGE)
//   diag_probe fatal-first M  FatalError(M) as the process's first log line
//   diag_probe kill-mid-write a worker traces and logs in a tight loop and is
//                             terminated; then this thread traces and logs;
//                             at the end it traces how many kills landed
//                             inside a Trace or LogMessage call
#include "diag/diag.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile LONG WorkerLines = 0;

// Where the worker is: inside a Trace call, inside a LogMessage call, or
// between them. Once the worker has been terminated it says where it died.
enum Where : LONG { Between = 0, InTrace = 1, InLog = 2 };
volatile LONG WorkerWhere = Between;

DWORD WINAPI Chatter(LPVOID)
{
    std::string big(900, 'w');
    for (;;) {
        WorkerWhere = InTrace;
        Trace("worker trace %ld %s\n", WorkerLines, big.c_str());
        WorkerWhere = InLog;
        LogMessage("worker log %ld %s", WorkerLines, big.c_str());
        WorkerWhere = Between;
        InterlockedIncrement(&WorkerLines);
    }
}

int KillMidWrite()
{
    int inTrace = 0, inLog = 0;
    for (int round = 0; round < 25; ++round) {
        WorkerWhere = Between;
        HANDLE worker = CreateThread(nullptr, 0, Chatter, nullptr, 0, nullptr);
        if (!worker)
            return 3;
        // Let it get well into its loop, at a different point each round.
        Sleep(20 + (round % 5) * 7);
        if (!TerminateThread(worker, 0))
            return 4;
        if (WaitForSingleObject(worker, 5000) != WAIT_OBJECT_0)
            return 5;
        CloseHandle(worker);
        if (WorkerWhere == InTrace)
            ++inTrace;
        else if (WorkerWhere == InLog)
            ++inLog;
        Trace("after kill %d\n", round);
        LogMessage("after kill %d", round);
    }
    Trace("survived\n");
    Trace("kills mid-write: %d in Trace, %d in LogMessage\n", inTrace, inLog);
    return 0;
}

// Writes n log lines one at a time, handing over to the test after each.
int Stepwise(int n, const std::string& name)
{
    HANDLE written = OpenEventA(EVENT_MODIFY_STATE, FALSE, (name + "-written").c_str());
    HANDLE go = OpenEventA(SYNCHRONIZE, FALSE, (name + "-go").c_str());
    if (!written || !go)
        return 3;
    for (int i = 1; i <= n; ++i) {
        LogMessage("line %d", i);
        SetEvent(written);
        if (i < n && WaitForSingleObject(go, 10000) != WAIT_OBJECT_0)
            return 4;
    }
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
    if (std::strcmp(argv[1], "stepwise") == 0 && argc > 3)
        return Stepwise(std::atoi(argv[2]), argv[3]);
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
