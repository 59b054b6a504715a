// The job list: columns, Add through the two file dialogs, Remove.
//
// The list view is the one store of jobs; everything here runs on the user
// interface thread. The batch worker reads rows by sending messages to the
// control, which this thread serves.
#include "jobs/jobs.h"
#include "app/app.h"
#include "diag/diag.h"
#include "tolvane.h"

#include <commctrl.h>
#include <cderr.h>
#include <commdlg.h>

#include <cstring>

char ImageStartDir[256];
char ProfileStartDir[256] = "C:\\Program Files\\Neat Image\\PROFILES";

namespace {

// Buffers of one Add; zero-filled afresh at every Add.
char FileBuffer[8192];
char FileTitleBuffer[8192];
char ProfileFileBuffer[256];

const char kImageFilter[] = "Image Files (*.jpg, *.jpeg, *.bmp, *.tif, *.tiff)\0*.jpg;*.jpeg;*.bmp;*.tif;*.tiff\0";
const char kProfileFilter[] = "Noise profiles (*.dnp, *.dnf)\0*.dnp;*.dnf\0";
const char kSelectionTooLarge[] =
    "Too many files were selected at once, so none was added.  Select fewer files and try again.";

void InsertSelectedPath(const char* path, void* context)
{
    InsertJob(path, static_cast<const char*>(context));
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

// One box for the files of one Add that cannot become jobs, and why.
void WarnNotAdded(int count, bool profileTooLong)
{
    const char* why = profileTooLong ? "the noise profile's path is longer than 254 characters."
                      : count == 1   ? "its path is longer than 254 characters."
                                     : "their paths are longer than 254 characters.";
    char text[200];
    FormatText(text, sizeof text, "%d of the selected files %s not added: %s", count, count == 1 ? "was" : "were", why);
    ShowBox(text, "Warning");
}

} // namespace

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

void AddSelectionToJobs(const char* fileBuffer, const char* profilePath)
{
    // A profile path the dialog cut short (or one Neat Image cannot take
    // whole) makes none of the images a job: each would name the wrong file.
    if (std::strlen(profilePath) > kMaxJobPath) {
        int paths = 0, skipped = 0;
        SplitSelection(fileBuffer, sizeof FileBuffer, CP_ACP, CountSelectedPath, &paths, &skipped);
        WarnNotAdded(paths + skipped, true);
        return;
    }
    int skipped = 0;
    SplitSelection(fileBuffer, sizeof FileBuffer, CP_ACP, InsertSelectedPath, const_cast<char*>(profilePath), &skipped);
    // Longer paths would reach Neat Image cut, naming another file or none.
    if (skipped > 0)
        WarnNotAdded(skipped, false);
}

void AddJobs(HWND owner)
{
    std::memset(FileBuffer, 0, sizeof FileBuffer);
    std::memset(FileTitleBuffer, 0, sizeof FileTitleBuffer);
    std::memset(ProfileFileBuffer, 0, sizeof ProfileFileBuffer);

    OPENFILENAMEA ofn = {};
    // The structure without the three members later platforms added: 76 bytes
    // on 32-bit Windows, the matching size on 64-bit.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = owner;
    ofn.hInstance = nullptr;
    ofn.lpstrFilter = kImageFilter;
    ofn.lpstrCustomFilter = nullptr;
    ofn.nMaxCustFilter = 0;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = FileBuffer;
    ofn.nMaxFile = sizeof FileBuffer - 1;
    ofn.lpstrFileTitle = FileTitleBuffer;
    ofn.nMaxFileTitle = sizeof FileTitleBuffer - 1;
    ofn.lpstrInitialDir = ImageStartDir;
    ofn.lpstrTitle = "Select image file(s)";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY;
    ofn.nFileOffset = 0;
    ofn.nFileExtension = 0;
    ofn.lpstrDefExt = nullptr;
    ofn.lCustData = 0;
    ofn.lpfnHook = nullptr;
    ofn.lpTemplateName = nullptr;
    BOOL chosen = GetOpenFileNameA(&ofn);
    // A selection that does not fit the buffer: Windows refuses it with
    // FNERR_BUFFERTOOSMALL, Wine reports success with the result cut at the
    // buffer's capacity (no closing empty string, the last name cut short).
    if ((!chosen && CommDlgExtendedError() == FNERR_BUFFERTOOSMALL) ||
        (chosen && !SelectionIsComplete(FileBuffer, ofn.nMaxFile))) {
        ShowBox(kSelectionTooLarge, "Warning");
        return;
    }
    if (!chosen)
        return;

    // A first string too long for the start location keeps the previous one.
    RememberStartLocation(ImageStartDir, sizeof ImageStartDir, FileBuffer, sizeof FileBuffer);
    Trace("FileBuffer: %s\n", FileBuffer);
    Trace("FileTitleBuffer: %s\n", FileTitleBuffer);

    ofn.lpstrFilter = kProfileFilter;
    ofn.lpstrFile = ProfileFileBuffer;
    ofn.nMaxFile = sizeof ProfileFileBuffer - 1;
    ofn.lpstrInitialDir = ProfileStartDir;
    ofn.lpstrTitle = "Select Noise Profile";
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetOpenFileNameA(&ofn))
        return;

    RememberStartLocation(ProfileStartDir, sizeof ProfileStartDir, ProfileFileBuffer, sizeof ProfileFileBuffer);
    Trace("Profile File Buffer: %s\n", ProfileFileBuffer);

    AddSelectionToJobs(FileBuffer, ProfileFileBuffer);
}

void RemoveSelectedJob()
{
    int row = static_cast<int>(SendMessageA(JobList, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
    if (row >= 0)
        SendMessageA(JobList, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}
