// File dialogs recognised by their shape when their title is in another
// language, the answer given to a window of Neat Image's that stands between
// it and rest (never "Yes"; a box without buttons is cancelled, then closed),
// and the log line of the titles Tolvane looks for. The rules are tables; the
// finders and the answer run on windows this test makes in its own process.
#include "target/dialogs.h"
#include "target/failure.h"
#include "target/titles.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

// ---------------------------------------------------------------- the rule

struct ShapeCase {
    const char* what;
    DialogShapeFacts facts;
    bool accepted;
};

TEST(AcceptFileDialog, TitleFirstThenANewDialogOfTheRightShape)
{
    // class, visible, owner, before, name box, IDOK default, title
    const ShapeCase cases[] = {
        {"known title", {true, true, true, false, true, true, true}, true},
        {"known title, there before", {true, true, true, true, true, true, true}, true},
        {"known title, no controls yet", {true, true, true, false, false, false, true}, true},
        {"foreign title, new, shaped", {true, true, true, false, true, true, false}, true},
        {"foreign title, there before", {true, true, true, true, true, true, false}, false},
        {"foreign title, no name box", {true, true, true, false, false, true, false}, false},
        {"foreign title, IDOK not default", {true, true, true, false, true, false, false}, false},
        {"other class", {false, true, true, false, true, true, true}, false},
        {"hidden", {true, false, true, false, true, true, true}, false},
        {"other owner", {true, true, false, false, true, true, true}, false},
        {"other owner, shaped", {true, true, false, false, true, true, false}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(AcceptFileDialog(c.facts), c.accepted) << c.what;
}

struct AnswerCase {
    const char* what;
    RestWindowFacts facts;
    RestAnswer answer;
};

TEST(ChooseRestAnswer, NeverYesAndABoxWithoutButtonsIsCancelledThenClosed)
{
    // file dialog, JPEG options, buttons, No, Cancel, OK
    const AnswerCase cases[] = {
        {"file dialog", {true, false, 2, false, true, true}, RestAnswer::CancelFileDialog},
        {"Yes/No", {false, false, 2, true, false, false}, RestAnswer::PressNo},
        {"Yes/No/Cancel", {false, false, 3, true, true, false}, RestAnswer::PressNo},
        {"OK/Cancel", {false, false, 2, false, true, true}, RestAnswer::PressCancel},
        {"OK alone", {false, false, 1, false, false, true}, RestAnswer::PressOk},
        {"OK beside Yes", {false, false, 2, false, false, true}, RestAnswer::None},
        {"Yes alone", {false, false, 1, false, false, false}, RestAnswer::None},
        {"JPEG options with OK alone", {false, true, 1, false, false, true}, RestAnswer::PressOk},
        {"JPEG options without buttons", {false, true, 0, false, false, false}, RestAnswer::Close},
        {"text alone", {false, false, 0, false, false, false}, RestAnswer::CancelThenClose},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseRestAnswer(c.facts), c.answer) << c.what;
}

// ---------------------------------------------------------------- the log line

TEST(FormatDialogTitles, NamesEveryTitleAndBothButtons)
{
    const char* open[] = {"Open", "Ouvrir"};
    const char* saveAs[] = {"Save As"};
    char line[256];
    FormatDialogTitles(line, sizeof line, open, 2, saveAs, 1, "&Open", "&Save");
    EXPECT_STREQ(line, "Dialog titles: Open \"Open\", \"Ouvrir\"; Save As \"Save As\"; buttons \"&Open\", \"&Save\"");
}

TEST(FormatDialogTitles, CutsWithinItsBufferAndAlwaysTerminates)
{
    std::string longTitle(254, 't');
    const char* open[] = {longTitle.c_str(), longTitle.c_str(), longTitle.c_str(), longTitle.c_str()};
    for (std::size_t size : {1u, 2u, 20u, 100u, 1024u}) {
        std::vector<char> buf(size + 8, '#');
        FormatDialogTitles(buf.data(), size, open, 4, open, 4, "&Open", "&Save");
        EXPECT_EQ(std::strlen(buf.data()), size - 1) << size;
        EXPECT_EQ(buf[size], '#') << size;
    }
}

// ---------------------------------------------------------------- the finder

// A dialog built from a template in memory: a file name box (Edit) when
// asked, and its push buttons.
class Dialogs : public testing::Test {
protected:
    void SetUp() override
    {
        AcceptDialogsByShape(true);
        WNDCLASSA wc = {};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TApplicationShape";
        RegisterClassA(&wc);
        owner_ = CreateWindowExA(0, "TApplicationShape", "Neat Image", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                 wc.hInstance, nullptr);
    }
    void TearDown() override
    {
        for (HWND d : made_)
            DestroyWindow(d);
        DestroyWindow(owner_);
        AcceptDialogsByShape(false);
    }
    struct Button {
        WORD id;
        bool isDefault;
    };
    HWND Make(const char* title, bool nameBox, std::vector<Button> buttons, HWND owner = nullptr, bool visible = true)
    {
        std::vector<WORD> t;
        auto dword = [&](DWORD v) {
            t.push_back(LOWORD(v));
            t.push_back(HIWORD(v));
        };
        auto text = [&](const char* s) {
            for (; *s; ++s)
                t.push_back(static_cast<WORD>(static_cast<unsigned char>(*s)));
            t.push_back(0);
        };
        auto item = [&](WORD atom, DWORD style, WORD id) {
            if (t.size() % 2)
                t.push_back(0);
            dword(style | WS_CHILD | WS_VISIBLE);
            dword(0);
            for (WORD v : {10, 10, 40, 12})
                t.push_back(v);
            t.push_back(id);
            t.push_back(0xFFFF);
            t.push_back(atom);
            text(atom == 0x80 ? "&Ouvrir" : "");
            t.push_back(0);
        };
        dword(WS_POPUP | WS_CAPTION | (visible ? WS_VISIBLE : 0));
        dword(0);
        t.push_back(static_cast<WORD>((nameBox ? 1 : 0) + buttons.size()));
        for (WORD v : {0, 0, 200, 100, 0, 0})
            t.push_back(v);
        text(title);
        if (nameBox)
            item(0x81, WS_BORDER, 1152);
        for (const Button& b : buttons)
            item(0x80, b.isDefault ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON, b.id);
        HWND d = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), reinterpret_cast<DLGTEMPLATE*>(t.data()),
                                            owner != nullptr ? owner : owner_, DialogProc, 0);
        made_.push_back(d);
        return d;
    }
    static INT_PTR CALLBACK DialogProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }
    HWND owner_ = nullptr;
    std::vector<HWND> made_;
};

