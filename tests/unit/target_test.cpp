// Discovery, menu lookup, the owned-dialog finder and the extension rule, on
// windows and menus that the test builds in its own process.
#include "rig.h"

#include "target/contract.h"
#include "target/target.h"
#include "tolvane.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// ---------------------------------------------------------------- extension

struct ExtensionCase {
    const char* proposed;
    long format;
    const char* expected;
};

TEST(OutputExtension, AppendsUnlessTheNameEndsWithIt)
{
    const ExtensionCase cases[] = {
        {"C:\\p\\a_filtered.tif", 0, "C:\\p\\a_filtered.tif"},
        {"C:\\p\\a_filtered.TIF", 0, "C:\\p\\a_filtered.TIF.tif"},
        {"C:\\p\\a_filtered.bmp", 0, "C:\\p\\a_filtered.bmp.tif"},
        {"C:\\p\\a_filtered.jpg", 1, "C:\\p\\a_filtered.jpg"},
        {"C:\\p\\a_filtered.jpeg", 1, "C:\\p\\a_filtered.jpeg.jpg"},
        {"C:\\p\\a_filtered", 2, "C:\\p\\a_filtered.bmp"},
        {"bmp", 2, "bmp.bmp"},
        {".bm", 2, ".bm.bmp"},
        {"", 2, ".bmp"},
        {".bmp", 2, ".bmp"},
        {"a.tif", -1, "a.tif"},
        {"a.tif", 3, "a.tif"},
    };
    for (const auto& c : cases) {
        char buf[260];
        std::strcpy(buf, c.proposed);
        const char* ext = OutputExtension(c.format);
        if (ext) {
            EXPECT_TRUE(AppendOutputExtension(buf, sizeof buf, ext));
        }
        EXPECT_STREQ(buf, c.expected) << c.proposed << " format " << c.format;
    }
}

TEST(OutputExtension, LongestProposedNameStillFits)
{
    char buf[260 + 8];
    std::memset(buf, '#', sizeof buf);
    std::string name(254, 'n');
    std::memcpy(buf, name.c_str(), name.size() + 1);
    ASSERT_TRUE(AppendOutputExtension(buf, 260, ".bmp"));
    EXPECT_EQ(std::string(buf), name + ".bmp");
    EXPECT_EQ(buf[260], '#');

    // A buffer too small for the extension is left as it was.
    char small[8] = "abcdef";
    EXPECT_FALSE(AppendOutputExtension(small, sizeof small, ".tif"));
    EXPECT_STREQ(small, "abcdef");
}

// ---------------------------------------------------------------- windows

// Registers a plain window class once and creates top-level windows of it.
HWND MakeWindow(const char* cls, const char* title, HWND owner = nullptr, bool visible = true)
{
    WNDCLASSA wc = {};
    if (!GetClassInfoA(GetModuleHandleA(nullptr), cls, &wc)) {
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = cls;
        RegisterClassA(&wc);
    }
    return CreateWindowExA(0, cls, title, WS_POPUP | (visible ? WS_VISIBLE : 0), 0, 0, 50, 50, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// Creates windows and destroys them at the end of the test.
class Windows : public testing::Test {
protected:
    HWND Make(const char* cls, const char* title, HWND owner = nullptr, bool visible = true)
    {
        HWND w = MakeWindow(cls, title, owner, visible);
        made_.push_back(w);
        return w;
    }
    void TearDown() override
    {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it)
            DestroyWindow(*it);
    }
    std::vector<HWND> made_;
};

// ---------------------------------------------------------------- discovery

using Discovery = Windows;

TEST_F(Discovery, MainWindowByTitleAndClassPrefix)
{
    HWND app = Make("TApplication", "Neat Image");
    HWND main = Make("TForm1", "Neat Image - photo.jpg", app);
    rig::StdoutCapture out;
    EXPECT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, main);
    EXPECT_EQ(TargetAppWindow, app);
    EXPECT_NE(out.Text().find("Found running instance of Neat Image\n"), std::string::npos);
    EXPECT_NE(out.Text().find("Found Neat Image App Window\n"), std::string::npos);
}

