// Opening Sentinel-2 product archives as data sets: the Open action, the
// batch with its same-name question and messages, and the open task.

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "app/WorkingWindow.h"
#include "io/JP2ZipFile.h"
#include "tools/TaskRunner.h"

// A thrown or refused open task opened nothing; its code tells why.
template <>
struct TaskRunner::FailureValue<UI::FenlarkApp::OpenedDataSet> {
    static UI::FenlarkApp::OpenedDataSet value(const std::exception_ptr& error)
    {
        return {FailureValue<IO::File::error>::value(error), nullptr};
    }
};

namespace UI {

namespace {

const QString sentinel2DataType = QStringLiteral("Sentinel-2 satellite image");

// The reason appended to "Unable to open file. " for an open error.
QString openErrorReason(IO::File::error error)
{
    switch (error) {
    case IO::File::error::UnsupportedFormat:
        return FenlarkApp::tr("Unsupporterd file format.");
    case IO::File::error::FileCorrupted:
        return FenlarkApp::tr("File is corrupted");
    case IO::File::error::MissingMetadata:
        return FenlarkApp::tr("Missing metadata.");
    case IO::File::error::MetadataCorrupted:
        return FenlarkApp::tr("Metadata of the file are corrupted");
    default:
        return QString();
    }
}

} // namespace

void FenlarkApp::on_actionOpen_triggered()
{
    const QStringList paths =
        chooseOpenFileNames(this, QStringLiteral("Load image data"),
                            settings.value(QStringLiteral("folderFileOpenPath"), QString()).toString(),
                            QStringLiteral("Sentinel2 zip file (*.zip)"));
    if (!paths.isEmpty())
        openFiles(paths);
}

void FenlarkApp::openFiles(QStringList paths)
{
    if (paths.isEmpty())
        return;
    settings.setValue(QStringLiteral("folderFileOpenPath"), QFileInfo(paths.first()).absolutePath());

    // Read on the GUI thread, handed to the task as plain values.
    const int workingWidth = sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileWorkingWidth)).toInt();
    const int workingHeight = sessionConfig->value(QString::fromLatin1(Keys::jp2ZipFileWorkingHeight)).toInt();

    for (const QString& path : paths) {
        const QString baseName = QFileInfo(path).completeBaseName();
        const bool loaded = std::any_of(dataFiles.cbegin(), dataFiles.cend(), [&](const IO::File* file) {
            return QString::fromStdString(file->name) == baseName;
        });
        if (loaded) {
            const QMessageBox::StandardButton answer = askQuestion(
                this, tr("Load Confirmation"),
                tr("The file with the same name is already loaded.\n Are you sure you want to load %1?").arg(baseName),
                QMessageBox::Yes | QMessageBox::No, QMessageBox::NoButton);
            if (answer != QMessageBox::Yes)
                break;
        }

        OpenedDataSet opened;
        runWithProgressDialog<OpenedDataSet, QString, int, int>(
            tr("Opening files..."), opened,
            [](QString file, int width, int height) { return openFile(file, width, height); }, path, workingWidth,
            workingHeight);
        if (opened.error == IO::File::error::NoError && opened.file) {
            dataFiles.append(opened.file.release());
            continue;
        }
        // Every failure is told, the read failures too (as a file that
        // cannot be opened).
        const IO::File::error error =
            opened.error == IO::File::error::NoError ? IO::File::error::ReadFailed : opened.error;
        showMessageBox(tr("Unable to open file. ") + openErrorReason(error), 2);
    }

    if (!dataFiles.isEmpty()) {
        growCurveSetLists(static_cast<int>(dataFiles.size()));
        growRelevancyMapLists(static_cast<int>(dataFiles.size()));
        const int activeIndex = ui->activeSide == 0 ? ui->leftDataIndex : ui->rightDataIndex;
        if (activeIndex != -1 || ui->activeSide == 1) {
            refreshDataExplorer(activeIndex);
        } else if (!rightSideOpen()) {
            const int last = static_cast<int>(dataFiles.size()) - 1;
            setToolDocksEnabled(true);
            refreshDataExplorer(last);
            showDataSet(last);
            ui->leftTabWidget->tabBar()->setEnabled(true);
        } else {
            refreshDataExplorer(activeIndex);
        }
    }
    handlePropertiesMenu();
    handleToolMenu();
    handleCurveMenu();
}

FenlarkApp::OpenedDataSet FenlarkApp::openFile(const QString& path, int workingWidth, int workingHeight)
{
    const QFileInfo info(path);
    const QString baseName = info.completeBaseName();
    const QString suffix = info.suffix();
    if (suffix != QLatin1String("zip") || !baseName.contains(QLatin1String("S2")))
        return {IO::File::error::UnsupportedFormat, nullptr};

    auto file = std::make_unique<IO::JP2ZipFile>();
    file->setDataType(sentinel2DataType.toStdString());
    file->workAreaHeight = workingHeight;
    file->workAreaWidth = workingWidth;
    try {
        file->open(baseName.toStdString(), suffix.toStdString(), info.absolutePath().toStdString());
        file->workAreaWidth = workingWindowSize(file->workAreaWidth, file->width);
        file->workAreaHeight = workingWindowSize(file->workAreaHeight, file->height);
        file->loadPreview(0, 0);
    } catch (IO::File::error error) {
        return {error, nullptr};
    }
    return {IO::File::error::NoError, std::move(file)};
}

void FenlarkApp::growCurveSetLists(int count)
{
    while (curveSets.size() < count)
        curveSets.append(QList<CurveSet>());
}

void FenlarkApp::growRelevancyMapLists(int count)
{
    while (relevancyMaps.size() < count)
        relevancyMaps.append(QList<RelevancyMap>());
}

} // namespace UI
