// Job list files on disk and the commands that read and write them (see
// joblist_io.h). User interface thread only.
#include "jobs/joblist_io.h"
#include "jobs/jobs.h"
#include "jobs/names.h"
#include "jobs/row_state.h"
#include "app/controls.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <commctrl.h>
#include <commdlg.h>

#include <cstring>
#include <cwchar>

namespace {

constexpr std::size_t kListPathUnits = 1024;
// The last job list file opened or saved: the next dialog starts there.
wchar_t LastListPath[kListPathUnits];

const wchar_t kListFilter[] = L"Job lists (*.txt)\0*.txt\0";

// A path of the dialogs' UTF-16 as a box shows it: a character the code page
// lacks shows as its default character.
void Narrow(const wchar_t* path, char* out, int outSize)
{
    if (WideCharToMultiByte(CP_ACP, 0, path, -1, out, outSize, nullptr, nullptr) <= 0)
        out[0] = '\0';
    out[outSize - 1] = '\0';
}

// Reads a whole file; false with the system's error code, or with
// *tooLarge when it holds more than a job list may.
bool ReadWholeFile(const wchar_t* path, std::string* data, DWORD* error, bool* tooLarge)
{
    *tooLarge = false;
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    LARGE_INTEGER size = {};
    bool ok = GetFileSizeEx(file, &size) != 0;
    if (ok && static_cast<unsigned long long>(size.QuadPart) > kMaxJobListBytes) {
        *tooLarge = true;
        ok = false;
    }
    if (ok) {
        data->resize(static_cast<std::size_t>(size.QuadPart));
        DWORD got = 0;
        ok = data->empty() ||
             (ReadFile(file, &(*data)[0], static_cast<DWORD>(data->size()), &got, nullptr) && got == data->size());
    }
    if (!ok && !*tooLarge)
        *error = GetLastError();
    CloseHandle(file);
    return ok;
}

// Writes a whole file through a scratch file beside it that then replaces
// it, so that a failed write (a full disk) leaves an earlier file whole.
bool WriteWholeFile(const wchar_t* path, const std::string& data, DWORD* error)
{
    std::wstring scratch = std::wstring(path) + L".tmp";
    HANDLE file =
        CreateFileW(scratch.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *error = GetLastError();
        return false;
    }
    DWORD wrote = 0;
    bool ok = data.empty() ||
              (WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &wrote, nullptr) && wrote == data.size());
    if (!ok)
        *error = GetLastError();
    CloseHandle(file);
    if (ok && !MoveFileExW(scratch.c_str(), path, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        *error = GetLastError();
        ok = false;
    }
    if (!ok)
        DeleteFileW(scratch.c_str());
    return ok;
}

// The image and profile of each of these rows, read from the list.
bool CollectJobs(const std::vector<int>& rows, std::vector<JobListEntry>* jobs)
{
    char text[256];
    for (int row : rows) {
        JobListEntry job;
        for (int column = 0; column < 2; ++column) {
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = row;
            item.iSubItem = column;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            text[0] = '\0';
            if (!SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
                return false;
            // The control may point pszText at its own copy; Wine fills all
            // of a longer text without a terminator.
            const char* from = item.pszText != nullptr ? item.pszText : text;
            (column == 0 ? job.image : job.profile).assign(from, strnlen(from, sizeof text - 1));
        }
        jobs->push_back(std::move(job));
    }
    return true;
}

// Every row's index, for Save, which writes the whole list.
std::vector<int> AllRows()
{
    std::vector<int> rows(static_cast<std::size_t>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0)));
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = static_cast<int>(i);
    return rows;
}

// One job list dialog, owned by the main dialog: Open (the file must exist)
// or Save (with the system's question before replacing a file). The chosen
// path lands in path (kListPathUnits units).
bool AskForListFile(HWND owner, bool save, wchar_t* path)
{
    wchar_t folder[kListPathUnits];
    std::wcsncpy(folder, LastListPath, kListPathUnits - 1);
    folder[kListPathUnits - 1] = L'\0';
    wchar_t* slash = std::wcsrchr(folder, L'\\');
    if (slash != nullptr)
        *slash = L'\0';
    std::wmemset(path, L'\0', kListPathUnits);
    if (save)
        std::wcsncpy(path, LastListPath, kListPathUnits - 1);
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = owner;
    ofn.lpstrFilter = kListFilter;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path;
    ofn.nMaxFile = kListPathUnits - 1;
    ofn.lpstrInitialDir = folder[0] != L'\0' ? folder : nullptr;
    ofn.lpstrTitle = save ? L"Save job list" : L"Open job list";
    ofn.lpstrDefExt = L"txt";
    ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY |
                (save ? OFN_OVERWRITEPROMPT | OFN_NOREADONLYRETURN : OFN_FILEMUSTEXIST);
    BOOL chosen = save ? GetSaveFileNameW(&ofn) : GetOpenFileNameW(&ofn);
    if (!chosen)
        return false;
    std::wcsncpy(LastListPath, path, kListPathUnits - 1);
    return true;
}

// Appends the jobs read from a file, one row each, in order.
void InsertEntries(const std::vector<JobListEntry>& jobs)
{
    SendMessageA(JobList, WM_SETREDRAW, FALSE, 0);
    DWORD last = GetTickCount();
    for (const JobListEntry& job : jobs) {
        InsertJob(job.image.c_str(), job.profile.c_str());
        ServeSentMessages(&last);
    }
    SendMessageA(JobList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(JobList, nullptr, TRUE);
}

} // namespace

