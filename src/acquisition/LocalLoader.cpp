#include "acquisition/LocalLoader.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "acquisition/MapPickerTiles.h"
#include "app/WidgetUtils.h"
#include "forms/LocalLoaderForm.h"
#include "windows/ToolWindowSupport.h"

namespace {

const QString workingDirectoryKey = QStringLiteral("localLoader/workingDirectory");
const char productIdProperty[] = "id";

// The chosen tile's mark on the map.
const QColor outlineFill(0, 255, 111, 100);

} // namespace

LocalLoader::LocalLoader(QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::LocalLoader>())
    , mapPicker(new LocalLoaderMapPicker(nullptr))
{
    ui->setupUi(this);
    showMaximized();

    auto* mapContainer = new QWidget;
    auto* mapLayout = new QHBoxLayout(mapContainer);
    mapLayout->addWidget(mapPicker);
    ui->scrollAreaMapPicker->setWidget(mapContainer);
    ui->scrollAreaMapPicker->setBackgroundRole(QPalette::Dark);
    ui->scrollAreaMapPicker->installEventFilter(this);
    mapPicker->installEventFilter(this);

    ui->dateEditTo->setDate(QDate::currentDate());
    ui->dateEditFrom->setDate(QDate::currentDate().addYears(-1));

    auto* previewContainer = new QWidget;
    auto* previewLayout = new QVBoxLayout(previewContainer);
    previewLabel = new QLabel;
    previewLayout->addWidget(previewLabel);
    ui->scrollAreaLocalPreview->setWidget(previewContainer);
    previewImage = QImage(350, 350, QImage::Format_ARGB32);

    workingDirectory = settings.value(workingDirectoryKey, QString()).toString();
    if (!workingDirectory.isEmpty()) {
        scanDirectory(false, QString(), QDate(), QDate(), 0);
    } else {
        showMessageBox(tr("Select working directory"), 0);
        const QString directory = chooseExistingDirectory(this, tr("Select directory"), QString());
        if (!directory.isEmpty()) {
            setWorkingDirectory(directory);
            scanDirectory(false, QString(), QDate(), QDate(), 0);
        }
    }
    ui->lineEditLocalDirectory->setText(workingDirectory);
}

LocalLoader::~LocalLoader()
{
    // The children outlive this part of the object; they must not report
    // to it any more.
    mapPicker->removeEventFilter(this);
    ui->scrollAreaMapPicker->removeEventFilter(this);
}

void LocalLoader::scanDirectory(bool filter, const QString& tileName, const QDate& from, const QDate& to,
                                int productType)
{
    const QStringList paths = LocalProducts::findArchives(workingDirectory);
    products.clear();
    {
        const QSignalBlocker blocker(ui->treeWidgetLocalResults);
        ui->treeWidgetLocalResults->clear();
    }
    ui->treeWidgetLocalFileinfo->clear();
    previewImage.fill(Qt::white);

    const LocalProducts::Filter criteria{tileName, from, to, productType};
    for (const QString& path : paths) {
        LocalProduct product = LocalProducts::productFromPath(path);
        if (!filter || LocalProducts::passes(product, criteria))
            products.append(std::move(product));
    }
    fillResults();
}

void LocalLoader::fillResults()
{
    QTreeWidget* tree = ui->treeWidgetLocalResults;
    {
        const QSignalBlocker blocker(tree);
        tree->clear();
    }
    QTreeWidgetItem* last = nullptr;
    for (int i = 0; i < products.size(); ++i) {
        auto* item = new QTreeWidgetItem(tree);
        auto* box = new QCheckBox;
        box->setMaximumSize(20, 20);
        box->setProperty(productIdProperty, i);
        tree->setItemWidget(item, 0, box);
        item->setText(1, products.at(i).title);
        last = item;
    }
    tree->header()->resizeSections(QHeaderView::ResizeToContents);
    if (last)
        tree->setCurrentItem(last);
    ui->groupBoxResults->setTitle(tr("%1 files found").arg(tree->topLevelItemCount()));
}

QList<QPair<QString, QString>> LocalLoader::productInfoRows(int index) const
{
    if (index < 0 || index >= products.size())
        return {};
    const LocalProduct& product = products.at(index);
    return {
        {tr("Title"), product.title},
        {tr("Area code"), product.areaCode},
        {tr("Processing level"), product.processingLevel},
        {tr("Product type"), product.productType},
        {tr("Sensing start"), LocalProducts::timeText(product.sensingStart)},
        {tr("Sensing end"), LocalProducts::timeText(product.sensingEnd)},
        {tr("Ingestion date"), LocalProducts::timeText(product.ingestionDate)},
    };
}

