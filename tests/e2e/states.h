// The fixture of the tests of the jobs' states and the list's own commands
// against tolvane.exe: the states as automation reads them (item images,
// infotips), the job list's commands sent to the dialog, the outputs the
// stand-in writes and the file of unfinished jobs.
#pragma once

#include "sequence.h"

#include "file_dialogs.h"
#include "rig_rows.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace statestest {

// The item images of the states, as the list shows them.
constexpr int kNone = 0, kWaiting = 1, kRunning = 2, kDone = 3, kFailed = 4, kSkipped = 5;

using Rows = std::vector<std::vector<std::string>>;

class States : public sequencetest::Sequence {
protected:
    HWND List() const { return app_.Item(IDC_JOB_LIST); }
    std::vector<int> Images() const { return rig::ListViewImages(List()); }
    // A row's infotip, as the test build traces it whenever the row's state
    // changes (TOLVANE_TEST_TRACE_TIPS): the last one traced for the row, ""
    // for none. In-process tests ask the dialog itself; a notification
    // cannot be sent across processes.
    std::string Tip(int row) const
    {
        std::string trace = app_.Trace();
        std::string head = "Tip of row " + std::to_string(row) + ": ";
        size_t at = trace.rfind(head);
        if (at == std::string::npos)
            return "";
        at += head.size();
        return trace.substr(at, trace.find('\n', at) - at);
    }
    void SetUp() override { SetEnvironmentVariableA("TOLVANE_TEST_TRACE_TIPS", "1"); }
    // Both programs, Tolvane as the test build that traces the tips.
    void StartBoth(const std::string& standinArgs = "") { TargetSession::StartBoth(standinArgs, "tolvane_probe"); }
    void TearDown() override
    {
        SetEnvironmentVariableA("TOLVANE_TEST_TRACE_TIPS", nullptr);
        sequencetest::Sequence::TearDown();
    }
    static std::string Describe(const std::vector<int>& images)
    {
        static const char* const kNames[] = {"none", "waiting", "running", "done", "failed", "skipped"};
        std::string text;
        for (int i : images)
            text += std::string(text.empty() ? "" : ", ") + (i >= 0 && i < 6 ? kNames[i] : "?");
        return "images: " + text;
    }
    void CheckCarryOn()
    {
        rig::Click(app_.Item(IDC_CONTINUE_ON_FAILURE));
        ASSERT_TRUE(rig::WaitUntil([&] { return rig::CheckState(app_.Item(IDC_CONTINUE_ON_FAILURE)) == BST_CHECKED; }));
    }
    // A command of the list sent to the dialog, answered once it is handled;
    // only for commands that open no dialog or box.
    bool Command(int id)
    {
        DWORD_PTR result = 0;
        return SendMessageTimeoutA(app_.dialog, WM_COMMAND, static_cast<WPARAM>(id), 0, SMTO_NORMAL, 10000, &result) !=
               0;
    }
    // The output the stand-in writes for an image: "<base>_filtered<ext>"
    // beside it, and the Bitmap extension unless it ends with it.
    static std::string Output(const std::string& image)
    {
        size_t dot = image.rfind('.');
        std::string out = image.substr(0, dot) + "_filtered" + image.substr(dot);
        return out.size() >= 4 && out.compare(out.size() - 4, 4, ".bmp") == 0 ? out : out + ".bmp";
    }
    // Moves a file's last-write time the given seconds into the past.
    static bool SetAge(const std::string& path, unsigned seconds)
    {
        HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE)
            return false;
        FILETIME now;
        GetSystemTimeAsFileTime(&now);
        ULARGE_INTEGER t;
        t.LowPart = now.dwLowDateTime;
        t.HighPart = now.dwHighDateTime;
        t.QuadPart -= static_cast<ULONGLONG>(seconds) * 10000000ull;
        FILETIME old = {t.LowPart, t.HighPart};
        bool ok = SetFileTime(file, nullptr, nullptr, &old) != 0;
        CloseHandle(file);
        return ok;
    }
    // The file of the unfinished jobs, beside the program's copy.
    std::string UnfinishedPath() const { return app_.dir + "\\tolvane_unfinished.txt"; }
    // Images of these names in the stand-in's folder, queued as jobs in
    // order; gives their paths.
    std::vector<std::string> Queue(const std::vector<std::string>& names)
    {
        std::vector<std::string> jobs;
        for (const std::string& name : names) {
            jobs.push_back(Image(name));
            AddJob(jobs.back());
        }
        return jobs;
    }
    // A job list's line for a job of this fixture.
    std::string Line(const std::string& image) const { return image + "\t" + profile_ + "\r\n"; }
    // Works the job list dialog of this title as a user would: checks its
    // owner and its one filter, types the path and presses its OK button
    // (posted). True once it has closed; a question it raises meanwhile is
    // answered with `answer` and its text kept in *question.
    bool UseListDialog(const char* title, const std::string& path, std::string* question = nullptr, int answer = IDYES)
    {
        HWND dialog = rig::WaitForWindow("#32770", title, app_.proc.pid, 10000);
        if (dialog == nullptr)
            return false;
        EXPECT_EQ(GetWindow(dialog, GW_OWNER), app_.dialog);
        EXPECT_EQ(rig::ComboItems(GetDlgItem(dialog, 1136)), std::vector<std::string>{"Job lists (*.txt)"});
        HWND box = dialogs::FileNameBox(dialog);
        if (box == nullptr || !rig::SetText(box, path))
            return false;
        rig::Click(GetDlgItem(dialog, IDOK));
        return rig::WaitUntil(
            [&] {
                for (HWND w : rig::TopWindowsOf(app_.proc.pid)) {
                    if (w == dialog || GetWindow(w, GW_OWNER) != dialog || !rig::IsMessageBox(w))
                        continue;
                    if (question != nullptr)
                        *question = rig::TextOf(GetDlgItem(w, 0xFFFF));
                    rig::AnswerMessageBox(w, answer);
                    rig::WaitForWindowGone(w, 2000);
                }
                return !IsWindow(dialog) || !IsWindowVisible(dialog);
            },
            10000);
    }
    // A job list's text as Save writes it for rows read from the list: UTF-8
    // (of code page 1252's accented letters only "\xE9", as the tests use),
    // TAB between the paths, CR LF after each row.
    static std::string Utf8Lines(const Rows& rows)
    {
        std::string text;
        for (const auto& row : rows) {
            std::string line = row[0] + "\t" + row[1] + "\r\n";
            for (char c : line)
                text += c == '\xE9' ? std::string("\xC3\xA9") : std::string(1, c);
        }
        return text;
    }
};

} // namespace statestest
