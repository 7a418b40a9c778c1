#include "windows/StatisticsWindow.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <utility>

#include <omp.h>

#include <QClipboard>
#include <QCloseEvent>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QTableWidget>

#include "analysis/CurveDistance.h"
#include "app/WidgetUtils.h"
#include "forms/StatisticsWindowForm.h"
#include "io/AtomicFile.h"
#include "io/File.h"
#include "measurement/CurveSetStatistics.h"
#include "tools/TaskRunner.h"
#include "windows/StatisticsCells.h"
#include "windows/ToolWindowSupport.h"

namespace {

constexpr int kStatisticTypes = 4;
// The large export's team: one thread per file.
constexpr int kLargeThreads = StatisticsExport::kLargeFileCount;
// A writer thread hands its lines to the file in chunks of about this size,
// so memory stays flat whatever the grid.
constexpr std::size_t kFlushBytes = std::size_t(1) << 20;

void warn(const QString& text)
{
    showMessageBox(text, 2);
}

bool hasIndex(const QList<UI::CurveSet>& sets, int index)
{
    return index >= 0 && index < sets.size();
}

// What makes two bands of different data sets the same band: the band code,
// or the display name of a band without code.
std::pair<std::string, std::string> bandKind(const IO::Band& band)
{
    return {band.code, band.code.empty() ? band.name : std::string()};
}

// The band of `to` that is band `band` of `from`: the n-th band of a kind in
// `from` is the n-th of that kind in `to`; -1 when `to` has none.
int matchingBand(const IO::File& from, int band, const IO::File& to)
{
    if (&from == &to)
        return band;
    if (band < 0 || band >= static_cast<int>(from.bands.size()))
        return -1;
    const auto kind = bandKind(from.bands[static_cast<std::size_t>(band)]);
    int rank = 0;
    for (int b = 0; b < band; ++b) {
        if (bandKind(from.bands[static_cast<std::size_t>(b)]) == kind)
            ++rank;
    }
    for (std::size_t b = 0; b < to.bands.size(); ++b) {
        if (bandKind(to.bands[b]) == kind && rank-- == 0)
            return static_cast<int>(b);
    }
    return -1;
}

// The bands a list of matched bands names, without the missing ones.
QList<int> presentBands(const QList<int>& bands)
{
    QList<int> present;
    for (int band : bands) {
        if (band >= 0)
            present.append(band);
    }
    return present;
}

} // namespace

StatisticsWindow::StatisticsWindow(QList<UI::CurveSet>& curveSets, QList<IO::File*> dataFiles, int bandLevel,
                                   bool areaMonitoring, QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::StatisticsWindow>())
    , level(bandLevel)
    , curveSets_(areaMonitoring ? ownedCurveSets_ : curveSets)
    , dataFiles_(std::move(dataFiles))
    , owner_(dataFiles_.value(0))
{
    if (areaMonitoring) {
        ownedCurveSets_ = std::move(curveSets);
        curveSets.clear();
    }
    ui->setupUi(this);
    trackSelectionOrder(ui->listWidgetStatisticsCurves, curveOrder_);
    trackSelectionOrder(ui->listWidgetStatisticsTypes, typeOrder_);
    installRangeCopy(ui->tableWidget);
    // The menu's "Save as" entries have no function; Close asks as the
    // title bar's button does.
    ui->actionSave_as->setEnabled(false);
    ui->actionSave_as_2->setEnabled(false);
    connect(ui->actionClose, &QAction::triggered, this, &QWidget::close);

    if (areaMonitoring) {
        ui->groupBoxControls->setEnabled(false);
        const QList<int> pair{0, 1};
        if (ownedCurveSets_.size() >= 2 && comparable(pair)) {
            clearTable(6);
            showComparison(pair);
        }
    } else {
        fillStatisticsList();
        fillCurveSetList();
        fillChannelList();
    }
    for (QWidget* unused : QList<QWidget*>{ui->label, ui->label_2, ui->doubleSpinBoxRHLparam,
                                           ui->doubleSpinBoxRHLtimestep})
        unused->hide();
}