const char* const kKnown[] = {"Open"};

TEST_F(Dialogs, ANewForeignDialogWithNameBoxAndDefaultOkIsFound)
{
    NoteDialogsBeforeCommand(owner_);
    HWND d = Make("Ouvrir", true, {{IDOK, true}, {IDCANCEL, false}});
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(FindFileDialogByShape(owner_, kKnown, 1), d);
    // Only with "Continue after a failed job".
    AcceptDialogsByShape(false);
    EXPECT_EQ(FindFileDialogByShape(owner_, kKnown, 1), nullptr);
    AcceptDialogsByShape(true);
    // IDOK without the default style, but the dialog's default all the same.
    DestroyWindow(d);
    d = Make("Enregistrer sous", true, {{IDCANCEL, false}, {IDOK, false}});
    SendMessageA(d, DM_SETDEFID, IDOK, 0);
    SetWindowLongA(GetDlgItem(d, IDOK), GWL_STYLE, GetWindowLongA(GetDlgItem(d, IDOK), GWL_STYLE) & ~BS_TYPEMASK);
    EXPECT_EQ(FindFileDialogByShape(owner_, kKnown, 1), d);
}

TEST_F(Dialogs, WhatIsNotAFileDialogOrWasThereBeforeIsNotFound)
{
    HWND stale = Make("Ouvrir", true, {{IDOK, true}});
    NoteDialogsBeforeCommand(owner_);
    HWND otherOwner = CreateWindowExA(0, "TApplicationShape", "x", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr);
    Make("Ouvrir", false, {{IDOK, true}});    // no file name box: a box
    Make("Ouvrir", true, {{IDCANCEL, true}}); // no IDOK
    // The default id is IDOK, but there is no such button to press.
    SendMessageA(Make("Ouvrir", true, {{IDCANCEL, false}}), DM_SETDEFID, IDOK, 0);
    Make("Ouvrir", true, {{IDOK, false}, {5, true}});     // another default button
    Make("Ouvrir", true, {{IDOK, true}}, otherOwner);     // owned by another window
    Make("Ouvrir", true, {{IDOK, true}}, nullptr, false); // hidden
    EXPECT_EQ(FindFileDialogByShape(owner_, kKnown, 1), nullptr);
    // A title Tolvane knows is enough, as without the shape.
    SetWindowTextA(stale, "Open");
    EXPECT_EQ(FindFileDialogByShape(owner_, kKnown, 1), stale);
    DestroyWindow(otherOwner);
}

