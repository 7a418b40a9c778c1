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
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QSettings>
#include <QString>

#include "acquisition/WmsManager.h"
#include "analysis/NatNetInfo.h"
#include "app/ClickClock.h"
#include "app/FenlarkAppTypes.h"
#include "filter/FilterType.h"
#include "app/HabitatPlots.h"
#include "io/Curve.h"
#include "io/File.h"
#include "workflows/RelevancyMap.h"

class ClassificationOfAreaWindow;
class CurveManager;
class SegmentTracer;
struct SegmentTraceRequest;
class FenlarkAppUI;
class LocalLoader;
class NetworkExplorerWindow;
class QCloseEvent;
class QColor;
class QEvent;
class QGridLayout;
class QLayoutItem;
class QMenu;
class QPushButton;
class QTreeWidgetItem;
class QMouseEvent;
class QTabWidget;
class QToolButton;
class QWheelEvent;

namespace Filter {
class Filtration;
}

namespace UI {

class PreviewWidget;
class ViewerWidget;

class FenlarkApp : public QMainWindow {
    Q_OBJECT

public:
    explicit FenlarkApp(QWidget* parent = nullptr);
    ~FenlarkApp() override;

    // A viewer side (0 left, 1 right) and the homogeneity variants, as the
    // tools take them.
    using ViewerSide = FenlarkAppTypes::viewerTabWidget;
    using HomogeneityType = FenlarkAppTypes::HomogeneityFunctionType;

    // --- Start-up, shutdown and settings (src/app/) ------------------------

    // Completes the window after construction and shows it; called once by
    // main before the event loop.
    void setupWindow();

    // Makes sessionConfig a fresh copy of defaults ("session_config.ini" in
    // the working directory): everything of an earlier run is dropped.
    void initSessionConfig(QSettings* defaults);

    // --- Window set-up, sides and docks (WindowSetup.cpp) ------------------

    // Adds the first tab of a side: a page whose grid holds the side's main
    // viewer; the left side also gets the corner button that opens the right.
    void addViewerTab(const QString& text, QTabWidget* tabWidget, int side);
    // Make a side the active one (green) / style the side that is not (grey).
    void setActiveTabWidget(int side);
    void setOtherTabWidget(int side);
    // The properties, tools, curves and preview-map docks together.
    void setToolDocksEnabled(bool enabled);

    // --- Side state and its accessors (SideState.cpp) ----------------------

    // Opens the side's group ("leftTabWidget" for 0, "rightTabWidget"
    // otherwise) on sessionConfig; the caller closes it with endGroup. The
    // accessors below open and close it themselves.
    void beginTabGroup(int side);
    // The data set shown on a side; nullptr when it shows none, for a side
    // other than 0 or 1, and for an index outside dataFiles.
    IO::File* getDataFile(int side);
    // A copy of the active side's curve sets; false (out untouched) when the
    // active side shows no data set.
    bool getCurveSets(QList<UI::CurveSet>& out);
    // The active side's lists themselves. With no data set shown they give an
    // empty scratch list, so a caller that breaks the rule changes nothing.
    QList<UI::CurveSet>& activeCurveSets();
    QList<UI::RelevancyMap>& activeRelevancyMaps();
    // Band index chosen for channel 0, 1, 2 (red, green, blue) of a side;
    // 0 when not stored, -1 for any other channel.
    int getBandIndex(int side, int channel);
    // The band the automatic segmentation works on: the red band with one
    // channel; with three, the band of the "Segmentation channel" combo (an
    // index outside 0..2 reads as 0).
    int getSegmentationBand();
    int getCurveExplorerIndex(int side);
    int getRMExplorerIndex(int side);
    bool isMultiChannel(int side);
    // The bands a side displays: its red band, and its green and blue bands
    // when it shows three channels.
    std::vector<int> displayBands(int side);
    // The side is on screen and shows data set index.
    bool sideShowsDataSet(int side, int index) const;
    // Writes the active side's data index and panel values into its group.
    void saveTabState();
    // Puts a side's stored state back into the data explorer and the
    // properties panel; the band lists are refilled from the side's data set
    // first, so the stored indexes name its bands.
    void restoreTabState(int side);
    // The three "Channel" combos list the bands of data set index.
    void fillBandCombos(int index);
    // Panel defaults for a data set by its data type.
    void setPropertiesByDataType(int index);
    void setSentinel2Properties(int index);
    void setOrthoMosaicProperties(int index);
    // Lists the habitat plot files of the working directory's "habitats"
    // folder in "Select file" (the chosen one stays chosen) and reads the
    // chosen file for data set index.
    void loadHabitatPlotFiles(int index);
    // Green and blue "Channel" combos enabled exactly for multiple channels.
    void setChannelWidgetsEnabled(int multiple);

    // --- Opening data sets (DataSetOpening.cpp) ----------------------------

    // The result of opening one file: the data set, or why there is none.
    struct OpenedDataSet {
        IO::File::error error = IO::File::error::NoError;
        std::unique_ptr<IO::File> file;
    };
    // Opens the paths one after another behind the progress dialog and
    // reports every failure; see the data-explorer rules for what is shown.
    void openFiles(QStringList paths);
    // The open task (pool thread): a Sentinel-2 product zip as a data set
    // with the given working-window size, fitted to its grid.
    static OpenedDataSet openFile(const QString& path, int workingWidth, int workingHeight);
    void growCurveSetLists(int count);
    void growRelevancyMapLists(int count);

    // --- Showing a data set (DataSetShowing.cpp) ---------------------------

