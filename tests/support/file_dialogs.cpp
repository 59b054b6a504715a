// The job list tests' open dialogs and files (see file_dialogs.h).
#include "file_dialogs.h"

#include <commdlg.h>

namespace dialogs {

std::string Join(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '\\')
        return folder + name;
    return folder + "\\" + name;
}

std::string FolderOf(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\'));
}

bool SameFolder(const std::string& a, const std::string& b)
{
    return lstrcmpiA(a.c_str(), b.c_str()) == 0;
}

bool MakeFiles(const std::string& folder, const std::vector<std::string>& names)
{
    for (const auto& n : names)
        if (!rig::WriteFileText(Join(folder, n), "test image\r\n"))
            return false;
    return true;
}

void RemoveTree(const std::string& folder)
{
    WIN32_FIND_DATAA found;
    HANDLE find = FindFirstFileA(Join(folder, "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = Join(folder, name);
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                RemoveTree(path);
            else
                DeleteFileA(path.c_str());
        } while (FindNextFileA(find, &found));
        FindClose(find);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string MakeDeepFolder(const std::string& base, size_t length)
{
    if (base.empty() || base.size() + 2 > length)
        return std::string();
    std::string path = base;
    while (path.size() < length) {
        size_t remaining = length - path.size();
        size_t segment = remaining - 1 < 100 ? remaining - 1 : 100;
        if (remaining - 1 - segment == 1)
            --segment; // a last segment needs at least one character
        path += "\\" + std::string(segment, 'd');
        if (!CreateDirectoryA(path.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
            return std::string();
    }
    return path;
}

std::string DialogFolder(HWND dialog)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(dialog, &pid);
    HANDLE process = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (!process)
        return std::string();
    const SIZE_T size = 1024;
    std::string folder;
    // Room for size characters of either kind.
    void* remote = VirtualAllocEx(process, nullptr, 2 * size, MEM_COMMIT, PAGE_READWRITE);
    if (remote) {
        DWORD_PTR result = 0;
        if (SendMessageTimeoutA(dialog, CDM_GETFOLDERPATH, size, reinterpret_cast<LPARAM>(remote), SMTO_ABORTIFHUNG,
                                3000, &result) &&
            static_cast<LONG_PTR>(result) > 0) {
            // The dialog answers in its own kind: UTF-16 for one opened with
            // GetOpenFileNameW (as Tolvane's are), ANSI otherwise. A path's
            // second byte is zero only in UTF-16.
            char text[2 * size] = "";
            SIZE_T got = 0;
            ReadProcessMemory(process, remote, text, sizeof text, &got);
            text[sizeof text - 2] = '\0';
            text[sizeof text - 1] = '\0';
            if (text[0] != '\0' && text[1] == '\0') {
                char ansi[size] = "";
                WideCharToMultiByte(CP_ACP, 0, reinterpret_cast<const wchar_t*>(text), -1, ansi, size - 1, nullptr,
                                    nullptr);
                folder = ansi;
            } else {
                folder = text;
            }
        }
        VirtualFreeEx(process, remote, 0, MEM_RELEASE);
    }
    CloseHandle(process);
    return folder;
}

HWND FileNameBox(HWND dialog)
{
    HWND comboEx = FindWindowExA(dialog, nullptr, "ComboBoxEx32", nullptr);
    return comboEx ? rig::FindDescendant(comboEx, "Edit", nullptr) : nullptr;
}

std::string Quoted(const std::vector<std::string>& names)
{
    std::string text;
    for (const auto& n : names)
        text += (text.empty() ? "\"" : " \"") + n + "\"";
    return text;
}

std::vector<std::string> AnswerBoxes(DWORD pid, HWND except)
{
    std::vector<std::string> seen;
    for (HWND w : rig::TopWindowsOf(pid)) {
        if (w == except || rig::ClassOf(w) != "#32770" || rig::TitleOf(w) == "Tolvane")
            continue;
        if (rig::TitleOf(w) == kImageTitle || rig::TitleOf(w) == kProfileTitle) {
            // A file dialog raises its boxes under its own caption; a box
            // has a text control with id 0xFFFF, the dialog has none.
            if (!GetDlgItem(w, 0xFFFF))
                continue;
        }
        HWND text = GetDlgItem(w, 0xFFFF);
        seen.push_back(rig::TitleOf(w) + ": " + (text ? rig::TextOf(text) : std::string()));
        rig::AnswerMessageBox(w, IDOK);
        rig::WaitForWindowGone(w, 2000);
    }
    return seen;
}

DialogSeen WorkDialog(DWORD pid, const DialogAction& action, DWORD appearMs)
{
    DialogSeen seen;
    HWND dialog = rig::WaitForWindow("#32770", action.title, pid, appearMs);
    if (!dialog)
        return seen;
    seen.appeared = true;
    auto gone = [&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); };
    auto cancel = [&] {
        rig::PostCommand(dialog, IDCANCEL);
        seen.closed = rig::WaitUntil(gone, kStepMs);
        return seen;
    };
    rig::WaitUntil([&] { return !(seen.startFolder = DialogFolder(dialog)).empty(); }, 3000);
    HWND box = FileNameBox(dialog);
    HWND open = GetDlgItem(dialog, IDOK);
    if (!box || !open)
        return cancel();

    if (!action.show.empty() && !SameFolder(DialogFolder(dialog), action.show)) {
        rig::SetText(box, action.show);
        rig::Click(open);
        bool shown = rig::WaitUntil([&] { return SameFolder(DialogFolder(dialog), action.show); }, kStepMs);
        seen.boxes = AnswerBoxes(pid, dialog);
        if (!shown || !seen.boxes.empty())
            return cancel();
    }
    if (action.type.empty() && action.wide.empty())
        return cancel();

    if (!action.wide.empty()) {
        DWORD_PTR r = 0;
        SendMessageTimeoutW(box, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(action.wide.c_str()), SMTO_ABORTIFHUNG, 5000,
                            &r);
    } else {
        rig::SetText(box, action.type);
    }
    rig::Click(open);
    rig::WaitUntil(
        [&] {
            std::vector<std::string> boxes = AnswerBoxes(pid, dialog);
            seen.boxes.insert(seen.boxes.end(), boxes.begin(), boxes.end());
            return gone() || !boxes.empty();
        },
        kStepMs);
    if (!gone())
        return cancel();
    seen.confirmed = seen.boxes.empty();
    seen.closed = true;
    return seen;
}

std::string Describe(const DialogSeen& s)
{
    std::string d = s.appeared ? "appeared in [" + s.startFolder + "]" : "did not appear";
    if (s.appeared && !s.closed)
        d += ", did not close";
    if (s.confirmed)
        d += ", confirmed";
    for (const auto& b : s.boxes)
        d += ", box {" + b + "}";
    return d;
}

} // namespace dialogs