StatisticsWindow::~StatisticsWindow()
{
    // The children go after this object's members: nothing of theirs may
    // reach the order lists or the filter any more.
    ui->tableWidget->removeEventFilter(this);
    for (QListWidget* list : {ui->listWidgetStatisticsCurves, ui->listWidgetStatisticsTypes})
        list->selectionModel()->disconnect(this);
}

void StatisticsWindow::setCurveSetOwner(IO::File* owner)
{
    owner_ = owner;
}

// ---------------------------------------------------------------------------
// Lists and selection
// ---------------------------------------------------------------------------

void StatisticsWindow::trackSelectionOrder(QListWidget* list, QList<int>& order)
{
    connect(list->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [&order](const QItemSelection& selected, const QItemSelection& deselected) {
                for (const QModelIndex& index : deselected.indexes())
                    order.removeAll(index.row());
                // Rows selected together (Select All) join in list order.
                QList<int> rows;
                for (const QModelIndex& index : selected.indexes())
                    rows.append(index.row());
                std::sort(rows.begin(), rows.end());
                for (int row : rows) {
                    if (!order.contains(row))
                        order.append(row);
                }
            });
}

void StatisticsWindow::fillStatisticsList()
{
    statisticsLabels.clear();
    statisticsKeys.clear();
    for (int type = 0; type < kStatisticTypes; ++type) {
        statisticsLabels.append(StatisticsTable::typeLabel(type));
        statisticsKeys.append(StatisticsTable::typeKey(type));
    }
    ui->listWidgetStatisticsTypes->clear();
    typeOrder_.clear();
    ui->listWidgetStatisticsTypes->addItems(statisticsLabels);
    ui->listWidgetStatisticsTypes->selectAll();
}

void StatisticsWindow::fillCurveSetList()
{
    ui->listWidgetStatisticsCurves->clear();
    curveOrder_.clear();
    for (const UI::CurveSet& set : curveSets_)
        ui->listWidgetStatisticsCurves->addItem(QString::fromStdString(set.name));
    ui->listWidgetStatisticsCurves->selectAll();
}

void StatisticsWindow::fillChannelList()
{
    ui->listWidgetStatisticsChannels->clear();
    const int count = channelCount();
    for (int band = 0; band < count; ++band)
        ui->listWidgetStatisticsChannels->addItem(channelName(band));
    ui->listWidgetStatisticsChannels->selectAll();
}

int StatisticsWindow::channelCount() const
{
    const IO::File* first = dataFiles_.value(0);
    return first ? static_cast<int>(first->bands.size()) : 0;
}

QString StatisticsWindow::channelCode(int channel) const
{
    const IO::File* first = dataFiles_.value(0);
    if (!first || channel < 0 || channel >= static_cast<int>(first->bands.size()))
        return QString();
    const IO::Band& band = first->bands[static_cast<std::size_t>(channel)];
    return QString::fromStdString(band.code.empty() ? band.name : band.code);
}

QString StatisticsWindow::channelName(int channel) const
{
    const IO::File* first = dataFiles_.value(0);
    return first ? QString::fromStdString(first->bandName(channel)) : QString();
}

QList<int> StatisticsWindow::bandsOf(const IO::File* file, const QList<int>& channels) const
{
    const IO::File* first = dataFiles_.value(0);
    QList<int> bands;
    for (int channel : channels)
        bands.append(first && file ? matchingBand(*first, channel, *file) : -1);
    return bands;
}

QList<int> StatisticsWindow::selectedCurveSets() const
{
    QList<int> rows;
    const QListWidget* list = ui->listWidgetStatisticsCurves;
    for (int row : curveOrder_) {
        const QListWidgetItem* item = list->item(row);
        if (item && item->isSelected() && hasIndex(curveSets_, row))
            rows.append(row);
    }
    return rows;
}