    // The display bands and crop chosen in the properties panel, read on the
    // GUI thread and handed to the band task.
    struct BandChoice {
        int red = 0;
        int green = 0;
        int blue = 0;
        bool threeChannels = false;
        double lowCut = 0.0;   // bottom crop / 100
        double highCut = 1.0;  // (100 - top crop) / 100
        bool automaticCrop = false;
    };
    BandChoice bandChoice() const;
    void showDataSet(int index);
    void applyChannels(int index, bool reloadAll);
    void datasetChange(int index);
    // The band task (pool thread): loads the chosen bands that are not
    // loaded; the first failure ends it and is returned.
    static IO::File::error loadDataFileBands(IO::File* file, BandChoice choice);
    // Display names of the chosen bands still to be read, each with a blank.
    QString pendingBandsText(IO::File* file) const;
    void fillSegmentationChannelCombo();
    // Sizes the filtering object to width x height (kept when equal).
    void initFiltration(int width, int height);

    // --- Data explorer (DataExplorer.cpp) ----------------------------------

    void refreshDataExplorer(int currentRow);
    void addDataExplorerItem(IO::File* file);
    // The explorer's context menu for the current selection, parented to the
    // window; the caller shows it and owns it.
    QMenu* buildDataExplorerMenu();
    // Releases every band of file that keep does not name, with its computed
    // images: the one way the shell frees bands. A semi-automatic trace
    // reads computed images, so it is stopped and forgotten first, whichever
    // path frees them.
    void releaseBands(IO::File* file, const std::set<int>& keep);
    // Drops the computed images of the bands shown on a side, a pending
    // trace first as releaseBands does, and takes down the feature viewers
    // that drew from them, on this side and on the other side showing the
    // same data set; false when the side shows no data set.
    bool clearFeatureCache(int side);
    // A tools viewer stands beside (or, two sides open, below) the side's
    // main viewer.
    bool toolsViewerShown(int side) const;
    // Takes a side's tools viewer down (the hiding half of
    // setPushButtonHideOrShow); false when the side shows none.
    bool hideToolsViewer(int side);
    // Takes the viewer of a grid item of the active side out of its grid and
    // its side's table and destroys it.
    void removeViewerFromGrid(QLayoutItem* item);

    // --- Habitat plot marks (HabitatPlotMarks.cpp) -------------------------

    // Reads one habitat plot file for data set index: the plots inside the
    // data set, by habitat code, into habitatPlots; refills "Select habitat"
    // and "Select plot".
    void loadHabitatPlots(const QString& path, int index);
    // Empties the plot table and both combos.
    void clearHabitatPlots();
    // The plot chosen in "Select habitat" and "Select plot"; null when the
    // choice names none (no plots, a stale or -1 index).
    const HabitatPlot* chosenHabitatPlot() const;
    // The side shows the data set the plots were read for, or one of the
    // same ground.
    bool sideShowsHabitatPlots(int side);

    // --- Orthomosaic area (OrthoMosaicArea.cpp) ----------------------------

    // A left click in the square mode while OrthoMosaic > Load files is
    // checked: the first stores the anchor, the one that ends the square
    // stores it and opens the orthomosaic under it.
    void pickOrthoMosaicArea(QPointF position, UI::ViewerWidget* viewer);
    // Opens the orthomosaic pyramid under the current working curve as a new
    // data set and ends the square mode.
    void loadOrthoMosaicArea();

    // --- Viewers and refresh (ViewerRefresh.cpp) ---------------------------

    void createViewer(int row, int column, QString name, int side);
    void placeViewer(UI::ViewerWidget* viewer, QGridLayout* layout, int rowSpan, int columnSpan);
    // Routes the events of viewers, their scroll areas and the preview map;
    // consumes none.
    bool eventFilter(QObject* watched, QEvent* event) override;
    // Redraws one viewer: its image by its role, then the overlays.
    void refreshViewer(QPointer<UI::ViewerWidget> viewer);
    // Every viewer of the active side and, while the right side is open, of
    // the other side too (it shows the active data set's curves).
    void refreshActiveViewers();
    // Every viewer of the left side and, while open, of the right side.
    void refreshAllViewers();
    void drawDataImage(QPointer<UI::ViewerWidget> viewer);
    void drawFeature(QPointer<UI::ViewerWidget> viewer);
    void drawRelevancyMap(QPointer<UI::ViewerWidget> viewer);
    void drawCachedImage(UI::ViewerWidget* viewer, bool inWorkArea, const float* c0, const float* c1,
                         const float* c2);
    // Centres the side's working window on what its main viewer shows, on a
    // multiple of 6 pixels and inside the data.
    void updateWorkingArea(IO::File* file, int side);
    void syncWorkingArea(int side);
    void updatePreviewRect(UI::ViewerWidget* viewer);
    // The preview map shows the preview of the active side's data set, or
    // nothing when that data set has none.
    void showPreview();

    // --- Viewer sides (ViewerSides.cpp) ------------------------------------

    // Hides the right side and makes the left one active again.
    void closeRightSide();
    // Empties every viewer of the right side.
    void clearRightViewers();

    // --- Overlays (ViewerOverlays.cpp) -------------------------------------

    void drawCurveSetOnSide(const UI::CurveSet& set, bool onActiveSide, bool highlighted);
    void drawCurveSet(const UI::CurveSet& set, UI::ViewerWidget* viewer, bool highlighted);
    // True when the view rectangle and the box share a point (bounds
    // included).
    static bool viewOverlapsBox(QPoint viewStart, QPoint viewEnd, QPoint boxMin, QPoint boxMax);
    void drawWorkingCurveOnSide(const std::vector<Point2D>& points, int side);
    void drawWorkingCurve(const std::vector<Point2D>& points, UI::ViewerWidget* viewer);
    void drawPickedPointsOnSide(int side);
    void drawPickedPoints(UI::ViewerWidget* viewer);
    void drawHabitatPlotMarks(QPointer<UI::ViewerWidget> viewer);

