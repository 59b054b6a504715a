// Command-line switches of the stand-in application.
//
// All switches are optional. KIND names one of the four windows a command can
// open: image-open, profile-open, save-as, jpeg-options. NAME names one of the
// four menu items: image-open, profile-open, filter-apply, image-saveas.
//
//   --journal PATH        write the event journal to PATH (none: no journal)
//   --delay KIND MS       wait MS milliseconds, serving messages, before that window appears
//   --never KIND          that window never appears; its command is swallowed
//   --wrong-title KIND    the window's title differs in letter case
//                         ("open", "save as", "jpeg save options")
//   --hidden KIND         the window is created but never shown
//   --no-edit KIND        the file dialog has no Edit child (file dialogs only)
//   --no-button KIND      no "&Open" / "&Save" button; for jpeg-options no "OK" TBitBtn
//   --no-menu-item NAME   that menu item is left out of the menu bar
//   --filter-ms MS        filtering takes at least MS milliseconds, progress spread over them
//   --main-title TEXT     fixed title of the main window
//   --app-title TEXT      title of the application window (default "Neat Image")
//   --class-suffix S      appended to the class names "TForm1" and "TApplication"
//   --refuse KIND NAME    the file dialog refuses a chosen file named NAME (its name
//                         without folder) and stays open, as for a file the program
//                         cannot read; journals "refused <kind> <path>" (file dialogs only)
//   --propose NAME        the Save As box proposes NAME; "{dir}", "{base}" and "{ext}"
//                         stand for the image's folder, base name and extension (with its dot)
//
// Slowness of a real application, each journaled so that a test can see what
// came while it lasted:
//
//   --load-ms MS          after an image or a profile is opened, loading goes on for MS
//                         milliseconds on the UI thread, in slices of up to 30 ms of work
//                         between which messages are served. Meanwhile "&Filter" > "&Apply"
//                         and "&Image" > "Save &as..." are disabled, and a command that
//                         reaches a disabled item is ignored as a real menu ignores it:
//                         journals "loading <image|profile>", "loaded <image|profile>" and
//                         "ignored <name>" (after "menu <name>")
//   --staged-dialog KIND MS  the stand-in's own file dialog of that kind shows at once
//                         without its file name box and its button; both are created MS
//                         milliseconds later; journals "controls <kind>" then (file dialogs
//                         only)
//   --late-name MS        the stand-in's own Save As dialog shows with its file name box
//                         empty and fills in the name it proposes MS milliseconds later, as
//                         a program that works out the name after showing the dialog;
//                         journals "named save-as" then
//   --save-ms MS          the output file is written over MS milliseconds once the dialogs
//                         have closed, in ten growing pieces on a timer, held open without
//                         sharing until it is complete, while the UI thread goes on serving
//                         messages (a save in the background); journals "save-begin <path>"
//                         before the first piece, "saved" after the last
//
// Surprises, each a fault that really happens. STEP names a point of the work:
// image-open, profile-open, filter, save.
//
//   --exit-at STEP        the process ends at once (TerminateProcess of itself, exit code
//                         99, no window closed) after journaling "exit-at <step>":
//                         image-open / profile-open when the file dialog has accepted a
//                         file, instead of opening it; filter halfway through, inside the
//                         handling of "&Apply"; save when the Save As dialog has accepted
//                         a name, before the JPEG options or any writing
//   --box-at STEP TEXT    a modal MessageBoxA (owner: the application window, caption
//                         "Neat Image", MB_OK | MB_ICONWARNING) with TEXT, journaled
//                         "box <step>" before and "box-answered <step>" after; the run then
//                         goes on. STEP image-open: right after an image was opened;
//                         filter: halfway through, inside the handling of "&Apply", so its
//                         sender stays blocked; save: right after the file was saved.
//                         (profile-open is not a step for this switch.) At a step that
//                         also has --exit-at, the process ends before any box.
//   --box-only NAME       the --box-at boxes come only for the image whose file name
//                         (without folder) is NAME
//   --hang-at STEP        the UI thread stops dispatching for good after journaling
//                         "hang-at <step>", at the points of --exit-at (filter: halfway
//                         through, inside the handling of "&Apply", progress window up)
//   --close-at STEP       the process ends as a user's close ends it, with exit code 0,
//                         after journaling "close-at <step>", at the points of --exit-at
//   --surprise-only NAME  --exit-at, --hang-at and --close-at come only for the image
//                         whose file name (without folder) is NAME
//   --once FILE           --exit-at, --hang-at and --close-at fire only while FILE does
//                         not exist, and create it as they fire: an instance started
//                         again afterwards goes on normally
//
// Started with no arguments at all, the stand-in takes its switches from the
// environment variable TOLVANE_STANDIN_ARGS (a command line), as an instance
// that the program under test starts again inherits them; and it loads the
// DLL named by TOLVANE_STANDIN_BRIDGE, if any, before it creates a window.
//   --no-output NAME      the save of the image whose file name (without folder) is
//                         NAME writes nothing: its Save As dialog (and JPEG options)
//                         come and close as usual, then no file is written and no
//                         earlier file is touched; journals "no-output <path>"
//   --confirm-overwrite   the stand-in's own Save As dialog, when the chosen file exists,
//                         asks "<full path> already exists.\nDo you want to replace it?" in a
//                         "Confirm Save As" Yes/No box owned by the dialog, from inside the
//                         handling of the press; Yes saves, No keeps the dialog open.
//                         Journals "confirm <path>" and "confirm-answered <yes|no>"
//   --jpeg-form-hidden    the JPEG options window exists from start-up, hidden, as an
//                         application framework creates its forms; a JPEG save shows that
//                         same window and hides it again (never destroys it). Its "OK"
//                         pressed while no JPEG save waits journals "ignored jpeg-ok"
//                         and does nothing else
//   --system-dialogs      the Open and Save As dialogs are the system's own
//                         (GetOpenFileNameA / GetSaveFileNameA, Explorer style with a hook
//                         procedure, OFN_FILEMUSTEXIST / OFN_OVERWRITEPROMPT, default
//                         titles, owned by the application window). Of the KIND switches,
//                         --delay, --never and --refuse apply to them; --wrong-title,
//                         --hidden, --no-edit, --no-button and --confirm-overwrite do not
//   --system-titles       the stand-in's own file dialogs take the titles and the
//                         "&Open" / "&Save" captions of the running system's Open and Save
//                         As dialogs, read once at start-up from real system dialogs that
//                         are cancelled before they show; journals
//                         "system-titles <ms> <open>|<open button>|<save as>|<save button>"
//   --start-minimised     the main window starts minimised (iconic, not activated), as a
//                         user leaves the program on the taskbar; journals
//                         "minimised iconic" right after "start"
//   --bare-proposed-name  the Save As box proposes its name without the folder (the file
//                         name alone), and the dialog opens in the folder chosen last in a
//                         file dialog, the noise profile's, as the system's newer Save
//                         dialog does with a proposed full path on Windows: a name typed
//                         without a folder then saves beside the profile
//   --nested-name-box     the stand-in's own Save As dialog has no direct Edit child and no
//                         control 1148 or 1152: its file name box is the Edit of a ComboBox
//                         (id 1001) inside a FloatNotifySink inside a DirectUIHWND inside a
//                         DUIViewWndClassName, as in the system's newer Save dialog (the
//                         system's own dialogs of --system-dialogs keep their layout)
//   --language fr         the stand-in's own file dialogs are titled and captioned in
//                         French ("Ouvrir", "Enregistrer sous", "&Ouvrir", "&Enregistrer",
//                         "Annuler"), so that no English or system title matches; with
//                         --system-dialogs the system's dialogs get the French titles.
//                         "en" (the default) keeps the English texts
//   --text-box-at STEP TEXT  a modal box without any button: a top-level "#32770" owned by
//                         the main window, captioned "Neat Image", with TEXT in a static
//                         control, at the points of --box-at (and for the image of
//                         --box-only). It closes on IDCANCEL or WM_CLOSE alone; journals
//                         "text-box <step>" and "text-box-closed <step> <cancel|close>"
//
// Switches may repeat (--never image-open --never save-as). An unknown switch,
// a missing or malformed argument, or an unknown KIND/NAME is a usage error.
// A usage error prints a usage line on standard output and ends the program
// with exit code 2; a journal file that cannot be opened ends it with code 3.
#ifndef STANDIN_OPTIONS_H
#define STANDIN_OPTIONS_H