QString LocalLoader::tileName(int tile)
{
    const MapPickerTile* row = MapPicker::tile(tile);
    return row ? QString::fromLatin1(row->name) : tr("Unselected");
}

bool LocalLoader::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == mapPicker) {
        if (event->type() == QEvent::MouseMove) {
            updateMapPicker(static_cast<QMouseEvent*>(event));
        } else if (event->type() == QEvent::MouseButtonPress) {
            auto* press = static_cast<QMouseEvent*>(event);
            if (press->button() == Qt::LeftButton && hoveredTile != 0) {
                selectedTile = hoveredTile;
                ui->labelSelectedArea->setText(tileName(selectedTile));
                updateMapPicker(press);
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void LocalLoader::updateMapPicker(QMouseEvent* event)
{
    const int area = ui->comboBoxLocalArea->currentIndex();
    if (area < 0 || area >= MapPicker::areaCount)
        return;
    const QPoint position = event->position().toPoint();
    hoveredTile = MapPicker::tileAt(area, position.x(), position.y());
    const MapPickerTile* chosen = MapPicker::tile(selectedTile);
    const ShownPicture wanted{area, hoveredTile, chosen && chosen->area == area ? selectedTile : 0};
    if (wanted == shown_)
        return;

    QImage picture = pictures_.picture(area, hoveredTile);
    if (wanted.outlinedTile != 0) {
        // Drawn on a copy: the cached picture stays clean for the next move.
        QPolygonF outline;
        for (int i = 0; i < chosen->pointCount; ++i)
            outline << QPointF(chosen->outline[i].x, chosen->outline[i].y);
        QPainter painter(&picture);
        painter.setBrush(QBrush(outlineFill, Qt::SolidPattern));
        painter.setPen(QPen(Qt::red));
        painter.drawPolygon(outline, Qt::OddEvenFill);
    }
    mapPicker->image = picture;
    shown_ = wanted;
    mapPicker->update();
}

void LocalLoader::resetMapPicker()
{
    mapPicker->image = pictures_.picture(0, 0);
    shown_ = ShownPicture{};
    mapPicker->update();
    selectedTile = 0;
    ui->labelSelectedArea->setText(tileName(0));
}

void LocalLoader::setWorkingDirectory(const QString& directory)
{
    settings.setValue(workingDirectoryKey, directory);
    workingDirectory = directory;
    ui->lineEditLocalDirectory->setText(directory);
}

void LocalLoader::closeEvent(QCloseEvent* event)
{
    confirmWindowClose(this, event);
}

void LocalLoader::on_pushButtonFilterApply_clicked()
{
    if (selectedTile == 0) {
        showMessageBox(tr("Please select area."), 2);
        return;
    }
    scanDirectory(true, ui->labelSelectedArea->text(), ui->dateEditFrom->date(), ui->dateEditTo->date(),
                  ui->comboBoxProductType->currentIndex());
}

void LocalLoader::on_pushButtonFilterClear_clicked()
{
    resetMapPicker();
    scanDirectory(false, QString(), QDate(), QDate(), 0);
}

void LocalLoader::on_pushButtonLocalLoad_clicked()
{
    selectedFiles.clear();
    QTreeWidget* tree = ui->treeWidgetLocalResults;
    for (int row = 0; row < tree->topLevelItemCount() && row < products.size(); ++row) {
        const auto* box = qobject_cast<QCheckBox*>(tree->itemWidget(tree->topLevelItem(row), 0));
        if (box && box->isChecked())
            selectedFiles.append(products.at(row).path);
    }
    if (selectedFiles.isEmpty())
        showMessageBox(tr("Please select files to load"), 0);
}

void LocalLoader::on_toolButtonLocalChangeDir_clicked()
{
    const QString directory = chooseExistingDirectory(this, tr("Select directory"), workingDirectory);
    if (directory.isEmpty())
        return;
    setWorkingDirectory(directory);
    scanDirectory(false, QString(), QDate(), QDate(), 0);
}

void LocalLoader::on_treeWidgetLocalResults_currentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    // A cleared tree reports no current row.
    if (!current)
        return;
    previewLabel->clear();
    const QWidget* box = ui->treeWidgetLocalResults->itemWidget(current, 0);
    if (!box)
        return;
    const int index = box->property(productIdProperty).toInt();
    QTreeWidget* info = ui->treeWidgetLocalFileinfo;
    info->clear();
    for (const auto& [attribute, value] : productInfoRows(index)) {
        auto* item = new QTreeWidgetItem(info);
        item->setText(0, attribute);
        item->setText(1, value);
    }
    info->header()->resizeSections(QHeaderView::ResizeToContents);
}