    // --- Zoom, pan, centring and the viewer mouse (ViewNavigation.cpp) -----

    void wheelZoom(UI::ViewerWidget* viewer, QWheelEvent* event);
    void panViewers(IO::File* file, int side, QMouseEvent* event, bool fromPreview);
    void panSide(QMouseEvent* event, int side, bool fromPreview);
    void panFromPreview(QMouseEvent* event);
    // Ends the drag of every viewer; viewers that were panned with a shifted
    // overlay layer are redrawn with their full overlays.
    void resetDragState();
    void centerViewers(int side, int x, int y, bool force);
    void centerOnCurve(int curveSetIndex, int curveIndex, bool force);
    void showPositionStatus(UI::ViewerWidget* viewer, QMouseEvent* event);
    // Every event of a viewer; answers false (the event goes on).
    bool viewerMouseEvent(UI::ViewerWidget* viewer, QEvent* event);
    void startViewerDrag(QMouseEvent* event, bool fromPreview);

    // --- Mouse modes and curve drawing (src/app/Mouse*.cpp) ----------------

    // Disables (true) or enables (false) the docks, the main tool bar and
    // the menu bar together while a mouse mode or a run owns the data.
    void setMainControlsLocked(bool locked);
    // A mouse mode is on or the main controls are locked (a mode, the
    // automatic run, a curve adjustment): the active side may not change.
    bool interactionHeld() const;
    // A mouse mode ends only by the mouse on a viewer (a right press, the
    // closing click), and a viewer without an image takes no mouse event:
    // a mode may start only while the active side's main viewer shows one.
    bool mouseModeCanStart() const;
    // The end of a curve tool: the working area follows the view again
    // unless the active side shows a feature image, which belongs to the
    // current working window.
    void releaseWorkingAreaLock();
    // A fresh working set "curveSet_<n>" holding one empty "curve_<m>"; the
    // counters grow only when a set is stored.
    void newWorkingCurveSet();
    // Position of a mouse point of a viewer in pixels of its side's working
    // area, and the origin of that area in the data set's full grid ((0, 0)
    // for a side without data).
    QPointF workingAreaPosition(const UI::ViewerWidget* viewer, QPointF position) const;
    QPointF workingAreaOrigin(int side) const;
    // Shift + left click: the pixel's latitude and longitude to the clipboard.
    void copyGpsToClipboard(UI::ViewerWidget* viewer, QMouseEvent* event);

    // Initial shapes of the automatic segmentation: 0 circle, 1 square,
    // 2 polygon (MouseShapes.cpp). False, with nothing locked, when no mouse
    // mode can start.
    bool startInitialCurve(int shape, int ignored, bool keepWorkingSet);
    void initShapeRelease(QPointF position, UI::ViewerWidget* viewer);
    void initShapeMove(QPointF position, UI::ViewerWidget* viewer);
    void finishInitialCurve();

    // The automatic run (AutoSegmentation.cpp): evolves the current curve
    // set of the curves explorer over the page's features and stores every
    // exported state as a new curve set.
    bool autoEvolve();
    // Turns exported states (working-area pixels) into named curve sets of
    // file at the working-area origin; false when a state was dropped.
    // Inner curves are kept only when keepInner is set.
    bool storeEvolvedStates(const std::vector<std::vector<std::vector<Point2D>>>& states, IO::File* file, int side,
                            bool keepInner);

    // The feature chains of the two segmentation runs, every step waiting for
    // its task; false at the first step that fails.
    bool computeAutoSegmentationFeatures(ViewerSide side, int channel);
    bool computeSemiSegmentationFeatures(ViewerSide side);
    // The image of key at level 0 of band of file, or null when it is missing
    // or not of the working area's size.
    static const float* workingAreaImage(const IO::File* file, int band, const char* key);

    // Semi-automatic tracing (SemiSegmentation.cpp).
    bool startSemiSegmentation(int set, int curve, bool keepWorkingSet);
    // The tracer's feature images for the active side; false when a step
    // failed or an image the mouse handlers read is missing.
    bool prepareSemiFeatures(int set, int curve);
    void semiSegmentationRelease(QPointF position, UI::ViewerWidget* viewer);
    void semiSegmentationMove(QPointF position, UI::ViewerWidget* viewer);
    void finishSemiSegmentation();
    // The segment a mouse position asks for, from the anchor with the page's
    // settings and images; false when it asks for none, with outside set
    // when the position lies outside the working area.
    bool segmentRequest(QPointF position, UI::ViewerWidget* viewer, SegmentTraceRequest& out, bool& outside);
    // Draws the segment of the latest move as the mode's preview.
    void drawTracedSegment(const std::vector<Point2D>& points);

    // Local adjustment of a picked curve (LocalAdjust.cpp).
    void pickCurvePoint(QPointF position, UI::ViewerWidget* viewer);
    void localAdjustRelease(QPointF position, UI::ViewerWidget* viewer);
    void localAdjustMove(QPointF position, UI::ViewerWidget* viewer);
    void applyLocalAdjust();
    void endLocalAdjust();

    // --- Tool panels and feature drivers (src/tools/) ----------------------

    // Colour buttons of the properties panel: a colour dialog for the key's
    // colour; a chosen colour is stored, shown on the button and redrawn.
    void pickCurveColor(const QString& key, QPushButton* button);
    void pickPlotColor(const QString& key, QPushButton* button);

    // Panel builders of the window set-up.
    void initDataExplorer();
    void initCurvesExplorer();
    void initPropertiesPanel();
    // The three tool pages' trees (src/tools/ToolPanels.cpp).
    void initFiltrationTools();
    void initSemiSegmentationTools();
    void initAutoSegmentationTools();
    void initRMExplorer();

    // --- Feature viewers (src/tools/FeatureViewers.cpp) --------------------