TEST_F(Discovery, ClassNameIsMatchedByPrefix)
{
    HWND main = Make("TForm1Extended", "Neat Image v1.1");
    EXPECT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, main);
}

struct RefusedCase {
    const char* cls;
    const char* title;
};

TEST_F(Discovery, WindowsThatDoNotQualifyGiveTheWarning)
{
    const RefusedCase cases[] = {
        {"TForm1", "neat image - lower case"},
        {"TForm1", "Other program"},
        {"TForm1", "Neat Imag"},
        {"TFormX", "Neat Image"},
        {"TApplication", "Neat Image"}, // an application window alone is not enough
    };
    for (const auto& c : cases) {
        HWND w = MakeWindow(c.cls, c.title);
        rig::BoxAnswerer answer("Warning");
        EXPECT_EQ(FindTargetWindows(), 0) << c.cls << " / " << c.title;
        rig::MessageBoxInfo box;
        EXPECT_TRUE(answer.Answered(&box));
        EXPECT_EQ(box.text, "Could not find a running instance of Neat Image.  Start Neat Image and try again.");
        EXPECT_EQ(TargetMainWindow, nullptr);
        DestroyWindow(w);
    }
}

TEST_F(Discovery, FirstInEnumerationOrderWinsWithTwoInstances)
{
    HWND appA = Make("TApplication", "Neat Image");
    HWND mainA = Make("TForm1", "Neat Image - a", appA);
    HWND appB = Make("TApplication", "Neat Image");
    HWND mainB = Make("TForm1", "Neat Image - b", appB);
    // Order from the top: mainB, appA, mainA, appB.
    SetWindowPos(appB, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(mainA, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(appA, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SetWindowPos(mainB, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, mainB);
    EXPECT_EQ(TargetAppWindow, appA) << "the first application window, not the one of the same instance";
}

TEST_F(Discovery, SearchAfterOneThatFoundOnlyTheMainWindow)
{
    HWND main = Make("TForm1", "Neat Image");
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetMainWindow, main);
    // A search that finds no application window keeps the one it had.
    HWND app = Make("TApplication", "Neat Image");
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetAppWindow, app);
    DestroyWindow(app);
    made_.pop_back();
    ASSERT_EQ(FindTargetWindows(), 1);
    EXPECT_EQ(TargetAppWindow, app);
}

TEST_F(Discovery, PriorityClassOfTheTargetProcess)
{
    Make("TForm1", "Neat Image");
    ASSERT_EQ(FindTargetWindows(), 1);
    HANDLE self = GetCurrentProcess();
    EXPECT_EQ(SetTargetPriorityClass(IDLE_PRIORITY_CLASS), 1);
    EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(IDLE_PRIORITY_CLASS));
    EXPECT_EQ(SetTargetPriorityClass(NORMAL_PRIORITY_CLASS), 1);
    EXPECT_EQ(GetPriorityClass(self), static_cast<DWORD>(NORMAL_PRIORITY_CLASS));
    // An invalid class is refused by the system.
    rig::StdoutCapture out;
    EXPECT_EQ(SetTargetPriorityClass(0x12345), 0);
    EXPECT_EQ(out.Text(), "Could not set priority\n");
}

TEST_F(Discovery, PriorityWithTheTargetGone)
{
    HWND main = MakeWindow("TForm1", "Neat Image");
    ASSERT_EQ(FindTargetWindows(), 1);
    DestroyWindow(main);
    rig::StdoutCapture out;
    EXPECT_EQ(SetTargetPriorityClass(IDLE_PRIORITY_CLASS), 0);
    EXPECT_EQ(out.Text(), "Could not get process ID\n");
}

// ---------------------------------------------------------------- menus

