// The job list: columns, Add through the two file dialogs, Remove.
//
// The list view is the one store of jobs; everything here runs on the user
// interface thread. The batch worker reads rows by sending messages to the
// control, which this thread serves.
#include "jobs/jobs.h"
#include "jobs/names.h"
#include "app/controls.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>

#include <cstring>
#include <string>
#include <vector>

char ImageStartDir[256];
char ProfileStartDir[256] = "C:\\Program Files\\Neat Image\\PROFILES";

namespace {

// The image dialog's result in UTF-16, and the same converted into the ANSI
// code page; zero-filled afresh at every Add. One unit of the dialog's result
// becomes at most three bytes (UTF-8 as the code page), so the ANSI buffer
// always holds a converted result. The file title buffer and the profile
// buffer are the dialogs' own sizes.
constexpr std::size_t kProfileUnits = 256;
wchar_t FileBufferW[kSelectionUnits];
char FileBuffer[3 * kSelectionUnits + 2];
wchar_t FileTitleBufferW[8192];
wchar_t ProfileFileBufferW[kProfileUnits];
char ProfileFileBuffer[256];

const wchar_t kImageFilter[] = L"Image Files (*.jpg, *.jpeg, *.bmp, *.tif, *.tiff)\0*.jpg;*.jpeg;*.bmp;*.tif;*.tiff\0";
const wchar_t kProfileFilter[] = L"Noise profiles (*.dnp, *.dnf)\0*.dnp;*.dnf\0";

} // namespace

// Set while an Add or a drop has its dialogs or boxes open: their modal loops
// would otherwise let a second one in, over the same buffers.
bool AddBusy;

// Serves only what other threads and processes have sent to this thread
// (the batch worker's reads of the list, a probe's WM_NULL): no input, no
// posted command, so no button can act in the middle of a long change of the
// list.
void ServeSentMessages(DWORD* last)
{
    DWORD now = GetTickCount();
    if (now - *last < 20)
        return;
    *last = now;
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
}

namespace {

void CollectPath(const char* path, void* context)
{
    static_cast<JobPaths*>(context)->paths.emplace_back(path);
}

void CountSelectedPath(const char*, void* context)
{
    ++*static_cast<int*>(context);
}

// The identity of the last row inserted, by this process or not: a new row's
// identity exceeds both it and the last row's own, so identities grow down
// the list whoever appended the rows.
JobId LastJobId;

JobId NextJobId(int rowCount)
{
    JobId next = LastJobId + 1;
    if (rowCount > 0) {
        LVITEMA item = {};
        item.mask = LVIF_PARAM;
        item.iItem = rowCount - 1;
        if (SendMessageA(JobList, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)) &&
            static_cast<JobId>(item.lParam) >= next)
            next = static_cast<JobId>(item.lParam) + 1;
    }
    LastJobId = next;
    return next;
}

// "3 of the selected files were not added: " and its singular.
std::size_t NotAddedLead(char* text, std::size_t size, int count)
{
    return FormatText(text, size, "%d of the selected files %s not added: ", count, count == 1 ? "was" : "were");
}

// A code page that cannot hold a name: the look-alike it would be given names
// another file or none.
const char* NotInCodePageReason(int count)
{
    return count == 1 ? "its name holds characters that this system's code page cannot hold."
                      : "their names hold characters that this system's code page cannot hold.";
}

// The system's ANSI name of a UTF-16 dialog string, for the trace only: a
// character the code page lacks shows as its default character.
void TraceName(const char* format, const wchar_t* name)
{
    char text[1024];
    int n = WideCharToMultiByte(CP_ACP, 0, name, -1, text, sizeof text, nullptr, nullptr);
    if (n <= 0)
        text[0] = '\0';
    text[sizeof text - 1] = '\0';
    Trace(format, text);
}

