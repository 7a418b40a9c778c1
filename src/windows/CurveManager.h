#pragma once

// The curve database window: browses a folder of KML curve files and hands
// the checked ones to the main window.
//
// First version: the form with its Load button (pushButtonLoad) and the list
// the main window reads after a click (selectedCurveFiles). Scanning,
// filtering and the result trees come with the window's own work.

#include <memory>

#include <QMainWindow>
#include <QStringList>

namespace Ui {
class CurveManager;
}

class CurveManager : public QMainWindow {
    Q_OBJECT

public:
    explicit CurveManager(QWidget* parent = nullptr);
    ~CurveManager() override;

    std::unique_ptr<Ui::CurveManager> ui;
    // Full paths of the curve files checked when Load was pressed.
    QStringList selectedCurveFiles;
};
