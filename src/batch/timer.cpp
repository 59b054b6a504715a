// The progress timer: once a second during a run, rewrites the progress line.
#include "app/app.h"
#include "batch/batch.h"
#include "target/contract.h"
#include "tolvane.h"

// Runs on the user interface thread, dispatched by its message loop. It reads
// each batch state field once and never sends a message to Neat Image: the
// title of a window of another process is read without one, so a Neat Image
// busy filtering cannot hold up the dialog.
void CALLBACK ProgressTimerProc(HWND, UINT, UINT_PTR, DWORD now)
{
    ProgressInput in = {};
    in.imagesDone = Batch.imagesDone.load(std::memory_order_relaxed);
    in.imageTotal = Batch.imageTotal.load(std::memory_order_relaxed);
    in.batchStartTick = Batch.batchStartTick.load(std::memory_order_relaxed);
    in.imageStartTick = Batch.imageStartTick.load(std::memory_order_relaxed);
    in.now = now;

    char title[32] = "";
    HWND progress = FindWindowA(kProgressClass, nullptr);
    in.progressWindowVisible = progress != nullptr && IsWindowVisible(progress);
    if (in.progressWindowVisible)
        GetWindowTextA(progress, title, 31);
    in.title = title;

    char text[kProgressTextSize];
    FormatProgressText(in, text, sizeof text);
    SetProgressLine(text);
}
