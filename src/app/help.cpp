// The help text shown by the Help button.
#include "app/app.h"
#include "app/version.h"
#include "tolvane.h"

// Four lines end in exactly one blank; keep them so. The version and publisher
// lines take their texts from app/version.h, as the version resource does.
// One line of the text a line of the source, as the box shows it.
// clang-format off
const char HelpText[] =
    "                                         " TOLVANE_PRODUCT_NAME " " TOLVANE_VERSION_TEXT "\n"
    "                               " TOLVANE_COPYRIGHT "\n"
    "                               " TOLVANE_HOMEPAGE "\n"
    "\n"
    "Overview:\n"
    "\n"
    "   Tolvane adds \"batch processing\" ability to Neat Image (version 1.0 & 1.1).\n"
    "   Neat Image is available from its distributor at http://neatimage.example.com/\n"
    "   Tolvane works with Neat Image to process a list of images and save the \n"
    "   resulting processed images without the need for any user intervention.\n"
    "\n"
    "Instructions:\n"
    "\n"
    "   Step 1. Start Neat Image.\n"
    "   Step 2. Click the \"Add\" button to select one or more image files.\n"
    "   Step 3. Select a noise profile when prompted.\n"
    "   Step 4. Click the \"Start\" button to start processing images.\n"
    "\n"
    "Notes:\n"
    "\n"
    "   Using \"Idle Priority\" forces Neat Image to work in the background and \n"
    "   improves responsiveness of other running programs.\n"
    "\n"
    "   Keep Tolvane in a folder you can write to, such as your Documents, not\n"
    "   in Program Files: it writes its session log beside itself, and Start\n"
    "   refuses to begin a run when it cannot.\n"
    "\n"
    "   Start Neat Image and Tolvane with the same rights: Start refuses when\n"
    "   Neat Image runs as administrator and Tolvane does not. Run neither as\n"
    "   administrator: files dragged onto Tolvane's window are not taken when\n"
    "   it runs as administrator.\n"
    "\n"
    "   After processing, corrected files are saved in bmp format in the same \n"
    "   directory as the originals, but are given a new name (the originals are not \n"
    "   overwritten).\n"
    "\n"
    "   Tolvane was written quickly for personal use...it does not have very robust\n"
    "   error handling, and may not work with future versions of Neat Image\n"
    "\n"
    "Distribution Status:\n"
    "\n"
    "   \n";
// clang-format on

// Shows the help text in an information box owned by the main dialog (user
// interface thread).
void ShowHelp()
{
    MessageBoxA(MainDialog, HelpText, "Tolvane Help", MB_ICONINFORMATION);
}
