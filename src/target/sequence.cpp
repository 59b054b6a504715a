// The per-image sequence: drives Neat Image through one job the way a user
// would, paced by fixed pauses and by polling for its windows.
//
// Runs on the batch worker. Commands that open a dialog are posted (the worker
// must not wait inside Neat Image's modal loop); every other message is sent
// with a bound (target/send.h), so the worker goes on once Neat Image has
// handled it or is showing a box. "&Filter" > "&Apply" is a plain send that
// returns when filtering is done, however long that takes. Every pause wakes
// at once on Stop, and every step against Neat Image is preceded by a
// checkpoint where a stopped worker leaves. Every pause and poll also looks at
// Neat Image (target/watch.h): a closed Neat Image or one of its boxes ends
// the run within seconds.
//
// With fast pacing, chosen by the user for a run, each fixed pause ends as
// soon as Neat Image is verifiably ready for the next step (the rules are in
// target/pacing.h), polls look every kFastLookMs, and a command is posted or
// sent only once its menu item is enabled. The steps, their order, their
// texts and the bounds of the waits are those of the specified pacing.
#include "target/contract.h"
#include "target/failure.h"
#include "target/pacing.h"
#include "target/send.h"
#include "target/target.h"
#include "target/titles.h"
#include "target/watch.h"
#include "app/app.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "tolvane.h"

namespace {

// The longest stretch a pause goes without a look at Neat Image.
constexpr DWORD kWatchSliceMs = 250;

// Fast pacing for the run under way; written by the worker at the start of a
// run, read by the worker only.
bool FastPacing = false;
// Fast pacing: the time between two looks of a poll or a readiness wait, and
// how long a WM_NULL may take to count as an answer.
constexpr DWORD kFastLookMs = 25;
constexpr DWORD kAnswerMs = 250;

// A pause of the sequence: stop-aware, with a look at Neat Image at least
// every kWatchSliceMs and at its end. It lasts as long as one plain pause.
void Pause(DWORD ms)
{
    DWORD start = GetTickCount();
    for (;;) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= ms)
            break;
        DWORD rest = ms - elapsed;
        WorkerPause(rest < kWatchSliceMs ? rest : kWatchSliceMs);
        WatchTarget();
    }
}

// Fast pacing: the pause from a look that began at `lookStart` to the next,
// which begins kFastLookMs after it (looks come every kFastLookMs, whatever
// each one took), and never later than `boundMs` after `start`.
void PauseToNextLook(DWORD start, DWORD lookStart, DWORD boundMs)
{
    DWORD now = GetTickCount();
    DWORD sinceLook = now - lookStart;
    DWORD toNext = sinceLook < kFastLookMs ? kFastLookMs - sinceLook : 0;
    DWORD elapsed = now - start;
    DWORD toBound = elapsed < boundMs ? boundMs - elapsed : 0;
    DWORD ms = toNext < toBound ? toNext : toBound;
    if (ms > 0)
        WorkerPause(ms);
}

// Where the pause of each try of a poll stands relative to its look.
enum class PauseOrder { BeforeEachLook, AfterEachLook };

// What a poll looks for: true once it is there. The context carries the
// question and receives the answer.
using LookFor = bool (*)(void* context);

// The one bounded wait of the sequence: up to `tries` looks, each with a
// stop-aware pause of PAUSE_MS before or after it (after: also after the look
// that succeeds), and a look at Neat Image before each. `traceEachTry`, when
// given, is traced at the start of every try. True as soon as a look
// succeeds.
bool Poll(int tries, PauseOrder order, LookFor look, void* context, const char* traceEachTry = nullptr)
{
    if (FastPacing) {
        // One look every kFastLookMs at once, within the same bound of
        // `tries` pauses; the pause after the look that succeeds is left to
        // the readiness wait that follows.
        DWORD bound = FastWaitBoundMs(PAUSE_MS, tries);
        DWORD start = GetTickCount();
        for (;;) {
            DWORD lookStart = GetTickCount();
            if (traceEachTry != nullptr) {
                WorkerCheckpoint();
                Trace("%s", traceEachTry);
            }
            WorkerCheckpoint();
            WatchTarget();
            if (look(context))
                return true;
            if (GetTickCount() - start >= bound)
                return false;
            PauseToNextLook(start, lookStart, bound);
        }
    }
    for (int attempt = 0; attempt < tries; ++attempt) {
        if (traceEachTry != nullptr) {
            WorkerCheckpoint();
            Trace("%s", traceEachTry);
        }
        if (order == PauseOrder::BeforeEachLook)
            Pause(PAUSE_MS);
        WorkerCheckpoint();
        WatchTarget();
        bool found = look(context);
        if (order == PauseOrder::AfterEachLook)
            Pause(PAUSE_MS);
        if (found)
            return true;
    }
    return false;
}

