#pragma once

// The main window's form-and-state object: the Designer form (one pointer per
// named object, filled by setupUi) followed by the window's interaction state
// and the guarded pointers to the panel editors.
//
// The state is split by owner: the viewer-side and mouse-mode state below
// belongs to the shell (src/app/), the panel editors to the tool panels
// (src/tools/PanelWidgets.h). They are bases rather than members so that
// every field reads as ui->name, as code all over the window expects.
//
// Value-initialise it (new FenlarkAppUI()): the form pointers then start null
// until setupUi runs.

#include <string>
#include <vector>

#include <QHash>
#include <QPointer>
#include <QSplitter>
#include <QTabWidget>

#include "app/FenlarkAppTypes.h"
#include "io/Curve.h"
#include "tools/PanelWidgets.h"
#include "forms/FenlarkAppForm.h"

// Which data set each viewer side shows, the mouse interaction modes and what
// the tools viewers of each side show. Sides are indexed 0 (left) and 1
// (right), as FenlarkAppUI::viewerTabWidget.
struct FenlarkAppSideState {
    QPointer<QSplitter> splitter;
    QPointer<QTabWidget> leftTabWidget;
    QPointer<QTabWidget> rightTabWidget;
    int activeSide = 0;
    int otherSide = 1;
    // Index into UI::FenlarkApp::dataFiles, -1 when the side shows nothing.
    int leftDataIndex = -1;
    int rightDataIndex = -1;
    // The data set's working area stays put instead of following the view.
    bool workingAreaLocked = false;
    // Mutually exclusive mouse modes.
    bool semiSegmentationMode = false;
    bool initCircleMode = false;
    bool initSquareMode = false;
    bool initPolygonMode = false;
    bool localAdjustMode = false;
    bool localAdjustTracking = false;
    std::vector<int> pickedPointIndices;
    int pickedCurveSet = -1;
    int pickedCurve = -1;
    // Start of the next semi-automatic segment, or the last mouse point of a
    // local adjustment; (-1, -1) when unset.
    Point2D segmentAnchor{-1.0, -1.0};
    // Per side: cache key of the feature in the tools viewer, name and index
    // of what the maps viewer shows.
    QHash<int, std::string> featureShowedCacheByTab;
    QHash<int, std::string> mapsShowedNameByTab;
    QHash<int, int> mapsShowedIndexByTab;
    // Centre of the initial circle, corner of the square, last polygon vertex.
    Point2D shapeAnchor{-1.0, -1.0};
};

class FenlarkAppUI : public Ui::FenlarkAppClass,
                     public FenlarkAppSideState,
                     public PropertiesPanelWidgets,
                     public FilteringPanelWidgets,
                     public SemiSegmentationPanelWidgets,
                     public AutoSegmentationPanelWidgets,
                     public MonitoringPanelWidgets {
public:
    using viewerTabWidget = FenlarkAppTypes::viewerTabWidget;
    using HomogeneityFunctionType = FenlarkAppTypes::HomogeneityFunctionType;
    using enum FenlarkAppTypes::HomogeneityFunctionType;
};
