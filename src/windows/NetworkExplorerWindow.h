#pragma once

// The network browser: lists the trained networks of the network folder and
// lets the user choose one.
//
// First version: an empty window; the main window keeps a pointer to the open
// one and reads nothing else. Listing, description and the Choose button come
// with the window's own work.

#include <QMainWindow>

class NetworkExplorerWindow : public QMainWindow {
    Q_OBJECT

public:
    explicit NetworkExplorerWindow(QWidget* parent = nullptr);
};