bool FolderExists(const char* folder)
{
    DWORD attributes = GetFileAttributesA(folder);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// A location Tolvane remembers in ANSI, as the UTF-16 dialog wants it.
void ToWide(const char* text, wchar_t* out, int outUnits)
{
    if (MultiByteToWideChar(CP_ACP, 0, text, -1, out, outUnits) <= 0)
        out[0] = L'\0';
    out[outUnits - 1] = L'\0';
}

} // namespace

void WarnNotAdded(const JobPaths& refused, ProfileChoice profile)
{
    char text[600];
    std::size_t len = 0;
    if (profile == ProfileChoice::TooLong || profile == ProfileChoice::NotInCodePage) {
        int count =
            static_cast<int>(refused.paths.size()) + refused.tooLong + refused.notInCodePage + refused.notImages;
        len = NotAddedLead(text, sizeof text, count);
        FormatText(text + len, sizeof text - len, "%s",
                   profile == ProfileChoice::TooLong
                       ? "the noise profile's path is longer than 254 characters."
                       : "the noise profile's name holds characters that this system's code page cannot "
                         "hold.");
        ShowBox(text, "Warning");
        return;
    }
    // One line for each reason, in one box.
    struct {
        int count;
        const char* why;
    } const reasons[] = {
        {refused.tooLong, refused.tooLong == 1 ? "its path is longer than 254 characters."
                                               : "their paths are longer than 254 characters."},
        {refused.notInCodePage, NotInCodePageReason(refused.notInCodePage)},
        {refused.notImages, refused.notImages == 1 ? "it is not an image file (*.jpg, *.jpeg, *.bmp, *.tif, *.tiff)."
                                                   : "they are not image files (*.jpg, *.jpeg, *.bmp, *.tif, *.tiff)."},
    };
    for (const auto& r : reasons) {
        if (r.count == 0)
            continue;
        if (len > 0 && len + 1 < sizeof text)
            text[len++] = '\n';
        len += NotAddedLead(text + len, sizeof text - len, r.count);
        len += FormatText(text + len, sizeof text - len, "%s", r.why);
    }
    if (len > 0)
        ShowBox(text, "Warning");
}

void InsertJobs(const std::vector<std::string>& paths, const char* profilePath)
{
    // One repaint at the end instead of one per row; sent messages are still
    // served in between, so the dialog keeps answering through a long Add.
    SendMessageA(JobList, WM_SETREDRAW, FALSE, 0);
    DWORD last = GetTickCount();
    for (const std::string& path : paths) {
        InsertJob(path.c_str(), profilePath);
        ServeSentMessages(&last);
    }
    SendMessageA(JobList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(JobList, nullptr, TRUE);
}

int InitJobColumns(HWND listView)
{
    LVCOLUMNA column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | LVCF_SUBITEM;
    column.fmt = LVCFMT_LEFT;
    column.cx = 250;
    column.pszText = const_cast<char*>("Image Name");
    column.iSubItem = 0;
    SendMessageA(listView, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&column));

    column.pszText = const_cast<char*>("Noise Profile");
    column.iSubItem = 1;
    column.cx = 210;
    SendMessageA(listView, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&column));

    // A path cut short by its column shows whole in a tip while the pointer
    // rests on it; the columns keep their widths.
    SendMessageA(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_LABELTIP, LVS_EX_LABELTIP);
    return 1;
}

int InsertJob(const char* imagePath, const char* profilePath)
{
    int count = static_cast<int>(SendMessageA(JobList, LVM_GETITEMCOUNT, 0, 0));

    LVITEMA item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = count;
    item.iSubItem = 0;
    item.pszText = const_cast<char*>(imagePath);
    // The row's identity, which the batch worker follows instead of its index.
    item.lParam = static_cast<LPARAM>(NextJobId(count));
    SendMessageA(JobList, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));

    item.mask = LVIF_TEXT;
    item.iSubItem = 1;
    item.pszText = const_cast<char*>(profilePath);
    SendMessageA(JobList, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
    return 1;
}

