// What a list view of another process shows beside its texts: each row's
// item image.
#pragma once

#include <windows.h>

#include <vector>

namespace rig {

// The item image (iImage of column 0) of every row, in order.
std::vector<int> ListViewImages(HWND listView);

} // namespace rig
