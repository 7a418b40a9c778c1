// Habitat plot marks of the properties panel: the plots of one habitat plot
// file that lie on the data set shown, offered by habitat code and plot
// number; a chosen plot centres the view or seeds an initial circle.

#include <algorithm>
#include <exception>
#include <string>

#include <QComboBox>
#include <QCryptographicHash>
#include <QSpinBox>
#include <QStatusBar>
#include <QtDebug>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/WidgetUtils.h"
#include "io/File.h"
#include "io/HabitatPlotFile.h"
#include "io/NumberText.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

QString fieldText(const std::string& field)
{
    return QString::fromStdString(field);
}

// A plot of a data row of 16 or more fields whose position is known.
HabitatPlot plotFromRow(const std::vector<std::string>& fields, double latitude, double longitude)
{
    namespace Plots = IO::HabitatPlotFile;
    HabitatPlot plot;
    plot.plotNumber = Plots::integerField(fields[0]);
    plot.code = fieldText(fields[1]).trimmed();
    plot.eunis = fieldText(fields[2]);
    plot.habitat = fieldText(fields[3]);
    plot.syntaxon = fieldText(fields[4]);
    plot.community = fieldText(fields[5]);
    plot.latitude = latitude;
    plot.longitude = longitude;
    if (const auto date = Plots::dateField(fields[8]))
        plot.date = QDate((*date)[0], (*date)[1], (*date)[2]);
    plot.altitude = Plots::numberField(fields[9]);
    plot.aspect = Plots::numberField(fields[10]);
    plot.slope = Plots::numberField(fields[11]);
    plot.treeCover = Plots::numberField(fields[12]);
    plot.shrubCover = Plots::numberField(fields[13]);
    plot.herbCover = Plots::numberField(fields[14]);
    plot.locality = fieldText(fields[15]);
    return plot;
}

} // namespace

void FenlarkApp::clearHabitatPlots()
{
    habitatPlots.clear();
    habitatPlotsDataSet = nullptr;
    for (QComboBox* combo : {ui->comboBoxHabitat.data(), ui->comboBoxHabitatPlot.data()}) {
        if (!combo)
            continue;
        blockSignalsOf({combo}, true);
        combo->clear();
        blockSignalsOf({combo}, false);
    }
}

void FenlarkApp::loadHabitatPlots(const QString& path, int index)
{
    namespace Plots = IO::HabitatPlotFile;
    clearHabitatPlots();
    if (index < 0 || index >= dataFiles.size())
        return;
    IO::File* file = dataFiles[index];

    // Read on the GUI thread whenever a product is shown: nothing may leave
    // here, and the reader's ceilings keep a huge file from being read.
    const QString tooLarge = QString::fromStdString(Plots::tooLargeText("The habitat plot file"));
    std::string text;
    Plots::Table table;
    try {
        const Plots::ReadStatus read = Plots::readFile(path.toStdString(), text);
        if (read == Plots::ReadStatus::CannotOpen) {
            showMessageBox(tr("Unable to open habitat plot file."), 2);
            return;
        }
        if (read == Plots::ReadStatus::TooLarge) {
            showMessageBox(tooLarge, 2);
            return;
        }
        table = Plots::parse(text);
    } catch (const std::exception&) {
        // Out of memory: the file is not read.
        showMessageBox(tr("Unable to open habitat plot file."), 2);
        return;
    }
    if (table.tooLarge) {
        showMessageBox(tooLarge, 2);
        return;
    }
    if (!table.headerValid()) {
        showMessageBox(tr("The csv habitat plot file has incorrect header structure."), 2);
        return;
    }

    // Named up to a few lines, as the habitat manager names them: a table
    // of many faulty rows would make a message of megabytes.
    Plots::ProblemLines problems;
    for (const Plots::Row& row : table.rows) {
        if (row.fields.size() < static_cast<std::size_t>(Plots::fieldCount)) {
            problems.add(Plots::fieldCountProblem(row));
            continue;
        }
        const std::optional<double> latitude = IO::parseDouble(row.fields[6]);
        const std::optional<double> longitude = IO::parseDouble(row.fields[7]);
        if (!latitude || !longitude) {
            problems.add("line " + std::to_string(row.line) + ": " + (latitude ? "longitude" : "latitude")
                         + " is no number");
            continue;
        }
        if (!file->containsLatLon(*latitude, *longitude))
            continue;
        HabitatPlot plot = plotFromRow(row.fields, *latitude, *longitude);
        file->latLonToPixel(*latitude, *longitude, &plot.pixelX, &plot.pixelY);
        auto group = habitatPlots.find(plot.code);
        if (group == habitatPlots.end())
            group = habitatPlots.insert(plot.code, HabitatPlotGroup{plot.code, plot.habitat, {}});
        group->plots.append(plot);
    }

    // The reader runs whenever a Sentinel-2 image is shown: rows it skipped
    // are reported once for a file and its content, not at every switch.
    if (!problems.empty()) {
        const QByteArray key =
            path.toUtf8() + '\n'
            + QCryptographicHash::hash(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())),
                                       QCryptographicHash::Sha1);
        if (!reportedHabitatPlotProblems_.contains(key)) {
            reportedHabitatPlotProblems_.insert(key);
            const QString text =
                tr("Habitat plot rows skipped in %1: %2").arg(path, QString::fromStdString(problems.text("; ")));
            qInfo().noquote() << text;
            showStatusMessage(ui->statusBar, text, 0);
        }
    }

    if (habitatPlots.isEmpty())
        return;
    habitatPlotsDataSet = file;
    if (!ui->comboBoxHabitat)
        return;
    // Codes in a fixed order: the hash's own order changes between runs.
    QStringList codes = habitatPlots.keys();
    std::sort(codes.begin(), codes.end());
    blockSignalsOf({ui->comboBoxHabitat}, true);
    ui->comboBoxHabitat->clear();
    ui->comboBoxHabitat->addItems(codes);
    fillHabitatPlotCombo();
    blockSignalsOf({ui->comboBoxHabitat}, false);
}

