// Finding a visible dialog that a given window owns: by exact class and title
// (FindOwnedDialog), or, for a file dialog titled in another language, by its
// shape (target/dialogs.h).
#include "target/dialogs.h"
#include "target/contract.h"
#include "target/presses.h"
#include "batch/stop.h"
#include "diag/diag.h"
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

// The dialogs showing before the last command that opens a file dialog, and
// the candidates of one shape search: "#32770" windows that are visible and
// owned by the application window. Batch worker only.
constexpr int kMaxNoted = 32;
HWND NotedBefore[kMaxNoted];
int NotedCount;
HWND Candidates[kMaxNoted];
int CandidateCount;
HWND CandidateOwner;
// Whether the jobs of this run take file dialogs by their shape.
bool ByShape;

void CopyBounded(char* dest, const char* src)
{
    std::strncpy(dest, src ? src : "", 255);
    dest[255] = '\0';
}

// Called by EnumWindows on the batch worker: gathers the visible "#32770"
// windows owned by CandidateOwner, without sending any of them a message.
BOOL CALLBACK CandidateEnumProc(HWND window, LPARAM)
{
    if (CandidateCount >= kMaxNoted)
        return FALSE;
    VisitedClass[0] = '\0';
    GetClassNameA(window, VisitedClass, TEXT_MAX);
    if (std::strcmp(VisitedClass, kFileDialogClass) == 0 && IsWindowVisible(window) &&
        GetParent(window) == CandidateOwner)
        Candidates[CandidateCount++] = window;
    return TRUE;
}

// One pass over the top-level windows as they are now; what it finds stays
// in Candidates until the next pass.
void GatherCandidates(HWND owner)
{
    CandidateOwner = owner;
    CandidateCount = 0;
    EnumWindows(CandidateEnumProc, 0);
    AfterWindowEnumeration();
}

// A window that was showing before the command is not the command's
// dialog: an earlier one left open, or something else of Neat Image's.
bool WasNotedBefore(HWND window)
{
    for (int i = 0; i < NotedCount; ++i)
        if (NotedBefore[i] == window)
            return true;
    return false;
}

// Whether the dialog has a "Button" with id IDOK that is its default button:
// by its style, or, where the style does not say (the button lies deeper, or
// the default moved away and back), by what DM_GETDEFID answers. The message
// is bounded: a dialog that does not answer at once is not taken this time.
bool OkIsDefault(HWND dialog)
{
    HWND ok = FindOkButton(dialog);
    if (ok == nullptr)
        return false;
    if ((GetWindowLongA(ok, GWL_STYLE) & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        return true;
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(dialog, DM_GETDEFID, 0, 0, SMTO_ABORTIFHUNG, 250, &answer))
        return false;
    return HIWORD(answer) == DC_HASDEFID && LOWORD(answer) == IDOK;
}

// The exact title match of FindOwnedDialog, over every title known for the
// kind awaited.
bool TitleKnown(const char* title, const char* const* titles, int count)
{
    for (int i = 0; i < count; ++i)
        if (titles[i] != nullptr && std::strcmp(title, titles[i]) == 0)
            return true;
    return false;
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

// A title Tolvane knows is enough, as it always was; without one, only a
// window that came after the command and has both controls a file dialog is
// driven by, so that a box or a stale dialog is never typed into.
bool AcceptFileDialog(const DialogShapeFacts& facts)
{
    if (!facts.dialogClass || !facts.visible || !facts.ownerMatches)
        return false;
    if (facts.titleMatches)
        return true;
    return !facts.presentBefore && facts.hasNameBox && facts.okIsDefault;
}

void AcceptDialogsByShape(bool accept)
{
    ByShape = accept;
}

// Only when dialogs may be taken by their shape: otherwise a command costs
// no extra pass over the windows.
void NoteDialogsBeforeCommand(HWND owner)
{
    NotedCount = 0;
    if (!ByShape)
        return;
    GatherCandidates(owner);
    NotedCount = CandidateCount;
    std::memcpy(NotedBefore, Candidates, sizeof(HWND) * static_cast<std::size_t>(CandidateCount));
}

// The candidates are gathered first and examined after the enumeration, as
// the default-button question is a message to Neat Image.
HWND FindFileDialogByShape(HWND owner, const char* const* titles, int count)
{
    if (!ByShape)
        return nullptr;
    GatherCandidates(owner);
    for (int i = 0; i < CandidateCount; ++i) {
        HWND window = Candidates[i];
        DialogShapeFacts facts = {};
        facts.dialogClass = true; // as gathered
        facts.visible = IsWindowVisible(window) != FALSE;
        facts.ownerMatches = GetParent(window) == owner;
        facts.presentBefore = WasNotedBefore(window);
        VisitedTitle[0] = '\0';
        GetWindowTextA(window, VisitedTitle, TEXT_MAX);
        facts.titleMatches = TitleKnown(VisitedTitle, titles, count);
        facts.hasNameBox = !facts.presentBefore && FindFileNameBox(window) != nullptr;
        facts.okIsDefault = facts.hasNameBox && OkIsDefault(window);
        if (AcceptFileDialog(facts)) {
            if (!facts.titleMatches)
                Trace("File dialog \"%s\" recognised by its file name box and default button\n", VisitedTitle);
            return window;
        }
    }
    return nullptr;
}
