// Looking up a menu command of Neat Image by its two caption prefixes.
#include "target/contract.h"
#include "target/target.h"
#include "diag/diag.h"

#include <cstring>

namespace {

// One caption query by position into a caption buffer of TEXT_MAX + 1 bytes. dwTypeData and cch are set afresh before
// every query: for a bitmap or owner-drawn item the system writes the bitmap
// handle or the item data into dwTypeData, which must never be taken for the
// caption buffer in the next query. A failed query leaves no stale caption or
// type behind to be matched.
void QueryCaption(HMENU menu, int position, MENUITEMINFOA* info, char* caption)
{
    caption[0] = '\0';
    info->fMask = MIIM_TYPE;
    info->fType = 0;
    info->dwTypeData = caption;
    info->cch = TEXT_MAX;
    if (!GetMenuItemInfoA(menu, static_cast<UINT>(position), TRUE, info)) {
        caption[0] = '\0';
        info->fType = MFT_SEPARATOR; // never matches
    }
    // A caption as long as the buffer is cut by the system; Wine then fills
    // all TEXT_MAX bytes without a terminator. The buffer has one byte more.
    caption[TEXT_MAX] = '\0';
}

bool Matches(const MENUITEMINFOA& info, const char* caption, const char* prefix)
{
    return info.fType == 0 && std::strncmp(caption, prefix, std::strlen(prefix)) == 0;
}

// The one walk of a menu bar, for FindMenuCommand and FindMenuItem: the
// command identifier of the first matching item, -1 when there is none, and
// where it was found. With `trace` each top-level caption tested is traced;
// fast pacing's repeated lookups go without.
int WalkMenu(HWND window, const char* topPrefix, const char* itemPrefix, bool trace, MenuItemRef* where)
{
    if (where != nullptr)
        *where = {nullptr, -1, 0};
    HMENU menuBar = GetMenu(window);
    if (menuBar == nullptr) {
        if (trace)
            Trace("Error getting menu handle");
        return -1;
    }
    if (trace)
        Trace("Found hMenu: %d", static_cast<int>(reinterpret_cast<INT_PTR>(menuBar)));

    int count = GetMenuItemCount(menuBar);
    if (count == -1) {
        if (trace)
            Trace("Error getting menu count");
        return -1;
    }

    // Caption buffers of TEXT_MAX + 1 bytes, outside the worker's stack.
    static char topCaption[TEXT_MAX + 1];
    static char itemCaption[TEXT_MAX + 1];
    MENUITEMINFOA top = {};
    MENUITEMINFOA item = {};
    top.cbSize = kMenuItemInfoSize;
    item.cbSize = kMenuItemInfoSize;

    for (int i = 0; i < count; ++i) {
        QueryCaption(menuBar, i, &top, topCaption);
        if (trace)
            Trace("Testing: %s vs. %s\n", topCaption, topPrefix);
        if (!Matches(top, topCaption, topPrefix))
            continue;

        if (trace)
            Trace("Found menu item: %s\n", topPrefix);
        top.fMask = MIIM_SUBMENU;
        top.hSubMenu = nullptr;
        if (!GetMenuItemInfoA(menuBar, static_cast<UINT>(i), TRUE, &top))
            top.hSubMenu = nullptr;
        HMENU dropDown = top.hSubMenu;
        int itemCount = GetMenuItemCount(dropDown); // -1 when there is none
        for (int j = 0; j < itemCount; ++j) {
            QueryCaption(dropDown, j, &item, itemCaption);
            if (Matches(item, itemCaption, itemPrefix)) {
                UINT id = GetMenuItemID(dropDown, j);
                if (where != nullptr)
                    *where = {dropDown, j, id};
                return static_cast<int>(id);
            }
        }
    }
    // The words of this line are kept exactly, spelling and all: whoever
    // reads the trace of a failed lookup searches for them.
    if (trace)
        Trace("Ooops...couldn't find the requested menu item!\n");
    return -1;
}

} // namespace

// Walks the menu bar of `window` (batch worker). Nothing is cached: Neat Image
// may rebuild its menus between calls.
int FindMenuCommand(HWND window, const char* topPrefix, const char* itemPrefix, MenuItemRef* where)
{
    return WalkMenu(window, topPrefix, itemPrefix, true, where);
}

// The same walk without a trace line, since fast pacing asks every few tens
// of milliseconds (batch worker). On Windows another process's menu can be
// read; under Wine only with help, and without it nothing is found.
MenuItemRef FindMenuItem(HWND window, const char* topPrefix, const char* itemPrefix)
{
    MenuItemRef where;
    WalkMenu(window, topPrefix, itemPrefix, false, &where);
    return where;
}

// The item's state, asked of its drop-down by position in one query; an item
// found there with another identifier (a menu rebuilt since) cannot tell.
ItemState MenuItemRefState(const MenuItemRef& ref)
{
    if (ref.dropDown == nullptr || ref.position < 0)
        return ItemState::Unreadable;
    MENUITEMINFOA item = {};
    item.cbSize = kMenuItemInfoSize;
    item.fMask = MIIM_STATE | MIIM_ID;
    if (!GetMenuItemInfoA(ref.dropDown, static_cast<UINT>(ref.position), TRUE, &item) || item.wID != ref.id)
        return ItemState::Unreadable;
    return (item.fState & MFS_DISABLED) != 0 ? ItemState::Disabled : ItemState::Enabled;
}
