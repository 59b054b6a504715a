// Messages to Neat Image's windows that never wait for a person.
#pragma once

#include <windows.h>

#include "target/fault.h"

// How long a message sent to Neat Image may take before the worker goes on
// without its answer. A system file dialog shows its questions ("... already
// exists. Do you want to replace it?", "File not found") inside the handling
// of the press that raised them, so a plain send would wait there until a
// person answers; bounded, the worker goes on and the watch sees the box.
constexpr DWORD kSendBoundMs = 1500;

// The text of the fatal error when Neat Image drops Tolvane's messages.
constexpr char kRefusedCommand[] =
    "Neat Image refused a command from Tolvane: start both programs with the same rights";

// Reports a fault of this kind with `message`, or "Neat Image has closed"
// when Neat Image is on its way out (batch worker): a window or menu that went
// missing as it closes is no fault of its own. Its windows and its process end
// a moment apart, so this waits that moment before it decides, leaving at once
// on Stop. A box of Neat Image's up meanwhile is reported as the job's fault.
[[noreturn]] void FaultUnlessClosed(FaultKind kind, const char* message);

// Posts a message to a window of Neat Image (batch worker). A post that
// fails is a fault: "Neat Image has closed" when its main window is gone,
// else kRefusedCommand (Windows drops the posts of a program with lower
// rights than Neat Image's, and PostMessage then fails).
void PostToTarget(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Sends a message to a window of Neat Image and waits at most kSendBoundMs for
// the answer (batch worker). True with *result when answered; false when it
// timed out or the window is gone, after the watch has looked (so a box that
// the message raised is reported here). A refused send is a fault with
// kRefusedCommand.
bool SendToTarget(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result = nullptr);
