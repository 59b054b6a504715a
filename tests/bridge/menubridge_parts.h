// What the three sources of menubridge.dll share: the module and the client lock that DllMain sets up, the
// name of a request's file mapping, the server thread, and the Bridge* functions the imports are pointed at.
#pragma once

#include "bridge_channel.h"

#include <cstddef>
#include <cstdint>

namespace menubridge {

extern HMODULE g_module;
extern HANDLE g_clientLock; // serialises this process's bridged calls

// The name of the file mapping of one request: the client's process id and the request number.
void MappingName(DWORD clientPid, uint32_t sequence, char* out, size_t size);

// The server thread: owns the message-only window and serves requests until the process ends.
DWORD WINAPI ServerThread(LPVOID);

// The replacements of the main executable's menu imports.
int WINAPI BridgeGetMenuItemCount(HMENU menu);
UINT WINAPI BridgeGetMenuItemID(HMENU menu, int pos);
HMENU WINAPI BridgeGetSubMenu(HMENU menu, int pos);
BOOL WINAPI BridgeGetMenuItemInfoA(HMENU menu, UINT item, BOOL byPosition, LPMENUITEMINFOA info);

} // namespace menubridge
