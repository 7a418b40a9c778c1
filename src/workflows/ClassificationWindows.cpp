// The main window's side of the area classification window.

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "windows/ClassificationOfAreaWindow.h"

namespace UI {

void FenlarkApp::on_pushButtonClassifiArea_clicked()
{
    IO::File* file = getDataFile(ui->activeSide);
    if (!file || activeCurveSets().isEmpty()) {
        showMessageBox(tr("Curve explorer list is empty."), 2);
        return;
    }
    // The window points into the active list and data set: application-modal
    // and parented here, so neither changes while it is open, and it goes
    // with the main window.
    auto* window = new ClassificationOfAreaWindow(&activeCurveSets(), selectedNetwork, file, 0, this);
    classificationWindow = window;
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::ApplicationModal);
    window->setWindowTitle(tr("Classification Of Area"));
    window->show();
}

} // namespace UI
