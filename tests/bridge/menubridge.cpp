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

#include "menubridge_parts.h"

#include <cstring>

using namespace menubridge;

HMODULE menubridge::g_module = nullptr;
HANDLE menubridge::g_clientLock = nullptr;

namespace {

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

void WriteImportSlot(ULONG_PTR* slot, void* value)
{
    DWORD oldProtect = 0;
    if (!VirtualProtect(slot, sizeof(*slot), PAGE_READWRITE, &oldProtect))
        return;
    *slot = reinterpret_cast<ULONG_PTR>(value);
    DWORD ignored = 0;
    VirtualProtect(slot, sizeof(*slot), oldProtect, &ignored);
}

// Points the module's USER32 import slots of the redirected functions at the bridge. A slot is recognised
// by its import name, or, when the module keeps no name table, by holding the real function's address.
void RedirectImports(HMODULE module)
{
    auto* base = reinterpret_cast<BYTE*>(module);
    auto* dos = reinterpret_cast<IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE)
        return;
    auto* nt = reinterpret_cast<IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE)
        return;
    const IMAGE_DATA_DIRECTORY& dir = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (!dir.VirtualAddress || !dir.Size)
        return;

    HMODULE user32 = GetModuleHandleA("user32.dll");
    void* realAddress[sizeof(kRedirects) / sizeof(kRedirects[0])] = {};
    for (size_t i = 0; i < sizeof(kRedirects) / sizeof(kRedirects[0]); ++i) {
        realAddress[i] = user32 ? reinterpret_cast<void*>(GetProcAddress(user32, kRedirects[i].name)) : nullptr;
    }

    for (auto* desc = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + dir.VirtualAddress); desc->Name; ++desc) {
        if (lstrcmpiA(reinterpret_cast<const char*>(base + desc->Name), "user32.dll") != 0)
            continue;
        auto* slots = reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->FirstThunk);
        auto* names =
            desc->OriginalFirstThunk ? reinterpret_cast<IMAGE_THUNK_DATA*>(base + desc->OriginalFirstThunk) : nullptr;
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

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID)
{
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
        if (server)
            CloseHandle(server);
        RedirectImports(GetModuleHandleA(nullptr));
    }
    return TRUE;
}
