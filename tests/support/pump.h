// Serving this thread's messages while a test waits for another thread of
// its own process, which sends to this one (the batch worker's writes to the
// dialog, its requests of the job list's states).
#pragma once

#include <windows.h>

namespace rig {

// Serves this thread's messages until cond holds, at most timeoutMs; false
// when it did not hold in time.
template <typename Cond>
bool PumpUntil(Cond cond, DWORD timeoutMs = 5000)
{
    DWORD start = GetTickCount();
    while (!cond()) {
        if (GetTickCount() - start >= timeoutMs)
            return false;
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
}

} // namespace rig
