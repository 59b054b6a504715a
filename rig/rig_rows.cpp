// Item images of a list view of another process (rig_rows.h).
#include "rig_rows.h"
#include "remote_buffer.h"
#include "rig.h"
#include "rig_send.h"

#include <commctrl.h>

namespace rig {

// One LVM_GETITEMA per row, its item in the owner's memory: a pointer of
// this process would mean nothing there.
std::vector<int> ListViewImages(HWND listView)
{
    std::vector<int> images;
    int count = ListViewCount(listView);
    RemoteBuffer remote(listView, sizeof(LVITEMA));
    if (!remote.ok())
        return images;
    for (int i = 0; i < count; ++i) {
        LVITEMA item = {};
        item.mask = LVIF_IMAGE;
        item.iItem = i;
        item.iImage = -99;
        if (!remote.Write(0, &item, sizeof item) ||
            !SendBounded(listView, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(remote.at(0))) ||
            !remote.Read(0, &item, sizeof item))
            item.iImage = -99;
        images.push_back(item.iImage);
    }
    return images;
}

} // namespace rig