// ---------------------------------------------------------------- the answer

// A box drawn without Button children, on a thread of its own that serves
// its messages as Neat Image's would. It closes on WM_CLOSE, and on IDCANCEL
// only when it was made to.
struct TextBox {
    std::atomic<HWND> window{nullptr};
    std::atomic<bool> closesOnCancel{false};
    std::atomic<bool> gotCancel{false};
    std::atomic<bool> gotClose{false};
    std::atomic<bool> closeFirst{false};
    std::atomic<bool> gotOther{false};
};
TextBox* Box;

LRESULT CALLBACK TextBoxProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_COMMAND) {
        if (LOWORD(wParam) == IDCANCEL) {
            Box->gotCancel = true;
            if (Box->closesOnCancel)
                DestroyWindow(window);
        } else {
            Box->gotOther = true;
        }
        return 0;
    }
    if (message == WM_CLOSE) {
        Box->gotClose = true;
        Box->closeFirst = !Box->gotCancel;
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void RunTextBox()
{
    WNDCLASSA wc = {};
    wc.lpfnWndProc = TextBoxProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TToolkitBox";
    RegisterClassA(&wc);
    HWND w = CreateWindowExA(0, "TToolkitBox", "Neat Image", WS_POPUP | WS_CAPTION | WS_VISIBLE, 0, 0, 100, 50, nullptr,
                             nullptr, wc.hInstance, nullptr);
    CreateWindowExA(0, "Static", "Please wait.", WS_CHILD | WS_VISIBLE, 0, 0, 90, 20, w, nullptr, wc.hInstance,
                    nullptr);
    Box->window = w;
    DWORD start = GetTickCount();
    MSG msg;
    while (IsWindow(w) && GetTickCount() - start < 5000) {
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageA(&msg);
        Sleep(5);
    }
    if (IsWindow(w))
        DestroyWindow(w);
}

TEST(DismissTargetWindow, ABoxWithoutButtonsIsCancelledThenClosed)
{
    for (bool closesOnCancel : {true, false}) {
        SCOPED_TRACE(closesOnCancel ? "closes on IDCANCEL" : "ignores IDCANCEL");
        TextBox box;
        box.closesOnCancel = closesOnCancel;
        Box = &box;
        std::thread owner(RunTextBox);
        DWORD start = GetTickCount();
        while (box.window.load() == nullptr && GetTickCount() - start < 5000)
            Sleep(5);
        HWND w = box.window.load();
        ASSERT_NE(w, nullptr);
        EXPECT_TRUE(DismissTargetWindow(w));
        start = GetTickCount();
        while (IsWindow(w) && GetTickCount() - start < 3000)
            Sleep(10);
        EXPECT_FALSE(IsWindow(w)) << "the box is still there";
        EXPECT_TRUE(box.gotCancel);
        EXPECT_FALSE(box.closeFirst) << "WM_CLOSE before IDCANCEL";
        if (!closesOnCancel) {
            EXPECT_TRUE(box.gotClose) << "not closed after IDCANCEL was ignored";
        }
        EXPECT_FALSE(box.gotOther) << "a button was pressed";
        owner.join();
        Box = nullptr;
    }
}

} // namespace