// Whether a window of Neat Image's answers a message at all: its thread is
// retrieving messages. Nothing is handed over, so nothing can be overrun.
bool Answers(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
}

// What one readiness look found: its verdict, and the windows (or the file
// size) it was about, for the stability rule.
struct ReadyLook {
    Verdict verdict;
    std::uintptr_t key;
};
using LookReady = ReadyLook (*)(void* context);

std::uintptr_t KeyOf(HWND a, HWND b = nullptr, HWND c = nullptr)
{
    auto v = [](HWND h) { return reinterpret_cast<std::uintptr_t>(h); };
    return v(a) ^ (v(b) << 1) ^ (v(c) << 2);
}

enum class ReadyEnd { Passed, CannotTell, OutOfTime };

// Fast pacing's readiness wait: looks every kFastLookMs, with the watch
// looking too, until a look passes by the stability rule, a look cannot tell,
// or boundMs has passed.
//
// No settle time follows a look that passed. What a program does right after
// showing a window it posts to itself or runs before it returns to its
// message loop; the second look's WM_NULL is answered only once the window's
// thread is back in that loop after handling what the first look found
// queued. What a window still fills in later is part of what the looks read
// (a Save As dialog's proposed name), and a typed text is read back.
ReadyEnd LookUntilReady(DWORD boundMs, LookReady ready, void* context)
{
    DWORD start = GetTickCount();
    Steadiness steadiness;
    for (;;) {
        DWORD lookStart = GetTickCount();
        WorkerCheckpoint();
        WatchTarget();
        ReadyLook look = ready(context);
        if (look.verdict == Verdict::CannotTell)
            return ReadyEnd::CannotTell;
        if (SteadyReady(steadiness, look.verdict, look.key))
            return ReadyEnd::Passed;
        if (GetTickCount() - start >= boundMs)
            return ReadyEnd::OutOfTime;
        PauseToNextLook(start, lookStart, boundMs);
    }
}

// A fixed pause of `ms`. With fast pacing it ends as soon as `ready` passes,
// and at the latest after `ms`; a look that cannot tell takes the rest of it.
void PauseUntilReady(DWORD ms, LookReady ready, void* context)
{
    if (!FastPacing) {
        Pause(ms);
        return;
    }
    DWORD start = GetTickCount();
    if (LookUntilReady(ms, ready, context) == ReadyEnd::CannotTell) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < ms)
            Pause(ms - elapsed);
    }
}

// Fast pacing only: the readiness a step needs where the specified pacing has
// no pause of its own (it relies on the pause before). At most `ms`.
void AwaitReady(DWORD ms, LookReady ready, void* context)
{
    if (FastPacing)
        PauseUntilReady(ms, ready, context);
}

// The fixed pause after a step that a menu command follows: the press of an
// "Open" dialog's button, the return of "&Apply". With fast pacing the
// command's own readiness wait (LookUpCommand) looks for what this pause is
// for, the main window enabled, answering and showing no progress window,
// in the same looks as for its menu item.
void PauseBeforeCommand()
{
    if (!FastPacing)
        Pause(PAUSE_MS);
}

// A fixed pause before a poll. With fast pacing the poll and the readiness
// wait after it take its place.
void PauseBeforePoll()
{
    if (!FastPacing)
        Pause(PAUSE_MS);
}

// A file dialog of Neat Image with one of these titles (the English one
// first, then the system's own in its display language), visible and owned
// by its application window.
struct FileDialogWanted {
    const char* const* titles;
    int count;
    HWND found;
};

