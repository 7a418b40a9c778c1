#include "windows/ClassificationOfAreaWindow.h"

#include <cmath>
#include <exception>
#include <new>
#include <utility>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressDialog>
#include <QPushButton>
#include <QTableWidget>

#include "analysis/AreaClassification.h"
#include "analysis/MaskedStatistics.h"
#include "app/WidgetUtils.h"
#include "forms/ClassificationOfAreaWindowForm.h"
#include "forms/NetworkExplorerWindowForm.h"
#include "io/File.h"
#include "measurement/CurveSetStatistics.h"
#include "windows/NetworkExplorerWindow.h"
#include "windows/ToolWindowSupport.h"

namespace {

// The network's feature windows reach 5 pixels past the classified area;
// the channels are read with this margin on every side.
constexpr int kMargin = 12;
// Bounding boxes snap to this grid.
constexpr int kGrid = 6;
// How far the set is moved into the region it fills before the mean.
constexpr int kOffset = 4;
// Marks a set that was not classified.
constexpr double kNotClassified = -1.0;

void warn(const QString& text)
{
    showMessageBox(text, 2);
}

QString joined(const std::vector<std::string>& names)
{
    QStringList parts;
    for (const std::string& name : names)
        parts.append(QString::fromStdString(name));
    return parts.join(QStringLiteral(", "));
}

// The set's bounding box on the 6-pixel grid: the origin rounded down, the
// far corner rounded up with half a cell more (int truncates toward zero).
struct SnappedBox {
    int x0 = 0;
    int y0 = 0;
    int x1 = 0;
    int y1 = 0;
};

// False for a box no data set can hold (not finite, or beyond int range).
bool snapBox(const UI::CurveSet& set, SnappedBox& box)
{
    constexpr double limit = 1.0e9;
    for (double v : {set.minX, set.minY, set.maxX, set.maxY}) {
        if (!std::isfinite(v) || std::abs(v) > limit)
            return false;
    }
    box.x0 = static_cast<int>(set.minX / kGrid) * kGrid;
    box.y0 = static_cast<int>(set.minY / kGrid) * kGrid;
    box.x1 = static_cast<int>(set.maxX / kGrid + 1.5) * kGrid;
    box.y1 = static_cast<int>(set.maxY / kGrid + 1.5) * kGrid;
    return true;
}

} // namespace

ClassificationOfAreaWindow::ClassificationOfAreaWindow(QList<UI::CurveSet>* curveSets, NatNetInfo network,
                                                       IO::File* file, int level, QWidget* parent)
    : QMainWindow(parent)
    , ui(std::make_unique<Ui::ClassificationOfAreaWindow>())
    , curveSets(curveSets)
    , network(std::move(network))
    , file(file)
    , level(level)
{
    ui->setupUi(this);
    ui->lineEditNetwork->setText(QString::fromStdString(this->network.fileName));
    ui->lineEditNetwork->setReadOnly(true);
    installRangeCopy(ui->tableWidget);
    fillCurveList();
}

ClassificationOfAreaWindow::~ClassificationOfAreaWindow() = default;

void ClassificationOfAreaWindow::fillCurveList()
{
    QListWidget* list = ui->listWidgetCurves;
    list->clear();
    if (curveSets) {
        for (const UI::CurveSet& set : *curveSets)
            list->addItem(QString::fromStdString(set.name));
    }
    list->selectAll();
}

void ClassificationOfAreaWindow::on_pushButtonSelectAllCuves_clicked()
{
    ui->listWidgetCurves->selectAll();
}

void ClassificationOfAreaWindow::on_pushButtonUnselectAllCurves_clicked()
{
    ui->listWidgetCurves->clearSelection();
}

// ---------------------------------------------------------------------------
// Network
// ---------------------------------------------------------------------------

void ClassificationOfAreaWindow::on_pushButtonNetworkExplorer_clicked()
{
    // The explorer is window-modal to this window, so only a Classify
    // without network can ask again while one is open: show that one.
    if (networkExplorer) {
        networkExplorer->raise();
        networkExplorer->activateWindow();
        return;
    }
    auto* explorer = new NetworkExplorerWindow(this);
    networkExplorer = explorer;
    connect(explorer->ui->pushButtonNetExplorerChoose, &QPushButton::clicked, this,
            &ClassificationOfAreaWindow::networkExplorerSetNetwork);
    explorer->setWindowModality(Qt::WindowModal);
    explorer->setAttribute(Qt::WA_DeleteOnClose);
    explorer->setWindowTitle(tr("Network Explorer"));
    explorer->show();
}

