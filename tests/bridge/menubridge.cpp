// menubridge.dll: lets a test-environment program read the menus of another process's windows through the
// ordinary USER32 calls, on a platform whose USER32 only answers for menus of the calling process.
//
// Every process that loads this DLL gets both halves:
//  - a server: a thread with a message-only window of class kServerClass that, when asked, runs the real
//    USER32 menu call on a menu of its own process and writes back every result field;
//  - a client: the main executable's imports of GetMenuItemCount, GetMenuItemInfoA, GetMenuItemID and
//    GetSubMenu are redirected to the Bridge* functions below. Each first makes the real call; only when that
//    fails on a handle that is not a menu of this process does it find the server whose process owns the
//    menu and return that server's answer. Where USER32 reads foreign menus itself, the bridge is never taken.
//
// Request and reply travel in a named file mapping created by the client for each request (so a reply that
// arrives after the client gave up cannot land in a later request), announced to the server by a
// SendMessageTimeoutA carrying the client's process id and the request number.

#include "bridge_channel.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

using namespace menubridge;

namespace {

constexpr DWORD kPerServerTimeoutMs = 5000;  // one server's answer
constexpr DWORD kCallBudgetMs = 10000;       // all servers asked for one call
constexpr DWORD kLockTimeoutMs = 15000;      // waiting for another thread's bridged call

HMODULE g_module = nullptr;
HANDLE g_clientLock = nullptr;           // serialises this process's bridged calls
volatile LONG g_clientThread = 0;        // id of the thread inside a bridged call, 0 when none
LONG g_sequence = 0;                     // request numbers of this process
HWND g_lastOwner = nullptr;              // server that answered last: asked first next time

// ---------------------------------------------------------------------------------------------------------
// Server side: runs on the bridge's own thread in the process that owns the menu.

void MappingName(DWORD clientPid, uint32_t sequence, char* out, size_t size) {
    std::snprintf(out, size, "TolvaneMenuBridge.%lu.%lu", static_cast<unsigned long>(clientPid),
                  static_cast<unsigned long>(sequence));
}

// Runs the request in `c` with the real USER32 functions and fills in the reply fields.
void RunRequest(Channel& c) {
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
            mii.cch = textBytes;  // the caller's cch, unless it was beyond kTextCapacity
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
        if (c.hasText) std::memcpy(c.text, text.data(), textBytes);
        break;
    }
    default:
        c.status = Status::Refused;
        return;
    }
    c.status = Status::Done;
}

LRESULT Serve(DWORD clientPid, uint32_t sequence) {
    char name[64];
    MappingName(clientPid, sequence, name, sizeof(name));
    HANDLE mapping = OpenFileMappingA(FILE_MAP_READ | FILE_MAP_WRITE, FALSE, name);
    if (!mapping) return 0;
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

LRESULT CALLBACK ServerWindowProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == kRequestMessage) {
        DWORD savedError = GetLastError();
        LRESULT r = Serve(static_cast<DWORD>(wParam), static_cast<uint32_t>(lParam));
        SetLastError(savedError);
        return r;
    }
    return DefWindowProcA(hwnd, msg, wParam, lParam);
}

