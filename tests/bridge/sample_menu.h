// The menu tree menuowner.exe shows, and the walk that turns a menu tree into text.
// Shared by menuowner.exe (which builds the tree and writes its own, in-process walk) and bridge_test.exe
// (which walks the same tree from another process, and builds a local copy to compare single calls with).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace sample {

// Identifiers of the command items.
enum : UINT {
    kOpen = 101,
    kSave = 102,
    kExit = 105,
    kRecentOne = 111,
    kDeep = 121,
    kDeepEmpty = 122,
    kNormal = 201,
    kZoomed = 202,
    kPicture = 203,
    kOwnerDrawn = 204,
    kColumnTwo = 205,
    kBarBreak = 206,
    kLong = 207,
    kChecked = 208,
    kGo = 600,
    kAbout = 901,
    kAddedBase = 300, // items appended while the program runs: kAddedBase + n
};

// Window messages menuowner.exe understands besides WM_CLOSE.
constexpr UINT kAppendItemMessage = WM_APP + 1; // appends "Added &<n>" (id kAddedBase + n) to the View menu

// Positions of the menu bar's items.
enum : int { kBarFile = 0, kBarView = 1, kBarGo = 2, kBarEmpty = 3, kBarHelp = 4, kBarCount = 5 };

inline std::string LongCaption()
{
    std::string s = "A &long caption";
    while (s.size() < 300)
        s += " and more";
    return s + "\tCtrl+Shift+L";
}

inline void AppendTyped(HMENU menu, UINT type, UINT id, const char* text, HMENU sub = nullptr, UINT state = 0)
{
    MENUITEMINFOA mii{};
    mii.cbSize = sizeof(mii);
    mii.fMask = MIIM_TYPE | MIIM_ID | MIIM_STATE | (sub ? MIIM_SUBMENU : 0u);
    mii.fType = type;
    mii.fState = state;
    mii.wID = id;
    mii.hSubMenu = sub;
    mii.dwTypeData = const_cast<char*>(text);
    mii.cch = text ? static_cast<UINT>(lstrlenA(text)) : 0;
    InsertMenuItemA(menu, static_cast<UINT>(GetMenuItemCount(menu)), TRUE, &mii);
}

// Builds the sample tree: every kind of item a menu walk meets. `picture` is the bitmap of the bitmap item.
inline HMENU BuildSampleMenu(HBITMAP picture)
{
    HMENU more = CreatePopupMenu();
    AppendMenuA(more, MF_STRING, kDeep, "Deep &item");
    AppendMenuA(more, MF_STRING, kDeepEmpty, "");

    HMENU recent = CreatePopupMenu();
    AppendMenuA(recent, MF_STRING, kRecentOne, "1 one.bmp");
    AppendMenuA(recent, MF_POPUP, reinterpret_cast<UINT_PTR>(more), "&More");

    HMENU file = CreatePopupMenu();
    AppendMenuA(file, MF_STRING, kOpen, "&Open...\tCtrl+O");
    AppendMenuA(file, MF_STRING | MF_GRAYED, kSave, "&Save\tCtrl+S");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_POPUP, reinterpret_cast<UINT_PTR>(recent), "&Recent");
    AppendMenuA(file, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(file, MF_STRING, kExit, "E&xit\tAlt+F4");

    HMENU view = CreatePopupMenu();
    AppendTyped(view, MFT_STRING | MFT_RADIOCHECK, kNormal, "&Normal", nullptr, MFS_CHECKED);
    AppendTyped(view, MFT_STRING | MFT_RADIOCHECK, kZoomed, "&Zoomed");
    AppendMenuA(view, MF_BITMAP, kPicture, reinterpret_cast<const char*>(picture));
    AppendMenuA(view, MF_OWNERDRAW, kOwnerDrawn, reinterpret_cast<const char*>(static_cast<ULONG_PTR>(0x1234)));
    AppendMenuA(view, MF_STRING | MF_MENUBREAK, kColumnTwo, "Column &two");
    AppendMenuA(view, MF_STRING | MF_MENUBARBREAK, kBarBreak, "Bar &break");
    AppendMenuA(view, MF_STRING, kLong, LongCaption().c_str());
    AppendMenuA(view, MF_STRING | MF_CHECKED, kChecked, "&Checked");

    HMENU empty = CreatePopupMenu();

    HMENU help = CreatePopupMenu();
    AppendMenuA(help, MF_STRING, kAbout, "&About");

    HMENU bar = CreateMenu();
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(view), "&View");
    AppendMenuA(bar, MF_STRING, kGo, "&Go!");
    AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(empty), "&Empty");
    AppendTyped(bar, MFT_STRING | MFT_RIGHTJUSTIFY, 0, "&Help", help);
    return bar;
}

