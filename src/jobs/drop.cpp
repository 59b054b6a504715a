// Files and folders dropped on the main dialog or its job list, queued as Add
// queues the images of its dialog (user interface thread).
#include "jobs/jobs.h"
#include "jobs/names.h"
#include "diag/diag.h"

#include <cwchar>
#include <string>
#include <vector>

namespace {

// Offers one UTF-16 full path as a job: converted exactly, or counted.
void Offer(const std::wstring& path, JobPaths* jobs)
{
    char ansi[kJoinedPathSize];
    switch (ToJobPath(path.c_str(), ansi, sizeof ansi)) {
    case PathVerdict::Taken:
        jobs->paths.emplace_back(ansi);
        break;
    case PathVerdict::TooLong:
        ++jobs->tooLong;
        break;
    case PathVerdict::NotInCodePage:
        ++jobs->notInCodePage;
        break;
    }
}

// The files of a folder that the image dialog's filter shows, in name order;
// not its subfolders, nor hidden or system files, which the dialog does not
// list either.
void OfferFolder(const std::wstring& folder, JobPaths* jobs)
{
    std::wstring prefix = folder;
    if (prefix.empty() || prefix.back() != L'\\')
        prefix += L'\\';
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((prefix + L"*").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return;
    do {
        if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))
            continue;
        if (IsImageFileName(found.cFileName))
            names.emplace_back(found.cFileName);
    } while (FindNextFileW(find, &found));
    FindClose(find);
    SortByName(names);
    for (const std::wstring& name : names)
        Offer(prefix + name, jobs);
}

} // namespace

void AddDroppedJobs(HWND owner, HDROP drop)
{
    // A drop while an Add or another drop has its dialogs open is not taken:
    // the user is in the middle of choosing.
    if (AddBusy) {
        DragFinish(drop);
        return;
    }
    AddBusy = true;
    Trace("Drop\n");

    // Everything is read before the profile dialog: the drop is released at
    // once, and the items keep the order in which they were dropped.
    JobPaths jobs;
    UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        UINT len = DragQueryFileW(drop, i, nullptr, 0);
        if (len == 0)
            continue;
        std::wstring path(len + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, &path[0], len + 1));
        DWORD attributes = GetFileAttributesW(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES)
            continue; // gone since it was picked up
        if (attributes & FILE_ATTRIBUTE_DIRECTORY)
            OfferFolder(path, &jobs);
        else if (IsImageFileName(path))
            Offer(path, &jobs);
        else
            ++jobs.notImages;
    }
    DragFinish(drop);

    if (jobs.paths.empty()) {
        // Nothing to ask a profile for; the user still learns why.
        WarnNotAdded(jobs, ProfileChoice::Taken);
        AddBusy = false;
        return;
    }
    OPENFILENAMEW ofn = {};
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = owner;
    char profile[256];
    ProfileChoice choice = ChooseProfile(&ofn, profile, sizeof profile);
    if (choice == ProfileChoice::Taken) {
        InsertJobs(jobs.paths, profile);
        WarnNotAdded(jobs, choice);
    } else if (choice != ProfileChoice::Cancelled) {
        WarnNotAdded(jobs, choice);
    }
    AddBusy = false;
}