// The server thread: owns the message-only window and serves requests until the process ends.
DWORD WINAPI ServerThread(LPVOID) {
    // In a program started suspended this thread can run before the program's own first thread; connect to
    // the desktop first so the message-only window lands under the desktop every other process enumerates.
    GetDesktopWindow();
    WNDCLASSA wc{};
    wc.lpfnWndProc = ServerWindowProc;
    wc.hInstance = g_module;
    wc.lpszClassName = kServerClass;
    if (!RegisterClassA(&wc) && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) return 1;
    char title[64];
    std::snprintf(title, sizeof(title), "menu bridge %lu", static_cast<unsigned long>(GetCurrentProcessId()));
    HWND hwnd = CreateWindowExA(0, kServerClass, title, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, g_module, nullptr);
    if (!hwnd) return 2;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

// ---------------------------------------------------------------------------------------------------------
// Client side: runs on whichever thread of this process calls the patched USER32 functions.

// Holds the client lock for one bridged call, with a bounded wait, and refuses a nested call on the same
// thread (a nested call would reuse the request state of the outer one).
class ClientLock {
public:
    ClientLock() {
        LONG self = static_cast<LONG>(GetCurrentThreadId());
        if (g_clientThread == self || !g_clientLock) return;
        if (WaitForSingleObject(g_clientLock, kLockTimeoutMs) != WAIT_OBJECT_0) return;
        InterlockedExchange(&g_clientThread, self);
        held_ = true;
    }
    ~ClientLock() {
        if (!held_) return;
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
    const MENUITEMINFOA* info;  // ItemInfo: the caller's structure as it was before the call
    uint32_t infoBytes;
    bool hasText;
    const char* text;           // ItemInfo: the caller's caption buffer
    uint32_t textBytes;
};

// Message-only windows of other processes' bridge servers, the last owner first.
std::vector<HWND> FindServers() {
    std::vector<HWND> servers;
    DWORD self = GetCurrentProcessId();
    HWND after = nullptr;
    while ((after = FindWindowExA(HWND_MESSAGE, after, kServerClass, nullptr)) != nullptr) {
        DWORD pid = 0;
        GetWindowThreadProcessId(after, &pid);
        if (pid != self) servers.push_back(after);
        if (servers.size() > 256) break;
    }
    auto last = std::find(servers.begin(), servers.end(), g_lastOwner);
    if (last != servers.end()) std::rotate(servers.begin(), last, last + 1);
    return servers;
}

// Asks one server; true when that server owns the menu and ran the call (reply copied into *reply).
bool AskServer(HWND server, const Call& call, DWORD timeoutMs, Channel* reply) {
    uint32_t sequence = static_cast<uint32_t>(InterlockedIncrement(&g_sequence));
    char name[64];
    MappingName(GetCurrentProcessId(), sequence, name, sizeof(name));
    HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(Channel), name);
    if (!mapping) return false;
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
            if (call.hasText && call.textBytes) std::memcpy(c->text, call.text, call.textBytes);
        }
        DWORD_PTR result = 0;
        LRESULT sent = SendMessageTimeoutA(server, kRequestMessage, GetCurrentProcessId(), sequence,
                                           SMTO_BLOCK | SMTO_ABORTIFHUNG, timeoutMs, &result);
        if (sent && static_cast<LRESULT>(result) == kHandled && c->sequence == sequence &&
            c->status == Status::Done) {
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
bool AskOwner(const Call& call, Channel* reply) {
    ClientLock lock;
    if (!lock.held()) return false;
    DWORD start = GetTickCount();
    for (HWND server : FindServers()) {
        DWORD spent = GetTickCount() - start;
        if (spent >= kCallBudgetMs) break;
        DWORD timeout = std::min(kPerServerTimeoutMs, kCallBudgetMs - spent);
        if (AskServer(server, call, timeout, reply)) {
            g_lastOwner = server;
            return true;
        }
    }
    return false;
}

// A handle USER32 refused that is not a menu of this process: possibly another process's menu.
bool MaybeForeign(HMENU menu) {
    return menu != nullptr && !IsMenu(menu);
}

std::unique_ptr<Channel> NewReply() {
    return std::unique_ptr<Channel>(new Channel);
}

int WINAPI BridgeGetMenuItemCount(HMENU menu) {
    DWORD before = GetLastError();
    int n = GetMenuItemCount(menu);
    if (n != -1) return n;
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

UINT WINAPI BridgeGetMenuItemID(HMENU menu, int pos) {
    DWORD before = GetLastError();
    UINT id = GetMenuItemID(menu, pos);
    if (id != static_cast<UINT>(-1)) return id;
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

HMENU WINAPI BridgeGetSubMenu(HMENU menu, int pos) {
    DWORD before = GetLastError();
    HMENU sub = GetSubMenu(menu, pos);
    if (sub) return sub;
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

BOOL WINAPI BridgeGetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOA info) {
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
    if (ok || !info) return ok;
    DWORD realError = GetLastError();
    if (MaybeForeign(menu)) {
        bool hasText = infoBytes >= kTypeDataEnd && infoBytes >= kCchEnd && original.dwTypeData != nullptr;
        uint32_t textBytes = hasText ? std::min<uint32_t>(original.cch, kTextCapacity) : 0;
        Call call{Op::ItemInfo, menu, item, byPosition ? 1u : 0u, before, &original, infoBytes, hasText,
                  hasText ? original.dwTypeData : nullptr, textBytes};
        auto reply = NewReply();
        if (AskOwner(call, reply.get())) {
            std::memcpy(info, &reply->info, infoBytes);
            if (infoBytes >= kTypeDataEnd) {
                if (hasText) {
                    std::memcpy(original.dwTypeData, reply->text, textBytes);
                    info->dwTypeData = reply->typeDataIsText ? original.dwTypeData
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

// ---------------------------------------------------------------------------------------------------------
// Import redirection of the main executable.

struct Redirect {
    const char* name;
    void* replacement;
};

const Redirect kRedirects[] = {
    {"GetMenuItemCount", reinterpret_cast<void*>(&BridgeGetMenuItemCount)},
    {"GetMenuItemInfoA", reinterpret_cast<void*>(&BridgeGetMenuItemInfoA)},
    {"GetMenuItemID", reinterpret_cast<void*>(&BridgeGetMenuItemID)},
    {"GetSubMenu", reinterpret_cast<void*>(&BridgeGetSubMenu)},
};

void WriteImportSlot(ULONG_PTR* slot, void* value) {
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &oldProtect)) return;
    *slot = reinterpret_cast<ULONG_PTR>(value);
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof(*slot), oldProtect, &ignored);
}

// Points the module's USER32 import slots of the redirected functions at the bridge. A slot is recognised
// by its import name, or, when the module keeps no name table, by holding the real function's address.
void RedirectImports(HMODULE module) {
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress || !dir.Size) return;

    HMODULE user32 = GetModuleHandleA("user32.dll");
    void* realAddress[sizeof(kRedirects) / sizeof(kRedirects[0])] = {};
    for (size_t i = 0; i < sizeof(kRedirects) / sizeof(kRedirects[0]); ++i) {
        realAddress[i] = user32 ? reinterpret_cast<void*>(GetProcAddress(user32, kRedirects[i].name)) : nullptr;
    }

    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), "user32.dll") != 0) continue;
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        auto* names = desc->OriginalFirstThunk ? reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk)
                                               : nullptr;
        for (size_t k = 0; slots[k].u1.Function; ++k) {
            const char* importName = nullptr;
            if (names && !IMAGE_SNAP_BY_ORDINAL(names[k].u1.Ordinal)) {
                importName = reinterpret_cast<const char*>(
                    reinterpret_cast<IMAGE_IMPORT_BY_NAME*>(base + names[k].u1.AddressOfData)->Name);
            }
            for (size_t i = 0; i < sizeof(kRedirects) / sizeof(kRedirects[0]); ++i) {
                bool byName = importName && std::strcmp(importName, kRedirects[i].name) == 0;
                bool byAddress = realAddress[i] && slots[k].u1.Function == reinterpret_cast<ULONG_PTR>(realAddress[i]);
                if (byName || byAddress) {
                    WriteImportSlot(reinterpret_cast<ULONG_PTR*>(&slots[k].u1.Function), kRedirects[i].replacement);
                    break;
                }
            }
        }
    }
    FlushInstructionCache(GetCurrentProcess(), nullptr, 0);
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
        // The server thread and the redirected imports point into this DLL for the rest of the process's
        // life, so it must never be unloaded.
        HMODULE pinned = nullptr;
        GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_PIN,
                           reinterpret_cast<LPCSTR>(&DllMain), &pinned);
        g_clientLock = CreateMutexA(nullptr, FALSE, nullptr);
        // Not waited for here: the thread starts only after the loader lets go of DllMain.
        HANDLE server = CreateThread(nullptr, 0, ServerThread, nullptr, 0, nullptr);
        if (server) CloseHandle(server);
        RedirectImports(GetModuleHandleA(nullptr));
    }
    return TRUE;
}
