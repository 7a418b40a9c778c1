#pragma once

// The curve database window: browses one folder of KML curve files (no
// descent into sub-folders), filters them by the area code and the Natura
// 2000 code their names carry ("<area>_<natura>_<rest>.kml") and hands the
// checked ones to the main window.
//
// The window opens no file: everything it shows comes from the directory
// listing and the file names, so an unreadable or malformed file is listed
// like any other and its error comes from the main window's loading.
//
// Owner and modality: the main window creates it without parent, keeps a
// guarded pointer, connects pushButtonLoad to its own load slot after the
// window's connection (so selectedCurveFiles is complete when it reads it),
// and shows it modal and deleted on close.

#include <memory>

#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QStringList>

class QTreeWidgetItem;

namespace Ui {
class CurveManager;
}

class CurveManager : public QMainWindow {
    Q_OBJECT

public:
    explicit CurveManager(QWidget* parent = nullptr);
    ~CurveManager() override;

    // Lists the database directory anew: codes, files and both trees.
    void scanDirectory();
    // Rebuilds the result tree from the kept files and the chosen codes.
    void applyFilter();

    std::unique_ptr<Ui::CurveManager> ui;
    // Full paths of the curve files checked when Load was pressed; emptied
    // by every scan.
    QStringList selectedCurveFiles;

public slots:
    void on_pushButtonFind_clicked();
    void on_toolButtonCurveDbDir_clicked();
    void on_pushButtonSelectAll_clicked();
    void on_pushButtonUnselectAll_clicked();
    void on_pushButtonLoad_clicked();
    void on_treeWidgetResults_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

private:
    using Attributes = QList<QPair<QString, QString>>;

    // The check box of a result row and the file index it carries; -1 when
    // the row has none or the index names no kept file.
    int rowFileIndex(QTreeWidgetItem* row) const;
    void setAllChecked(bool checked);
    void showFileInfo(QTreeWidgetItem* row);
    void setResultCount(int count);

    // Only "curveManager/dbDirectory" is read and written.
    QSettings settings_;
    // Parallel lists, one entry per kept file in listing order; a file's
    // index in them is the "id" of its check box.
    QStringList fullPaths_;
    QStringList fileNames_;
    QList<Attributes> fileAttributes_;
    // Distinct first and second name parts in order of first appearance.
    QStringList areaCodes_;
    QStringList naturaCodes_;
    QString databaseDirectory_;
};