bool FileDialogShown(void* context)
{
    auto* wanted = static_cast<FileDialogWanted*>(context);
    for (int i = 0; i < wanted->count && wanted->found == nullptr; ++i)
        wanted->found = FindOwnedDialog(TargetAppWindow, kFileDialogClass, wanted->titles[i]);
    return wanted->found != nullptr;
}

// The JPEG options window, visible: an application framework may create it
// hidden at start-up, long before a save shows it, and FindWindowEx finds
// hidden windows too.
bool JpegOptionsShown(void* context)
{
    auto* found = static_cast<HWND*>(context);
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, kJpegOptionsClass, kJpegOptionsTitle)) != nullptr) {
        if (IsWindowVisible(window)) {
            *found = window;
            return true;
        }
    }
    return false;
}

// A dialog that was pressed is done with once it is destroyed or hidden (a
// closing dialog is hidden before it goes).
bool DialogClosed(void* context)
{
    HWND dialog = *static_cast<HWND*>(context);
    return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

HWND FindFileNameBox(HWND dialog);
HWND FindDialogButton(HWND dialog, const char* caption);

// Readiness of a file dialog that was found, before anything is typed into it.
struct DialogWanted {
    HWND dialog;
    const char* button;
    bool nameNeeded; // a Save As dialog, whose proposed name is read
};

// What the file name box held at the last look; outside the worker's stack,
// as every buffer handed to a sent message.
char NameAtLook[TEXT_MAX + 1];

ReadyLook FileDialogReady(void* context)
{
    const auto* wanted = static_cast<const DialogWanted*>(context);
    HWND dialog = wanted->dialog;
    HWND edit = FindFileNameBox(dialog);
    HWND button = FindDialogButton(dialog, wanted->button);
    DialogFacts facts = {};
    facts.visible = IsWindowVisible(dialog) != FALSE;
    facts.enabled = IsWindowEnabled(dialog) != FALSE;
    facts.ownedByAppWindow = GetParent(dialog) == TargetAppWindow;
    facts.mainWindowDisabled = !IsWindowEnabled(TargetMainWindow);
    facts.nameBoxFound = edit != nullptr;
    facts.nameBoxVisible = edit != nullptr && IsWindowVisible(edit);
    facts.nameBoxEnabled = edit != nullptr && IsWindowEnabled(edit);
    facts.buttonFound = button != nullptr;
    facts.buttonVisible = button != nullptr && IsWindowVisible(button);
    facts.buttonEnabled = button != nullptr && IsWindowEnabled(button);
    facts.answers = Answers(dialog);
    // The box's text is part of the answer: it must hold still over two
    // looks, and a Save As dialog must have proposed a name.
    NameAtLook[0] = '\0';
    if (edit != nullptr && SendToTarget(edit, WM_GETTEXT, sizeof NameAtLook - 1, reinterpret_cast<LPARAM>(NameAtLook)))
        NameAtLook[TEXT_MAX] = '\0';
    else
        NameAtLook[0] = '\0';
    facts.nameNeeded = wanted->nameNeeded;
    facts.nameProposed = NameAtLook[0] != '\0';
    return {DialogVerdict(facts), KeyOf(dialog, edit, button) ^ TextKey(NameAtLook)};
}

// Whether the menu command just posted was found; one that was not can never
// open its dialog, in this job or any later one.
bool CommandFound = true;

// Waits for a file dialog of this kind; fatal with `failure` when it does not
// come within WAIT_TRIES tries. The watch lets it show meanwhile. With fast
// pacing it then waits, at most one pause, until the dialog is ready.
HWND WaitForFileDialog(FileDialogKind kind, PauseOrder order, const char* traceEachTry, const char* failure)
{
    FileDialogWanted wanted = {nullptr, 0, nullptr};
    wanted.count = FileDialogTitles(kind, &wanted.titles);
    if (!Poll(WAIT_TRIES, order, FileDialogShown, &wanted, traceEachTry)) {
        if (!CommandFound)
            FatalUnlessClosed(failure);
        JobFailed(failure);
    }
    WatchExpectWindow(wanted.found);
    const bool saveAs = kind == FileDialogKind::SaveAs;
    DialogWanted ready = {wanted.found, saveAs ? kSaveButtonText : kOpenButtonText, saveAs};
    AwaitReady(PAUSE_MS, FileDialogReady, &ready);
    return wanted.found;
}

// What a look at Neat Image's main window finds after a press of one of its
// windows (`pressed`, or none) or after "&Apply" returned: that window
// destroyed or hidden, the main window enabled, answering (asked only when
// the rest holds, since a busy window holds the look up), and showing no
// progress window.
MainFacts LookAtMain(HWND pressed)
{
    MainFacts facts = {};
    facts.pressedWindowGone = pressed == nullptr || !IsWindow(pressed) || !IsWindowVisible(pressed);
    facts.mainEnabled = IsWindowEnabled(TargetMainWindow) != FALSE;
    HWND progress = nullptr;
    while ((progress = FindWindowExA(nullptr, progress, kProgressClass, nullptr)) != nullptr)
        facts.progressVisible = facts.progressVisible || IsWindowVisible(progress);
    facts.mainAnswers =
        facts.pressedWindowGone && facts.mainEnabled && !facts.progressVisible && Answers(TargetMainWindow);
    return facts;
}

// Readiness of the main window; the context: the window pressed, or none.
ReadyLook MainWindowReady(void* context)
{
    HWND pressed = context != nullptr ? *static_cast<HWND*>(context) : nullptr;
    return {MainVerdict(LookAtMain(pressed)), KeyOf(TargetMainWindow)};
}

// Readiness for a menu command: its item enabled and the main window ready.
// The item is looked up by its captions once, then asked for its state alone
// (and looked up again when that fails).
struct CommandWanted {
    const char* menu;
    const char* item;
    MenuItemRef ref; // where the item was found: its state is then one query
};

ReadyLook CommandReady(void* context)
{
    auto* wanted = static_cast<CommandWanted*>(context);
    ItemState item = MenuItemRefState(wanted->ref);
    if (item == ItemState::Unreadable) {
        wanted->ref = FindMenuItem(TargetMainWindow, wanted->menu, wanted->item);
        item = MenuItemRefState(wanted->ref);
    }
    MainFacts main = item == ItemState::Enabled ? LookAtMain(nullptr) : MainFacts{};
    return {CommandVerdict(item, main), KeyOf(TargetMainWindow)};
}

// Looks up a menu command of Neat Image by its captions, and returns its
// identifier, -1 when there is none.
//
// With fast pacing the command also waits to be taken: a command reaching a
// disabled item is ignored, as a menu ignores it while Neat Image still loads
// what it opened. So before a command goes out, its item must be enabled and
// the main window ready, for at most the bound of a wait; after that it goes
// out anyway and the step fails as it would have. The one traced lookup comes
// first and tells where the item is, so each look asks for its state alone;
// an item not found there (a menu rebuilt meanwhile) is looked up again
// without a trace. A menu that cannot be read takes the fixed pause that this
// wait stands in for (PauseBeforeCommand).
int LookUpCommand(const char* menu, const char* item)
{
    WorkerCheckpoint();
    if (!FastPacing)
        return FindMenuCommand(TargetMainWindow, menu, item);
    CommandWanted wanted = {menu, item, {}};
    int id = FindMenuCommand(TargetMainWindow, menu, item, &wanted.ref);
    DWORD start = GetTickCount();
    if (LookUntilReady(static_cast<DWORD>(FastWaitBoundMs(PAUSE_MS, WAIT_TRIES)), CommandReady, &wanted) ==
        ReadyEnd::CannotTell) {
        DWORD elapsed = GetTickCount() - start;
        if (elapsed < PAUSE_MS)
            Pause(PAUSE_MS - elapsed);
        wanted.ref = FindMenuItem(TargetMainWindow, menu, item);
    }
    if (wanted.ref.dropDown != nullptr)
        id = static_cast<int>(wanted.ref.id);
    return id;
}

// The text last read back from a file name box; outside the worker's stack,
// as every buffer handed to a sent message.
char ReadBack[TEXT_MAX + 1];

// Fast pacing only: a typed text has arrived once the box reads it back
// exactly; at most one pause, after which the step goes on as it would have.
void AwaitTyped(HWND edit, const char* text)
{
    if (!FastPacing)
        return;
    DWORD start = GetTickCount();
    for (;;) {
        WorkerCheckpoint();
        ReadBack[0] = '\0';
        if (SendToTarget(edit, WM_GETTEXT, sizeof ReadBack - 1, reinterpret_cast<LPARAM>(ReadBack))) {
            ReadBack[TEXT_MAX] = '\0';
            if (TypedTextArrived(text, ReadBack))
                return;
        }
        DWORD elapsed = GetTickCount() - start;
        if (elapsed >= PAUSE_MS)
            return;
        WorkerPause(PAUSE_MS - elapsed < kFastLookMs ? PAUSE_MS - elapsed : kFastLookMs);
    }
}

// A window that refuses what it was given (a file it cannot read) stays
// open; the next wait would then find that same dialog and type the next path
// into it. So the window just pressed must have closed: at once in the
// normal case, else within WAIT_TRIES further pauses, while the watch looks
// for the box that may be holding it open.
void EnsureClosed(HWND window, const char* failure)
{
    WorkerCheckpoint();
    if (!DialogClosed(&window) && !Poll(WAIT_TRIES, PauseOrder::BeforeEachLook, DialogClosed, &window))
        JobFailed(failure);
    WatchExpectNothing();
}

// How often AwaitTargetIdle looks while a modal window of Neat Image's is up.
constexpr DWORD kIdleSliceMs = 20;

// Before a command goes to Neat Image: it must have handled what it was
// given (a WM_NULL it answers comes after) and hold no modal window (its main
// and application windows enabled). A box that Neat Image is putting up is
// then visible, and the watch sees it: a command posted meanwhile would be
// handled by the box's own message loop, behind its back. Bounded by the
// wait of a dialog; past that the command goes as it would without this.
void AwaitTargetIdle()
{
    SendToTarget(TargetMainWindow, WM_NULL, 0, 0);
    DWORD start = GetTickCount();
    while (!IsWindowEnabled(TargetMainWindow) ||
           (TargetAppWindow != nullptr && IsWindow(TargetAppWindow) && !IsWindowEnabled(TargetAppWindow))) {
        if (GetTickCount() - start >= WAIT_TRIES * PAUSE_MS)
            break;
        WorkerPause(kIdleSliceMs);
        WatchTarget();
    }
    WatchTarget();
}

// Looks up a command that opens a file dialog, lets the watch expect that
// dialog, and posts the command.
void PostDialogCommand(const char* menu, const char* item, FileDialogKind kind)
{
    int id = LookUpCommand(menu, item);
    CommandFound = id != -1;
    WorkerCheckpoint();
    AwaitTargetIdle();
    const char* const* titles = nullptr;
    int count = FileDialogTitles(kind, &titles);
    WatchExpectFileDialog(titles, count);
    PostToTarget(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(id), 0);
}

// The file name box of a file dialog: its first direct "Edit" child; in the
// system's Explorer-style dialog, whose direct children hold none, the edit
// inside its "ComboBoxEx32" (id 1148); failing that the control with id 1152.
// None when there is none (yet).
HWND FindFileNameBox(HWND dialog)
{
    HWND edit = FindWindowExA(dialog, nullptr, kEditClass, nullptr);
    if (edit == nullptr) {
        HWND comboEx = GetDlgItem(dialog, kFileNameComboId);
        if (comboEx != nullptr) {
            HWND combo = FindWindowExA(comboEx, nullptr, "ComboBox", nullptr);
            edit = FindWindowExA(combo != nullptr ? combo : comboEx, nullptr, kEditClass, nullptr);
        }
    }
    if (edit == nullptr)
        edit = GetDlgItem(dialog, kFileNameEditId);
    return edit;
}

HWND FileNameBox(HWND dialog)
{
    HWND edit = FindFileNameBox(dialog);
    if (edit == nullptr)
        FatalUnlessClosed("Could not get handle to edit box");
    return edit;
}

// A file dialog's button: the child "Button" with this caption, or, in a
// dialog whose captions are in another language, its default button (IDOK).
// None when there is none (yet).
HWND FindDialogButton(HWND dialog, const char* caption)
{
    HWND button = FindWindowExA(dialog, nullptr, kButtonClass, caption);
    if (button == nullptr) {
        HWND ok = GetDlgItem(dialog, IDOK);
        char className[16] = "";
        if (ok != nullptr && GetClassNameA(ok, className, sizeof className) > 0 &&
            lstrcmpiA(className, kButtonClass) == 0)
            button = ok;
    }
    return button;
}

HWND DialogButton(HWND dialog, const char* caption, const char* failure)
{
    HWND button = FindDialogButton(dialog, caption);
    if (button == nullptr)
        FatalUnlessClosed(failure);
    return button;
}

// Presses a button of a dialog of Neat Image's: a WM_COMMAND carrying the
// button's identifier and BN_CLICKED, sent to the dialog with a bound. Unlike
// BM_CLICK it does not need the dialog to be the active window, which it is
// not while Neat Image runs in the background.
void Press(HWND dialog, HWND button)
{
    WorkerCheckpoint();
    SendToTarget(dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button) & 0xFFFF, BN_CLICKED),
                 reinterpret_cast<LPARAM>(button));
}

