// The cooperative stop of the batch worker.
//
// Killing a thread with TerminateThread is safe only where it holds no lock:
// a worker killed inside HeapAlloc (which EnumWindows, class and text reads and
// menu queries all call) leaves the process heap locked for ever, and the next
// allocation of the user interface thread hangs. So Stop first raises an event;
// the worker notices it at its next checkpoint, where it holds nothing, and
// ends itself. TerminateThread is left for a worker blocked inside Neat Image.
#include "batch/stop.h"

#include <atomic>

namespace {

// Manual-reset; created once, by the user interface thread, before the first
// worker exists, and never closed.
std::atomic<HANDLE> StopEvent{nullptr};
// The thread that WorkerCheckpoint may end: only the current batch worker.
std::atomic<DWORD> WorkerThreadId{0};

// True when Stop has raised the signal for the current run.
bool StopRaised()
{
    HANDLE event = StopEvent.load(std::memory_order_acquire);
    return event != nullptr && WaitForSingleObject(event, 0) == WAIT_OBJECT_0;
}

} // namespace

void ArmStopSignal(DWORD workerThreadId)
{
    HANDLE event = StopEvent.load(std::memory_order_acquire);
    if (event == nullptr) {
        event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        StopEvent.store(event, std::memory_order_release);
    }
    if (event != nullptr)
        ResetEvent(event);
    WorkerThreadId.store(workerThreadId, std::memory_order_release);
}

void RaiseStopSignal()
{
    HANDLE event = StopEvent.load(std::memory_order_acquire);
    if (event != nullptr)
        SetEvent(event);
}

void LowerStopSignal()
{
    HANDLE event = StopEvent.load(std::memory_order_acquire);
    if (event != nullptr)
        ResetEvent(event);
}

void WorkerCheckpoint()
{
    if (GetCurrentThreadId() != WorkerThreadId.load(std::memory_order_acquire))
        return;
    if (StopRaised())
        ExitThread(0); // nothing of ours is held here; the run's state stays as Stop leaves it
}

void WorkerPause(DWORD ms)
{
    HANDLE event = StopEvent.load(std::memory_order_acquire);
    bool onWorker = GetCurrentThreadId() == WorkerThreadId.load(std::memory_order_acquire);
#if defined(TOLVANE_TEST_HOLD_HEAP_LOCK)
    // Test build only: hold the process heap lock through the pause, as the
    // worker does for a moment inside every window enumeration, so that a
    // Stop landing here shows whether it could leave the lock held.
    HANDLE heap = GetProcessHeap();
    HeapLock(heap);
#endif
    if (onWorker && event != nullptr)
        WaitForSingleObject(event, ms);
    else
        Sleep(ms);
#if defined(TOLVANE_TEST_HOLD_HEAP_LOCK)
    HeapUnlock(heap);
#endif
    WorkerCheckpoint();
}

bool WaitServingSentMessages(HANDLE thread, DWORD timeoutMs)
{
    DWORD start = GetTickCount();
    for (;;) {
        // Serve what other threads have sent; PM_QS_SENDMESSAGE keeps input,
        // timer and posted messages in the queue, untouched.
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            return WaitForSingleObject(thread, 0) == WAIT_OBJECT_0;
        DWORD r = MsgWaitForMultipleObjectsEx(1, &thread, timeoutMs - elapsed, QS_SENDMESSAGE, MWMO_INPUTAVAILABLE);
        if (r == WAIT_OBJECT_0)
            return true;
        if (r == WAIT_FAILED)
            return WaitForSingleObject(thread, timeoutMs - elapsed) == WAIT_OBJECT_0;
    }
}
