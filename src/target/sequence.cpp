// The per-image sequence: drives Neat Image through one job the way a user
// would, paced by the job's pacing and by polling for its windows.
//
// Runs on the batch worker. Every pause wakes at once on Stop, and every step
// against Neat Image is preceded by a checkpoint where a stopped worker
// leaves. Every pause and poll also looks at Neat Image (target/watch.h): a
// closed Neat Image or one of its boxes is reported within seconds. Nothing
// here decides what a fault means for the run: the worker does.
#include "target/commands.h"
#include "target/contract.h"
#include "target/dialogs.h"
#include "target/extension.h"
#include "target/failure.h"
#include "target/looks.h"
#include "target/output_path.h"
#include "target/presses.h"
#include "target/send.h"
#include "target/target.h"
#include "target/wait.h"
#include "target/watch.h"
#include "batch/stop.h"
#include "diag/diag.h"
#include "tolvane.h"

namespace {

// The name read from the "Save As" dialog, with the output extension
// appended: room for a proposed name of up to 254 characters, a 4-character
// extension and the terminator. Then the full path typed back, the same
// name put in the image's folder when it came without one. Outside the
// worker's stack, like every buffer it hands to a sent message.
char ProposedName[kOutputNameSize];
char OutputName[kOutputNameSize];
// Why the output could not be placed.
char PlaceFailure[kOutputNameSize + 200];

// Waits for a file dialog of this kind; the job fails with `failure` when it
// does not come within WAIT_TRIES tries. The watch lets it show meanwhile.
// Then, where the pacing says so, waits at most one pause until the dialog is
// ready.
HWND WaitForFileDialog(const Pacing& pacing, FileDialogKind kind, PauseOrder order, const char* traceEachTry,
                       const char* failure)
{
    FileDialogWanted wanted = {nullptr, 0, nullptr};
    wanted.count = FileDialogTitles(kind, &wanted.titles);
    if (Poll(pacing, WAIT_TRIES, order, FileDialogShown, &wanted, traceEachTry) != WaitEnd::Passed)
        JobFailed(failure);
    WatchExpectWindow(wanted.found);
    const bool saveAs = kind == FileDialogKind::SaveAs;
    DialogWanted ready = {wanted.found, saveAs ? kSaveButtonText : kOpenButtonText, saveAs};
    // Not ready within its bound, the dialog is used as it is: a missing
    // control is then the step's own failure.
    (void)PauseAt(pacing, PausePoint::DialogFound, FileDialogReady, &ready);
    return wanted.found;
}

// Opens a file through Neat Image's menu command and its "Open" dialog: types
// the full path, presses "&Open", and makes sure the dialog took the file.
void OpenFile(const Pacing& pacing, const char* menu, const char* path, const char* traceEachTry, const char* notFound,
              const char* notClosed)
{
    PostDialogCommand(pacing, menu, kItemOpen, FileDialogKind::Open, notFound);
    HWND dialog = WaitForFileDialog(pacing, FileDialogKind::Open, PauseOrder::BeforeEachLook, traceEachTry, notFound);
    if (traceEachTry != nullptr)
        Trace("NeatWin/Dialog/Parent: %d / %d / %d\n", static_cast<int>(reinterpret_cast<INT_PTR>(TargetMainWindow)),
              static_cast<int>(reinterpret_cast<INT_PTR>(dialog)),
              static_cast<int>(reinterpret_cast<INT_PTR>(GetParent(dialog))));
    WorkerCheckpoint();
    HWND edit = FileNameBox(dialog);
    TypeInto(pacing, edit, path);
    HWND open = DialogButton(dialog, kOpenButtonText, "Could not get handle to OK button");
    Press(dialog, open);
    (void)PauseAt(pacing, PausePoint::AfterPress, nullptr, nullptr);
    EnsureClosed(pacing, dialog, notClosed);
}

// Puts the proposed name, extension appended, where the output must go:
// unchanged when it is a full path, else in the image's folder. The system's
// newer Save dialog shows a proposed full path without its folder and opens
// in a folder of its own choosing (often the one chosen last), so a bare name
// would land there; a typed full path decides the folder. A path that does
// not fit what the dialog's box is read and written with fails the job.
void PlaceOutputName(const char* image)
{
    OutputPlace place = PlaceOutput(image, ProposedName, OutputName, sizeof OutputName);
    if (OutputPlaced(place))
        return;
    // The reason first: the fault's text is cut to a line's length.
    if (place == OutputPlace::TooLong) {
        FormatText(PlaceFailure, sizeof PlaceFailure,
                   "Could not save: the output's full path would be longer than %u characters: %s",
                   static_cast<unsigned>(kOutputNameSize - 1), ProposedName);
    } else {
        const char* why = place == OutputPlace::DriveRelative   ? "is relative to a drive's current folder"
                          : place == OutputPlace::NoImageFolder ? "has no folder to go in (the image's path has none)"
                                                                : "is empty";
        FormatText(PlaceFailure, sizeof PlaceFailure, "Could not save: the proposed name %s: %s", why, ProposedName);
    }
    JobFailed(PlaceFailure);
}

// Saves under the proposed name with the extension of the format chosen now
// appended unless the name already ends with it, in the image's folder unless
// the name is a full path. Leaves the path used in OutputName; true when the
// format is JPEG. The file name box is looked up again for each use.
bool SaveUnderProposedName(const TargetJob& job)
{
    PostDialogCommand(job.pacing, kMenuImage, kItemSaveAs, FileDialogKind::SaveAs, "Could not find Save As Dialog");
    (void)PauseAt(job.pacing, PausePoint::BeforeSaveAsPoll, nullptr, nullptr);
    HWND dialog = WaitForFileDialog(job.pacing, FileDialogKind::SaveAs, PauseOrder::AfterEachLook, nullptr,
                                    "Could not find Save As Dialog");
    WorkerCheckpoint();
    OutputName[0] = '\0';
    ReadProposedName(job.pacing, FileNameBox(dialog), ProposedName, sizeof ProposedName);
    // An empty name would save as ".bmp" in Neat Image's current folder, and
    // every such job would overwrite the last.
    if (ProposedName[0] == '\0')
        JobFailed("Neat Image proposed no file name");
    long formatIndex = job.formatIndex != nullptr ? job.formatIndex() : -1;
    if (const char* extension = OutputExtension(formatIndex))
        AppendOutputExtension(ProposedName, sizeof ProposedName, extension);
    PlaceOutputName(job.image);
    WorkerCheckpoint();
    TypeInto(job.pacing, FileNameBox(dialog), OutputName);
    HWND save = DialogButton(dialog, kSaveButtonText, "Could not get handle to Save button");
    Press(dialog, save);
    EnsureClosed(job.pacing, dialog, "Save As Dialog did not close");
    return formatIndex == 1;
}

// Confirms Neat Image's JPEG options window with its "OK" button.
void ConfirmJpegOptions(const Pacing& pacing)
{
    WatchExpectJpegOptions();
    (void)PauseAt(pacing, PausePoint::BeforeJpegPoll, nullptr, nullptr);
    HWND options = nullptr;
    if (Poll(pacing, WAIT_TRIES, PauseOrder::AfterEachLook, JpegOptionsShown, &options) != WaitEnd::Passed)
        JobFailed("Could not get handle to JPEG Save window");
    WatchExpectWindow(options);
    (void)PauseAt(pacing, PausePoint::OptionsFound, JpegOptionsReady, &options);
    HWND ok = FindWindowExA(options, nullptr, kJpegOkClass, kJpegOkText);
    if (ok == nullptr)
        FaultUnlessClosed(FaultKind::Contract, "Could not get handle to OK button");
    Press(options, ok);
    Trace("OK Clicked\n");
    EnsureClosed(pacing, options, "JPEG Save window did not close");
}

// When the job at hand began, in file time (100 ns units).
ULONGLONG JobStart;

ULONGLONG FileTimeValue(const FILETIME& time)
{
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// Whether the output named by a full path exists as a file written since the
// job began. A file system keeps write times coarsely (FAT to 2 s), so a
// write time up to 2 s before the start still counts; an older file is one
// an earlier job or session left, not this job's output.
bool OutputWritten(const char* path)
{
    constexpr ULONGLONG kGranularity = 2 * 10000000ull;
    WIN32_FILE_ATTRIBUTE_DATA data = {};
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
        return false;
    return FileTimeValue(data.ftLastWriteTime) + kGranularity >= JobStart;
}

bool OutputAppeared(void* context)
{
    return OutputWritten(static_cast<const char*>(context));
}

// The end of a job: with fast pacing it waits until its output is complete;
// a box Neat Image raises after the save belongs to this job and is looked
// for once Neat Image has handled what it was given (for the run's last job
// after one more pause, `settle`); and the output must exist by then, or
// within one more pause, written since the job began; then its full path is
// logged as saved. A path not written the usual way ("C:/...") is not looked
// for.
void FinishJob(const Pacing& pacing, bool settle)
{
    WaitEnd written = PauseAt(pacing, PausePoint::OutputWritten, OutputSaved, OutputName);
    WatchExpectNothing();
    if (settle)
        (void)PauseAt(pacing, PausePoint::AfterLastJob, MainWindowReady, nullptr);
    AwaitTargetIdle(pacing);
    if (written == WaitEnd::CannotTell || OutputSaved(OutputName).verdict == Verdict::CannotTell)
        return;
    if (OutputWritten(OutputName) ||
        Poll(pacing, 1, PauseOrder::BeforeEachLook, OutputAppeared, OutputName) == WaitEnd::Passed) {
        WorkerCheckpoint();
        LogMessage("Saved: %s", OutputName);
        return;
    }
    char reason[300];
    FormatText(reason, sizeof reason, "Neat Image wrote no %s", OutputName);
    RaiseFault(FaultKind::NotWritten, reason);
}

} // namespace

void ProcessImage(const TargetJob& job, bool settle)
{
    WorkerCheckpoint();
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    JobStart = FileTimeValue(now);
    WatchTarget();
    AcceptDialogsByShape(job.carryOn);
    LogMessage("Processing image: %s", job.image);

    OpenFile(job.pacing, kMenuImage, job.image, ".", "Could not find Image Open Dialog",
             "Image Open Dialog did not close");
    OpenFile(job.pacing, kMenuProfile, job.profile, nullptr, "Could not find Profile Open Dialog",
             "Profile Open Dialog did not close");

    ApplyFilter(job.pacing);
    (void)PauseAt(job.pacing, PausePoint::AfterApply, nullptr, nullptr);

    if (SaveUnderProposedName(job))
        ConfirmJpegOptions(job.pacing);
    FinishJob(job.pacing, settle);
}

const char* LastOutputName()
{
    return OutputName;
}

void SettleAfterLastJob(const Pacing& pacing)
{
    WatchExpectNothing();
    (void)PauseAt(pacing, PausePoint::AfterLastJob, MainWindowReady, nullptr);
    AwaitTargetIdle(pacing);
}