    // Shows the named tools viewer beside (one side) or below (two sides)
    // the active side's main viewer and returns true; when one is shown,
    // hides it instead and returns false.
    bool setPushButtonHideOrShow(QString viewerName);
    // Makes sure the curve set selected in the active side's curves explorer
    // has its statistics for the band; false (after telling the user when
    // nothing is selected) when it has none.
    bool computeSelectedCurveStatistics(int band);

    // --- Feature chains (src/tools/FeatureChains.cpp) ----------------------
    //
    // Each computes its page's chosen feature for a side, every step up to
    // it, and records the shown key for the active side. A chain stops at
    // the first step that fails and returns false, recording nothing.
    bool setFilterFeature(ViewerSide side);
    bool setSemiFeature(ViewerSide side);
    bool setAutoFeature(ViewerSide side);
    bool setMonitoringFeature(ViewerSide side);
    // The automatic page's steps in chain order; each reads its section.
    bool autoEdgeFilterStep(ViewerSide side, int channel);
    bool autoEdgeDetectorStep(ViewerSide side, int channel);
    bool autoVectorFieldStep(ViewerSide side, int channel);
    bool autoHomogeneityFilterStep(ViewerSide side, int channel);
    bool autoHomogeneityStep(ViewerSide side, int channel);
    bool autoExpandingForceStep(ViewerSide side, int channel);

    // --- Feature drivers (src/tools/FeatureDrivers.cpp) --------------------
    //
    // Each driver resolves a side on the GUI thread (its data set, display
    // bands, channel type and working area), picks the bands by its rule and
    // the channel selector (-1 the display bands, 0, 1, 2 the red, green or
    // blue one alone) and runs one worker task per band, or one over three
    // bands, through the task runner. Every task recomputes and overwrites its
    // outputs. A driver returns true when every task it started returned
    // true; false when it started none (no data set, a selector its rule does
    // not take, a display band out of range or not loaded) or one failed, so
    // a chain can stop there.

    bool updateFilterSolution(ViewerSide side, Filter::FilterType type, double linearTimestep, double sensitivity,
                              double nonlinearTimestep, QString outputKey, int channel);
    bool updateFilterFeatureSolution(ViewerSide side, Filter::FilterType type, double linearTimestep,
                                     double sensitivity, double nonlinearTimestep, QString inputKey,
                                     QString outputKey, int channel);
    bool updateImgGrads(ViewerSide side, QString inputKey, QString xOutputKey, QString yOutputKey, int channel);
    bool updateImgEdgeDetector(ViewerSide side, double sensitivity, QString xGradientKey, QString yGradientKey,
                               QString outputKey, int channel);
    bool updateImgMaxGrads(ViewerSide side, QString xGradientKey, QString yGradientKey, QString xOutputKey,
                           QString yOutputKey);
    bool updateSegmEdgeDetectorGradField(ViewerSide side, QString inputKey, QString xOutputKey, QString yOutputKey,
                                         int channel);
    bool updateSegmEdgeDetectorGradFieldNorm(ViewerSide side, QString xInputKey, QString yInputKey,
                                             QString outputKey, int channel);
    bool updateExpandingForce(ViewerSide side, QString firstInputKey, QString secondInputKey, QString outputKey,
                              int channel);
    // The reference statistics come from the curve set selected in the active
    // side's curves explorer (computed for the band first when missing), or
    // from customValues when useCustomValues is set.
    bool updateHomogeneityFunction(ViewerSide side, HomogeneityType type, double eps, QString inputKey,
                                   QString outputKey, int channel, bool useCustomValues, QList<double> customValues);
    bool updateGraphLaplacianSolution(ViewerSide side, int neighbourhood, QString inputKey, QString outputKey,
                                      bool meanOverChannels, QString meanOutputKey);
    bool updateMeanGraphLaplacian(ViewerSide side, QString inputKey, QString outputKey);

    // How a driver picks its bands from the display bands.
    enum class BandRule {
        PerBand,         // one task per band: red; green and blue on a three-band side
        OneBand,         // one task on the selected band, whatever the channel type
        EdgeDetector,    // one task over three bands, or over the selected one
        ThreeBands,      // one task over red, green and blue
        GraphLaplacian,  // one task per shown band, no selector
    };
    // The bands of each task, in task order; empty when the selector starts
    // nothing.
    static std::vector<std::vector<int>> featureTaskBands(BandRule rule, int channel, std::array<int, 3> display,
                                                          bool multiChannel);

    // --- Feature workers (src/tools/FeatureWorkers.cpp) --------------------
    //
    // The tasks of the drivers, run on a pool thread. They take plain values
    // only: the data set and the side's working area (read on the GUI
    // thread), band, level, keys and parameters. Every input must be a cache
    // entry of exactly workAreaWidth x workAreaHeight values; otherwise, and
    // for a band or level out of range, a worker returns false and writes
    // nothing. Outputs are created or resized to that size and overwritten.

    struct FeatureArea {
        IO::File* file = nullptr;
        int width = 0;   // the data set's working area
        int height = 0;
        int x = 0;       // the side's working-area origin
        int y = 0;
    };

    // A side resolved by a driver: its working area and display bands.
    struct FeatureSide {
        FeatureArea area;
        std::array<int, 3> bands{0, 0, 0};  // red, green, blue display bands
        bool multiChannel = false;
    };