void FenlarkApp::fillHabitatPlotCombo()
{
    if (!ui->comboBoxHabitatPlot)
        return;
    blockSignalsOf({ui->comboBoxHabitatPlot}, true);
    ui->comboBoxHabitatPlot->clear();
    if (ui->comboBoxHabitat) {
        const auto group = habitatPlots.constFind(ui->comboBoxHabitat->currentText());
        if (group != habitatPlots.cend()) {
            for (const HabitatPlot& plot : group->plots)
                ui->comboBoxHabitatPlot->addItem(QStringLiteral("%1").arg(plot.plotNumber));
        }
    }
    blockSignalsOf({ui->comboBoxHabitatPlot}, false);
}

const HabitatPlot* FenlarkApp::chosenHabitatPlot() const
{
    if (!ui->comboBoxHabitat || !ui->comboBoxHabitatPlot || ui->comboBoxHabitat->count() == 0)
        return nullptr;
    const auto group = habitatPlots.constFind(ui->comboBoxHabitat->currentText());
    const int index = ui->comboBoxHabitatPlot->currentIndex();
    if (group == habitatPlots.cend() || index < 0 || index >= group->plots.size())
        return nullptr;
    return &group->plots[index];
}

bool FenlarkApp::sideShowsHabitatPlots(int side)
{
    const IO::File* file = getDataFile(side);
    return file && habitatPlotsDataSet &&
           (file == habitatPlotsDataSet || file->sameGeolocation(habitatPlotsDataSet));
}

void FenlarkApp::centerOnHabitatPlot()
{
    const HabitatPlot* plot = chosenHabitatPlot();
    if (!plot || !sideShowsHabitatPlots(ui->activeSide))
        return;
    const int x = static_cast<int>(plot->pixelX + 0.5);
    const int y = static_cast<int>(plot->pixelY + 0.5);
    centerViewers(ui->activeSide, x, y, true);
    if (ui->actionLink_left_right->isChecked() && getDataFile(ui->otherSide))
        centerViewers(ui->otherSide, x, y, true);
    // The other side moved too when linked; it is redrawn with the active one.
    refreshActiveViewers();
}

void FenlarkApp::initCircleFromHabitatPlot()
{
    const HabitatPlot* chosen = chosenHabitatPlot();
    if (!chosen || !sideShowsHabitatPlots(ui->activeSide))
        return;
    const QList<ViewerWidget*> side = sideViewers(ui->activeSide);
    if (side.isEmpty())
        return;
    ViewerWidget* viewer = side.first();
    // The plot is copied: the mouse steps below redraw and may reload.
    const double x = chosen->pixelX;
    const double y = chosen->pixelY;
    const double zoom = viewer->zoom;
    const double radius = ui->spinBoxInitCircleRadius ? ui->spinBoxInitCircleRadius->value() : 3;
    if (!startInitialCurve(0, -1, false)) {
        showMessageBox(tr("Unable to create initial curve."), 2);
        return;
    }
    const QPointF centre((x - viewer->origin.x()) * zoom, (y - viewer->origin.y()) * zoom);
    const QPointF rim = centre + QPointF(radius * zoom, 0.0);
    initShapeRelease(centre, viewer);
    initShapeMove(rim, viewer);
    initShapeRelease(rim, viewer);
    refreshActiveViewers();
}

} // namespace UI