void ClassificationOfAreaWindow::networkExplorerSetNetwork()
{
    if (!networkExplorer)
        return;
    // The explorer's own Choose slot ran first; an empty file name means
    // nothing was chosen and the current network stays.
    if (!networkExplorer->chosenNetwork.fileName.empty()) {
        network = networkExplorer->chosenNetwork;
        ui->lineEditNetwork->setText(QString::fromStdString(network.fileName));
        ui->lineEditNetwork->setCursorPosition(0);
    }
    networkExplorer->close();
}

std::vector<std::string> ClassificationOfAreaWindow::networkBandIndexes(std::vector<int>& out) const
{
    out.clear();
    if (!file)
        return network.channelNames;
    NetworkBands found = ::networkBandIndexes(network, *file);
    out = std::move(found.bands);
    return std::move(found.missing);
}

// ---------------------------------------------------------------------------
// Classification
// ---------------------------------------------------------------------------

void ClassificationOfAreaWindow::on_pushButtonClassify_clicked()
{
    if (network.directory.empty() || network.fileName.empty()) {
        on_pushButtonNetworkExplorer_clicked();
        return;
    }

    QProgressDialog progress;
    setupProgressDialog(&progress, tr("Classifying...."), 0);
    progress.show();
    QCoreApplication::processEvents();

    // The rows in the order the selection reports them.
    QList<int> rows;
    for (const QListWidgetItem* item : ui->listWidgetCurves->selectedItems())
        rows.append(ui->listWidgetCurves->row(item));
    if (rows.isEmpty())
        warn(tr("Select at least one curve."));

    // The classes of the network as classified head the table.
    std::vector<std::vector<double>> results;
    classifyCurveSets(rows, results);
    QTableWidget* table = ui->tableWidget;
    table->clear();
    table->setRowCount(0);
    table->setColumnCount(static_cast<int>(network.clusterNames.size()) + 1);
    fillResultsTable(rows, results);
    progress.hide();
}

QString ClassificationOfAreaWindow::failureText(ClassificationError error) const
{
    return tr("Unable to classify the area with network %1.").arg(QString::fromStdString(network.fileName))
           + QLatin1Char('\n') + QString::fromStdString(classificationErrorText(error));
}

void ClassificationOfAreaWindow::warnOnce(const QString& text, RunWarnings& warnings)
{
    if (warnings.failures.contains(text))
        return;
    warnings.failures.append(text);
    warn(text);
}

