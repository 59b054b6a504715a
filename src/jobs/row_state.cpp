// The state of each job in the list (see row_state.h).
//
// The records live on the user interface thread only. The batch worker asks
// for a change with a message sent to the main dialog; what that message
// points at is static storage, never the worker's stack: Windows frees a
// terminated thread's stack at once, while its message may still be served.
#include "jobs/row_state.h"
#include "app/controls.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <cstring>
#include <string>
#include <unordered_map>

namespace {

enum class RequestKind { Set, SetDriven, MarkWaiting };

struct RowStateRequest {
    RequestKind kind;
    JobId id; // the row (Set), or the last row of the run (MarkWaiting)
    RowState state;
    char text[kRowTextSize];
};

// The worker's request; it has one at a time, as each is sent and answered.
RowStateRequest WorkerRequest;

struct RowRecord {
    RowState state = RowState::None;
    std::string text;
};

// User interface thread only: the records by identity, and the row the run
// set Running last.
std::unordered_map<JobId, RowRecord> Records;
JobId DrivenId;

// The row count, for the bisection's reader of the list (user interface
// thread: the list is read directly, no request goes anywhere).
int ListCount(void*)
{
    return static_cast<int>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0));
}

// A row's identity, for the same reader; a row that is not there reads as
// lying beyond.
bool ListRead(void*, int row, int, char*, std::size_t, JobId* id)
{
    *id = RowIdAt(row);
    return *id != 0;
}

// The index of the row with this identity, or -1: identities grow down the
// list, so a bisection finds it.
int RowIndexOf(JobId id)
{
    if (id <= 0)
        return -1;
    const JobListReader reader = {ListCount, ListRead, nullptr};
    int count = ListCount(nullptr);
    int row = FirstRowAfter(reader, count, id - 1);
    return row < count && RowIdAt(row) == id ? row : -1;
}

#if defined(TOLVANE_TEST_PROBES)
// Test build only: with TOLVANE_TEST_TRACE_TIPS=1 in the environment, every
// state shown traces the row's infotip as the dialog gives it, so that a test
// in another process can read the tips: a notification cannot be sent across
// processes.
void TraceTipForTest(int row, const RowRecord& record)
{
    static const bool wanted = GetEnvironmentVariableA("TOLVANE_TEST_TRACE_TIPS", nullptr, 0) > 0;
    if (!wanted)
        return;
    char tip[kRowTextSize + 40];
    FormatRowTip(tip, sizeof tip, record.state, record.text.c_str());
    Trace("Tip of row %d: %s\n", row, tip);
}
#else
void TraceTipForTest(int, const RowRecord&) {}
#endif

// Shows a row's state as its item image.
void Show(int row, const RowRecord& record)
{
    LVITEMA item = {};
    item.mask = LVIF_IMAGE;
    item.iItem = row;
    item.iImage = static_cast<int>(record.state);
    SendMessageA(JobList, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    TraceTipForTest(row, record);
}

// Carries out a request on the user interface thread, where the records and
// the list live: the rows of a starting run, or one row's new state.
void Apply(const RowStateRequest& request)
{
    if (request.kind == RequestKind::MarkWaiting) {
        DrivenId = 0;
        int count = ListCount(nullptr);
        for (int row = 0; row < count; ++row) {
            JobId id = RowIdAt(row);
            if (id == 0 || id > request.id)
                continue;
            RowRecord& record = Records[id];
            record = RowRecord{RowState::Waiting, std::string()};
            Show(row, record);
        }
        return;
    }
    JobId id = request.kind == RequestKind::SetDriven ? DrivenId : request.id;
    int row = RowIndexOf(id);
    if (row < 0)
        return; // removed meanwhile: nothing left to show it on
    if (request.state == RowState::Running)
        DrivenId = id;
    RowRecord& record = Records[id];
    record.state = request.state;
    record.text.assign(request.text, strnlen(request.text, sizeof request.text));
    Show(row, record);
}

// Hands a request to the user interface thread: on that thread it is applied
// at once; from any other (the worker) it goes through WorkerRequest and a
// message sent to the main dialog.
void Request(RequestKind kind, JobId id, RowState state, const char* text)
{
    bool here = MainDialog == nullptr || GetWindowThreadProcessId(MainDialog, nullptr) == GetCurrentThreadId();
    static RowStateRequest uiRequest;
    RowStateRequest& request = here ? uiRequest : WorkerRequest;
    request.kind = kind;
    request.id = id;
    request.state = state;
    FormatText(request.text, sizeof request.text, "%s", text != nullptr ? text : "");
    if (here)
        Apply(request);
    else
        SendMessageA(MainDialog, WM_ROW_STATE, 0, reinterpret_cast<LPARAM>(&request));
}

} // namespace

