// Layout of one menu request and its reply, as both sides of the menu bridge see it in shared memory.
// Client and server are built from the same source for the same architecture; the header carries the pointer
// size so a mismatched pair refuses instead of misreading the structure.
#pragma once

#include <windows.h>

#include <cstdint>

namespace menubridge {

// Class of the message-only window every process with the bridge loaded creates to serve requests.
constexpr char kServerClass[] = "TolvaneMenuBridge";
// Sent to a server window: wParam = client process id, lParam = request number.
constexpr UINT kRequestMessage = WM_APP + 0x2B7;
// What a server window returns when it has read the request and written a reply.
constexpr LRESULT kHandled = 0x544D4231; // "TMB1"
constexpr uint32_t kMagic = 0x424D4E54;  // "TNMB"
// Caption bytes carried per request; longer caller buffers are reproduced up to this size.
constexpr uint32_t kTextCapacity = 32768;

// Every request is also the question "is this menu yours?": a server whose process does not own the menu
// answers NotOwner without calling anything.
enum class Op : uint32_t { ItemCount = 1, ItemInfo, ItemId, SubMenu };

enum class Status : uint32_t {
    Pending = 0,  // not answered
    NotOwner = 1, // the menu does not belong to the server's process
    Done = 2,     // the server ran the call; result, lastError and the out-fields are valid
    Refused = 3,  // malformed request (magic, pointer size)
};

struct Channel {
    uint32_t magic;
    uint32_t pointerSize;
    uint32_t sequence;
    Op op;
    Status status;
    uint32_t item;       // position or identifier
    uint32_t byPosition; // GetMenuItemInfoA's fByPosition
    uint32_t lastError;  // in: the caller's last error before the call; out: the last error after it
    uint64_t menu;       // HMENU value
    uint64_t result;     // return value, widened (int, UINT, BOOL or HMENU)
    // GetMenuItemInfoA only.
    uint32_t infoBytes;      // bytes of `info` that are the caller's structure (its cbSize, capped)
    uint32_t hasText;        // the caller passed a non-null dwTypeData
    uint32_t textBytes;      // bytes of the caller's buffer mirrored in `text`
    uint32_t typeDataIsText; // after the call dwTypeData still pointed at the caption buffer
    uint64_t typeData;       // otherwise: the value USER32 left in dwTypeData (a bitmap handle or 0)
    MENUITEMINFOA info;
    char text[kTextCapacity];
};

} // namespace menubridge
