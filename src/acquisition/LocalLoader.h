#pragma once

// The local archive browser "Local data manager": lists the Sentinel-2
// product archives below a working directory, filters them by a tile picked
// on an area map, sensing dates and processing level, shows what their names
// tell and hands the checked ones to the main window.
//
// Owner and modality: the main window creates it without parent, keeps a
// guarded pointer, makes it window-modal and deleted on close. The window's
// own Load slot (connected by name while the form is built) fills
// selectedFiles before the main window's slot reads them.

#include <memory>

#include <QDate>
#include <QImage>
#include <QList>
#include <QMainWindow>
#include <QPair>
#include <QSettings>
#include <QString>
#include <QStringList>

#include "acquisition/LocalLoaderMapPicker.h"
#include "acquisition/LocalProducts.h"

class QCloseEvent;
class QLabel;
class QMouseEvent;
class QTreeWidgetItem;

namespace Ui {
class LocalLoader;
}

class LocalLoader : public QMainWindow {
    Q_OBJECT

public:
    // Asks for a working directory when none is remembered, then lists its
    // archives; shows itself maximised.
    explicit LocalLoader(QWidget* parent = nullptr);
    ~LocalLoader() override;

    // Rebuilds products and the result lists from the archives below the
    // working directory; with filter set, only those passing the tile, date
    // and type filter.
    void scanDirectory(bool filter, const QString& tileName, const QDate& from, const QDate& to, int productType);
    // Rebuilds the results tree from products; the last row becomes current.
    void fillResults();
    // The attributes of product index as (attribute, value) pairs; empty for
    // an index outside products.
    QList<QPair<QString, QString>> productInfoRows(int index) const;

    // The tile name of the table, "Unselected" for a number outside it.
    static QString tileName(int tile);

    bool eventFilter(QObject* watched, QEvent* event) override;
    // Hover test at the event's position, the picture of the hovered tile
    // with the chosen tile's outline, and the repaint.
    void updateMapPicker(QMouseEvent* event);

    std::unique_ptr<Ui::LocalLoader> ui;
    LocalLoaderMapPicker* mapPicker = nullptr;
    // Cleared white by every scan; a place for a preview that no widget shows.
    QImage previewImage;
    QLabel* previewLabel = nullptr;
    // Paths of the archives checked at the last Load.
    QStringList selectedFiles;
    int selectedTile = 0; // chosen on the map, 0 none
    int hoveredTile = 0;  // under the mouse, 0 none
    QSettings settings;
    QString workingDirectory;
    // The archives of the last scan, in the order of the directory walk.
    QList<LocalProduct> products;

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void on_pushButtonFilterApply_clicked();
    void on_pushButtonFilterClear_clicked();
    void on_pushButtonLocalLoad_clicked();
    void on_toolButtonLocalChangeDir_clicked();
    void on_treeWidgetLocalResults_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);

private:
    // Puts the first area's initial picture back and forgets the choice.
    void resetMapPicker();
    void setWorkingDirectory(const QString& directory);

    // What the map shows, so a move that changes none of it loads and draws
    // nothing.
    struct ShownPicture {
        int area = 0;
        int hoveredTile = 0;
        int outlinedTile = 0;
        bool operator==(const ShownPicture&) const = default;
    };
    MapPictureCache pictures_;
    ShownPicture shown_;
};
