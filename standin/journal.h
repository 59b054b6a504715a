// The event journal of the stand-in application.
//
// One line per event, written with a single WriteFile so that a reader sees
// every line as soon as it happens:
//
//     <GetTickCount() in ms> <event> [<args>]
//
// Path arguments always come last on the line, so a path with blanks reads as
// "the rest of the line". Events:
//
//   start <pid> <main hwnd> <app hwnd>   both windows exist (handles in decimal)
//   minimised <iconic|not-iconic>        --start-minimised: right after "start", whether the
//                                        main window really is iconic
//   menu <name>                          a menu command arrived; name is image-open,
//                                        profile-open, filter-apply, image-saveas or other
//   queued <name> <tick>                 just before "menu <name>": that command was posted
//                                        at <tick> and waited 5 ms or more in the queue
//                                        while the stand-in was busy (--load-ms, --save-ms)
//   busy <name>                          that command arrived while another one was still
//                                        being handled (inside its dialog); it was dropped
//   never <kind>                         --never: the window was not shown, command swallowed
//   hidden <kind>                        --hidden: the window was created but not shown
//   shown <kind>                         a window became visible; kind is image-open,
//                                        profile-open, save-as, jpeg-options or calc
//   cancelled <kind>                     a dialog or the JPEG options window was cancelled
//   accepted <kind>                      the stand-in's own file dialog took a name and is gone;
//                                        the work on that file begins
//   refused <kind> <path>                --refuse: the file dialog refused that file and stays open
//   image-opened <path> / open-failed <path>
//   profile-opened <path> / profile-failed <path>
//   filter-begin / filter-applied <ms> / filter-failed <no-image|no-profile>
//   saved <TIFF|JPEG|BMP> <path> / save-failed <path>
//   exit-at <step>                       --exit-at: the process ends right after this line
//   box <step> / box-answered <step>     --box-at: the box is about to show / was answered
//   confirm <path>                       --confirm-overwrite: the Save As dialog asks whether
//                                        to replace that existing file
//   confirm-answered <yes|no>            ... and was answered
//   ignored jpeg-ok                      --jpeg-form-hidden: "OK" of the hidden JPEG options
//                                        window was pressed while no JPEG save waited for it
//   ignored <name>                       the menu command's item was disabled (--load-ms);
//                                        the command did nothing
//   loading <image|profile> / loaded <image|profile>
//                                        --load-ms: loading began / ended, its items enabled again
//   controls <kind>                      --staged-dialog: the file name box and button were created
//   named <kind>                         --late-name: the Save As dialog filled in its proposed name
//   save-begin <path>                    --save-ms: the first piece of the output is about to be written
//   dialog-failed <kind> <code>          --system-dialogs: the system's dialog failed
//                                        (CommDlgExtendedError in hex); "cancelled <kind>" follows
//   system-titles <ms> <open>|<open button>|<save as>|<save button>
//                                        --system-titles: the system dialogs' texts, read at
//                                        start-up in <ms> milliseconds (before "start")
//   exit                                 the main window is closing
//
// The journal file is opened for appending and shared for reading and
// writing, so a test can read it while the application runs.
#ifndef STANDIN_JOURNAL_H
#define STANDIN_JOURNAL_H

#include <string>

namespace standin {

// Opens (creating or appending to) the journal file; returns false on failure.
bool OpenJournal(const std::string& path);

// Writes one event line. Does nothing when no journal is open.
void Journal(const char* event, const std::string& args = std::string());

void CloseJournal();

} // namespace standin

#endif
