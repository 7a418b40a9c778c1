// Builders of the explorer trees and tool panels that the window set-up
// runs, and the tools viewer beside a side's main viewer.
//
// First versions: the set-up calls them in their final order; the panels
// are filled by the work that builds each of them.

#include "app/FenlarkApp.h"

namespace UI {

void FenlarkApp::initDataExplorer() {}

void FenlarkApp::initCurvesExplorer() {}

void FenlarkApp::initPropertiesPanel() {}

void FenlarkApp::initFiltrationTools() {}

void FenlarkApp::initSemiSegmentationTools() {}

void FenlarkApp::initAutoSegmentationTools() {}

void FenlarkApp::initRMExplorer() {}

bool FenlarkApp::setPushButtonHideOrShow(QString)
{
    return false;
}

void FenlarkApp::pushButtonFilterFeatureShow_clicked() {}

} // namespace UI
