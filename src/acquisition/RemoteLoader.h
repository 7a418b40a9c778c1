#pragma once

// The remote catalogue window: finds Sentinel-2 products in the remote
// catalogue and downloads them.
//
// First version: an empty window with its title; the main window only
// creates and shows it. Login, search and download come with its own work.

#include <QMainWindow>

class RemoteLoader : public QMainWindow {
    Q_OBJECT

public:
    explicit RemoteLoader(QWidget* parent = nullptr);
};