bool StatisticsWindow::readSelection(QList<int>& curveSetIndexes, QList<int>& channels, QList<int>& types)
{
    curveSetIndexes = selectedCurveSets();
    channels.clear();
    const QListWidget* channelList = ui->listWidgetStatisticsChannels;
    const int bandCount = channelCount();
    for (const QListWidgetItem* item : channelList->selectedItems()) {
        const int row = channelList->row(item);
        if (row >= 0 && row < bandCount)
            channels.append(row);
    }
    std::sort(channels.begin(), channels.end());
    types.clear();
    for (int row : typeOrder_) {
        const QListWidgetItem* item = ui->listWidgetStatisticsTypes->item(row);
        if (item && item->isSelected() && row < kStatisticTypes)
            types.append(row);
    }
    if (channels.isEmpty()) {
        warn(tr("Select at least one channel"));
        return false;
    }
    if (curveSetIndexes.isEmpty()) {
        warn(tr("Select at least one curve"));
        return false;
    }
    if (types.isEmpty()) {
        warn(tr("Select at least one statistics type"));
        return false;
    }
    return true;
}

void StatisticsWindow::on_pushButtonStatisticsSelectAllCuves_clicked()
{
    ui->listWidgetStatisticsCurves->selectAll();
}

void StatisticsWindow::on_pushButtonStatisticsUnselectAllCurves_clicked()
{
    ui->listWidgetStatisticsCurves->clearSelection();
}

void StatisticsWindow::on_pushButtonStatisticsSelectAllChannels_clicked()
{
    ui->listWidgetStatisticsChannels->selectAll();
}

void StatisticsWindow::on_pushButtonStatisticsUnselectAllChannels_clicked()
{
    ui->listWidgetStatisticsChannels->clearSelection();
}

void StatisticsWindow::on_pushButtonStatisticsSelectAllStats_clicked()
{
    ui->listWidgetStatisticsTypes->selectAll();
}

void StatisticsWindow::on_pushButtonStatisticsUnselectAllStats_clicked()
{
    ui->listWidgetStatisticsTypes->clearSelection();
}

// ---------------------------------------------------------------------------
// Computation and the statistics table
// ---------------------------------------------------------------------------

QList<int> StatisticsWindow::measureSets(QList<UI::CurveSet>& sets, const QList<int>& curveSetIndexes,
                                         const QList<int>& channels, const QList<int>& types, IO::File* file,
                                         int level, int margin)
{
    QList<int> unmeasured;
    // An empty list would mean every band of the file.
    if (channels.isEmpty())
        return unmeasured;
    const std::vector<int> bands(channels.begin(), channels.end());
    const std::vector<int> kinds(types.begin(), types.end());
    for (int index : curveSetIndexes) {
        // A set that cannot be measured keeps the values it had.
        if (!hasIndex(sets, index) || computeCurveSetStatistics(sets[index], file, level, bands, kinds, margin))
            continue;
        // The measurement stops at the first band it cannot measure; each
        // band on its own tells which ones failed (the ones measured before
        // come out the same again).
        for (int band : channels) {
            const bool measured = computeCurveSetStatistics(sets[index], file, level, {band}, kinds, margin);
            if (!measured && !unmeasured.contains(band))
                unmeasured.append(band);
        }
    }
    return unmeasured;
}

bool StatisticsWindow::computeStatistics(QList<int> curveSetIndexes, QList<int> channels, QList<int> types,
                                         IO::File* file, int margin)
{
    measureSets(curveSets_, curveSetIndexes, presentBands(bandsOf(file, channels)), types, file, level, margin);
    return true;
}

void StatisticsWindow::growStatistics(const QList<int>& curveSetIndexes)
{
    if (!owner_)
        return;
    const std::size_t bandCount = owner_->bands.size();
    for (int index : curveSetIndexes) {
        if (!hasIndex(curveSets_, index))
            continue;
        for (int type = 0; type < kStatisticTypes; ++type) {
            std::vector<double>& list = curveSets_[index].statistic(type);
            if (list.size() < bandCount)
                list.resize(bandCount, -1.0);
        }
    }
}

