// menubridge.dll, server side: runs on the bridge's own thread in the process that owns the menu, runs each
// request with the real USER32 functions and writes the reply into the request's mapping.

#include "menubridge_parts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace menubridge {

void MappingName(DWORD clientPid, uint32_t sequence, char* out, size_t size)
{
    std::snprintf(out, size, "TolvaneMenuBridge.%lu.%lu", static_cast<unsigned long>(clientPid),
                  static_cast<unsigned long>(sequence));
}

namespace {

// Runs the request in `c` with the real USER32 functions and fills in the reply fields.
void RunRequest(Channel& c)
{
    HMENU menu = reinterpret_cast<HMENU>(static_cast<uintptr_t>(c.menu));
    if (!menu || !IsMenu(menu)) {
        c.status = Status::NotOwner;
        return;
    }
    switch (c.op) {
    case Op::ItemCount: {
        SetLastError(c.lastError);
        int n = GetMenuItemCount(menu);
        c.lastError = GetLastError();
        c.result = static_cast<uint64_t>(static_cast<int64_t>(n));
        break;
    }
    case Op::ItemId: {
        SetLastError(c.lastError);
        UINT id = GetMenuItemID(menu, static_cast<int>(c.item));
        c.lastError = GetLastError();
        c.result = id;
        break;
    }
    case Op::SubMenu: {
        SetLastError(c.lastError);
        HMENU sub = GetSubMenu(menu, static_cast<int>(c.item));
        c.lastError = GetLastError();
        c.result = reinterpret_cast<uintptr_t>(sub);
        break;
    }
    case Op::ItemInfo: {
        uint32_t infoBytes = std::min<uint32_t>(c.infoBytes, sizeof(MENUITEMINFOA));
        uint32_t textBytes = std::min<uint32_t>(c.textBytes, kTextCapacity);
        MENUITEMINFOA mii;
        std::memset(&mii, 0, sizeof(mii));
        std::memcpy(&mii, &c.info, infoBytes);
        std::vector<char> text(textBytes + 1);
        if (c.hasText) {
            std::memcpy(text.data(), c.text, textBytes);
            mii.dwTypeData = text.data();
            mii.cch = textBytes; // the caller's cch, unless it was beyond kTextCapacity
        } else {
            mii.dwTypeData = nullptr;
        }
        SetLastError(c.lastError);
        BOOL ok = GetMenuItemInfoA(menu, c.item, c.byPosition ? TRUE : FALSE, &mii);
        c.lastError = GetLastError();
        c.result = ok ? 1u : 0u;
        c.typeDataIsText = (c.hasText && mii.dwTypeData == text.data()) ? 1u : 0u;
        c.typeData = c.typeDataIsText ? 0 : reinterpret_cast<uintptr_t>(mii.dwTypeData);
        mii.dwTypeData = nullptr;
        std::memcpy(&c.info, &mii, infoBytes);
        if (c.hasText)
            std::memcpy(c.text, text.data(), textBytes);
        break;
    }
    default:
        c.status = Status::Refused;
        return;
    }
    c.status = Status::Done;
}

LRESULT Serve(DWORD clientPid, uint32_t sequence)
{
    char name[64];
    MappingName(clientPid, sequence, name, sizeof(name));
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
    if (!mapping)
        return 0;
    auto* c = static_cast<Channel*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Channel)));
    LRESULT answer = 0;
    if (c) {
        if (c->magic == kMagic && c->sequence == sequence) {
            if (c->pointerSize != sizeof(void*)) {
                c->status = Status::Refused;
            } else {
                RunRequest(*c);
            }
            answer = kHandled;
        }
        UnmapViewOfFile(c);
    }
    CloseHandle(mapping);
    return answer;
}

LRESULT CALLBACK ServerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == kRequestMessage) {
        DWORD savedError = GetLastError();
        LRESULT r = Serve(static_cast<DWORD>(wParam), static_cast<uint32_t>(lParam));
        SetLastError(savedError);
        return r;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

} // namespace

// The server thread: owns the message-only window and serves requests until the process ends.
DWORD WINAPI ServerThread(LPVOID)
{
    // In a program started suspended this thread can run before the program's own first thread; connect to
    // the desktop first so the message-only window lands under the desktop every other process enumerates.
    GetDesktopWindow();
    WNDCLASSA wc{};
    wc.lpfnWndProc = ServerWindowProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kServerClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return 1;
    char title[64];
    std::snprintf(title, sizeof(title), "menu bridge %lu", static_cast<unsigned long>(GetCurrentProcessId()));
    HWND hwnd = CreateWindowExA(0, kServerClass, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
    if (!hwnd)
        return 2;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

} // namespace menubridge
