// Slots of the window's actions that open the tool windows, take results
// back from them, start the orthomosaic search square and link the sides.

#include <QAction>
#include <QPushButton>
#include <QSettings>

#include "acquisition/LocalLoader.h"
#include "acquisition/OrthoManager.h"
#include "acquisition/RemoteLoader.h"
#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "forms/CurveManagerForm.h"
#include "forms/LocalLoaderForm.h"
#include "io/File.h"
#include "viewers/ViewerWidget.h"
#include "windows/CurveManager.h"
#include "windows/HabitatManager.h"

namespace UI {

namespace {

// Tool windows are top-level windows of their own (no parent), block the
// main window while open and are deleted when closed.
template <typename Window>
Window* openToolWindow()
{
    auto* window = new Window(nullptr);
    window->setWindowModality(Qt::WindowModal);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
    return window;
}

// A kept window that is still open is brought to the front instead of a
// second one, so its Load button always answers the window clicked.
template <typename Window>
bool raiseKept(const QPointer<Window>& window)
{
    if (!window)
        return false;
    window->show();
    window->raise();
    window->activateWindow();
    return true;
}

} // namespace

void FenlarkApp::on_actionCurve_Manager_triggered()
{
    if (raiseKept(curveManager))
        return;
    curveManager = openToolWindow<CurveManager>();
    connect(curveManager->ui->pushButtonLoad, &QPushButton::clicked, this, &FenlarkApp::curveManagerLoad);
}

void FenlarkApp::on_actionHabitat_Manager_triggered()
{
    openToolWindow<HabitatManager>();
}

void FenlarkApp::on_actionLocal_Loader_triggered()
{
    if (raiseKept(localLoader))
        return;
    localLoader = openToolWindow<LocalLoader>();
    // Connected after the window's own slot, which lists the checked archives
    // first.
    connect(localLoader->ui->pushButtonLocalLoad, &QPushButton::clicked, this, &FenlarkApp::localDataManagerLoad);
}

void FenlarkApp::localDataManagerLoad()
{
    if (!localLoader)
        return;
    const QStringList files = localLoader->selectedFiles;
    if (!files.isEmpty())
        openFiles(files);
    // The window's close confirmation decides whether it goes.
    if (localLoader)
        localLoader->close();
}

void FenlarkApp::on_actionRemote_Data_Manager_triggered()
{
    openToolWindow<RemoteLoader>();
}

void FenlarkApp::on_action_Ortho_Data_Manager_triggered()
{
    openToolWindow<OrthoManager>();
}

void FenlarkApp::wmsManager_load()
{
    const QStringList files = wmsManager.downloadedFiles;
    if (files.isEmpty())
        return;
    openFiles(files);
    wmsManager.close();
}

void FenlarkApp::on_action_Ortho_Load_files_triggered()
{
    ui->action_Ortho_Load_files->setCheckable(true);
    ui->action_Ortho_Load_files->setChecked(true);
    if (!startInitialCurve(1, -1, false)) {
        ui->action_Ortho_Load_files->setChecked(false);
        showMessageBox(tr("Unable to create initial square."), 2);
    }
}

void FenlarkApp::on_actionLink_left_right_triggered()
{
    const bool linked = ui->actionLink_left_right->isChecked();
    sessionConfig->setValue(QString::fromLatin1(Keys::globalLinkWidgets), linked);
    const int active = ui->activeSide;
    const int other = ui->otherSide;
    const QString mainName = QString::fromLatin1(Keys::viewerWidgetMain);
    ViewerWidget* activeMain = viewers[active].value(mainName);
    ViewerWidget* otherMain = viewers[other].value(mainName);

    if (linked) {
        if (otherMain && activeMain)
            otherMain->copyViewState(*activeMain);
        // Linked sides pan together, which a tools viewer of the other side's
        // own working window cannot follow: it is closed from that side.
        const bool otherShowsTools = viewers[other].contains(QString::fromLatin1(Keys::viewerWidgetToolsFeature)) ||
                                     viewers[other].contains(QString::fromLatin1(Keys::viewerWidgetToolsMaps));
        if (otherShowsTools) {
            setActiveTabWidget(other);
            setOtherTabWidget(active);
            restoreTabState(other);
            pushButtonFilterFeatureShow_clicked();
            setActiveTabWidget(active);
            setOtherTabWidget(other);
            restoreTabState(active);
        }
        refreshAllViewers();
        if (otherMain)
            syncWorkingArea(other);
        return;
    }
    if (!getDataFile(active) && activeMain)
        activeMain->resetView();
    if (!getDataFile(other) && otherMain)
        otherMain->resetView();
}

} // namespace UI
