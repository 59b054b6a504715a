// Start and Stop of a batch run (user interface thread).
#include "batch/batch.h"
#include "diag/diag.h"
#include "tolvane.h"

BatchState Batch;

void OnStartButton() {}
void StopBatch() {}