ProfileChoice ChooseProfile(OPENFILENAMEW* ofn, char* profile, std::size_t profileSize)
{
    std::memset(ProfileFileBufferW, 0, sizeof ProfileFileBufferW);
    std::memset(profile, 0, profileSize);
    wchar_t start[256];
    ToWide(ProfileDialogStart(ProfileStartDir, FolderExists), start, 256);
    ofn->lpstrFilter = kProfileFilter;
    ofn->nFilterIndex = 1;
    ofn->lpstrFile = ProfileFileBufferW;
    ofn->nMaxFile = kProfileUnits - 1;
    ofn->lpstrFileTitle = FileTitleBufferW;
    ofn->nMaxFileTitle = sizeof FileTitleBufferW / sizeof FileTitleBufferW[0] - 1;
    ofn->lpstrInitialDir = start;
    ofn->lpstrTitle = L"Select Noise Profile";
    ofn->Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameW(ofn))
        return ProfileChoice::Cancelled;

    TraceName("Profile File Buffer: %s\n", ProfileFileBufferW);
    unsigned codePage = CP_ACP;
    long n =
        ConvertExactly(ProfileFileBufferW, wcsnlen(ProfileFileBufferW, kProfileUnits), profile, profileSize, &codePage);
    if (n == -1)
        return ProfileChoice::NotInCodePage;
    if (n < 0 || static_cast<std::size_t>(n) > kMaxJobPath) {
        // Remembered all the same when it fits, as any confirmed choice is.
        if (n >= 0)
            RememberStartLocation(ProfileStartDir, sizeof ProfileStartDir, profile, profileSize);
        return ProfileChoice::TooLong;
    }
    RememberStartLocation(ProfileStartDir, sizeof ProfileStartDir, profile, profileSize);
    return ProfileChoice::Taken;
}

