#include "app/FenlarkApp.h"

#include <QCloseEvent>
#include <QFile>

#include "app/FenlarkAppUI.h"
#include "app/SegmentTracer.h"
#include "app/WidgetUtils.h"
#include "filter/Filtration.h"
#include "io/File.h"

namespace UI {

FenlarkApp::FenlarkApp(QWidget* parent)
    : QMainWindow(parent, Qt::WindowFlags())
{
    ui = new FenlarkAppUI();
    ui->setupUi(this);
    // Hidden until the set-up shows it; maximised from the first paint on.
    setWindowState(Qt::WindowMaximized);
    defaultConfig = new QSettings(QStringLiteral("default_config.ini"), QSettings::IniFormat);
    initSessionConfig(defaultConfig);
    segmentTracer = std::make_unique<SegmentTracer>();
    connect(segmentTracer.get(), &SegmentTracer::traced, this, &FenlarkApp::drawTracedSegment);
}

FenlarkApp::~FenlarkApp()
{
    // A trace still running reads images of the data sets freed below.
    segmentTracer->clear();

    // The form's widgets go first, while this object is still a complete
    // FenlarkApp and ui still exists: a widget that emits a signal while it
    // is torn down (a tab widget losing its pages, a dock hiding) reaches
    // slots of this class, which read ui.
    if (ui) {
        const QList<QWidget*> formWidgets{ui->centralWidget, ui->dockWidgetData, ui->dockWidgetProperties,
                                          ui->dockWidgetTools, ui->dockWidgetPreviewMap, ui->dockWidgetCurves,
                                          ui->mainToolBar, ui->statusBar, ui->menuBar};
        for (QWidget* widget : formWidgets)
            delete widget;
    }
    delete ui;
    ui = nullptr;

    // The session store writes pending changes when it is destroyed. After a
    // confirmed close the file was deleted; should anything have written to
    // the store since, it would come back, so it is removed once more.
    const QString sessionPath = sessionConfig ? sessionConfig->fileName() : QString();
    delete sessionConfig;
    sessionConfig = nullptr;
    if (sessionEnded_ && !sessionPath.isEmpty())
        QFile::remove(sessionPath);
    delete defaultConfig;
    defaultConfig = nullptr;

    qDeleteAll(dataFiles);
    dataFiles.clear();
}

void FenlarkApp::closeEvent(QCloseEvent* event)
{
    const QMessageBox::StandardButton answer =
        askQuestion(this, tr("Close Confirmation"), tr("Are you sure you want to exit?"),
                    QMessageBox::Yes | QMessageBox::No);
    if (answer != QMessageBox::Yes) {
        event->ignore();
        return;
    }

    settings.setValue(QStringLiteral("geometry"), saveGeometry());
    settings.setValue(QStringLiteral("windowState"), saveState(0));
    settings.sync();

    // Flush first, then delete: nothing pending is left that could write the
    // file back later.
    if (sessionConfig) {
        sessionConfig->sync();
        QFile::remove(sessionConfig->fileName());
    }
    sessionEnded_ = true;

    wmsManager.removeTmpFiles();
    event->accept();
}

void FenlarkApp::on_actionExit_triggered()
{
    close();
}

} // namespace UI
