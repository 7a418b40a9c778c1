// Slots of the window's actions and of the windows it wires up.

#include "app/FenlarkApp.h"

namespace UI {

void FenlarkApp::wmsManager_load()
{
    // First version: the downloaded images are opened once opening files
    // exists.
}

} // namespace UI
