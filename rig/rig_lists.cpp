// List views and combo boxes of any process: the item structures and text
// buffers a message needs are placed in the owner's memory.
#include "rig.h"
#include "rig_send.h"
#include "remote_buffer.h"

#include <commctrl.h>

namespace rig {

int ListViewCount(HWND listView)
{
    return static_cast<int>(SendBounded(listView, LVM_GETITEMCOUNT, 0, 0));
}

std::vector<std::vector<std::string>> ListViewRows(HWND listView, int columns)
{
    std::vector<std::vector<std::string>> rows;
    int count = ListViewCount(listView);
    if (count <= 0)
        return rows;
    const SIZE_T kText = 1024;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + kText);
    if (!remote.ok())
        return rows;
    for (int i = 0; i < count; ++i) {
        std::vector<std::string> row;
        for (int c = 0; c < columns; ++c) {
            LVITEMA item = {};
            item.mask = LVIF_TEXT;
            item.iItem = i;
            item.iSubItem = c;
            item.pszText = remote.at(sizeof(LVITEMA));
            item.cchTextMax = static_cast<int>(kText);
            char text[kText] = "";
            remote.Write(sizeof(LVITEMA), text, 1);
            remote.Write(0, &item, sizeof item);
            SendBounded(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0)));
            remote.Read(sizeof(LVITEMA), text, kText);
            text[kText - 1] = '\0';
            row.push_back(text);
        }
        rows.push_back(row);
    }
    return rows;
}

bool AddListViewRow(HWND listView, const std::vector<std::string>& texts)
{
    const SIZE_T kText = 1024;
    RemoteBuffer remote(listView, sizeof(LVITEMA) + kText);
    if (!remote.ok() || texts.empty())
        return false;
    int row = ListViewCount(listView);
    // The row's identity, as the program's own InsertJob gives it: one more
    // than the last row's, so that identities grow down the list.
    LPARAM id = 1;
    if (row > 0) {
        LVITEMA last = {};
        last.mask = LVIF_PARAM;
        last.iItem = row - 1;
        if (!remote.Write(0, &last, sizeof last) ||
            !SendBounded(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0))) ||
            !remote.Read(0, &last, sizeof last))
            return false;
        id = last.lParam + 1;
    }
    for (size_t c = 0; c < texts.size(); ++c) {
        std::string text = texts[c].substr(0, kText - 1);
        LVITEMA item = {};
        item.mask = c == 0 ? (LVIF_TEXT | LVIF_PARAM) : LVIF_TEXT;
        item.lParam = id;
        item.iItem = row;
        item.iSubItem = static_cast<int>(c);
        item.pszText = remote.at(sizeof(LVITEMA));
        if (!remote.Write(sizeof(LVITEMA), text.c_str(), text.size() + 1) || !remote.Write(0, &item, sizeof item))
            return false;
        LRESULT r =
            SendBounded(listView, c == 0 ? LVM_INSERTITEMA : LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0)));
        if (c == 0 ? r != row : r == 0)
            return false;
    }
    return true;
}

bool SelectListViewRows(HWND listView, const std::vector<int>& rows)
{
    RemoteBuffer remote(listView, sizeof(LVITEMA));
    if (!remote.ok())
        return false;
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    remote.Write(0, &item, sizeof item);
    // Row -1 applies the state to every row: clear all first.
    SendBounded(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(remote.at(0)));
    item.state = LVIS_SELECTED;
    remote.Write(0, &item, sizeof item);
    for (int r : rows) {
        if (!SendBounded(listView, LVM_SETITEMSTATE, static_cast<WPARAM>(r), reinterpret_cast<LPARAM>(remote.at(0))))
            return false;
    }
    return true;
}

std::vector<std::string> ComboItems(HWND combo)
{
    // The ANSI CB_GETLBTEXT gives only the first character across processes
    // under Wine, so the items are read as wide text and narrowed.
    std::vector<std::string> items;
    LRESULT count = SendBounded(combo, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        LRESULT len = SendBounded(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (len < 0)
            len = 0;
        std::wstring w(static_cast<size_t>(len) + 1, L'\0');
        DWORD_PTR got = 0;
        SendMessageTimeoutW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&w[0]),
                            SMTO_ABORTIFHUNG, 3000, &got);
        std::string a;
        for (wchar_t ch : w) {
            if (ch == 0)
                break;
            a.push_back(static_cast<char>(ch));
        }
        items.push_back(a);
    }
    return items;
}

int ComboSelection(HWND combo)
{
    return static_cast<int>(SendBounded(combo, CB_GETCURSEL, 0, 0));
}

bool SetComboSelection(HWND combo, int index)
{
    return SendBounded(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0) == index;
}

} // namespace rig