void StatisticsWindow::computeMissingGeometry(QList<UI::CurveSet>& sets, const QList<int>& curveSetIndexes)
{
    for (int index : curveSetIndexes) {
        if (!hasIndex(sets, index))
            continue;
        for (UI::Curve& curve : sets[index].curves) {
            if (curve.area == -1.0 && curve.perimeter == -1.0)
                curve.computeGeometry();
        }
    }
}

QList<UI::CurveSet>& StatisticsWindow::measure(const QList<int>& curveSetIndexes, const QList<int>& channels,
                                               const QList<int>& types, IO::File* file, int margin,
                                               QList<UI::CurveSet>& measured, QList<int>* unmeasured)
{
    QList<UI::CurveSet>* target = &curveSets_;
    if (file != owner_) {
        // Another data set's values belong to no list of the main window;
        // they are kept at that data set's band indexes.
        measured = curveSets_;
        for (int index : curveSetIndexes) {
            if (hasIndex(measured, index))
                measured[index].resetStatistics(file ? static_cast<int>(file->bands.size()) : 0);
        }
        target = &measured;
    }
    const int bandLevel = level;
    QList<int> failed;
    runWithProgressDialog<QList<int>, QList<int>, QList<int>, QList<int>, IO::File*>(
        tr("Computing statistics..."), failed,
        [target, bandLevel, margin](QList<int> indexes, QList<int> bands, QList<int> kinds, IO::File* data) {
            return measureSets(*target, indexes, bands, kinds, data, bandLevel, margin);
        },
        curveSetIndexes, channels, types, file);
    if (unmeasured)
        *unmeasured = failed;
    return *target;
}

double StatisticsWindow::metresPerPixel() const
{
    return owner_ ? owner_->groundPixelSize() : IO::File::defaultGroundPixelSize;
}

void StatisticsWindow::clearTable(int columns)
{
    QTableWidget* table = ui->tableWidget;
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(columns);
}

namespace {

void putCells(QTableWidget* table, const QList<StatisticsTable::Cell>& cells)
{
    for (const StatisticsTable::Cell& cell : cells) {
        if (cell.row < 0 || cell.row >= table->rowCount() || cell.column < 0 || cell.column >= table->columnCount())
            continue;
        table->setItem(cell.row, cell.column, new QTableWidgetItem(cell.text));
    }
}

} // namespace

void StatisticsWindow::showStatisticsOf(const QList<UI::CurveSet>& sets, const QList<int>& curveSetIndexes,
                                        const QList<int>& channels, const QList<int>& bands,
                                        const QList<int>& types, IO::File* file, int offset)
{
    StatisticsTable::Block block;
    block.fileName = file ? QString::fromStdString(file->name) : QString();
    for (int index : curveSetIndexes) {
        if (hasIndex(sets, index))
            block.sets.append(&sets[index]);
    }
    block.bands = bands;
    // Rows are the first data set's channels, whichever block fills them.
    for (int channel : channels)
        block.channelNames.append(channelName(channel));
    block.types = types;
    block.offset = offset;
    block.metresPerPixel = metresPerPixel();
    const StatisticsTable::Layout layout = StatisticsTable::statisticsBlock(block);
    ui->tableWidget->setRowCount(layout.rowCount);
    putCells(ui->tableWidget, layout.cells);
    firstDifferenceRow = layout.headerRow;
}

void StatisticsWindow::showStatistics(QList<int> curveSetIndexes, QList<int> channels, QList<int> types,
                                      IO::File* file, int offset)
{
    computeMissingGeometry(curveSets_, curveSetIndexes);
    showStatisticsOf(curveSets_, curveSetIndexes, channels, bandsOf(file, channels), types, file, offset);
}

