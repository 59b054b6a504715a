// Which window of a file dialog is its file name box, decided over a plain
// description of the dialog's descendants, so that the rule is tested without
// any window. The walk that gathers the description is in target/presses.cpp.
#pragma once

// One descendant of a file dialog, as the walk saw it.
struct ChildLook {
    char className[64]; // as GetClassNameA gives it, cut to this room
    int id;             // its control identifier
    int parent;         // index of its parent in the description; -1 for the dialog itself,
                        // any other value outside the description: a parent not seen
    bool visible;       // IsWindowVisible: it and all its parents are shown
    bool enabled;
};

// The index of the file name box among `count` descendants, or -1 when there
// is none. An "Edit" counts when it is a direct child of the dialog (the file
// name box of the system's old dialogs and of the stand-in) or lies inside
// the control that holds the name box of the system's Explorer-style dialogs:
// a "ComboBoxEx32" or "ComboBox" with id 1148, or a "FloatNotifySink" (the
// newer Save dialog, which has neither). Visible and enabled edits come first,
// then visible ones, then hidden ones; within each, a direct one first, then
// one inside a "ComboBoxEx32" 1148, a "ComboBox" 1148, a "FloatNotifySink";
// within those, the first in the description's order. Failing all, a direct
// child with id 1152 of any class.
int ChooseFileNameBox(const ChildLook* children, int count);