// A table, so that each state's name stands beside its place in RowState.
const char* RowStateName(RowState state)
{
    // In the order of RowState.
    static const char* const kNames[kRowStateCount] = {"", "Waiting", "Running", "Done", "Failed", "Skipped"};
    std::size_t index = static_cast<std::size_t>(state);
    return index < static_cast<std::size_t>(kRowStateCount) ? kNames[index] : "";
}

// A skipped job's tip is the session log's line, so that the two read alike.
std::size_t FormatRowTip(char* out, std::size_t outSize, RowState state, const char* text)
{
    if (state == RowState::None)
        return FormatText(out, outSize, "%s", "");
    if (text == nullptr || text[0] == '\0')
        return FormatText(out, outSize, "%s", RowStateName(state));
    if (state == RowState::Skipped)
        return FormatText(out, outSize, "Skipped, file not found: %s", text);
    return FormatText(out, outSize, "%s: %s", RowStateName(state), text);
}

// By identity, not by count: rows added while the worker starts stay out.
void MarkRunWaiting(JobId last)
{
    Request(RequestKind::MarkWaiting, last, RowState::Waiting, nullptr);
}

// The worker's one call at each change of a job's state.
void SetRowState(JobId id, RowState state, const char* text)
{
    Request(RequestKind::Set, id, state, text);
}

// For the run's closing look, which fails the job driven last after its
// verdict, when the worker no longer holds that job's identity.
void SetDrivenRowState(RowState state, const char* text)
{
    Request(RequestKind::SetDriven, 0, state, text);
}

// Once, at dialog initialisation, before any row exists.
void InitRowStates(HWND list)
{
    // The image list goes with the list: LVS_SHAREIMAGELISTS is not set, so
    // the list destroys it with itself.
    SendMessageA(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(CreateRowStateImages()));
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_INFOTIP, LVS_EX_INFOTIP);
}

// WM_ROW_STATE: the request lives in static storage of this file.
void OnRowStateMessage(LPARAM request)
{
    Apply(*reinterpret_cast<const RowStateRequest*>(request));
}

// A row without a record has no state: it was added after Start, or never run.
RowState RowStateOf(JobId id)
{
    auto it = Records.find(id);
    return it == Records.end() ? RowState::None : it->second.state;
}

// The text stays the record's own; callers read it before the next change.
const char* RowTextOf(JobId id)
{
    auto it = Records.find(id);
    return it == Records.end() ? "" : it->second.text.c_str();
}

// The identity InsertJob gave the row, in its lParam.
JobId RowIdAt(int row)
{
    LVITEMA item = {};
    item.mask = LVIF_PARAM;
    item.iItem = row;
    if (row < 0 || !SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return static_cast<JobId>(item.lParam);
}

// Bounded by the list's cchTextMax: the buffer is the list's, not ours.
void FillRowTip(NMLVGETINFOTIPA* tip)
{
    if (tip->pszText == nullptr || tip->cchTextMax <= 0)
        return;
    JobId id = RowIdAt(tip->iItem);
    auto it = Records.find(id);
    if (it == Records.end() || it->second.state == RowState::None)
        return; // the list's own tip: the label, when the column cuts it short
    std::size_t size = static_cast<std::size_t>(tip->cchTextMax);
    // A label the column cuts short comes in pszText: the state goes on the
    // next line after it. An unfolded label is shown whole already.
    std::size_t len = tip->dwFlags == 0 ? strnlen(tip->pszText, size - 1) : 0;
    if (len > 0 && len + 2 < size)
        len += FormatText(tip->pszText + len, size - len, "%s", "\r\n");
    FormatRowTip(tip->pszText + len, size - len, it->second.state, it->second.text.c_str());
}

// The records follow the rows: a deleted row takes its record with it, so
// that the records never outgrow the list.
void OnJobListRowNotify(NMHDR* header)
{
    switch (header->code) {
    case LVN_GETINFOTIPA:
        FillRowTip(reinterpret_cast<NMLVGETINFOTIPA*>(header));
        break;
    case LVN_DELETEITEM:
        Records.erase(static_cast<JobId>(reinterpret_cast<const NMLISTVIEW*>(header)->lParam));
        break;
    case LVN_DELETEALLITEMS:
        Records.clear();
        break;
    default:
        break;
    }
}

// A stopped job may have left a partial output: it is not done, and the
// next Start takes it again.
void RowsAfterStop()
{
    for (auto& entry : Records) {
        if (entry.second.state != RowState::Running)
            continue;
        entry.second.state = RowState::Waiting;
        entry.second.text.clear();
        int row = RowIndexOf(entry.first);
        if (row >= 0)
            Show(row, entry.second);
    }
}

// In list order, as Save and the file of unfinished jobs write them.
std::vector<int> RowsInState(RowState state, RowState orState)
{
    std::vector<int> rows;
    int count = ListCount(nullptr);
    for (int row = 0; row < count; ++row) {
        RowState s = RowStateOf(RowIdAt(row));
        if (s == state || s == orState)
            rows.push_back(row);
    }
    return rows;
}