void StatisticsWindow::fillDifferenceRows(QList<int> channels, QList<int> types, int offset)
{
    if (firstDifferenceRow < 0)
        return;
    QTableWidget* table = ui->tableWidget;
    const QList<StatisticsTable::Cell> cells = StatisticsTable::differenceCells(
        firstDifferenceRow, static_cast<int>(channels.size()), types, offset, [table](int row, int column) {
            const QTableWidgetItem* item = table->item(row, column);
            return item ? item->text() : QString();
        });
    putCells(table, cells);
}

void StatisticsWindow::on_pushButtonStatisticsCompute_clicked()
{
    QList<int> indexes;
    QList<int> channels;
    QList<int> types;
    if (!readSelection(indexes, channels, types))
        return;
    const int fileCount = static_cast<int>(dataFiles_.size());
    if (fileCount == 2 && indexes.size() > 1) {
        warn(tr("For difference select only one curve"));
        return;
    }
    growStatistics(indexes);
    computeMissingGeometry(curveSets_, indexes);
    clearTable(StatisticsTable::statisticsColumnCount(static_cast<int>(indexes.size()), fileCount,
                                                      static_cast<int>(types.size())));
    const int w = StatisticsTable::blockWidth(static_cast<int>(types.size()));
    // Each block is filled from the list its computation wrote, before the
    // next computation runs. A channel is measured on each data set in that
    // data set's band of the same code; one the data set lacks keeps its
    // cells, and so its differences, empty.
    const IO::File* lacking = nullptr;
    QStringList missing;
    QStringList notMeasured;
    for (int f = 0; f < fileCount; ++f) {
        IO::File* file = dataFiles_[f];
        QList<int> bands = bandsOf(file, channels);
        for (int i = 0; i < bands.size(); ++i) {
            if (bands[i] < 0) {
                lacking = file;
                missing.append(channelCode(channels[i]));
            }
        }
        QList<UI::CurveSet> copies;
        QList<int> unmeasured;
        const QList<UI::CurveSet>& measured
            = measure(indexes, presentBands(bands), types, file, 0, copies, &unmeasured);
        // Beside another data set, a channel that could not be measured here
        // would show a placeholder, or a figure of an earlier computation,
        // and make a difference of it: its cells stay empty and it is named.
        // Alone, a data set's block shows what its sets hold, as always.
        if (fileCount == 2) {
            QStringList codes;
            for (int i = 0; i < bands.size(); ++i) {
                if (bands[i] >= 0 && unmeasured.contains(bands[i])) {
                    bands[i] = -1;
                    codes.append(channelCode(channels[i]));
                }
            }
            if (!codes.isEmpty()) {
                notMeasured.append(tr("Channels not measured in %1: %2. Their cells are left empty.")
                                       .arg(QString::fromStdString(file->name), codes.join(QStringLiteral(", "))));
            }
        }
        showStatisticsOf(measured, indexes, channels, bands, types, file, f * w);
    }
    if (fileCount == 2)
        fillDifferenceRows(channels, types, 2 * w);
    QStringList lines;
    if (lacking) {
        lines.append(tr("Channels missing in %1: %2. Their cells are left empty.")
                         .arg(QString::fromStdString(lacking->name), missing.join(QStringLiteral(", "))));
    }
    lines.append(notMeasured);
    if (!lines.isEmpty())
        warn(lines.join(QLatin1Char('\n')));
}

// ---------------------------------------------------------------------------
// Comparison
// ---------------------------------------------------------------------------

void StatisticsWindow::showComparison(QList<int> curveSetIndexes)
{
    if (curveSetIndexes.size() < 2 || !hasIndex(curveSets_, curveSetIndexes[0])
        || !hasIndex(curveSets_, curveSetIndexes[1]))
        return;
    const int a = curveSetIndexes[0];
    const int b = curveSetIndexes[1];
    computeMissingGeometry(curveSets_, {a, b});
    const UI::CurveSet& setA = curveSets_[a];
    const UI::CurveSet& setB = curveSets_[b];
    StatisticsTable::Distances distances;
    if (!setA.curves.empty() && !setB.curves.empty())
        computeCurveDistances(setA.curves.front(), setB.curves.front(), distances.mean, distances.hausdorff,
                              distances.percentile95);
    const auto fileName = [this](int position) {
        const IO::File* file = dataFiles_.size() == 1 ? dataFiles_[0] : dataFiles_.value(position);
        return file ? QString::fromStdString(file->name) : QString();
    };
    const StatisticsTable::Layout layout =
        StatisticsTable::comparison({fileName(0), &setA}, {fileName(1), &setB}, distances, metresPerPixel());
    ui->tableWidget->setRowCount(layout.rowCount);
    putCells(ui->tableWidget, layout.cells);
    ui->tableWidget->horizontalHeader()->setStretchLastSection(true);
}