// The MENUITEMINFOA size a program built for 32 bits would also accept.
constexpr UINT kCompatInfoSize = static_cast<UINT>(offsetof(MENUITEMINFOA, hbmpItem));

inline std::string Escape(const char* s, size_t n)
{
    std::string out;
    for (size_t i = 0; i < n; ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        if (c == '\t') {
            out += "\\t";
        } else if (c == '\\' || c == '"') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7f) {
            char hex[8];
            std::snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

inline std::string Hex(unsigned long long v)
{
    char buf[32];
    std::snprintf(buf, sizeof(buf), "0x%llx", v);
    return buf;
}

inline unsigned long long HandleValue(const void* h)
{
    return static_cast<unsigned long long>(reinterpret_cast<ULONG_PTR>(h));
}

// Walks `menu` the way a menu lookup does (GetMenuItemCount, then per position GetMenuItemInfoA with
// MIIM_TYPE, then MIIM_SUBMENU, then MIIM_ID|MIIM_STATE|MIIM_DATA, plus GetMenuItemID and GetSubMenu) and
// appends one line per menu and per item to `out`, descending into drop-downs.
inline void DumpMenu(HMENU menu, const std::string& path, int depth, std::vector<std::string>* out)
{
    int count = GetMenuItemCount(menu);
    DWORD countError = count < 0 ? GetLastError() : 0;
    out->push_back("menu " + path + " handle=" + std::to_string(HandleValue(menu)) + " count=" + std::to_string(count) +
                   (count < 0 ? " err=" + std::to_string(countError) : std::string()));
    for (int pos = 0; pos < count; ++pos) {
        std::string line = "item " + path + "/" + std::to_string(pos);

        char text[512];
        std::memset(text, 0, sizeof(text));
        MENUITEMINFOA mii{};
        mii.cbSize = kCompatInfoSize;
        mii.fMask = MIIM_TYPE;
        mii.dwTypeData = text;
        mii.cch = sizeof(text);
        if (GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &mii)) {
            line += " type=" + Hex(mii.fType) + " cch=" + std::to_string(mii.cch);
            if (mii.dwTypeData == text) {
                line += " text=\"" + Escape(text, lstrlenA(text)) + "\"";
            } else {
                line += " typeData=" + std::to_string(HandleValue(mii.dwTypeData));
            }
        } else {
            line += " typeErr=" + std::to_string(GetLastError());
        }

        MENUITEMINFOA sub{};
        sub.cbSize = kCompatInfoSize;
        sub.fMask = MIIM_SUBMENU;
        HMENU child = nullptr;
        if (GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &sub)) {
            child = sub.hSubMenu;
            line += " sub=" + std::to_string(HandleValue(child));
        } else {
            line += " subErr=" + std::to_string(GetLastError());
        }

        MENUITEMINFOA idm{};
        idm.cbSize = kCompatInfoSize;
        idm.fMask = MIIM_ID | MIIM_STATE | MIIM_DATA;
        if (GetMenuItemInfoA(menu, static_cast<UINT>(pos), TRUE, &idm)) {
            line += " id=" + std::to_string(idm.wID) + " state=" + Hex(idm.fState) + " data=" + Hex(idm.dwItemData);
        } else {
            line += " idErr=" + std::to_string(GetLastError());
        }

        line += " itemId=" + std::to_string(static_cast<int>(GetMenuItemID(menu, pos)));
        line += " subMenu=" + std::to_string(HandleValue(GetSubMenu(menu, pos)));
        out->push_back(line);
        if (child && depth < 8)
            DumpMenu(child, path + "/" + std::to_string(pos), depth + 1, out);
    }
}

inline std::vector<std::string> DumpMenuTree(HMENU menu)
{
    std::vector<std::string> lines;
    DumpMenu(menu, "", 0, &lines);
    return lines;
}

} // namespace sample
