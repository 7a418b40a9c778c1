#pragma once

// Small value types of the main window that its declaration needs and that
// FenlarkAppUI names as its own (FenlarkAppUI::viewerTabWidget, ...). They
// live apart from the form so that the window's header does not pull it in.

namespace FenlarkAppTypes {

// A viewer side: indexes UI::FenlarkApp::viewers and names the session group
// of the side. Scoped, so the enumerators do not clash with the tab-widget
// members of the same names.
enum class viewerTabWidget : int {
    leftTabWidget = 0,
    rightTabWidget = 1,
};

// Index of the automatic panel's "Function type" combo.
enum HomogeneityFunctionType : int {
    DiscontinuousMean = 0,
    DiscontinuousMinMax = 1,
};

} // namespace FenlarkAppTypes
