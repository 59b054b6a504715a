// The reads of Neat Image's windows behind the readiness rules and the polls
// (target/looks.h). Runs on the batch worker. Every text handed to a sent
// message lives outside the worker's stack.
#include "target/looks.h"
#include "target/contract.h"
#include "target/dialogs.h"
#include "target/presses.h"
#include "target/send.h"
#include "tolvane.h"

namespace {

// How long a WM_NULL may take to count as an answer.
constexpr DWORD kAnswerMs = 250;

std::uintptr_t KeyOf(HWND a, HWND b = nullptr, HWND c = nullptr)
{
    auto v = [](HWND h) { return reinterpret_cast<std::uintptr_t>(h); };
    return v(a) ^ (v(b) << 1) ^ (v(c) << 2);
}

// What the file name box held at the last look.
char NameAtLook[TEXT_MAX + 1];

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

} // namespace

bool Answers(HWND window)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kAnswerMs, &result) != 0;
}

bool FileDialogShown(void* context)
{
    auto* wanted = static_cast<FileDialogWanted*>(context);
    for (int i = 0; i < wanted->count && wanted->found == nullptr; ++i)
        wanted->found = FindOwnedDialog(TargetAppWindow, kFileDialogClass, wanted->titles[i]);
    if (wanted->found == nullptr)
        wanted->found = FindFileDialogByShape(TargetAppWindow, wanted->titles, wanted->count);
    return wanted->found != nullptr;
}

// An application framework may create the JPEG options window hidden at
// start-up, long before a save shows it, and FindWindowEx finds hidden
// windows too: only a visible one counts.
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

// A closing dialog is hidden before it goes.
bool DialogClosed(void* context)
{
    HWND dialog = *static_cast<HWND*>(context);
    return !IsWindow(dialog) || !IsWindowVisible(dialog);
}

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

ReadyLook MainWindowReady(void* context)
{
    HWND pressed = context != nullptr ? *static_cast<HWND*>(context) : nullptr;
    return {MainVerdict(LookAtMain(pressed)), KeyOf(TargetMainWindow)};
}

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

// A full path, present, openable with no sharing (its writer is done with
// it), keeping its size over two looks.
ReadyLook OutputSaved(void* context)
{
    const char* output = static_cast<const char*>(context);
    OutputFacts facts = {};
    facts.fullPath =
        (output[0] != '\0' && output[1] == ':' && output[2] == '\\') || (output[0] == '\\' && output[1] == '\\');
    DWORD size = 0;
    if (facts.fullPath) {
        DWORD attributes = GetFileAttributesA(output);
        facts.exists = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
        HANDLE file = facts.exists ? CreateFileA(output, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)
                                   : INVALID_HANDLE_VALUE;
        if (file != INVALID_HANDLE_VALUE) {
            facts.openableAlone = true;
            size = GetFileSize(file, nullptr);
            CloseHandle(file);
        }
    }
    return {OutputVerdict(facts), static_cast<std::uintptr_t>(size)};
}
