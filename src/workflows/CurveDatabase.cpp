// The main window's side of the curve database window: the checked curve
// files become curve sets of the active data set.

#include "app/FenlarkApp.h"
#include "windows/CurveManager.h"

namespace UI {

void FenlarkApp::curveManagerLoad()
{
    if (!curveManager)
        return;
    // The window's own Load slot ran first and listed the checked files.
    const QStringList files = curveManager->selectedCurveFiles;
    if (!files.isEmpty()) {
        loadCurves(files);
        refreshAllViewers();
    }
    curveManager->close();
}

} // namespace UI