#include <string>
#include <vector>

namespace standin {

enum Kind { KIND_IMAGE_OPEN = 0, KIND_PROFILE_OPEN, KIND_SAVE_AS, KIND_JPEG_OPTIONS, KIND_COUNT };
enum MenuName { MENU_IMAGE_OPEN = 0, MENU_PROFILE_OPEN, MENU_FILTER_APPLY, MENU_IMAGE_SAVEAS, MENU_COUNT };
enum Step { STEP_IMAGE_OPEN = 0, STEP_PROFILE_OPEN, STEP_FILTER, STEP_SAVE, STEP_COUNT };

// The exit code of a process ended by --exit-at.
constexpr unsigned kExitAtCode = 99;

struct KindOptions {
    unsigned delayMs = 0;
    bool never = false;
    bool wrongTitle = false;
    bool hidden = false;
    bool noEdit = false;
    bool noButton = false;
    std::string refuseName; // --refuse: this file name keeps the dialog open
    unsigned stagedMs = 0;  // --staged-dialog: its controls come this much later
};

struct Options {
    std::string journal;
    KindOptions kind[KIND_COUNT];
    bool noMenuItem[MENU_COUNT] = {false, false, false, false};
    unsigned filterMs = 0;
    unsigned loadMs = 0;
    unsigned saveMs = 0;
    unsigned lateNameMs = 0; // --late-name
    bool haveMainTitle = false;
    std::string mainTitle;
    std::string appTitle = "Neat Image";
    std::string classSuffix;
    bool havePropose = false;
    std::string propose;
    bool exitAt[STEP_COUNT] = {false, false, false, false};
    bool hangAt[STEP_COUNT] = {false, false, false, false};
    bool closeAt[STEP_COUNT] = {false, false, false, false};
    std::string surpriseOnly; // --surprise-only: the one image whose steps get --exit-at, --hang-at, --close-at
    std::string once;         // --once: the marker file of a surprise that has fired
    bool boxAt[STEP_COUNT] = {false, false, false, false};
    std::string boxText[STEP_COUNT];
    std::string boxOnly;  // --box-only: the one image whose steps get the boxes
    std::string noOutput; // --no-output: the one image whose save writes nothing
    bool confirmOverwrite = false;
    bool jpegFormHidden = false;
    bool systemDialogs = false;
    bool systemTitles = false;
    bool startMinimised = false;
    bool bareProposedName = false; // --bare-proposed-name
    bool nestedNameBox = false;    // --nested-name-box
    bool french = false;           // --language fr
    bool textBoxAt[STEP_COUNT] = {false, false, false, false};
    std::string textBoxText[STEP_COUNT];
};

// The journal and switch names of the kinds and menu items.
const char* KindName(Kind kind);
const char* MenuNameText(MenuName name);
const char* StepName(Step step);

// Parses argv[1..argc-1]. On a usage error returns false with a short reason.
bool ParseOptions(const std::vector<std::string>& args, Options& out, std::string& error);

// One line listing the switches, for the usage message.
const char* UsageLine();

} // namespace standin

#endif