void AddJobs(HWND owner)
{
    if (AddBusy)
        return;
    AddBusy = true;
    std::memset(FileBufferW, 0, sizeof FileBufferW);
    std::memset(FileTitleBufferW, 0, sizeof FileTitleBufferW);
    std::memset(ProfileFileBuffer, 0, sizeof ProfileFileBuffer);

    wchar_t start[256];
    ToWide(ImageStartDir, start, 256);
    OPENFILENAMEW ofn = {};
    // The structure without the three members later platforms added: 76 bytes
    // on 32-bit Windows, the matching size on 64-bit.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = owner;
    ofn.hInstance = nullptr;
    ofn.lpstrFilter = kImageFilter;
    ofn.lpstrCustomFilter = nullptr;
    ofn.nMaxCustFilter = 0;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = FileBufferW;
    ofn.nMaxFile = kSelectionUnits - 1;
    ofn.lpstrFileTitle = FileTitleBufferW;
    ofn.nMaxFileTitle = sizeof FileTitleBufferW / sizeof FileTitleBufferW[0] - 1;
    ofn.lpstrInitialDir = start;
    ofn.lpstrTitle = L"Select image file(s)";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY;
    ofn.nFileOffset = 0;
    ofn.nFileExtension = 0;
    ofn.lpstrDefExt = nullptr;
    ofn.lCustData = 0;
    ofn.lpfnHook = nullptr;
    ofn.lpTemplateName = nullptr;
    // The names come in UTF-16 and are converted here, exactly or not at all:
    // the ANSI dialog would hand back a look-alike of a name the code page
    // cannot hold ("Lodz.jpg" for "Łódź.jpg").
    BOOL chosen = GetOpenFileNameW(&ofn);
    int notInCodePage = 0;
    unsigned codePage = CP_ACP;
    std::size_t written = 0;
    if (chosen) {
        std::memset(FileBuffer, 0, sizeof FileBuffer);
        written = ConvertSelection(FileBufferW, ofn.nMaxFile, ConvertExactly, &codePage, FileBuffer, sizeof FileBuffer,
                                   &notInCodePage);
    }
    // A selection that does not fit the buffer: Windows refuses it with
    // FNERR_BUFFERTOOSMALL, Wine reports success with the result cut at the
    // buffer's capacity (no closing empty string, the last name cut short).
    if ((!chosen && CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) ||
        (chosen && !SelectionIsComplete(FileBuffer, written))) {
        char text[400];
        FormatText(text, sizeof text,
                   "Too many files were selected at once, so none was added.  One Add takes at most %lu characters "
                   "of file names, folder included (about %lu names of 20 characters).  Select fewer files and try "
                   "again.",
                   static_cast<unsigned long>(kSelectionUnits - 2),
                   static_cast<unsigned long>((kSelectionUnits - 2 - 260) / 21));
        ShowBox(text, "Warning");
        AddBusy = false;
        return;
    }
    if (!chosen) {
        AddBusy = false;
        return;
    }

    // A first string too long for the start location keeps the previous one,
    // and so does one the code page cannot hold.
    if (FileBuffer[0] != '\0')
        RememberStartLocation(ImageStartDir, sizeof ImageStartDir, FileBuffer, sizeof FileBuffer);
    Trace("FileBuffer: %s\n", FileBuffer);
    TraceName("FileTitleBuffer: %s\n", FileTitleBufferW);

    ProfileChoice profile = ChooseProfile(&ofn, ProfileFileBuffer, sizeof ProfileFileBuffer);
    if (profile == ProfileChoice::Taken) {
        JobPaths jobs;
        jobs.notInCodePage = notInCodePage;
        SplitSelection(FileBuffer, written, CP_ACP, CollectPath, &jobs, &jobs.tooLong);
        InsertJobs(jobs.paths, ProfileFileBuffer);
        // Longer paths would reach Neat Image cut, naming another file or none.
        WarnNotAdded(jobs, ProfileChoice::Taken);
    } else if (profile != ProfileChoice::Cancelled) {
        // A profile Neat Image cannot be given whole makes none of the images
        // a job: each would name the wrong profile.
        int paths = 0, skipped = 0;
        SplitSelection(FileBuffer, written, CP_ACP, CountSelectedPath, &paths, &skipped);
        JobPaths jobs;
        jobs.tooLong = paths + skipped + notInCodePage;
        WarnNotAdded(jobs, profile);
    }
    AddBusy = false;
}

void RemoveSelectedJob()
{
    int row = static_cast<int>(SendMessageA(JobList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0)
        SendMessageA(JobList, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

void RemoveSelectedJobs()
{
    // The selected rows, gathered first and deleted from the last up, so that
    // no deletion moves a row still to be deleted. The batch worker follows
    // rows by identity, so rows gone under it make it skip no job; its reads
    // are served between the deletions.
    std::vector<int> rows;
    int row = -1;
    while ((row = static_cast<int>(SendMessageA(JobList, LVM_GETNEXTITEM, static_cast<WPARAM>(row), LVNI_SELECTED))) >=
           0)
        rows.push_back(row);
    RemoveRows(rows);
}

void RemoveRows(const std::vector<int>& rows)
{
    if (rows.empty())
        return;
    SendMessageA(JobList, WM_SETREDRAW, FALSE, 0);
    DWORD last = GetTickCount();
    for (auto it = rows.rbegin(); it != rows.rend(); ++it) {
        SendMessageA(JobList, LVM_DELETEITEM, static_cast<WPARAM>(*it), 0);
        ServeSentMessages(&last);
    }
    SendMessageA(JobList, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(JobList, nullptr, TRUE);
}

void SelectAllJobs()
{
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = LVIS_SELECTED;
    SendMessageA(JobList, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
}

void OnJobListKey(WORD key)
{
    if (AddBusy)
        return;
    if (key == VK_DELETE)
        RemoveSelectedJobs();
    else if (key == 'A' && GetKeyState(VK_CONTROL) < 0)
        SelectAllJobs();
}
