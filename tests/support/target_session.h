// A test fixture with the stand-in target and a Tolvane build running side by
// side, both with the menu bridge loaded, and the steps a user takes with
// them: jobs, format, buttons, the status and progress lines, boxes.
#pragma once

#include "rig.h"
#include "standin_app.h"
#include "tolvane_app.h"

#include "app/resource.h"

#include <gtest/gtest.h>

#include <string>

namespace rig {

// The session log with the time of every run's closing line ("Run complete:
// 3 processed, 0 skipped, 0 failed in 0:00:04") written as "<time>", and
// without the "Dialog titles: " line that every Start writes (its texts are
// the system's), so that a test can compare the whole log exactly.
inline std::string WithRunTimesOut(const std::string& log)
{
    std::string out;
    size_t begin = 0;
    while (begin < log.size()) {
        size_t end = log.find("\r\n", begin);
        std::string line = log.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
        if (line.compare(0, 15, "Dialog titles: ") == 0 && end != std::string::npos) {
            begin = end + 2;
            continue;
        }
        size_t in = line.rfind(" failed in ");
        if (line.compare(0, 4, "Run ") == 0 && in != std::string::npos)
            line = line.substr(0, in) + " failed in <time>";
        out += line;
        if (end == std::string::npos)
            break;
        out += "\r\n";
        begin = end + 2;
    }
    return out;
}

// The closing line of a run that ended by itself, as WithRunTimesOut shows it.
inline std::string RunComplete(int processed, int skipped)
{
    return "Run complete: " + std::to_string(processed) + " processed, " + std::to_string(skipped) +
           " skipped, 0 failed in <time>\r\n";
}

class TargetSession : public testing::Test {
protected:
    // Starts the stand-in with extra switches and writes a noise profile into
    // its folder.
    void StartStandIn(const std::string& args = "")
    {
        std::string error;
        ASSERT_TRUE(standin_.Start(args, &error)) << error;
        watchdog_.Watch(standin_.proc.pid);
        profile_ = standin_.dir + "\\test.dnp";
        ASSERT_TRUE(WriteTestProfile(profile_));
    }
    void StartTolvane(const std::string& build = "tolvane_fast")
    {
        std::string error;
        ASSERT_TRUE(app_.Start(build, BridgeDll(), true, &error)) << error;
        watchdog_.Watch(app_.proc.pid);
    }
    void StartBoth(const std::string& standinArgs = "", const std::string& build = "tolvane_fast")
    {
        StartStandIn(standinArgs);
        StartTolvane(build);
    }
    // An input image in the stand-in's folder.
    std::string Image(const std::string& name)
    {
        std::string path = standin_.dir + "\\" + name;
        EXPECT_TRUE(WriteTestImage(path));
        return path;
    }
    void AddJob(const std::string& image) { ASSERT_TRUE(AddListViewRow(app_.Item(IDC_JOB_LIST), {image, profile_})); }
    void SetFormat(int index) { ASSERT_TRUE(SetComboSelection(app_.Item(IDC_OUTPUT_FORMAT), index)); }
    void Press(int id) { Click(app_.Item(id)); }
    std::string Status() const { return TextOf(app_.Item(IDC_STATUS)); }
    std::string Progress() const { return TextOf(app_.Item(IDC_PROGRESS)); }
    bool WaitForStatus(const std::string& text, DWORD timeoutMs = 30000)
    {
        return WaitUntil([&] { return Status() == text; }, timeoutMs);
    }
    // Waits for a box of Tolvane's, checks its owner, answers it and gives
    // its text ("(no box)" when none came).
    std::string AnswerBox(const char* caption, DWORD timeoutMs = 10000)
    {
        MessageBoxInfo box;
        if (!WaitForMessageBox(caption, &box, app_.proc.pid, timeoutMs))
            return "(no box)";
        EXPECT_EQ(GetWindow(box.window, GW_OWNER), app_.dialog);
        AnswerMessageBox(box.window);
        EXPECT_TRUE(WaitForWindowGone(box.window));
        return box.text;
    }
    // A box the test did not answer itself, whether the watchdog closed it
    // during the test or it is still open now, fails the test.
    void TearDown() override { EXPECT_EQ(watchdog_.Strays(), "") << "boxes the test did not answer"; }

    StandInApp standin_;
    TolvaneApp app_;
    Watchdog watchdog_;
    std::string profile_;
};

} // namespace rig
