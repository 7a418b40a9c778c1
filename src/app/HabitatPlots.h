#pragma once

// Habitat plots read from a habitat plot file for the data set shown: the
// main window keeps them by habitat code to mark them on the images.

#include <QDate>
#include <QList>
#include <QString>

struct HabitatPlot {
    int plotNumber = 0;
    QString code;
    QString eunis;
    QString habitat;
    QString syntaxon;
    QString community;
    double latitude = 0.0;   // degrees
    double longitude = 0.0;  // degrees
    QDate date;              // null unless the file gave year.month.day
    double altitude = 0.0;
    double aspect = 0.0;
    double slope = 0.0;
    double treeCover = 0.0;
    double shrubCover = 0.0;
    double herbCover = 0.0;
    QString locality;
    // Position in pixels of the data set's full grid.
    double pixelX = 0.0;
    double pixelY = 0.0;
};

struct HabitatPlotGroup {
    QString code;
    QString habitatName;  // from the first row of the file with this code
    QList<HabitatPlot> plots;  // in file order
};