// A menu item of a given type with a caption (or, for bitmap and owner-drawn
// items, data in place of the caption).
void AddItem(HMENU menu, UINT type, const char* caption, UINT id, HMENU sub = nullptr)
{
    MENUITEMINFOA mi = {};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_FTYPE | MIIM_ID | (sub ? MIIM_SUBMENU : 0);
    mi.fType = type;
    mi.wID = id;
    mi.hSubMenu = sub;
    if (type & MFT_BITMAP) {
        mi.fMask |= MIIM_BITMAP;
        mi.hbmpItem = HBMMENU_POPUP_CLOSE;
    } else if (type & MFT_OWNERDRAW) {
        mi.fMask |= MIIM_DATA;
        mi.dwItemData = 0xBAD0BAD;
    } else if (!(type & MFT_SEPARATOR)) {
        mi.fMask |= MIIM_STRING;
        mi.dwTypeData = const_cast<char*>(caption);
    }
    InsertMenuItemA(menu, GetMenuItemCount(menu), TRUE, &mi);
}

class Menus : public Windows {
protected:
    void SetUp() override
    {
        HMENU bar = CreateMenu();
        HMENU file = CreatePopupMenu();
        AddItem(file, MFT_STRING, "&Open...", 10);
        AddItem(bar, MFT_STRING, "&File", 0, file);

        HMENU image1 = CreatePopupMenu(); // a first "&Image" without the item
        AddItem(image1, MFT_STRING, "&Close", 11);
        AddItem(bar, MFT_STRING, "&Image tools", 0, image1);

        HMENU image = CreatePopupMenu();
        AddItem(image, MFT_STRING, "Open...", 20);  // no "&"
        AddItem(image, MFT_STRING, "&open...", 21); // case
        AddItem(image, MFT_SEPARATOR, nullptr, 0);
        AddItem(image, MFT_BITMAP, nullptr, 24);
        AddItem(image, MFT_OWNERDRAW, nullptr, 25);
        AddItem(image, MFT_STRING | MFT_RADIOCHECK, "&Open...", 26);
        AddItem(image, MFT_STRING | MFT_MENUBREAK, "&Open...", 27);
        AddItem(image, MFT_STRING | MFT_MENUBARBREAK, "&Open...", 28);
        AddItem(image, MFT_STRING, "&Open...\tCtrl+O", 22);
        AddItem(image, MFT_STRING, "Save &as...", 23);
        AddItem(bar, MFT_STRING, "&Image", 0, image);

        HMENU flagged = CreatePopupMenu();
        AddItem(flagged, MFT_STRING, "&Apply", 30);
        AddItem(bar, MFT_STRING | MFT_RIGHTJUSTIFY, "&Filter", 0, flagged);

        HMENU filter = CreatePopupMenu();
        HMENU more = CreatePopupMenu();
        AddItem(more, MFT_STRING, "Deeper", 41);
        AddItem(filter, MFT_STRING, "&Apply", 40);
        AddItem(filter, MFT_STRING, "&Apply more", 0, more); // opens a further drop-down
        AddItem(bar, MFT_STRING, "&Filter", 0, filter);

        AddItem(bar, MFT_STRING, "&Plain", 50); // no drop-down at all

        window_ = Make("TForm1", "Neat Image");
        SetMenu(window_, bar);
    }
    HWND window_ = nullptr;
};

struct MenuCase {
    const char* top;
    const char* item;
    int expected;
};