    // Filters the band's own working window (empty inputKey) or a cached
    // image with one step of the given type, storing the result under
    // outputKey. False, storing nothing, when the filtering object is missing
    // or of another size, the input is refused or the step fails.
    static bool filterSolution(Filter::Filtration* filtration, FeatureArea area, int band, int level,
                               Filter::FilterType type, double linearTimestep, double sensitivity,
                               double nonlinearTimestep, QString outputKey, QString inputKey);
    static bool imgGrads(FeatureArea area, int band, int level, QString inputKey, QString xOutputKey,
                         QString yOutputKey);
    // The negative gradient of an edge detector: it points towards edges.
    static bool segmEdgeDetectorGradField(FeatureArea area, int band, int level, QString inputKey,
                                          QString xOutputKey, QString yOutputKey);
    static bool segmEdgeDetectorGradFieldNorm(FeatureArea area, int band, int level, QString xInputKey,
                                              QString yInputKey, QString outputKey);
    // Over band1 alone when band2 and band3 are -1, else over all three; the
    // result goes to band1's record.
    static bool imgEdgeDetector(FeatureArea area, int band1, int band2, int band3, int level, double sensitivity,
                                QString xGradientKey, QString yGradientKey, QString outputKey);
    static bool imgMaxGrads(FeatureArea area, int band1, int band2, int band3, int level, QString xGradientKey,
                            QString yGradientKey, QString xOutputKey, QString yOutputKey);
    // 1 where the input lies within the tolerance of the reference (the set's
    // statistics of the band, or the custom values), mapped into the band's
    // normalised units; 0 elsewhere and for NaN.
    static bool homogeneityFunction(FeatureArea area, int band, int level, HomogeneityType type, double eps,
                                    UI::CurveSet curveSet, QString inputKey, QString outputKey,
                                    bool useCustomValues, QList<double> customValues);
    static bool expandingForce(FeatureArea area, int band, int level, QString firstInputKey,
                               QString secondInputKey, QString outputKey);
    // Graph-Laplacian magnitude rescaled to [0, 1], then 1 - 1 / (K v^2 + 1)
    // unless K is -1.
    static bool graphLaplacianSolution(FeatureArea area, int band, int level, int neighbourhood, QString inputKey,
                                       QString outputKey, double sensitivity);
    static bool meanGraphLaplacian(FeatureArea area, int band1, int band2, int band3, int level, QString inputKey,
                                   QString outputKey);

    // --- Curve and relevancy-map workflows (src/workflows/) ----------------

    // Rebuild the curves and relevancy-map explorers for the active side and
    // make currentIndex current (stored in the side's group; an index that
    // names no row is stored as -1).
    void setCurvesExplorer(int currentIndex);
    void setRMExplorer(int currentIndex);
    // One row per set (name.type) with its curve rows below, a visibility
    // box on every row; refills the area-monitoring curve choices.
    void fillCurvesExplorerTree(const QList<UI::CurveSet>& sets);
    void fillRMExplorerTree(const QList<UI::RelevancyMap>& maps);
    // Relevancy maps (src/workflows/RelevancyMaps.cpp, RelevancyMapFiles.cpp).
    // The selected explorer row becomes the side's shown map; false (with
    // the warning) when no row is selected.
    bool showSelectedRelevancyMap();
    // Classifies a square in the middle of the side's working area with
    // selectedNetwork and appends one map per class to the side's list. The
    // network's file is read once, and that reading names the maps, picks
    // the bands and classifies.
    void createRelevancyMaps(int side);
    // Appends one map per square (class order), each covering the side's
    // working area: 0.5 everywhere, the square copied in at (x0, y0); named
    // by the network's classes.
    void addRelevancyMap(const std::vector<std::vector<double>>& squares, int width, int height, int x0, int y0,
                         const NatNetInfo& network);
    // The bands of the side's data set that feed the network into out;
    // returns the channel names that no band matches.
    std::vector<std::string> networkBandIndexes(int side, const NatNetInfo& network, std::vector<int>& out);
    // Random pixels of the black, white and gray parts of map mapIndex of
    // the active list, drawn with an engine seeded by randomPointSeed.
    void generateRandomPoints(int mapIndex, int count, std::vector<std::vector<int>>& black,
                              std::vector<std::vector<int>>& white, std::vector<std::vector<int>>& gray);
    // Writes the three point files path + "_black.csv", "_white.csv",
    // "_gray.csv" through the active data set; the texts of the files that
    // could not be written, joined (empty on success).
    QString writeRandomPoints(QString path, const std::vector<std::vector<int>>& black,
                              const std::vector<std::vector<int>>& white,
                              const std::vector<std::vector<int>>& gray);
    // The seed of the random-point engine (the time; tests set their own).
    std::function<std::uint32_t()> randomPointSeed;
    // Tasks of the map files: plain values in, results out.
    struct RelevancyMapLoad {
        bool loaded = false;
        QList<UI::RelevancyMap> maps;  // the maps read before a failure too
    };
    static RelevancyMapLoad loadRelevancyMaps(QList<QString> files, IO::File* target);
    // 0 and the map appended to maps (or nothing for a band without data);
    // 3 for a file that is not a readable ".tif" map inside the target.
    static int loadRelevancyMap(QString path, IO::File* target, QList<UI::RelevancyMap>& maps);
    static bool saveRelevancyMap(QString path, UI::RelevancyMap map, IO::File* target);
    static bool combineRelevancyMaps(QList<QString> files, QString outPath);
    // The stored current curve set of the active side when it names a set
    // of the active list, else -1.
    int currentCurveSetIndex();
    // Appends a copy to the active data set's curve sets; false without one.
    bool appendCurveSet(UI::CurveSet curveSet);
    // Appends a copy to data set fileIndex's curve sets; false for an index
    // without a list.
    bool appendCurveSetToFile(int fileIndex, UI::CurveSet curveSet);
    // The selected rows of the curves explorer in selection order: set rows
    // give their set index, curve rows their (set, curve) pair; the indexes
    // come from the rows' visibility check boxes.
    void getSelectedState(QList<int>& curveSetIds, QList<QPair<int, int>>& curveIds);
    // A set and the indexes of its curves an action works on.
    using CurveGroup = QPair<int, std::vector<int>>;
    // getSelectedState without the curves of selected sets, and the
    // selection as groups: each selected set with all its curves, then per
    // further set (in order of first appearance) its selected curves in
    // selection order.
    void getSelectedCurvesBySet(QList<int>& curveSetIds, QList<QPair<int, int>>& curveIds,
                                QList<CurveGroup>& groups);
    // Visibility of whole sets and of single curves, flags and boxes: a set
    // shows when one of its curves is shown and hides when none is left.
    void hideShowCurves(bool visible, QList<int> curveSetIds, QList<QPair<int, int>> curveIds);
    // The "Inner" entry: checked when a selected set has only inner curves
    // or a selected curve is inner.
    bool getCheckedAsInnerState();
    // Whether the selection mixes curve colours; colour leaves holding the
    // last colour looked at.
    bool getDifferentColorState(QColor& colour);
    // The explorer's context menu for the current selection, parented to the
    // window; the caller shows it and owns it.
    QMenu* buildCurvesExplorerMenu();
    // The same for the relevancy-map explorer.
    QMenu* buildRMExplorerMenu();
    // The data-set choosers of the statistics and area-monitoring controls,
    // and the curve-set choosers of the two chosen data sets.
    void fillStatisticsFileComboBoxes();
    void fillAreaMonitoringCurveComboBoxes();