bool StatisticsWindow::comparable(const QList<int>& curveSetIndexes)
{
    for (int index : curveSetIndexes) {
        if (!hasIndex(curveSets_, index) || curveSets_[index].curves.empty()) {
            warn(tr("Selected curve set has no curve"));
            return false;
        }
    }
    return true;
}

void StatisticsWindow::on_pushButtonCompare_clicked()
{
    const QList<int> chosen = selectedCurveSets();
    if (chosen.size() != 2) {
        warn(tr("For comparison select only two curves"));
        return;
    }
    if (!comparable(chosen))
        return;
    clearTable(6);
    showComparison(chosen);
}

// ---------------------------------------------------------------------------
// Copy and close
// ---------------------------------------------------------------------------

void StatisticsWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copyFirstSelectedRange(ui->tableWidget);
        event->accept();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

void StatisticsWindow::closeEvent(QCloseEvent* event)
{
    confirmWindowClose(this, event);
}

// ---------------------------------------------------------------------------
// Exports
// ---------------------------------------------------------------------------

void StatisticsWindow::on_actionExport_curves_statistics_triggered()
{
    QList<int> indexes;
    QList<int> channels;
    QList<int> types;
    if (!readSelection(indexes, channels, types))
        return;
    IO::File* file = dataFiles_.value(0);
    if (!file)
        return;
    growStatistics(indexes);
    QList<UI::CurveSet> copies;
    const QList<UI::CurveSet>& measured = measure(indexes, channels, types, file, 2, copies);
    const QString path = chooseSaveFileName(this, tr("Save curves statistics"), QString(),
                                            QStringLiteral("CSV file (*.csv);;All files (*)"));
    if (path.isEmpty())
        return;
    StatisticsExport::CurveStatistics input;
    for (int index : indexes)
        input.sets.push_back(&measured[index]);
    for (int channel : channels) {
        input.channels.push_back(channel);
        input.bandCodes.push_back(file->bands[static_cast<std::size_t>(channel)].code);
    }
    input.types.assign(types.begin(), types.end());
    if (!IO::writeFileAtomically(QFile::encodeName(path).toStdString(), StatisticsExport::statisticsFileText(input))) {
        warn(tr("Unable to save file."));
        return;
    }
    showMessageBox(tr("Export done"), 0);
}

void StatisticsWindow::on_actionExport_large_file_of_statistics_triggered()
{
    QList<int> indexes;
    QList<int> channels;
    QList<int> types;
    if (!readSelection(indexes, channels, types))
        return;
    const std::optional<int> radius =
        chooseInteger(this, tr("Chebyshev Radius"),
                      tr("Set Chebyshev Radius for squares in a large file of statistics:"), 3, 1, 5, 1);
    if (!radius || *radius < 1 || *radius > 5)
        return;
    const int side = 2 * *radius + 1;
    qDebug() << "square area: " << side << "x" << side;
    IO::File* file = dataFiles_.value(0);
    if (!file)
        return;
    LargeExportResult result = LargeExportResult::Failed;
    runWithProgressDialog<LargeExportResult, IO::File*, int, std::vector<int>, int, std::string>(
        tr("Exporting large file of statistics..."), result,
        [](IO::File* data, int bandLevel, std::vector<int> bands, int r, std::string folder) {
            return exportLargeStatistics(data, bandLevel, std::move(bands), r, std::move(folder), kLargeThreads);
        },
        file, level, std::vector<int>(channels.begin(), channels.end()), *radius,
        QFile::encodeName(QDir::currentPath()).toStdString());
    switch (result) {
    case LargeExportResult::Written:
        break;
    case LargeExportResult::ReadFailed:
        warn(tr("Unable to read data from file."));
        break;
    case LargeExportResult::OutOfMemory:
        warn(tr("Not enough memory for the large file of statistics."));
        break;
    case LargeExportResult::Failed:
        warn(tr("Unable to save file."));
        break;
    }
}

