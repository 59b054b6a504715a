// SendMessage with a limit, for the rig's sources: a hung owner costs a
// bounded wait, never a hang.
#pragma once

#include <windows.h>

namespace rig {

LRESULT SendBounded(HWND w, UINT msg, WPARAM wp, LPARAM lp, DWORD timeoutMs = 3000);

} // namespace rig
