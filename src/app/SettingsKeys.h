#pragma once

// Key texts shared by the main window, the tool panels and the computed-image
// caches. The same text must address the same entry everywhere (a band's
// DataCache, a session group, the viewer table), so every user takes the text
// from here instead of spelling it again.
//
// Five groups: the settings of "default_config.ini" (read from the session
// copy), the per-side state keys of the "leftTabWidget"/"rightTabWidget"
// groups of "session_config.ini", the two side group names, the cache keys of
// the computed images and the viewer object names.

#include <array>

namespace Keys {

// --- Settings of "default_config.ini" (22) --------------------------------
inline constexpr char curveLineWidth[] = "Curve/lineWidth";
inline constexpr char curveCurrentCurveColor[] = "Curve/currentCurveColor";
inline constexpr char curveActiveCurveColor[] = "Curve/activeCurveColor";
inline constexpr char curveUnactiveCurveColor[] = "Curve/unactiveCurveColor";
inline constexpr char imgFileChannelType[] = "ImgFile/channelType";
inline constexpr char imgFileRedBand[] = "ImgFile/redBand";
inline constexpr char imgFileGreenBand[] = "ImgFile/greenBand";
inline constexpr char imgFileBlueBand[] = "ImgFile/blueBand";
inline constexpr char imgFileBottomHistCrop[] = "ImgFile/bottomHistCrop";
inline constexpr char imgFileTopHistCrop[] = "ImgFile/topHistCrop";
inline constexpr char jp2ZipFileChannelType[] = "JP2ZipFile/channelType";
inline constexpr char jp2ZipFileRedBand[] = "JP2ZipFile/redBand";
inline constexpr char jp2ZipFileGreenBand[] = "JP2ZipFile/greenBand";
inline constexpr char jp2ZipFileBlueBand[] = "JP2ZipFile/blueBand";
inline constexpr char jp2ZipFileBottomHistCrop[] = "JP2ZipFile/bottomHistCrop";
inline constexpr char jp2ZipFileTopHistCrop[] = "JP2ZipFile/topHistCrop";
inline constexpr char jp2ZipFileWorkingWidth[] = "JP2ZipFile/workingWidth";
inline constexpr char jp2ZipFileWorkingHeight[] = "JP2ZipFile/workingHeight";
inline constexpr char habitatPlotMarkWidth[] = "HabitatPlot/markWidth";
inline constexpr char habitatPlotMarkColor[] = "HabitatPlot/markColor";
inline constexpr char habitatPlotSelectedMarkColor[] = "HabitatPlot/selectedMarkColor";
// The sides start linked only when the value is the number 1.
inline constexpr char globalLinkWidgets[] = "Global/linkWidgets";

// --- Per-side state keys (19), inside a side group of the session ---------
inline constexpr char dataExplorerStateCurrentIndex[] = "dataExplorerStateCurrentIndex";
inline constexpr char curveExplorerStateCurrentIndex[] = "curveExplorerStateCurrentIndex";
inline constexpr char RMExplorerStateCurrentIndex[] = "RMExplorerStateCurrentIndex";
inline constexpr char dataPropertiesChannelType[] = "dataPropertiesChannelType";
inline constexpr char dataPropertiesRedBand[] = "dataPropertiesRedBand";
inline constexpr char dataPropertiesGreenBand[] = "dataPropertiesGreenBand";
inline constexpr char dataPropertiesBlueBand[] = "dataPropertiesBlueBand";
inline constexpr char dataPropertiesBottomHistCrop[] = "dataPropertiesBottomHistCrop";
inline constexpr char dataPropertiesTopHistCrop[] = "dataPropertiesTopHistCrop";
inline constexpr char curvePropertiesLineWidth[] = "curvePropertiesLineWidth";
inline constexpr char curvePropertiesCurrentColor[] = "curvePropertiesCurrentColor";
inline constexpr char curvePropertiesActiveColor[] = "curvePropertiesActiveColor";
inline constexpr char curvePropertiesUnactiveColor[] = "curvePropertiesUnactiveColor";
inline constexpr char habitatPlotPropertiesMarkWidth[] = "habitatPlotPropertiesMarkWidth";
inline constexpr char habitatPlotPropertiesMarkColor[] = "habitatPlotPropertiesMarkColor";
inline constexpr char habitatPlotPropertiesSelectedMarkColor[] = "habitatPlotPropertiesSelectedMarkColor";
// 1 while a feature or map is shown beside the side's main viewer.
inline constexpr char featureShowed[] = "featureShowed";
// Cache key of the feature shown, 0 when none.
inline constexpr char featureShowedCache[] = "featureShowedCache";
// Name of what the maps viewer shows, 0 when none.
inline constexpr char mapsShowedName[] = "mapsShowedName";

// --- Side group names (2); also the tab widgets' object names -------------
inline constexpr char leftTabWidget[] = "leftTabWidget";
inline constexpr char rightTabWidget[] = "rightTabWidget";

// --- Computed-image keys (31) ----------------------------------------------
// Filtering panel. Its gradients deliberately share the semi-automatic
// panel's entries: both panels read and write the same gradient images.
inline constexpr char dataCacheToolsFilterSolution[] = "dataCacheToolsFilterSolution";
inline constexpr char dataCacheToolsFilterEdgeDetector[] = "dataCacheToolsFilterEdgeDetector";
inline constexpr char dataCacheToolsFilterGradX[] = "dataCacheToolsSemiGradX";
inline constexpr char dataCacheToolsFilterGradY[] = "dataCacheToolsSemiGradY";
// Semi-automatic segmentation panel.
inline constexpr char dataCacheToolsSemiFilterSolution[] = "dataCacheToolsSemiFilterSolution";
inline constexpr char dataCacheToolsSemiGradX[] = "dataCacheToolsSemiGradX";
inline constexpr char dataCacheToolsSemiGradY[] = "dataCacheToolsSemiGradY";
inline constexpr char dataCacheToolsSemiMaxGradX[] = "dataCacheToolsSemiMaxGradX";
inline constexpr char dataCacheToolsSemiMaxGradY[] = "dataCacheToolsSemiMaxGradY";
inline constexpr char dataCacheToolsSemiEdgeDetector[] = "dataCacheToolsSemiEdgeDetector";
inline constexpr char dataCacheToolsSemiEdgeDetectorGradX[] = "dataCacheToolsSemiEdgeDetectorGradX";
inline constexpr char dataCacheToolsSemiEdgeDetectorGradY[] = "dataCacheToolsSemiEdgeDetectorGradY";
inline constexpr char dataCacheToolsSemiNormOfVectField[] = "dataCacheToolsSemiNormOfVectField";
// Automatic segmentation panel.
inline constexpr char dataCacheToolsAutoFilterSolution[] = "dataCacheToolsAutoFilterSolution";
inline constexpr char dataCacheToolsAutoGradX[] = "dataCacheToolsAutoGradX";
inline constexpr char dataCacheToolsAutoGradY[] = "dataCacheToolsAutoGradY";
inline constexpr char dataCacheToolsAutoEdgeDetectorFilterSolution[] = "dataCacheToolsAutoEdgeDetectorFilterSolution";
inline constexpr char dataCacheToolsAutoEdgeDetector[] = "dataCacheToolsAutoEdgeDetector";
inline constexpr char dataCacheToolsAutoEdgeDetectorGradX[] = "dataCacheToolsAutoEdgeDetectorGradX";
inline constexpr char dataCacheToolsAutoEdgeDetectorGradY[] = "dataCacheToolsAutoEdgeDetectorGradY";
inline constexpr char dataCacheToolsAutoNormOfVectField[] = "dataCacheToolsAutoNormOfVectField";
inline constexpr char dataCacheToolsAutoExpandingForceFilterSolution[] =
    "dataCacheToolsAutoExpandingForceFilterSolution";
inline constexpr char dataCacheToolsAutoExpandingForce[] = "dataCacheToolsAutoExpandingForce";
inline constexpr char dataCacheToolsAutoHomogeneityFilterSolution[] = "dataCacheToolsAutoHomogeneityFilterSolution";
inline constexpr char dataCacheToolsAutoHomogeneity[] = "dataCacheToolsAutoHomogeneity";
// Monitoring.
inline constexpr char dataCacheToolsMonitoringFilterSolution[] = "dataCacheToolsMonitoringFilterSolution";
inline constexpr char dataCacheToolsMonitoringGL3[] = "dataCacheToolsMonitoringGL3";
inline constexpr char dataCacheToolsMonitoringGL5[] = "dataCacheToolsMonitoringGL5";
inline constexpr char dataCacheToolsMonitoringMeanGL3[] = "dataCacheToolsMonitoringMeanGL3";
inline constexpr char dataCacheToolsMonitoringMeanGL5[] = "dataCacheToolsMonitoringMeanGL5";
// Classification: not a cache entry but the name recorded as the shown map
// while a relevancy map stands in the maps viewer.
inline constexpr char dataCacheToolsClassifiRM[] = "dataCacheToolsClassifiRM";

// --- Viewer object names (3); they key a side's viewer table ---------------
inline constexpr char viewerWidgetMain[] = "viewerWidgetMain";
inline constexpr char viewerWidgetToolsFeature[] = "viewerWidgetToolsFeature";
inline constexpr char viewerWidgetToolsMaps[] = "viewerWidgetToolsMaps";

// --- The groups as lists ----------------------------------------------------
inline constexpr std::array<const char*, 22> defaultConfigKeys{
    curveLineWidth, curveCurrentCurveColor, curveActiveCurveColor, curveUnactiveCurveColor,
    imgFileChannelType, imgFileRedBand, imgFileGreenBand, imgFileBlueBand, imgFileBottomHistCrop,
    imgFileTopHistCrop, jp2ZipFileChannelType, jp2ZipFileRedBand, jp2ZipFileGreenBand, jp2ZipFileBlueBand,
    jp2ZipFileBottomHistCrop, jp2ZipFileTopHistCrop, jp2ZipFileWorkingWidth, jp2ZipFileWorkingHeight,
    habitatPlotMarkWidth, habitatPlotMarkColor, habitatPlotSelectedMarkColor, globalLinkWidgets,
};

inline constexpr std::array<const char*, 19> sideStateKeys{
    dataExplorerStateCurrentIndex, curveExplorerStateCurrentIndex, RMExplorerStateCurrentIndex,
    dataPropertiesChannelType, dataPropertiesRedBand, dataPropertiesGreenBand, dataPropertiesBlueBand,
    dataPropertiesBottomHistCrop, dataPropertiesTopHistCrop, curvePropertiesLineWidth,
    curvePropertiesCurrentColor, curvePropertiesActiveColor, curvePropertiesUnactiveColor,
    habitatPlotPropertiesMarkWidth, habitatPlotPropertiesMarkColor, habitatPlotPropertiesSelectedMarkColor,
    featureShowed, featureShowedCache, mapsShowedName,
};

inline constexpr std::array<const char*, 2> sideGroupNames{leftTabWidget, rightTabWidget};

inline constexpr std::array<const char*, 31> computedImageKeys{
    dataCacheToolsFilterSolution, dataCacheToolsFilterEdgeDetector, dataCacheToolsFilterGradX,
    dataCacheToolsFilterGradY, dataCacheToolsSemiFilterSolution, dataCacheToolsSemiGradX,
    dataCacheToolsSemiGradY, dataCacheToolsSemiMaxGradX, dataCacheToolsSemiMaxGradY,
    dataCacheToolsSemiEdgeDetector, dataCacheToolsSemiEdgeDetectorGradX, dataCacheToolsSemiEdgeDetectorGradY,
    dataCacheToolsSemiNormOfVectField, dataCacheToolsAutoFilterSolution, dataCacheToolsAutoGradX,
    dataCacheToolsAutoGradY, dataCacheToolsAutoEdgeDetectorFilterSolution, dataCacheToolsAutoEdgeDetector,
    dataCacheToolsAutoEdgeDetectorGradX, dataCacheToolsAutoEdgeDetectorGradY,
    dataCacheToolsAutoNormOfVectField, dataCacheToolsAutoExpandingForceFilterSolution,
    dataCacheToolsAutoExpandingForce, dataCacheToolsAutoHomogeneityFilterSolution,
    dataCacheToolsAutoHomogeneity, dataCacheToolsMonitoringFilterSolution, dataCacheToolsMonitoringGL3,
    dataCacheToolsMonitoringGL5, dataCacheToolsMonitoringMeanGL3, dataCacheToolsMonitoringMeanGL5,
    dataCacheToolsClassifiRM,
};

inline constexpr std::array<const char*, 3> viewerNames{viewerWidgetMain, viewerWidgetToolsFeature,
                                                        viewerWidgetToolsMaps};

} // namespace Keys
