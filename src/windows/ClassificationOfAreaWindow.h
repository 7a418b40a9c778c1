#pragma once

// The area classification window: the mean relevancy of every class of a
// network for chosen curve sets of a data set.
//
// First version: the constructor with the opener's arguments, kept as given;
// the main window keeps a pointer to the open window and reads nothing else.
// The form, the classification and the results table come with the window's
// own work.

#include <QList>
#include <QMainWindow>

#include "analysis/NatNetInfo.h"
#include "io/Curve.h"

namespace IO {
class File;
}

class ClassificationOfAreaWindow : public QMainWindow {
    Q_OBJECT

public:
    ClassificationOfAreaWindow(QList<UI::CurveSet>* curveSets, NatNetInfo network, IO::File* file, int level,
                               QWidget* parent = nullptr);

    QList<UI::CurveSet>* curveSets = nullptr;  // the opener's list, not owned
    NatNetInfo network;
    IO::File* file = nullptr;  // not owned
    int level = 0;
};
