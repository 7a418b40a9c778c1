#pragma once

// How the main window's monitoring controls open the statistics window.
//
// Each launcher checks its choices, fills a request and hands it to the
// installed window factory; the default factory builds the window, makes it
// application-modal and deleted on close, titles and shows it, and keeps no
// reference. Tests install a factory of their own to see what a launcher
// would open.

#include <functional>

#include <QList>
#include <QString>

#include "app/WidgetUtils.h"
#include "io/Curve.h"

namespace IO {
class File;
}

class StatisticsWindow;

namespace UI {

// What a launcher hands to a new statistics window.
struct StatisticsWindowRequest {
    // The main window's curve-set list of the active data set (statistics
    // and differences); null for area monitoring, whose window takes over
    // `copies`.
    QList<CurveSet>* curveSets = nullptr;
    QList<CurveSet> copies;
    QList<IO::File*> dataFiles;
    // The data set that owns *curveSets: the active one.
    IO::File* owner = nullptr;
    int level = 0;
    bool areaMonitoring = false;
    // "Compute Hausdorff distance" is off in the differences window.
    bool compareEnabled = true;
    QString title;
};

using StatisticsWindowFactory = std::function<void(StatisticsWindowRequest)>;

// Installs a factory (an empty one restores the default) and returns the
// one installed before.
StatisticsWindowFactory setStatisticsWindowFactory(StatisticsWindowFactory factory);
using ScopedStatisticsWindowFactory = ScopedDialogHandler<StatisticsWindowFactory, &setStatisticsWindowFactory>;

// The default factory: the window, shown; it deletes itself when closed.
StatisticsWindow* openStatisticsWindow(StatisticsWindowRequest request);

// Hands a request to the installed factory.
void launchStatisticsWindow(StatisticsWindowRequest request);

} // namespace UI
