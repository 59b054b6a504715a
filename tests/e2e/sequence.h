// The fixture of the per-image sequence tests: a stand-in and a Tolvane build
// side by side, the fatal-error ending every fault expects, and the readers of
// the worker's part of the trace.
#pragma once

#include "target_session.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace sequencetest {

// Indexes of the output format selector.
enum Format { kTiff = 0, kJpeg = 1, kBitmap = 2 };

// A stand-in and a Tolvane build, both with the menu bridge loaded.
class Sequence : public rig::TargetSession {
protected:
    void Start() { Press(IDC_START); }
    // Expects the process to end through the fatal-error box with message.
    void ExpectFatal(const std::string& message, DWORD timeoutMs = 30000)
    {
        rig::MessageBoxInfo box;
        ASSERT_TRUE(rig::WaitForMessageBox("Error", &box, app_.proc.pid, timeoutMs)) << "no error box";
        EXPECT_EQ(box.text, "An Error Occurred:\n\n" + message + "\n\nThis program will now terminate.");
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), app_.dialog);
        rig::AnswerMessageBox(box.window);
        DWORD code = 0;
        ASSERT_TRUE(rig::WaitExit(app_.proc, 10000, &code));
        EXPECT_EQ(code, 0xFFFFFFFFu);
        std::string log = app_.Log();
        std::string last = "\r\n" + message + "\r\n";
        ASSERT_GE(log.size(), last.size());
        EXPECT_EQ(log.substr(log.size() - last.size()), last) << log;
        EXPECT_EQ(log.find(message), log.rfind(message)) << "the message is logged once";
        // The run's closing line stands right before the message.
        size_t lineStart = log.size() - last.size();
        size_t before = log.rfind("\r\n", lineStart > 0 ? lineStart - 1 : 0);
        before = before == std::string::npos || before >= lineStart ? 0 : before + 2;
        EXPECT_EQ(log.compare(before, 23, "Run ended by an error: "), 0) << log;
    }
};

// Writes an image named imageName and a profile into dir, queues them as the
// one job of `app` with the output format `format`, presses Start and waits
// for the end of the run. Gives the image's path; false, with the failure
// added, when a step fails.
inline bool RunOneJob(rig::TolvaneApp& app, const std::string& dir, const std::string& imageName, int format,
                      std::string* image)
{
    *image = dir + "\\" + imageName;
    std::string profile = dir + "\\p.dnp";
    if (!rig::WriteTestImage(*image) || !rig::WriteTestProfile(profile) ||
        !rig::SetComboSelection(app.Item(IDC_OUTPUT_FORMAT), format) ||
        !rig::AddListViewRow(app.Item(IDC_JOB_LIST), {*image, profile})) {
        ADD_FAILURE() << "could not queue " << *image;
        return false;
    }
    rig::Click(app.Item(IDC_START));
    if (!rig::WaitUntil([&] { return rig::TextOf(app.Item(IDC_STATUS)) == "Processing complete"; }, 30000)) {
        ADD_FAILURE() << "the run did not complete: " << rig::TextOf(app.Item(IDC_STATUS));
        return false;
    }
    return true;
}

// The worker's part of the trace: the dialog's "WM_notify" lines, which the
// user interface thread traces whenever the list view notifies it, can land
// between any two of the worker's writes, so they are taken out.
inline std::string WorkerTrace(const std::string& trace)
{
    return rig::WithoutNotifications(trace);
}

// The "." that the image "Open" wait traces once per try: the run of dots
// that stands right before the "NeatWin/" line, at the start of its line.
inline size_t ImageWaitDots(const std::string& fullTrace)
{
    std::string trace = WorkerTrace(fullTrace);
    size_t at = trace.find("NeatWin/Dialog/Parent: ");
    if (at == std::string::npos)
        return 0;
    size_t begin = at;
    while (begin > 0 && trace[begin - 1] == '.')
        --begin;
    if (begin > 0 && trace[begin - 1] != '\n')
        return 0; // dots that belong to some other line's text
    return at - begin;
}

// Lines after the "NeatWin/" line that begin with a "." (a dot traced by
// some other wait, in front of the next line): none is expected.
inline std::string DotsInOtherWaits(const std::string& fullTrace)
{
    std::string trace = WorkerTrace(fullTrace);
    size_t at = trace.find("NeatWin/Dialog/Parent: ");
    std::string found;
    if (at == std::string::npos)
        return found;
    for (size_t pos = trace.find('\n', at); pos != std::string::npos && pos + 1 < trace.size();
         pos = trace.find('\n', pos + 1)) {
        if (trace[pos + 1] == '.')
            found += trace.substr(pos + 1, trace.find('\n', pos + 1) - pos - 1) + "\n";
    }
    return found;
}

} // namespace sequencetest
