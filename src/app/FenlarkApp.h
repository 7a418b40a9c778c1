#pragma once

// The one main window of the program.
//
// The class is declared here once; its members are defined in the folders of
// the subsystems that own them:
//   src/app/        start-up and shutdown, settings, data sets, viewers
//   src/tools/      tool panels, feature drivers and the task runner
//   src/workflows/  curve and relevancy-map workflows
// A member added for one of them is declared in the block of that subsystem
// below and defined in a file of its folder.

#include <array>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>
#include <QSettings>
#include <QString>

#include "acquisition/WmsManager.h"
#include "analysis/NatNetInfo.h"
#include "app/HabitatPlots.h"
#include "io/Curve.h"
#include "workflows/RelevancyMap.h"

class ClassificationOfAreaWindow;
class CurveManager;
class FenlarkAppUI;
class LocalLoader;
class NetworkExplorerWindow;
class QCloseEvent;

namespace Filter {
class Filtration;
}

namespace IO {
class File;
}

namespace UI {

class PreviewWidget;
class ViewerWidget;

class FenlarkApp : public QMainWindow {
    Q_OBJECT

public:
    explicit FenlarkApp(QWidget* parent = nullptr);
    ~FenlarkApp() override;

    // --- Start-up, shutdown and settings (src/app/) ------------------------

    // Completes the window after construction and shows it; called once by
    // main before the event loop.
    void setupWindow();

    // Makes sessionConfig a fresh copy of defaults ("session_config.ini" in
    // the working directory): everything of an earlier run is dropped.
    void initSessionConfig(QSettings* defaults);

    // --- Tool panels and feature drivers (src/tools/) ----------------------

    // --- Curve and relevancy-map workflows (src/workflows/) ----------------

    // --- Members, in declaration order -------------------------------------

    // The form and state object; value-initialised, built by setupUi.
    FenlarkAppUI* ui = nullptr;
    // The native store of the organisation and application: last-used
    // folders and the window geometry.
    QSettings settings;
    // "default_config.ini", read once at start.
    QSettings* defaultConfig = nullptr;
    // "session_config.ini": the session copy plus the per-side groups.
    QSettings* sessionConfig = nullptr;
    // Opened data sets in opening order; a data-set index everywhere is an
    // index into this list. Owned by the window.
    QList<IO::File*> dataFiles;
    // One curve-set list per data set, parallel to dataFiles.
    QList<QList<UI::CurveSet>> curveSets;
    int curveCounter = 0;          // number of the next "curve_%1"
    int curveSetCounter = 0;       // number of the next "curveSet_%1"
    int reorientedCurveCount = 0;  // curves reversed while a load added sets
    int relevancyMapCounter = 0;   // number of the next relevancy map
    // One relevancy-map list per data set, parallel to dataFiles.
    QList<QList<UI::RelevancyMap>> relevancyMaps;
    // Per side (0 left, 1 right) the viewers by object name; not owning.
    QList<QHash<QString, UI::ViewerWidget*>> viewers;
    // Plots of the loaded habitat plot file by habitat code.
    QHash<QString, HabitatPlotGroup> habitatPlots;
    // The preview map; owned by its scroll area.
    UI::PreviewWidget* previewWidget = nullptr;
    // Filtering object of the working-window size; null until first needed.
    std::unique_ptr<Filter::Filtration> filtration;
    QElapsedTimer taskTimer;
    QElapsedTimer mouseTimer;
    // The open tool windows. They delete themselves when closed, so the
    // pointers are guarded and read null once the window is gone.
    QPointer<LocalLoader> localLoader;
    QPointer<CurveManager> curveManager;
    QPointer<NetworkExplorerWindow> networkExplorer;
    // The trained network chosen in the network browser.
    NatNetInfo selectedNetwork;
    QPointer<ClassificationOfAreaWindow> classificationWindow;
    // The WMS dialog lives as long as the window (no parent).
    WmsManager wmsManager{nullptr};
    // The curve set under construction by mouse input and its preview path.
    UI::CurveSet workingCurveSet;
    std::vector<Point2D> pathPoints;
    int workingCurveIndex = -1;
    // x1, y1, x2, y2 of the last orthomosaic area, Krovak East-North metres.
    std::array<double, 4> orthoAreaCorners{0.0, 0.0, 0.0, 0.0};

protected:
    // Asks before closing; on Yes saves the window layout and removes the
    // session file and the program's temporary files.
    void closeEvent(QCloseEvent* event) override;

private slots:
    // File > Exit: the same confirmed close as the title-bar button.
    void on_actionExit_triggered();

private:
    // Set by a confirmed close: the session file is gone and must stay gone.
    bool sessionEnded_ = false;
};

} // namespace UI