    // Curve files. loadCurves reads KML files into new sets of the active
    // data set with one warning per failing file; loadCurveFile gives 0, or
    // the code of its warning (1 format, 2 corrupted or no curves, 3 not
    // read, 6 outside the data set).
    void loadCurves(QStringList files);
    int loadCurveFile(QString path);
    // Builds a set of the read curves (closed flags, colours, geometry, inner
    // flags; a lone inner curve is turned round and counted) and appends it.
    // Throws UI::CurveSet::error NoCurves or OutsideData, appending nothing.
    void addCurveSetFromCurves(QString name, QString type, const std::vector<std::vector<Point2D>>& curves,
                               const std::vector<std::string>& names);
    // Writes set curveSetIndex of the active list (curveIndex -1), or one of
    // its curves, to path; the writer's error, NoError when written.
    IO::File::error saveCurveSet(int curveSetIndex, QString path, int curveIndex);

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
    // Plots of the loaded habitat plot file by habitat code, and the data set
    // they were placed on (null while the table is empty); removing that data
    // set empties the table.
    QHash<QString, HabitatPlotGroup> habitatPlots;
    const IO::File* habitatPlotsDataSet = nullptr;
    // The preview map; owned by its scroll area.
    UI::PreviewWidget* previewWidget = nullptr;
    // Filtering object of the working-window size; null until first needed.
    std::unique_ptr<Filter::Filtration> filtration;
    QElapsedTimer taskTimer;
    ClickClock mouseTimer;
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
    // Traces the semi-automatic segments off the GUI thread on the feature
    // images of the active data set: cleared before those images change or
    // go away (the mode's start and end, a data set removed or replaced on
    // the side, the feature cache cleared, the window's end).
    std::unique_ptr<SegmentTracer> segmentTracer;
    // x1, y1, x2, y2 of the last orthomosaic area, Krovak East-North metres.
    std::array<double, 4> orthoAreaCorners{0.0, 0.0, 0.0, 0.0};

signals:
    // The semi-automatic mode has drawn the segment traced to the latest
    // mouse position; pathPoints holds it in full-grid pixels.
    void segmentPreviewDrawn();

protected:
    // Asks before closing; on Yes saves the window layout and removes the
    // session file and the program's temporary files.
    void closeEvent(QCloseEvent* event) override;

public slots:
    // Enable the Curves menu and the curve database action, the properties
    // dock, the tools dock, exactly when the active side shows a data set.
    void handleCurveMenu();
    void handlePropertiesMenu();
    void handleToolMenu();
    // A click on a side's tab bar makes that side active.
    void tabBarTabWidget_clicked(int index);
    // The corner button: opens the right side, or closes it.
    void toolButtonTabWidget_clicked();
    // "Show feature" and "Update image" of the feature pages.
    void pushButtonFilterFeatureShow_clicked();
    void pushButtonFilterFeatureRefreshImage_clicked();
    void pushButtonSemiFeatureShow_clicked();
    void pushButtonSemiFeatureRefreshImage_clicked();
    void pushButtonAutoFeatureShow_clicked();
    void pushButtonAutoFeatureRefreshImage_clicked();
    void pushButtonMonitoringFeatureShow_clicked();
    void pushButtonMonitoringFeatureRefreshImage_clicked();
    // The look of every show button: "Hide feature" while a tools viewer is
    // shown, else "Show feature" ("Show relevancy map" for the maps button).
    void setPushButtonsHideOrShowIcon(bool shown);
    // The automatic panel's homogeneity variants: the widgets of the chosen
    // one enabled, the other's disabled.
    void homogeneityFunctionTypeChanged(int index);
    // "Update mean" / "Update min max": the custom values from the selected
    // curve set's statistics of the segmentation band.
    void toolButtonRefresMeanForH_clicked();
    void toolButtonRefresMinMaxForH_clicked();
    // Tool windows of the File and OrthoMosaic menus (WindowActions.cpp):
    // each a new top-level window, window-modal, deleted when closed. The
    // curve database and the archive browser are kept, so their Load buttons
    // read the window clicked.
    void on_actionCurve_Manager_triggered();
    void on_actionHabitat_Manager_triggered();
    void on_actionLocal_Loader_triggered();
    void on_actionRemote_Data_Manager_triggered();
    void on_action_Ortho_Data_Manager_triggered();
    // Load of the archive browser: opens its checked archives (if any), then
    // closes it.
    void localDataManagerLoad();
    // Load of the WMS dialog: opens its images and closes it; nothing while
    // it has none.
    void wmsManager_load();
    // OrthoMosaic > Load files: the search square is drawn in the square
    // mode of the initial shapes.
    void on_action_Ortho_Load_files_triggered();
    // Link left <-> right: stored for the session; linking copies the active
    // main viewer's view to the other side and closes its tools viewer,
    // unlinking resets a side that shows nothing.
    void on_actionLink_left_right_triggered();
    // File > Open and the data explorer's "Load image data".
    void on_actionOpen_triggered();
    // The two "Apply" buttons of the properties panel.
    void pushButtonApplyChannels_clicked();
    void pushButtonApplyHistogramCrop_clicked();
    void comboBoxShowTypeChannel_currentIndexChanged(int index);
    // Data explorer: show a row on the active side; its context menu and the
    // menu's actions.
    void treeWidgetDataExplorer_doubleClicked(QTreeWidgetItem* item, int column);
    void treeWidgetDataExplorer_menu(const QPoint& position);
    void dataRemoveAction_triggered();
    void dataSaveAction_triggered();
    // Habitat plot marks: "Select plot" for the chosen habitat, centring on
    // the chosen plot, an initial circle around it.
    void fillHabitatPlotCombo();
    void centerOnHabitatPlot();
    void initCircleFromHabitatPlot();
    // Mouse segmentation: the buttons of the segmentation pages and the
    // curves explorer's local adjustment.
    void on_pushButtonAutoInitCircle_clicked();
    void on_pushButtonAutoInitSquare_clicked();
    void on_pushButtonAutoInitPolygon_clicked();
    void on_pushButtonAutoEvolve_clicked();
    void on_pushButtonSemiSegmNew_clicked();
    void on_pushButtonSemiSegmContinue_clicked();
    void curveLocalAdjustActionAction_triggered();
    // Curves explorer: visibility, the context menu's actions, and the
    // Curves menu (connected by name).
    void checkBoxShowCurve_stateChanged(bool checked);
    void hideSelectedAction_triggered(bool);
    void showSelectedAction_triggered(bool);
    void actionsInCopyToMenu(QMenu* menu);
    void copyToAction_triggered(bool);
    void curveChangeColourAction_triggered(bool);
    void curveRenameAction_triggered(bool);
    void curveRemoveAction_triggered(bool);
    void curveShrinkAction_toggled(bool inner);
    void setCurveAsCurveSetAction_triggered(bool);
    void curveAdjustAction_triggered(bool);
    void saveAction_triggered(bool);
    void saveCurveSetAction_triggered(bool);
    void saveCurveAction_triggered(bool);
    void on_actionLoad_curves_triggered();
    void on_actionShow_All_triggered();
    void on_actionHide_All_triggered();
    void on_actionSave_All_CurveSets_triggered();
    // Curves and relevancy-map explorers' handlers.
    void treeWidgetCurvesExplorer_focus(QTreeWidgetItem* item, int column);
    void treeWidgetCurvesExplorer_menu(const QPoint& position);
    void treeWidgetRMExplorer_doubleClicked(QTreeWidgetItem* item, int column);
    void treeWidgetRMExplorer_menu(const QPoint& position);
    // Relevancy-map explorer: the page's buttons (connected by name) and the
    // context menu's actions.
    void on_pushButtonRMFeatureShow_clicked();
    void on_pushButtonChangeNetwork_clicked();
    void on_pushButtonCreateRM_clicked();
    void networkExplorerSetNetwork();
    void mapRenameAction_triggered(bool);
    void mapRemoveAction_triggered(bool);
    void mapLoadAction_triggered(bool);
    void mapSaveAction_triggered(bool);
    void mapCombineAction_triggered(bool);
    void randomPointsInRMAction_triggered(bool);
    // "Classification of area": the classification window over the active
    // side's curve sets and data set (src/workflows/ClassificationWindows.cpp,
    // connected by name).
    void on_pushButtonClassifiArea_clicked();
    // The "Monitoring" page's statistics launchers and area-monitoring
    // data-set choosers (src/workflows/StatisticsLaunchers.cpp, connected by
    // name).
    void on_pushButtonShowStatistics_clicked();
    void on_pushButtonShowStatisticsDiff_clicked();
    void on_pushButtonAreaMonitoring_clicked();
    void on_comboBoxStatsAreaDiffFile1_currentIndexChanged(int index);
    void on_comboBoxStatsAreaDiffFile2_currentIndexChanged(int index);
    // Load of the curve database window: its checked files are loaded into
    // the active data set, then the window is closed
    // (src/workflows/CurveDatabase.cpp).
    void curveManagerLoad();

private slots:
    // File > Exit: the same confirmed close as the title-bar button.
    void on_actionExit_triggered();
    // View menu: each dock shown while its action is checked.
    void on_actionData_Explorer_triggered();
    void on_actionProperties_triggered();
    void on_actionCurve_Explorer_triggered();
    void on_actionPreview_map_triggered();
    void on_actionTools_triggered();
    void on_actionZoom_in_triggered();
    void on_actionZoom_out_triggered();

private:
    // One zoom action: steps +1 in, -1 out, around the active main viewer's
    // centre.
    void zoomByAction(int steps);
    // Every viewer of the active side, or of both sides while linked, one
    // zoom step around position (image coordinates), each redrawn.
    void zoomViewers(QPointF position, int steps);
    // Pans the listed sides that show a data set (working windows follow
    // unless locked), then redraws both sides once as a pan frame.
    void panSides(QMouseEvent* event, const QList<int>& sides, bool fromPreview);
    // The active side, and the other one too while the sides are linked.
    QList<int> linkedSides() const;
    // The overlays of one refresh into one viewer.
    void drawOverlays(UI::ViewerWidget* viewer);
    // Every viewer of side first, then, while the right side is open, of the
    // other side.
    void refreshSides(int first);
    // True while a task runs: it may be writing what the viewers draw from
    // (band samples, computed images, curve lists), so nothing is drawn and
    // every viewer is refreshed once after it has ended. Every redraw asks
    // here first.
    bool drawingDeferred();
    // The viewers of a side in a fixed order (main viewer first), so every
    // pass over a side visits them alike.
    QList<UI::ViewerWidget*> sideViewers(int side) const;
    bool rightSideOpen() const;
    // The default "Show type" and the last bands whose names contain the
    // three texts, for a data set just shown.
    void fillDefaultBands(const IO::File& file, const QString& red, const QString& green, const QString& blue);
    // Takes down the feature the side shows beside its main viewer, if any,
    // and lets the layout settle.
    void closeShownFeature(int side);
    // Takes a side's tools viewer out of its grid and gives the main viewer
    // its whole cell back; no keys, caches or buttons change. False when the
    // side shows none.
    bool takeDownToolsViewer(int side);
    // The curve set selected in the active side's curves explorer; null when
    // none is (index -1, or past the list).
    UI::CurveSet* selectedCurveSet();
    // Computes the set's statistics of the band on file unless it has them;
    // true when it has them afterwards.
    static bool ensureBandStatistics(UI::CurveSet& set, IO::File* file, int band);
    // The last step of a chain that computed its feature: the key the active
    // side's tools viewer shows. Returns true.
    bool recordShownFeature(const char* key);
    // The two buttons of a feature page over its chain.
    void showFeature(bool (FenlarkApp::*chain)(ViewerSide));
    void updateFeature(bool (FenlarkApp::*chain)(ViewerSide));
    // A chain of the active side's buttons failed: its viewer goes, and the
    // user is told unless the chain told why already.
    void failedFeature(int side);
    // Takes a side's feature viewer down and forgets what it showed (viewer
    // removed, record dropped, buttons set for the active side): its image
    // no longer belongs to the side's working window. Caches stay. The
    // working-area lock goes as at the end of a curve tool
    // (releaseWorkingAreaLock); for the other side's viewer only while no
    // mode or run holds it.
    void retireFeatureViewer(int side);
    // After side computed `keys` into `bands` of file: the other side's
    // feature viewer goes when it shows one of those entries of that data
    // set, which now hold the image of another window.
    void retireOverwrittenFeature(int side, IO::File* file, const std::vector<int>& bands,
                                  const QStringList& keys);
    // The other side's feature viewer goes when that side shows file and may
    // draw its feature from one of bands, whatever the entry.
    void retireOtherSideFeature(int side, IO::File* file, const std::vector<int>& bands);
    // The active side's data index is not -1.
    bool activeSideShowsData() const;
    // The side as the drivers need it; false when it shows no data set or its
    // working area is empty.
    bool resolveFeatureSide(ViewerSide side, FeatureSide& out);
    // Resolves the side, checks that every band the rule picks is loaded and
    // calls task once per band group; see the drivers for the result.
    // outputs: the keys the task writes into the first band of its group.
    bool runFeatureBands(ViewerSide side, BandRule rule, int channel, const QStringList& outputs,
                         const std::function<bool(const FeatureSide&, const std::vector<int>&)>& task);
    // The reference set of the homogeneity: the active side's selected curve
    // set with the band's statistics, or an empty set for custom values.
    bool homogeneityReference(IO::File* file, int band, bool useCustomValues, UI::CurveSet& out);

