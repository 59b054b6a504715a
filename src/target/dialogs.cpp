// Finding a visible dialog that a given window owns, by exact class and title.
#include "target/contract.h"
#include "batch/stop.h"
#include "target/target.h"

#include <cstring>

namespace {

// The search record: written by FindOwnedDialog, read by its callback, for the
// length of one search. Only the batch worker searches, one search at a time.
struct {
    char title[256];
    char className[256];
    HWND parent;
    HWND result;
} Search;

// The callback's text buffers. GetWindowTextA on a window of this process
// that another thread owns (the main dialog) is a message sent to that
// thread, carrying this buffer: it must not lie on the worker's stack.
char VisitedClass[256];
char VisitedTitle[256];

void CopyBounded(char* dest, const char* src)
{
    std::strncpy(dest, src ? src : "", 255);
    dest[255] = '\0';
}

} // namespace

// Called by EnumWindows on the batch worker for every top-level window, top of
// the Z order first; the first match ends the enumeration.
BOOL CALLBACK OwnedDialogEnumProc(HWND window, LPARAM)
{
    char* className = VisitedClass;
    char* title = VisitedTitle;
    className[0] = '\0';
    title[0] = '\0';
    GetClassNameA(window, className, TEXT_MAX);
    GetWindowTextA(window, title, TEXT_MAX);
    if (!IsWindowVisible(window))
        return TRUE;
    if (std::strcmp(className, Search.className) != 0)
        return TRUE;
    if (std::strcmp(title, Search.title) != 0)
        return TRUE;
    if (GetParent(window) != Search.parent)
        return TRUE;
    Search.result = window;
    return FALSE;
}

HWND FindOwnedDialog(HWND parent, const char* className, const char* title)
{
    CopyBounded(Search.title, title);
    CopyBounded(Search.className, className);
    Search.parent = parent;
    Search.result = nullptr;
    EnumWindows(OwnedDialogEnumProc, 0);
    AfterWindowEnumeration();
    return Search.result;
}