// Through UTF-16 and the exact conversion of Add (ToJobPath), so that Open
// takes exactly what Add would.
long JobPathFromUtf8(const char* text, std::size_t len, char* out, std::size_t outSize, void*)
{
    // More UTF-16 units than a path of a job may hold bytes is too long
    // whatever it would convert to.
    wchar_t wide[kMaxJobPath + 2];
    int units = len == 0 ? 0
                         : MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(len), wide,
                                               static_cast<int>(kMaxJobPath + 1));
    if (units <= 0 && len > 0)
        return GetLastError() == ERROR_INSUFFICIENT_BUFFER ? -2 : -1;
    wide[units] = L'\0';
    switch (ToJobPath(wide, out, outSize)) {
    case PathVerdict::Taken:
        return static_cast<long>(std::strlen(out));
    case PathVerdict::NotInCodePage:
        return -1;
    case PathVerdict::TooLong:
        break;
    }
    return -2;
}

// A job's path is valid text of the code page, so this fails only on a
// broken row.
bool JobPathToUtf8(const char* text, std::size_t len, std::string* out, void*)
{
    if (len == 0)
        return true;
    wchar_t wide[kJoinedPathSize];
    int units = MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, static_cast<int>(len), wide,
                                    static_cast<int>(kJoinedPathSize));
    if (units <= 0)
        return false;
    char utf8[4 * kJoinedPathSize];
    int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, units, utf8, sizeof utf8, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    out->append(utf8, static_cast<std::size_t>(bytes));
    return true;
}

// The whole file is checked before any row is added: a file that is no text
// adds nothing, and bad lines get one box after the good ones are in.
void OpenJobListFile(const wchar_t* path)
{
    std::string data;
    DWORD error = 0;
    bool tooLarge = false;
    char shown[600];
    Narrow(path, shown, sizeof shown);
    char why[400];
    JobListParse parse;
    bool read = ReadWholeFile(path, &data, &error, &tooLarge);
    if (read) {
        parse = ParseJobList(data.data(), data.size(), JobPathFromUtf8, nullptr);
        FormatFileFault(why, sizeof why, parse.fault, parse.faultLine);
    } else if (tooLarge) {
        FormatFileFault(why, sizeof why, JobListFileFault::TooLarge, 0);
    } else {
        char reason[300];
        SystemErrorText(error, reason, sizeof reason);
        FormatText(why, sizeof why, "it could not be read (%s).", reason);
    }
    Trace("Open job list: %s\n", shown);
    if (!read || parse.fault != JobListFileFault::None) {
        char text[1200];
        FormatText(text, sizeof text, "No job was added from %s: %s", shown, why);
        ShowBox(text, "Warning");
        return;
    }
    InsertEntries(parse.jobs);
    if (!parse.refused.empty()) {
        char text[1200];
        FormatRefusedLines(text, sizeof text, parse);
        ShowBox(text, "Warning");
    }
}

// Shares AddBusy with Add: their dialogs run modal loops in which another
// command could come.
void OpenJobList(HWND owner)
{
    if (AddBusy)
        return;
    AddBusy = true;
    wchar_t path[kListPathUnits];
    if (AskForListFile(owner, false, path))
        OpenJobListFile(path);
    AddBusy = false;
}

// Save and the file of unfinished jobs write alike, through a scratch file.
bool SaveRowsTo(const wchar_t* path, const std::vector<int>& rows, char* why, std::size_t whyLen)
{
    std::vector<JobListEntry> jobs;
    std::string text;
    if (!CollectJobs(rows, &jobs)) {
        FormatText(why, whyLen, "%s", "a row of the list could not be read");
        return false;
    }
    if (!FormatJobList(jobs, JobPathToUtf8, nullptr, &text)) {
        FormatText(why, whyLen, "%s", "a path could not be converted to UTF-8");
        return false;
    }
    DWORD error = 0;
    if (!WriteWholeFile(path, text, &error)) {
        SystemErrorText(error, why, whyLen);
        return false;
    }
    return true;
}

// Shares AddBusy with Add, as Open does.
void SaveJobList(HWND owner)
{
    if (AddBusy)
        return;
    AddBusy = true;
    wchar_t path[kListPathUnits];
    if (AskForListFile(owner, true, path)) {
        char why[300];
        if (!SaveRowsTo(path, AllRows(), why, sizeof why)) {
            char shown[600], text[1000];
            Narrow(path, shown, sizeof shown);
            FormatText(text, sizeof text, "The job list could not be saved to %s: %s.", shown, why);
            ShowBox(text, "Warning");
        }
    }
    AddBusy = false;
}

// From the last row up (RemoveRows), serving the worker between deletions.
void RemoveDoneJobs()
{
    if (AddBusy)
        return;
    RemoveRows(RowsInState(RowState::Done, RowState::Done));
}

// Runs on the user interface thread, inside the end of a run by a fatal
// error or a close, before the process ends and the list with it.
void WriteUnfinishedJobs()
{
    char module[1024];
    char path[1024];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof module);
    if (n == 0 || n >= sizeof module || !BuildUnfinishedPath(module, path, sizeof path))
        return;
    wchar_t wide[1024];
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, 1024) <= 0)
        return;
    std::vector<int> rows = RowsInState(RowState::Waiting, RowState::Running);
    char why[300];
    if (SaveRowsTo(wide, rows, why, sizeof why))
        LogMessage("Unfinished jobs written to %s (%lu %s)", path, static_cast<unsigned long>(rows.size()),
                   rows.size() == 1 ? "job" : "jobs");
    else
        LogMessage("Unfinished jobs could not be written to %s: %s", path, why);
}