    // Shared by the curve-drawing modes (MouseModes.cpp). pathPoints, in
    // working-area pixels, moves to the active side's full grid and is drawn
    // over the refreshed viewers with the working set (and the picked points).
    void drawPathPreview(bool withPickedPoints);
    // The active side's viewers refreshed, the working set drawn over them.
    void drawWorkingSet();
    // The colour of new curves: the properties panel's "unactive" colour,
    // opaque; black when the panel has none.
    std::vector<int> newCurveColour() const;
    // Stores the working set as a new curve set of the active data set: the
    // working curve gets the segmentation type, the set its type, colour and
    // fresh statistics; the counters grow.
    void storeWorkingCurveSet(const char* segmentationType);
    // The images the tracers read, from level 0 of the active side's red
    // display band: the vector field that moves a segment and the direction
    // field of its initial path (largest gradients for multichannel data).
    struct TracerImages {
        const float* vx = nullptr;
        const float* vy = nullptr;
        const float* dirX = nullptr;
        const float* dirY = nullptr;
    };
    // False when one of them is missing or not of the working area's size.
    bool tracerImages(TracerImages& out);

    // Set while setMainControlsLocked holds the main controls disabled.
    bool mainControlsLocked_ = false;
    // Set by a confirmed close: the session file is gone and must stay gone.
    bool sessionEnded_ = false;
    // The corner button of the left side that opens and closes the right.
    QPointer<QToolButton> rightSideButton_;
    // Set while a pan step redraws: the viewers reuse their overlay layer.
    bool panFrame_ = false;
    // Set while a refresh of every viewer waits for the running task's end.
    bool redrawAfterTask_ = false;
    // Set by a chain that refused its page's settings or input and told the
    // user why, so the button's slot adds no second message.
    bool featureRefusalShown_ = false;
    // Plot files (path and content) whose skipped rows were reported.
    QSet<QByteArray> reportedHabitatPlotProblems_;
    // What activeCurveSets / activeRelevancyMaps give without a data set.
    QList<UI::CurveSet> noCurveSets_;
    QList<UI::RelevancyMap> noRelevancyMaps_;
};

} // namespace UI
