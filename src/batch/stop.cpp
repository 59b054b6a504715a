// The cooperative stop of the batch worker.
//
// Killing a thread with TerminateThread is safe only where it holds no lock:
// a worker killed inside HeapAlloc (which EnumWindows, class and text reads and
// menu queries all call) leaves the process heap locked for ever, and the next
// allocation of the user interface thread hangs. So Stop first raises an event;
// the worker notices it at its next checkpoint, where it holds nothing, and
// ends itself. TerminateThread is left for a worker blocked inside Neat Image,
// and only once it is seen there while suspended.
#include "batch/stop.h"

#include <atomic>
#include <cstdlib>

namespace {

// Manual-reset; created once, by the user interface thread, before the first
// worker exists, and never closed.
std::atomic<HANDLE> StopEvent{nullptr};
// The thread that WorkerCheckpoint may end: only the current batch worker.
std::atomic<DWORD> WorkerThreadId{0};
// Set by the worker around its unbounded send to Neat Image.
std::atomic<bool> InsideTarget{false};

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
    InsideTarget.store(false, std::memory_order_release);
    WorkerThreadId.store(workerThreadId, std::memory_order_release);
}

void WorkerInsideTarget(bool inside)
{
    InsideTarget.store(inside, std::memory_order_release);
}

EndWorker EndWorkerInsideTarget(HANDLE worker, DWORD* error)
{
    *error = 0;
    if (!InsideTarget.load(std::memory_order_acquire))
        return EndWorker::NotInsideTarget;
    // SuspendThread returns before the thread has stopped; asking for its
    // context waits until it has. Then the mark cannot change under us.
    bool suspended = SuspendThread(worker) != static_cast<DWORD>(-1);
    if (suspended) {
        CONTEXT context = {};
        context.ContextFlags = CONTEXT_CONTROL;
        GetThreadContext(worker, &context);
        if (!InsideTarget.load(std::memory_order_acquire)) {
            ResumeThread(worker);
            return EndWorker::NotInsideTarget;
        }
    }
    if (TerminateThread(worker, 0))
        return EndWorker::Ended;
    *error = GetLastError();
    if (suspended)
        ResumeThread(worker);
    return EndWorker::Refused;
}

#if defined(TOLVANE_TEST_HOLD_HEAP_AFTER_ENUM)
namespace {

// Test builds only: how long the worker holds a lock after each window
// enumeration, from the environment, 0 when not asked.
DWORD HoldMsFromEnvironment(const char* name)
{
    char value[16] = "";
    return GetEnvironmentVariableA(name, value, sizeof value) > 0 ? static_cast<DWORD>(std::atoi(value)) : 0;
}

// Test builds only: stands for a lock of the system's that a thread holds
// inside a window enumeration and that the user interface thread needs once
// Stop is done (the loader's, or one inside USER32), but not while it waits.
CRITICAL_SECTION SystemLock;
INIT_ONCE SystemLockOnce = INIT_ONCE_STATIC_INIT;

BOOL CALLBACK InitSystemLock(PINIT_ONCE, PVOID, PVOID*)
{
    InitializeCriticalSection(&SystemLock);
    return TRUE;
}

} // namespace
#endif

void AfterWindowEnumeration()
{
#if defined(TOLVANE_TEST_HOLD_HEAP_AFTER_ENUM)
    if (GetCurrentThreadId() != WorkerThreadId.load(std::memory_order_acquire))
        return;
    // No checkpoint while a lock is held.
    static const DWORD heapMs = HoldMsFromEnvironment("TOLVANE_TEST_HEAP_HOLD_MS");
    static const DWORD lockMs = HoldMsFromEnvironment("TOLVANE_TEST_LOCK_HOLD_MS");
    if (heapMs > 0) {
        HANDLE heap = GetProcessHeap();
        HeapLock(heap);
        Sleep(heapMs);
        HeapUnlock(heap);
    }
    if (lockMs > 0) {
        InitOnceExecuteOnce(&SystemLockOnce, InitSystemLock, nullptr, nullptr);
        EnterCriticalSection(&SystemLock);
        Sleep(lockMs);
        LeaveCriticalSection(&SystemLock);
    }
#endif
}

void AfterStopForTest()
{
#if defined(TOLVANE_TEST_HOLD_HEAP_AFTER_ENUM)
    InitOnceExecuteOnce(&SystemLockOnce, InitSystemLock, nullptr, nullptr);
    EnterCriticalSection(&SystemLock);
    LeaveCriticalSection(&SystemLock);
#endif
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
