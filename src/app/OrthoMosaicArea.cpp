// Opening the orthomosaic under a square drawn on a Sentinel-2 image.
//
// First version: the square mode hands its clicks here once the orthomosaic
// reader exists.

#include "app/FenlarkApp.h"

namespace UI {

void FenlarkApp::pickOrthoMosaicArea(QPointF, ViewerWidget*) {}

void FenlarkApp::loadOrthoMosaicArea() {}

} // namespace UI