// Types a full path into an "Open" dialog, presses "&Open", pauses, and makes
// sure the dialog took the file.
void OpenInDialog(HWND dialog, const char* path, const char* notClosed)
{
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);
    SendToTarget(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path));
    AwaitTyped(edit, path);
    HWND open = DialogButton(dialog, kOpenButtonText, "Could not get handle to OK button");
    Press(dialog, open);
    PauseBeforeCommand();
    EnsureClosed(dialog, notClosed);
}

// Readiness of the JPEG options window that was found: enabled, its "OK"
// visible and enabled, answering.
ReadyLook JpegOptionsReady(void* context)
{
    HWND options = *static_cast<HWND*>(context);
    HWND ok = FindWindowExA(options, nullptr, kJpegOkClass, kJpegOkText);
    OptionsFacts facts = {};
    facts.enabled = IsWindowEnabled(options) != FALSE;
    facts.okFound = ok != nullptr;
    facts.okVisible = ok != nullptr && IsWindowVisible(ok);
    facts.okEnabled = ok != nullptr && IsWindowEnabled(ok);
    facts.answers = Answers(options);
    return {OptionsVerdict(facts), KeyOf(options, ok)};
}

// Confirms Neat Image's JPEG options window with its "OK" button.
void ConfirmJpegOptions()
{
    WatchExpectJpegOptions();
    PauseBeforePoll();
    HWND options = nullptr;
    if (!Poll(WAIT_TRIES, PauseOrder::AfterEachLook, JpegOptionsShown, &options))
        JobFailed("Could not get handle to JPEG Save window");
    WatchExpectWindow(options);
    AwaitReady(PAUSE_MS, JpegOptionsReady, &options);
    HWND ok = FindWindowExA(options, nullptr, kJpegOkClass, kJpegOkText);
    if (ok == nullptr)
        FatalUnlessClosed("Could not get handle to OK button");
    Press(options, ok);
    Trace("OK Clicked\n");
    EnsureClosed(options, "JPEG Save window did not close");
}

