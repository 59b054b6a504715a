// --nested-name-box: the file name box of the stand-in's own Save As dialog
// laid out as in the system's newer Save dialog, with no direct "Edit" child
// and no control 1148 or 1152: the "Edit" of a "ComboBox" (id 1001) inside a
// "FloatNotifySink" inside a "DirectUIHWND" inside a "DUIViewWndClassName".
// UI thread only.
#ifndef STANDIN_NESTED_BOX_H
#define STANDIN_NESTED_BOX_H

#include <windows.h>

namespace standin {

// Creates the nested box in `dlg` at the rectangle (dialog units) where the
// plain box would stand, holding `text`. Returns the Edit, or null when a
// window could not be created.
HWND CreateNestedNameBox(HWND dlg, RECT rect, const char* text);

// The Edit of the nested box of `dlg`, or null when it has none.
HWND FindNestedNameBox(HWND dlg);

} // namespace standin

#endif
