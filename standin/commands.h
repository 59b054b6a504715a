// Menu command identifiers of the stand-in application. Automation finds the
// items by caption; these fixed values let a test that cannot read another
// process's menus send the commands directly.
#ifndef STANDIN_COMMANDS_H
#define STANDIN_COMMANDS_H

namespace standin {

enum MenuCommand : int {
    IDM_IMAGE_OPEN = 40001,   // "&Image" > "&Open...\tCtrl+O"
    IDM_IMAGE_SAVEAS = 40002, // "&Image" > "Save &as...\tCtrl+S"
    IDM_IMAGE_CLOSE = 40003,  // "&Image" > "&Close"
    IDM_EXIT = 40004,         // "&Image" > "E&xit"
    IDM_PROFILE_OPEN = 40011, // "&Profile" > "&Open...\tCtrl+P"
    IDM_FILTER_APPLY = 40021, // "&Filter" > "&Apply\tF5"
    IDM_HELP_ABOUT = 40031,   // "&Help" > "&About..."
};

} // namespace standin

#endif
