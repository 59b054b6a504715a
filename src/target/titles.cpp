// The titles of the system's own file dialogs in the display language.
//
// A file dialog that Neat Image opens through the system shows the system's
// title for it: "Open" and "Save As" in English, "Öffnen" and "Speichern
// unter" in German Windows. The titles are read from the common-dialog
// library's own resources, never from a table of translations: the caption of
// its Explorer-style dialog template and the strings it titles its dialogs
// with. Each source is read where it exists, and a title found twice counts
// once. The resource numbers differ between Windows and Wine; each is tried,
// and a resource a system does not have adds nothing.
#include "target/titles.h"
#include "target/contract.h"
#include "target/watch_text.h"
#include "diag/diag.h"

#include <windows.h>

#include <cstring>

namespace {

constexpr int kMaxTitles = 4;

// Explorer-style open dialog template (NEWFILEOPENORD), whose caption is the
// Open dialog's title.
constexpr int kExplorerTemplate = 1547;
// String resources: the Open title (Windows), the Save As title (Windows,
// then Wine).
constexpr UINT kOpenStrings[] = {384};
constexpr UINT kSaveAsStrings[] = {369, 1204};

struct TitleSet {
    char text[kMaxTitles][256];
    const char* titles[kMaxTitles];
    int count;
};
TitleSet OpenTitles;
TitleSet SaveAsTitles;

// Adds a title unless it is empty, too long to be read back whole, holds a
// control character, or is there already.
void AddTitle(TitleSet& set, const char* title)
{
    std::size_t len = std::strlen(title);
    if (len == 0 || len >= static_cast<std::size_t>(TEXT_MAX) || set.count >= kMaxTitles)
        return;
    for (const char* p = title; *p != '\0'; ++p)
        if (static_cast<unsigned char>(*p) < 0x20)
            return;
    for (int i = 0; i < set.count; ++i)
        if (std::strcmp(set.titles[i], title) == 0)
            return;
    std::memcpy(set.text[set.count], title, len + 1);
    set.titles[set.count] = set.text[set.count];
    ++set.count;
}

void AddStringResource(TitleSet& set, HMODULE library, UINT id)
{
    char text[256] = "";
    if (LoadStringA(library, id, text, sizeof text) > 0)
        AddTitle(set, text);
}

// The caption of the library's Explorer-style template, in the ANSI code
// page (as GetWindowTextA reads a dialog's title).
void AddTemplateCaption(TitleSet& set, HMODULE library)
{
    HRSRC found = FindResourceA(library, MAKEINTRESOURCEA(kExplorerTemplate), MAKEINTRESOURCEA(5)); // RT_DIALOG
    if (found == nullptr)
        return;
    HGLOBAL loaded = LoadResource(library, found);
    const void* data = loaded != nullptr ? LockResource(loaded) : nullptr;
    if (data == nullptr)
        return;
    wchar_t caption[256];
    if (!DialogTemplateCaption(static_cast<const unsigned char*>(data), SizeofResource(library, found), caption, 256))
        return;
    char text[256] = "";
    int n = WideCharToMultiByte(CP_ACP, 0, caption, -1, text, sizeof text, nullptr, nullptr);
    if (n > 0)
        AddTitle(set, text);
}

// Appends text to buf (size bytes, terminated) as far as it fits.
void Append(char* buf, std::size_t size, std::size_t* len, const char* text)
{
    for (const char* p = text != nullptr ? text : ""; *p != '\0' && *len + 1 < size; ++p)
        buf[(*len)++] = *p;
    buf[*len] = '\0';
}

// Appends the titles, each in double quotes, separated by ", ".
void AppendQuoted(char* buf, std::size_t size, std::size_t* len, const char* const* texts, int count)
{
    for (int i = 0; i < count; ++i) {
        if (i > 0)
            Append(buf, size, len, ", ");
        Append(buf, size, len, "\"");
        Append(buf, size, len, texts[i]);
        Append(buf, size, len, "\"");
    }
}

void InitWithEnglish()
{
    if (OpenTitles.count == 0)
        AddTitle(OpenTitles, kOpenDialogTitle);
    if (SaveAsTitles.count == 0)
        AddTitle(SaveAsTitles, kSaveAsDialogTitle);
}

} // namespace

void LoadSystemDialogTitles()
{
    InitWithEnglish();
    HMODULE library = LoadLibraryA("comdlg32.dll");
    if (library == nullptr)
        return;
    AddTemplateCaption(OpenTitles, library);
    for (UINT id : kOpenStrings)
        AddStringResource(OpenTitles, library, id);
    for (UINT id : kSaveAsStrings)
        AddStringResource(SaveAsTitles, library, id);
}

int FileDialogTitles(FileDialogKind kind, const char* const** titles)
{
    InitWithEnglish();
    TitleSet& set = kind == FileDialogKind::Open ? OpenTitles : SaveAsTitles;
    *titles = set.titles;
    return set.count;
}

// One line, bounded by its buffer, so that whatever the system's titles hold
// the log line is cut rather than overrun.
void FormatDialogTitles(char* buf, std::size_t size, const char* const* open, int openCount, const char* const* saveAs,
                        int saveAsCount, const char* openButton, const char* saveButton)
{
    if (buf == nullptr || size == 0)
        return;
    std::size_t len = 0;
    buf[0] = '\0';
    Append(buf, size, &len, "Dialog titles: Open ");
    AppendQuoted(buf, size, &len, open, openCount);
    Append(buf, size, &len, "; Save As ");
    AppendQuoted(buf, size, &len, saveAs, saveAsCount);
    Append(buf, size, &len, "; buttons ");
    const char* buttons[] = {openButton, saveButton};
    AppendQuoted(buf, size, &len, buttons, 2);
}

// The line is formatted outside the worker's stack, like every text it
// builds, and logged as data.
void LogDialogTitles()
{
    static char line[1024];
    const char* const* open = nullptr;
    const char* const* saveAs = nullptr;
    int openCount = FileDialogTitles(FileDialogKind::Open, &open);
    int saveAsCount = FileDialogTitles(FileDialogKind::SaveAs, &saveAs);
    FormatDialogTitles(line, sizeof line, open, openCount, saveAs, saveAsCount, kOpenButtonText, kSaveButtonText);
    LogMessage("%s", line);
}