StatisticsWindow::LargeExportResult StatisticsWindow::exportLargeStatistics(IO::File* file, int level,
                                                                            std::vector<int> channels, int radius,
                                                                            std::string folder, int threads)
{
    if (!file || radius < 1 || radius >= StatisticsExport::kLargeBorder)
        return LargeExportResult::Failed;
    try {
        const int width = file->width;
        const int height = file->height;
        std::vector<std::vector<double>> data;
        if (!file->readChannels(level, channels, width, height, 0, 0, data) || data.size() != channels.size())
            return LargeExportResult::ReadFailed;
        const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
        for (const std::vector<double>& channel : data) {
            if (channel.size() < count)
                return LargeExportResult::ReadFailed;
        }
        const int border = 2 * StatisticsExport::kLargeBorder;
        qDebug() << "file area: " << width << "x" << height << "RM area: " << width - border << "x"
                 << height - border;
        StatisticsExport::LargeFiles files(folder);
        if (!files.isOpen())
            return LargeExportResult::Failed;
        std::vector<int> descriptors;
        for (int k = 0; k < StatisticsExport::kLargeFileCount; ++k)
            descriptors.push_back(files.descriptor(k));
        const StatisticsExport::LargeGrid grid{&data, width, height, radius};
        bool outOfMemory = false;
        if (!writeLargeStatisticsRows(grid, descriptors, threads, outOfMemory))
            return outOfMemory ? LargeExportResult::OutOfMemory : LargeExportResult::Failed;
        qDebug() << "Koniec";
        return files.commit() ? LargeExportResult::Written : LargeExportResult::Failed;
    } catch (const std::bad_alloc&) {
        return LargeExportResult::OutOfMemory;
    }
}

bool StatisticsWindow::writeLargeStatisticsRows(const StatisticsExport::LargeGrid& grid,
                                                const std::vector<int>& descriptors, int threads, bool& outOfMemory)
{
    const int border = StatisticsExport::kLargeBorder;
    const int rows = std::max(0, grid.height - 2 * border);
    const int columns = std::max(0, grid.width - 2 * border);
    const int team = std::clamp(threads, 1, static_cast<int>(descriptors.size()));
    std::atomic<bool> failed{false};
    std::atomic<bool> exhausted{false};
#pragma omp parallel num_threads(team)
    {
        // Thread k writes file k only: no stream is shared.
        const int k = omp_get_thread_num();
        const int descriptor = descriptors[static_cast<std::size_t>(k)];
        std::string buffer;
        StatisticsExport::LineScratch scratch;
#pragma omp for schedule(static)
        for (int row = 0; row < rows; ++row) {
            if (failed.load(std::memory_order_relaxed))
                continue;
            try {
                const int y = row + border;
                for (int column = 0; column < columns; ++column)
                    StatisticsExport::appendLargeLine(buffer, grid, column + border, y, scratch);
                if (buffer.size() >= kFlushBytes) {
                    if (!IO::writeAll(descriptor, buffer))
                        failed = true;
                    buffer.clear();
                }
            } catch (const std::bad_alloc&) {
                exhausted = true;
                failed = true;
            }
            std::printf("i=%d, hotove z vlakna threadID=%d\n", row, k);
        }
        if (!failed && !buffer.empty() && !IO::writeAll(descriptor, buffer))
            failed = true;
    }
    std::fflush(stdout);
    outOfMemory = exhausted;
    return !failed;
}