// The name read from and written back to the "Save As" dialog: room for a
// proposed name of up to 254 characters, a 4-character extension and the
// terminator. Outside the worker's stack, like every buffer it hands to a
// sent message.
char OutputName[260];

// Reads the proposed name into OutputName. A Neat Image too busy to answer
// within the send's bound is asked again after a pause, up to WAIT_TRIES
// times, with the watch looking in between.
void ReadProposedName(HWND edit)
{
    for (int attempt = 0; attempt < WAIT_TRIES; ++attempt) {
        OutputName[0] = '\0';
        WorkerCheckpoint();
        if (SendToTarget(edit, WM_GETTEXT, TEXT_MAX, reinterpret_cast<LPARAM>(OutputName))) {
            // At most 254 characters, as the limit of 255 gives on Windows,
            // however the other process's control fills the buffer.
            OutputName[TEXT_MAX - 1] = '\0';
            return;
        }
        Pause(PAUSE_MS);
    }
    FatalUnlessClosed("Could not read the proposed file name");
}

// Readiness of the saved output, named by OutputName: a full path, present,
// openable with no sharing (its writer is done with it), keeping its size
// over two looks.
ReadyLook OutputSaved(void*)
{
    OutputFacts facts = {};
    facts.fullPath = (OutputName[0] != '\0' && OutputName[1] == ':' && OutputName[2] == '\\') ||
                     (OutputName[0] == '\\' && OutputName[1] == '\\');
    DWORD size = 0;
    if (facts.fullPath) {
        DWORD attributes = GetFileAttributesA(OutputName);
        facts.exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        HANDLE file = facts.exists ? CreateFileA(OutputName, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
        if (file != INVALID_HANDLE_VALUE) {
            facts.openableAlone = true;
            size = GetFileSize(file, nullptr);
            CloseHandle(file);
        }
    }
    return {OutputVerdict(facts), static_cast<std::uintptr_t>(size)};
}

} // namespace

