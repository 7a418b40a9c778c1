// Habitat plot marks of the properties panel.
//
// First versions: the panel's widgets and the plot file list call them; the
// habitat plot work reads the tables, fills the habitat and plot choices,
// centres on a plot and draws the initial circle around it.

#include "app/FenlarkApp.h"

namespace UI {

void FenlarkApp::loadHabitatPlots(const QString&, int) {}

void FenlarkApp::fillHabitatPlotCombo() {}

void FenlarkApp::centerOnHabitatPlot() {}

void FenlarkApp::initCircleFromHabitatPlot() {}

} // namespace UI
