// menubridge.dll, client side: runs on whichever thread of this process calls the patched USER32 functions;
// each first makes the real call and asks the owner's server only when that fails on a foreign menu.

#include "menubridge_parts.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>
#include <vector>

namespace menubridge {

namespace {

constexpr DWORD kPerServerTimeoutMs = 5000; // one server's answer
constexpr DWORD kCallBudgetMs = 10000;      // all servers asked for one call
constexpr DWORD kLockTimeoutMs = 15000;     // waiting for another thread's bridged call

volatile LONG g_clientThread = 0; // id of the thread inside a bridged call, 0 when none
LONG g_sequence = 0;              // request numbers of this process
HWND g_lastOwner = nullptr;       // server that answered last: asked first next time

// Holds the client lock for one bridged call, with a bounded wait, and refuses a nested call on the same
// thread (a nested call would reuse the request state of the outer one).
class ClientLock {
public:
    ClientLock()
    {
        LONG self = static_cast<LONG>(GetCurrentThreadId());
        if (g_clientThread == self || !g_clientLock)
            return;
        if (WaitForSingleObject(g_clientLock, kLockTimeoutMs) != WAIT_OBJECT_0)
            return;
        InterlockedExchange(&g_clientThread, self);
        held_ = true;
    }
    ~ClientLock()
    {
        if (!held_)
            return;
        InterlockedExchange(&g_clientThread, 0);
        ReleaseMutex(g_clientLock);
    }
    ClientLock(const ClientLock&) = delete;
    ClientLock& operator=(const ClientLock&) = delete;
    bool held() const { return held_; }

private:
    bool held_ = false;
};

struct Call {
    Op op;
    HMENU menu;
    UINT item;
    UINT byPosition;
    DWORD lastError;
    const MENUITEMINFOA* info; // ItemInfo: the caller's structure as it was before the call
    uint32_t infoBytes;
    bool hasText;
    const char* text; // ItemInfo: the caller's caption buffer
    uint32_t textBytes;
};

// Message-only windows of other processes' bridge servers, the last owner first.
std::vector<HWND> FindServers()
{
    std::vector<HWND> servers;
    DWORD self = GetCurrentProcessId();
    HWND after = nullptr;
    while ((after = FindWindowExA(HWND_MESSAGE, after, kServerClass, nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(after, &pid);
        if (pid != self)
            servers.push_back(after);
        if (servers.size() > 256)
            break;
    }
    auto last = std::find(servers.begin(), servers.end(), g_lastOwner);
    if (last != servers.end())
        std::rotate(servers.begin(), last, last + 1);
    return servers;
}

// Asks one server; true when that server owns the menu and ran the call (reply copied into *reply).
bool AskServer(HWND server, const Call& call, DWORD timeoutMs, Channel* reply)
{
    uint32_t sequence = static_cast<uint32_t>(InterlockedIncrement(&g_sequence));
    char name[64];
    MappingName(GetCurrentProcessId(), sequence, name, sizeof(name));
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Channel), name);
    if (!mapping)
        return false;
    bool answered = false;
    auto* c = static_cast<Channel*>(MapViewOfFile(mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(Channel)));
    if (c) {
        std::memset(c, 0, offsetof(Channel, text));
        c->magic = kMagic;
        c->pointerSize = sizeof(void*);
        c->sequence = sequence;
        c->op = call.op;
        c->status = Status::Pending;
        c->item = call.item;
        c->byPosition = call.byPosition;
        c->lastError = call.lastError;
        c->menu = reinterpret_cast<uintptr_t>(call.menu);
        if (call.info) {
            c->infoBytes = call.infoBytes;
            std::memcpy(&c->info, call.info, call.infoBytes);
            c->hasText = call.hasText ? 1u : 0u;
            c->textBytes = call.textBytes;
            if (call.hasText && call.textBytes)
                std::memcpy(c->text, call.text, call.textBytes);
        }
        DWORD_PTR result = 0;
        LRESULT sent = SendMessageTimeoutA(server, kRequestMessage, GetCurrentProcessId(), sequence,
                                           SMTO_BLOCK | SMTO_ABORTIFHUNG, timeoutMs, &result);
        if (sent && static_cast<LRESULT>(result) == kHandled && c->sequence == sequence && c->status == Status::Done) {
            std::memcpy(reply, c, offsetof(Channel, text) + std::min<uint32_t>(c->textBytes, kTextCapacity));
            answered = true;
        }
        UnmapViewOfFile(c);
    }
    CloseHandle(mapping);
    return answered;
}

// Finds the server whose process owns call.menu and has it run the call. True with *reply filled when an
// owner answered; false when no server owns the menu or none answered in time.
bool AskOwner(const Call& call, Channel* reply)
{
    ClientLock lock;
    if (!lock.held())
        return false;
    DWORD start = GetTickCount();
    for (HWND server : FindServers()) {
        DWORD spent = GetTickCount() - start;
        if (spent >= kCallBudgetMs)
            break;
        DWORD timeout = std::min(kPerServerTimeoutMs, kCallBudgetMs - spent);
        if (AskServer(server, call, timeout, reply)) {
            g_lastOwner = server;
            return true;
        }
    }
    return false;
}

// A handle USER32 refused that is not a menu of this process: possibly another process's menu.
bool MaybeForeign(HMENU menu)
{
    return menu != nullptr && !IsMenu(menu);
}

std::unique_ptr<Channel> NewReply()
{
    return std::unique_ptr<Channel>(new Channel);
}

} // namespace

int WINAPI BridgeGetMenuItemCount(HMENU menu)
{
    DWORD before = GetLastError();
    int n = GetMenuItemCount(menu);
    if (n != -1)
        return n;
    DWORD realError = GetLastError();
    if (MaybeForeign(menu)) {
        Call call{Op::ItemCount, menu, 0, 0, before, nullptr, 0, false, nullptr, 0};
        auto reply = NewReply();
        if (AskOwner(call, reply.get())) {
            SetLastError(reply->lastError);
            return static_cast<int>(static_cast<int64_t>(reply->result));
        }
    }
    SetLastError(realError);
    return n;
}

UINT WINAPI BridgeGetMenuItemID(HMENU menu, int pos)
{
    DWORD before = GetLastError();
    UINT id = GetMenuItemID(menu, pos);
    if (id != static_cast<UINT>(-1))
        return id;
    DWORD realError = GetLastError();
    if (MaybeForeign(menu)) {
        Call call{Op::ItemId, menu, static_cast<UINT>(pos), 0, before, nullptr, 0, false, nullptr, 0};
        auto reply = NewReply();
        if (AskOwner(call, reply.get())) {
            SetLastError(reply->lastError);
            return static_cast<UINT>(reply->result);
        }
    }
    SetLastError(realError);
    return id;
}

HMENU WINAPI BridgeGetSubMenu(HMENU menu, int pos)
{
    DWORD before = GetLastError();
    HMENU sub = GetSubMenu(menu, pos);
    if (sub)
        return sub;
    DWORD realError = GetLastError();
    if (MaybeForeign(menu)) {
        Call call{Op::SubMenu, menu, static_cast<UINT>(pos), 0, before, nullptr, 0, false, nullptr, 0};
        auto reply = NewReply();
        if (AskOwner(call, reply.get())) {
            SetLastError(reply->lastError);
            return reinterpret_cast<HMENU>(static_cast<uintptr_t>(reply->result));
        }
    }
    SetLastError(realError);
    return sub;
}

constexpr size_t kTypeDataEnd = offsetof(MENUITEMINFOA, dwTypeData) + sizeof(LPSTR);
constexpr size_t kCchEnd = offsetof(MENUITEMINFOA, cch) + sizeof(UINT);

BOOL WINAPI BridgeGetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOA info)
{
    DWORD before = GetLastError();
    // The structure as the caller filled it: the owner's call starts from this, not from whatever a failed
    // local call may have left in it.
    MENUITEMINFOA original{};
    uint32_t infoBytes = 0;
    if (info) {
        infoBytes = std::min<uint32_t>(info->cbSize, sizeof(MENUITEMINFOA));
        std::memcpy(&original, info, infoBytes);
    }
    BOOL ok = GetMenuItemInfoA(menu, item, byPosition, info);
    if (ok || !info)
        return ok;
    DWORD realError = GetLastError();
    if (MaybeForeign(menu)) {
        bool hasText = infoBytes >= kTypeDataEnd && infoBytes >= kCchEnd && original.dwTypeData != nullptr;
        uint32_t textBytes = hasText ? std::min<uint32_t>(original.cch, kTextCapacity) : 0;
        Call call{Op::ItemInfo,
                  menu,
                  item,
                  byPosition ? 1u : 0u,
                  before,
                  &original,
                  infoBytes,
                  hasText,
                  hasText ? original.dwTypeData : nullptr,
                  textBytes};
        auto reply = NewReply();
        if (AskOwner(call, reply.get())) {
            std::memcpy(info, &reply->info, infoBytes);
            if (infoBytes >= kTypeDataEnd) {
                if (hasText) {
                    std::memcpy(original.dwTypeData, reply->text, textBytes);
                    info->dwTypeData = reply->typeDataIsText
                                           ? original.dwTypeData
                                           : reinterpret_cast<LPSTR>(static_cast<uintptr_t>(reply->typeData));
                } else {
                    info->dwTypeData = reinterpret_cast<LPSTR>(static_cast<uintptr_t>(reply->typeData));
                }
            }
            SetLastError(reply->lastError);
            return reply->result ? TRUE : FALSE;
        }
    }
    SetLastError(realError);
    return ok;
}

} // namespace menubridge