int ProcessImage(const char* imagePath, const char* profilePath)
{
    WorkerCheckpoint();
    WatchTarget();
    LogMessage("Processing image: %s", imagePath);

    // Open the image.
    PostDialogCommand(kMenuImage, kItemOpen, FileDialogKind::Open);
    HWND dialog =
        WaitForFileDialog(FileDialogKind::Open, PauseOrder::BeforeEachLook, ".", "Could not find Image Open Dialog");
    Trace("NeatWin/Dialog/Parent: %d / %d / %d\n", static_cast<int>(reinterpret_cast<INT_PTR>(TargetMainWindow)),
          static_cast<int>(reinterpret_cast<INT_PTR>(dialog)),
          static_cast<int>(reinterpret_cast<INT_PTR>(GetParent(dialog))));
    OpenInDialog(dialog, imagePath, "Image Open Dialog did not close");

    // Open the noise profile.
    PostDialogCommand(kMenuProfile, kItemOpen, FileDialogKind::Open);
    dialog = WaitForFileDialog(FileDialogKind::Open, PauseOrder::BeforeEachLook, nullptr,
                               "Could not find Profile Open Dialog");
    OpenInDialog(dialog, profilePath, "Profile Open Dialog did not close");

    // Apply the filter. A missing command would let the unfiltered image be
    // saved and the run report success, so it ends the process instead. The
    // send is not bounded: filtering may take minutes. Meanwhile the progress
    // tick does the watch's looking.
    int apply = LookUpCommand(kMenuFilter, kItemApply);
    if (apply == -1)
        FatalUnlessClosed("Could not find Filter Apply menu item");
    WorkerCheckpoint();
    AwaitTargetIdle();
    WatchInsideApply(true);
    SendMessageA(TargetMainWindow, WM_COMMAND, static_cast<WPARAM>(apply), 0);
    WatchInsideApply(false);
    CheckApplyFailure();
    WatchTarget();
    PauseBeforeCommand();

    // Save under the proposed name with the chosen extension.
    PostDialogCommand(kMenuImage, kItemSaveAs, FileDialogKind::SaveAs);
    PauseBeforePoll();
    dialog =
        WaitForFileDialog(FileDialogKind::SaveAs, PauseOrder::AfterEachLook, nullptr, "Could not find Save As Dialog");
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);
    ReadProposedName(edit);
    // An empty name would save as ".bmp" in Neat Image's current folder, and
    // every such job would overwrite the last.
    if (OutputName[0] == '\0')
        JobFailed("Neat Image proposed no file name");
    long formatIndex = OutputFormatIndex();
    const char* extension = OutputExtension(formatIndex);
    if (extension != nullptr)
        AppendOutputExtension(OutputName, sizeof OutputName, extension);
    WorkerCheckpoint();
    SendToTarget(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(OutputName));
    AwaitTyped(edit, OutputName);

    HWND save = DialogButton(dialog, kSaveButtonText, "Could not get handle to Save button");
    Press(dialog, save);
    EnsureClosed(dialog, "Save As Dialog did not close");

    if (formatIndex == 1)
        ConfirmJpegOptions();
    // With fast pacing the job ends once its output is complete.
    AwaitReady(PAUSE_MS, OutputSaved, nullptr);
    return 0;
}

void WatchAftermath()
{
    WatchExpectNothing();
    AwaitTargetIdle();
}

void SettleAfterLastJob()
{
    WatchExpectNothing();
    PauseUntilReady(PAUSE_MS, MainWindowReady, nullptr);
    WatchAftermath();
}

void SetFastPacing(bool on)
{
    FastPacing = on;
}
