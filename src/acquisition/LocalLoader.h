#pragma once

// The local archive browser: lists Sentinel-2 product archives below a
// working directory and hands the checked ones to the main window.
//
// First version: the form with its Load button (pushButtonLocalLoad) and the
// list the main window reads after a click (selectedFiles). The scan,
// filters, map picker and close confirmation come with the window's own work.

#include <memory>

#include <QMainWindow>
#include <QStringList>

namespace Ui {
class LocalLoader;
}

class LocalLoader : public QMainWindow {
    Q_OBJECT

public:
    explicit LocalLoader(QWidget* parent = nullptr);
    ~LocalLoader() override;

    std::unique_ptr<Ui::LocalLoader> ui;
    // Paths of the archives checked when Load was pressed.
    QStringList selectedFiles;
};