void ClassificationOfAreaWindow::classifyCurveSets(const QList<int>& rows, std::vector<std::vector<double>>& results)
{
    // The file may have changed since the network was chosen: it is read
    // once now, and that one reading names the classes, picks the bands and
    // classifies every set. A reading that failed leaves the network as
    // chosen; each set then fails with the reading's reason.
    const NatNetReading reading = readNatNet(network.directory, network.fileName);
    if (reading.error == ClassificationError::None)
        network = reading.network;
    std::vector<int> bands;
    const std::vector<std::string> missing = networkBandIndexes(bands);
    RunWarnings warnings;
    results.resize(static_cast<std::size_t>(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        std::vector<double>& values = results[static_cast<std::size_t>(i)];
        values.assign(network.clusterNames.size(), kNotClassified);
        const int row = rows[i];
        if (!curveSets || !file || row < 0 || row >= curveSets->size())
            continue;
        try {
            std::vector<double> means(network.clusterNames.size(), 0.0);
            if (classifyCurveSet(curveSets->at(row), reading, bands, missing, means, warnings))
                values = std::move(means);
        } catch (const std::bad_alloc&) {
            warnOnce(failureText(ClassificationError::OutOfMemory), warnings);
        } catch (const std::exception& e) {
            warnOnce(failureText(ClassificationError::None) + QString::fromLocal8Bit(e.what()), warnings);
        }
    }
}

bool ClassificationOfAreaWindow::classifyCurveSet(const UI::CurveSet& set, const NatNetReading& reading,
                                                  const std::vector<int>& bands,
                                                  const std::vector<std::string>& missing,
                                                  std::vector<double>& values, RunWarnings& warnings)
{
    if (!set.allClosed())
        return false;
    SnappedBox box;
    if (!snapBox(set, box))
        return false;
    // The area and its margin must lie inside the data set.
    if (box.x0 < kMargin || box.y0 < kMargin || box.x1 + kMargin > file->width || box.y1 + kMargin > file->height)
        return false;
    const int w = box.x1 - box.x0;
    const int h = box.y1 - box.y0;
    const int W = w + 2 * kMargin;
    const int H = h + 2 * kMargin;

    // The network learned from all its channels: without one of them the
    // features would not match it.
    if (!missing.empty()) {
        if (!warnings.missingChannels) {
            warnings.missingChannels = true;
            warn(tr("The data set has no band for the network channel %1.").arg(joined(missing)));
        }
        return false;
    }
    std::vector<std::vector<double>> channels(bands.size());
    for (std::size_t c = 0; c < bands.size(); ++c) {
        std::vector<std::vector<double>> one;
        if (!file->readChannels(level, {bands[c]}, W, H, box.x0 - kMargin, box.y0 - kMargin, one)
            || one.size() != 1) {
            warn(tr("Unable to read data from file. Channel: %1")
                     .arg(QString::fromStdString(network.channelNames[c])));
            return false;
        }
        channels[c] = std::move(one.front());
    }

    std::vector<std::vector<std::vector<double>>> classified;
    ClassificationError error = ClassificationError::None;
    if (!classifyArea(channels, w, h, W, H, classified, reading, &error)) {
        warnOnce(failureText(error), warnings);
        return false;
    }
    std::vector<std::vector<double>> maps(network.clusterNames.size());
    computeRelevancyMap(classified, w, h, maps);

    // The set moved into the region it fills, each curve keeping the inner
    // flag of its source, so pixels on the outline do not count.
    UI::CurveSet offset;
    offsetCurveSet(offset, set, w, h, box.x0, box.y0, kOffset);
    offset.updateBoundingBoxes();
    for (std::size_t k = 0; k < offset.curves.size() && k < set.curves.size(); ++k)
        offset.curves[k].inner = set.curves[k].inner;
    std::vector<int> mask;
    offset.rasterize(box.x0, box.y0, w, h, mask);

    for (std::size_t k = 0; k < maps.size(); ++k)
        values[k] = computeMaskedMean(maps[k].data(), mask);
    return true;
}

void ClassificationOfAreaWindow::fillResultsTable(const QList<int>& rows,
                                                  const std::vector<std::vector<double>>& results)
{
    QTableWidget* table = ui->tableWidget;
    const int classes = static_cast<int>(network.clusterNames.size());
    table->setRowCount(static_cast<int>(rows.size()) + 1);
    if (table->columnCount() < classes + 1)
        table->setColumnCount(classes + 1);
    for (int k = 0; k < classes; ++k)
        table->setItem(0, k + 1, new QTableWidgetItem(QString::fromStdString(network.clusterNames[k])));
    for (int j = 0; j < rows.size(); ++j) {
        const int row = rows[j];
        if (curveSets && row >= 0 && row < curveSets->size())
            table->setItem(j + 1, 0, new QTableWidgetItem(QString::fromStdString(curveSets->at(row).name)));
        if (static_cast<std::size_t>(j) >= results.size())
            continue;
        const std::vector<double>& values = results[static_cast<std::size_t>(j)];
        for (int k = 0; k < classes && static_cast<std::size_t>(k) < values.size(); ++k) {
            const double value = values[static_cast<std::size_t>(k)];
            const QString text = value == kNotClassified ? QStringLiteral("/") : QString::number(value, 'g', 6);
            table->setItem(j + 1, k + 1, new QTableWidgetItem(text));
        }
    }
}

// ---------------------------------------------------------------------------
// Copy and close
// ---------------------------------------------------------------------------

void ClassificationOfAreaWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy))
        copyFirstSelectedRange(ui->tableWidget);
    event->accept();
}

void ClassificationOfAreaWindow::closeEvent(QCloseEvent* event)
{
    confirmWindowClose(this, event);
}
