#pragma once

// The habitat plot table editor.
//
// First version: an empty window; the main window only creates and shows it
// and reads nothing back. Loading, editing and saving plot tables come with
// the window's own work.

#include <QMainWindow>

class HabitatManager : public QMainWindow {
    Q_OBJECT

public:
    explicit HabitatManager(QWidget* parent = nullptr);
};
