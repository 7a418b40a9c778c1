#pragma once

// Key texts of the computed images of the tool panels: every feature image is
// an entry of a band's level-0 cache under one of these texts. The panels'
// chains choose the keys and the feature drivers only route them, so a writer
// and its readers must take the same text from here.
//
// Features computed over three bands live only in the red display band's
// record. The automatic evolution and the curve adjustment share every
// "dataCacheToolsAuto..." entry with the automatic panel.

#include <array>
#include <string_view>

namespace Keys {

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

// True for a feature that exists on one band only, whatever the side shows:
// those computed over the three display bands (stored in the red band's
// record) and those the drivers compute on one band. The automatic page's
// features are all of this kind; its band is the "Segmentation channel".
inline bool oneBandFeature(std::string_view key)
{
    if (key.find("dataCacheToolsAuto") != std::string_view::npos)
        return true;
    for (std::string_view oneBand :
         {dataCacheToolsFilterEdgeDetector, dataCacheToolsSemiMaxGradX, dataCacheToolsSemiMaxGradY,
          dataCacheToolsSemiEdgeDetector, dataCacheToolsSemiEdgeDetectorGradX, dataCacheToolsSemiEdgeDetectorGradY,
          dataCacheToolsSemiNormOfVectField, dataCacheToolsMonitoringMeanGL3, dataCacheToolsMonitoringMeanGL5}) {
        if (key == oneBand)
            return true;
    }
    return false;
}

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

} // namespace Keys
