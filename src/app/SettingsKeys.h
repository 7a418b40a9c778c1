#pragma once

// Key texts shared by the main window, the tool panels and the computed-image
// caches. The same text must address the same entry everywhere (a band's
// DataCache, a session group, the viewer table), so every user takes the text
// from here instead of spelling it again.
//
// Five groups: the settings of "default_config.ini" (read from the session
// copy), the per-side state keys of the "leftTabWidget"/"rightTabWidget"
// groups of "session_config.ini", the two side group names, the cache keys of
// the computed images (tools/FeatureKeys.h, included here) and the viewer
// object names.

#include <array>

#include "tools/FeatureKeys.h"

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

inline constexpr std::array<const char*, 3> viewerNames{viewerWidgetMain, viewerWidgetToolsFeature,
                                                        viewerWidgetToolsMaps};

} // namespace Keys