TEST_F(Menus, CaptionPrefixesAndTypes)
{
    const MenuCase cases[] = {
        {"&Image", "&Open...", 22}, // a caption with tab and shortcut matches; flagged items never
        {"&Image", "Save &as...", 23},
        {"&Image", "&Open", 22},    // "Open..." lacks the "&" and is passed over
        {"&Image", "Open", 20},     // a prefix is matched as it stands
        {"&image", "&Open...", -1}, // case of the top-level caption
        {"&Image", "&OPEN", -1},
        {"&Image", "&Close", 11},  // "&Image tools" begins with "&Image" too
        {"&Filter", "&Apply", 40}, // the right-justified "&Filter" is passed over
        {"&File", "&Open...", 10},
        {"", "", 10},       // empty prefixes: the first plain text item
        {"&Plain", "", -1}, // an item without a drop-down
        {"&Missing", "&Open...", -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FindMenuCommand(window_, c.top, c.item), c.expected) << c.top << " > " << c.item;
}

TEST_F(Menus, ItemOpeningAFurtherDropDownGivesMinusOneWithoutOoops)
{
    rig::StdoutCapture out;
    EXPECT_EQ(FindMenuCommand(window_, "&Filter", "&Apply m"), -1);
    EXPECT_EQ(out.Text().find("Ooops"), std::string::npos) << out.Text();
}

TEST_F(Menus, TracesOfOneLookup)
{
    rig::StdoutCapture out;
    EXPECT_EQ(FindMenuCommand(window_, "&File", "&Open..."), 10);
    std::string expected =
        "Found hMenu: " + std::to_string(static_cast<int>(reinterpret_cast<INT_PTR>(GetMenu(window_)))) +
        "Testing: &File vs. &File\nFound menu item: &File\n";
    EXPECT_EQ(out.Text(), expected);
}

TEST_F(Menus, NotFoundTracesOoops)
{
    rig::StdoutCapture out;
    EXPECT_EQ(FindMenuCommand(window_, "&Missing", "x"), -1);
    std::string text = out.Text();
    EXPECT_NE(text.find("Testing: &Plain vs. &Missing\n"), std::string::npos) << text;
    EXPECT_EQ(text.size() - text.rfind("Ooops...couldn't find the requested menu item!\n"),
              std::string("Ooops...couldn't find the requested menu item!\n").size());
}

TEST_F(Menus, WindowWithoutMenuBar)
{
    HWND bare = Make("TForm1", "Neat Image bare");
    rig::StdoutCapture out;
    EXPECT_EQ(FindMenuCommand(bare, "&Image", "&Open..."), -1);
    EXPECT_EQ(out.Text(), "Error getting menu handle");
}

TEST(MenuRecord, SizeIsTheOneWithoutTheLaterMember)
{
#if defined(_WIN64)
    EXPECT_EQ(kMenuItemInfoSize, 72u);
#else
    EXPECT_EQ(kMenuItemInfoSize, 44u);
#endif
}

// ---------------------------------------------------------------- owned dialogs

using OwnedDialogs = Windows;

TEST_F(OwnedDialogs, ExactClassTitleParentAndVisible)
{
    HWND owner = Make("TApplication", "Neat Image");
    HWND other = Make("TApplication", "Someone else");
    Make("#32770", "Open", owner, false); // hidden
    Make("#32770", "Open", other);        // other parent
    Make("#32770", "open", owner);        // case
    Make("#32770", "Open ", owner);       // trailing blank
    Make("#32770", "Ope", owner);         // never by prefix
    Make("TForm1", "Open", owner);        // other class
    EXPECT_EQ(FindOwnedDialog(owner, "#32770", "Open"), nullptr);

    HWND open = Make("#32770", "Open", owner);
    EXPECT_EQ(FindOwnedDialog(owner, "#32770", "Open"), open);
    EXPECT_EQ(FindOwnedDialog(owner, "#32770", "Save As"), nullptr);
    HWND save = Make("#32770", "Save As", owner);
    EXPECT_EQ(FindOwnedDialog(owner, "#32770", "Save As"), save);
    EXPECT_EQ(FindOwnedDialog(other, "#32770", "Open"), made_[3]);
}

TEST_F(OwnedDialogs, WithNoParentOnlyUnownedWindowsQualify)
{
    HWND owner = Make("TApplication", "Neat Image");
    Make("#32770", "Open", owner);
    EXPECT_EQ(FindOwnedDialog(nullptr, "#32770", "Open"), nullptr);
    HWND unowned = Make("#32770", "Open");
    EXPECT_EQ(FindOwnedDialog(nullptr, "#32770", "Open"), unowned);
}

TEST_F(OwnedDialogs, LongArgumentsAreCutNotOverrun)
{
    HWND owner = Make("TApplication", "Neat Image");
    std::string title254(254, 't');
    HWND dialog = Make("#32770", title254.c_str(), owner);
    EXPECT_EQ(FindOwnedDialog(owner, "#32770", title254.c_str()), dialog);
    // Far longer wanted texts are cut to 255 characters, never overrun.
    std::string longText(5000, 't');
    EXPECT_EQ(FindOwnedDialog(owner, longText.c_str(), longText.c_str()), nullptr);
}

} // namespace
