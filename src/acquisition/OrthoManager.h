#pragma once

// The orthomosaic export window: turns the tiles of an orthophoto zip into
// the pyramid files that the orthomosaic reader uses.
//
// First version: an empty window with its title; the main window only
// creates and shows it. The export and its settings come with its own work.

#include <QMainWindow>

class OrthoManager : public QMainWindow {
    Q_OBJECT

public:
    explicit OrthoManager(QWidget* parent = nullptr);
};
