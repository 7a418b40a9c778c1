// The curves and relevancy-map explorers of the active side.
//
// First versions: the side switching calls them; the trees are filled by the
// curve and relevancy-map work.

#include "app/FenlarkApp.h"

namespace UI {

void FenlarkApp::setCurvesExplorer(int) {}

void FenlarkApp::setRMExplorer(int) {}

} // namespace UI
