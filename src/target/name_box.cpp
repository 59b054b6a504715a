// Which window of a file dialog is its file name box (target/name_box.h).
#include "target/name_box.h"

#include <cctype>

namespace {

// Where an Edit sits, best first; Elsewhere is never the name box (an
// address bar's or a search box's edit of the newer dialogs).
enum Place { Direct, InComboEx, InCombo, InFloatSink, Elsewhere, kPlaceCount };

// Control ids of the system's file dialogs: the name box's combo box (cmb13)
// and the old edit (edt1).
constexpr int kNameComboId = 1148;
constexpr int kNameEditId = 1152;

// Window classes are registered and looked up without regard to case.
bool SameClass(const char* a, const char* b)
{
    for (; *a != '\0' && *b != '\0'; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    return *a == *b;
}

// The best place any ancestor gives the child. The walk is bounded by count,
// so a description whose parents loop ends too.
Place PlaceOf(const ChildLook* children, int count, int index)
{
    int parent = children[index].parent;
    if (parent == -1)
        return Direct;
    Place best = Elsewhere;
    for (int steps = 0; parent >= 0 && parent < count && steps < count; ++steps) {
        const ChildLook& up = children[parent];
        Place here = Elsewhere;
        if (SameClass(up.className, "ComboBoxEx32") && up.id == kNameComboId)
            here = InComboEx;
        else if (SameClass(up.className, "ComboBox") && up.id == kNameComboId)
            here = InCombo;
        else if (SameClass(up.className, "FloatNotifySink"))
            here = InFloatSink;
        if (here < best)
            best = here;
        parent = up.parent;
    }
    return best;
}

} // namespace

// Three passes from the most to the least usable edit: a box the user could
// type into is chosen over one that is only shown, and that over a hidden
// one, so that a hidden direct Edit never wins over the shown box of a
// combo box beside it.
int ChooseFileNameBox(const ChildLook* children, int count)
{
    for (int pass = 0; pass < 3; ++pass) {
        int first[kPlaceCount] = {-1, -1, -1, -1, -1};
        for (int i = 0; i < count; ++i) {
            const ChildLook& c = children[i];
            if (!SameClass(c.className, "Edit"))
                continue;
            if ((pass < 2 && !c.visible) || (pass == 0 && !c.enabled))
                continue;
            Place place = PlaceOf(children, count, i);
            if (first[place] < 0)
                first[place] = i;
        }
        for (int place = Direct; place < Elsewhere; ++place)
            if (first[place] >= 0)
                return first[place];
    }
    for (int i = 0; i < count; ++i)
        if (children[i].parent == -1 && children[i].id == kNameEditId)
            return i;
    return -1;
}
