// Viewers of the main window: creating and placing them, routing their
// events, redrawing one viewer (its image by its role, then the overlays),
// and keeping each side's working window under its main viewer's view.

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QGridLayout>
#include <QMouseEvent>
#include <QResizeEvent>
#include <QScrollArea>
#include <QSettings>
#include <QTabWidget>
#include <QTreeWidget>

#include "app/FenlarkApp.h"
#include "app/FenlarkAppUI.h"
#include "app/SettingsKeys.h"
#include "app/WidgetUtils.h"
#include "app/WorkingWindow.h"
#include "io/File.h"
#include "tools/TaskRunner.h"
#include "viewers/PreviewWidget.h"
#include "viewers/ViewerWidget.h"

namespace UI {

namespace {

// How far, in screen pixels, the overlay layer of a pan drag reaches beyond
// the image on every side. A drag shows the layer shifted until the view
// has moved further than this; then the layer is drawn again.
constexpr int panLayerMargin = 256;

// The samples of level 0 of a band when they cover `needed` values; nullptr
// for a band that does not exist (a stale index) or is not loaded.
const float* bandSamples(IO::File* file, int band, long long needed)
{
    if (band < 0 || band >= static_cast<int>(file->bands.size()) || !file->isLoaded(band, 0))
        return nullptr;
    const IO::BandLevel& level = file->bands[static_cast<std::size_t>(band)].levels.front();
    return level.count >= needed ? level.data.get() : nullptr;
}

// A computed image of level 0 of a band when it covers `needed` values.
const float* cachedImage(IO::File* file, int band, const std::string& key, long long needed)
{
    if (band < 0 || band >= static_cast<int>(file->bands.size()))
        return nullptr;
    const IO::Band& record = file->bands[static_cast<std::size_t>(band)];
    if (record.levels.empty())
        return nullptr;
    const IO::BandLevel& level = record.levels.front();
    if (static_cast<long long>(level.cacheSize(key)) < needed)
        return nullptr;
    return level.cacheData(key);
}

} // namespace

bool FenlarkApp::rightSideOpen() const
{
    return ui->rightTabWidget && !ui->rightTabWidget->isHidden();
}

QList<ViewerWidget*> FenlarkApp::sideViewers(int side) const
{
    QList<ViewerWidget*> out;
    if (side < 0 || side >= viewers.size())
        return out;
    const QHash<QString, ViewerWidget*>& table = viewers[side];
    for (const char* name : {Keys::viewerWidgetMain, Keys::viewerWidgetToolsFeature, Keys::viewerWidgetToolsMaps}) {
        if (ViewerWidget* viewer = table.value(QString::fromLatin1(name)))
            out.append(viewer);
    }
    for (auto it = table.cbegin(); it != table.cend(); ++it) {
        if (it.value() && !out.contains(it.value()))
            out.append(it.value());
    }
    return out;
}

void FenlarkApp::createViewer(int row, int column, QString name, int side)
{
    if (side < 0 || side >= viewers.size())
        return;
    auto* viewer = new ViewerWidget(row, column, name, side, nullptr);
    viewers[side].insert(name, viewer);
}

void FenlarkApp::placeViewer(ViewerWidget* viewer, QGridLayout* layout, int rowSpan, int columnSpan)
{
    if (!viewer || !layout)
        return;
    auto* scrollArea = new QScrollArea(nullptr);
    scrollArea->setObjectName(QStringLiteral("QScrollArea"));
    scrollArea->setWidget(viewer);
    scrollArea->setBackgroundRole(QPalette::Shadow);
    scrollArea->setWidgetResizable(true);
    scrollArea->setMouseTracking(true);
    scrollArea->installEventFilter(this);
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scrollArea->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    viewer->setObjectName(QStringLiteral("ViewerWidget"));
    viewer->installEventFilter(this);
    layout->addWidget(scrollArea, viewer->row, viewer->column, rowSpan, columnSpan);
}

bool FenlarkApp::eventFilter(QObject* watched, QEvent* event)
{
    if (auto* viewer = qobject_cast<ViewerWidget*>(watched)) {
        viewerMouseEvent(viewer, event);
        return false;
    }
    if (auto* scrollArea = qobject_cast<QScrollArea*>(watched)) {
        if (event->type() == QEvent::Resize) {
            if (auto* viewer = qobject_cast<ViewerWidget*>(scrollArea->widget())) {
                viewer->viewportSize = scrollArea->size();
                if (!viewer->isEmpty())
                    refreshViewer(viewer);
            }
        }
    } else if (previewWidget && watched == previewWidget) {
        const auto mouse = [event] { return static_cast<QMouseEvent*>(event); };
        switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse()->button() == Qt::LeftButton)
                startViewerDrag(mouse(), true);
            break;
        case QEvent::MouseButtonRelease:
            if (mouse()->button() == Qt::LeftButton) {
                const QList<ViewerWidget*> active = sideViewers(ui->activeSide);
                if (std::any_of(active.cbegin(), active.cend(), [](ViewerWidget* v) { return v->dragging; }))
                    resetDragState();
            }
            break;
        case QEvent::MouseMove:
            if (mouse()->buttons() == Qt::LeftButton)
                panFromPreview(mouse());
            break;
        default:
            break;
        }
    }
    QMainWindow::eventFilter(watched, event);
    return false;
}

bool FenlarkApp::drawingDeferred()
{
    // The progress dialog blocks input, not painting: a resize or a late
    // signal can ask for a redraw while the task writes band samples,
    // computed images or curves. The viewers keep showing their last
    // picture until it has ended.
    if (!TaskRunner::isBusy())
        return false;
    if (!redrawAfterTask_) {
        redrawAfterTask_ = true;
        TaskRunner::whenIdle(this, [this] {
            if (redrawAfterTask_)
                refreshAllViewers();
        });
    }
    return true;
}

void FenlarkApp::refreshViewer(QPointer<ViewerWidget> viewer)
{
    if (!viewer || drawingDeferred())
        return;
    const quint64 rendersBefore = viewer->renderCount;
    // The scale bar measures the ground of the data set the side shows now.
    if (const IO::File* file = getDataFile(viewer->side))
        viewer->setGroundPixelSize(file->groundPixelSize());
    if (viewer->name == QLatin1String(Keys::viewerWidgetMain))
        drawDataImage(viewer);
    else if (viewer->name == QLatin1String(Keys::viewerWidgetToolsFeature))
        drawFeature(viewer);
    else if (viewer->name == QLatin1String(Keys::viewerWidgetToolsMaps))
        drawRelevancyMap(viewer);
    if (!viewer)
        return;

    // A viewer that was not rendered again still carries the overlays of its
    // last refresh: painting them once more would darken translucent
    // colours, so it is left as it is.
    if (viewer->renderCount == rendersBefore) {
        viewer->dropOverlayLayer();
        return;
    }
    if (panFrame_) {
        // A pan step: the overlays drawn at the start of the drag are shown
        // shifted; they are drawn again only once the view leaves the layer.
        // A new drag takes over the last drag's layer when its overlays are
        // still the same (the viewer compares them).
        if (!viewer->showOverlayLayer()) {
            viewer->beginOverlayLayer(panLayerMargin);
            drawOverlays(viewer);
            viewer->endOverlayLayer();
            viewer->showOverlayLayer();
        }
    } else {
        viewer->dropOverlayLayer();
        drawOverlays(viewer);
    }
    viewer->update();
}

void FenlarkApp::drawOverlays(ViewerWidget* viewer)
{
    // Queued and painted together: a large set of curves is painted in
    // strips at the same time.
    viewer->beginOverlayBatch();
    // The active data set's curves are shown on every viewer of the active
    // side and, while the right side is open, of the other side too, at the
    // same pixel positions. The curve set selected in the curves explorer
    // comes last, on top.
    if (getDataFile(ui->activeSide) && (viewer->side == ui->activeSide || rightSideOpen())) {
        const QList<CurveSet>& sets = activeCurveSets();
        const int selected = getCurveExplorerIndex(ui->activeSide);
        for (int i = 0; i < sets.size(); ++i) {
            if (i != selected)
                drawCurveSet(sets[i], viewer, false);
        }
        if (selected >= 0 && selected < sets.size())
            drawCurveSet(sets[selected], viewer, true);
    }
    if (viewer->side == ui->activeSide)
        drawPickedPoints(viewer);
    if (ui->checkBoxShowHabitatPlots && ui->checkBoxShowHabitatPlots->isChecked())
        drawHabitatPlotMarks(viewer);
    viewer->endOverlayBatch();
}

void FenlarkApp::refreshActiveViewers()
{
    // The other open side shows the active data set's curves too: it is
    // redrawn so that no side keeps curves that have changed.
    refreshSides(ui->activeSide);
}

void FenlarkApp::refreshAllViewers()
{
    refreshSides(0);
}

void FenlarkApp::refreshSides(int first)
{
    // Every viewer is drawn now: a redraw waiting for a task's end has
    // nothing left to do.
    if (!TaskRunner::isBusy())
        redrawAfterTask_ = false;
    for (ViewerWidget* viewer : sideViewers(first))
        refreshViewer(viewer);
    if (rightSideOpen()) {
        for (ViewerWidget* viewer : sideViewers(first == 0 ? 1 : 0))
            refreshViewer(viewer);
    }
}

void FenlarkApp::drawDataImage(QPointer<ViewerWidget> viewer)
{
    IO::File* file = viewer ? getDataFile(viewer->side) : nullptr;
    if (!file)
        return;
    const int side = viewer->side;
    const bool multichannel = isMultiChannel(side);
    const long long needed = static_cast<long long>(file->width) * file->height;
    const float* red = bandSamples(file, getBandIndex(side, 0), needed);
    const float* green = multichannel ? bandSamples(file, getBandIndex(side, 1), needed) : nullptr;
    const float* blue = multichannel ? bandSamples(file, getBandIndex(side, 2), needed) : nullptr;
    // A chosen band that does not exist or holds no samples (a failed load,
    // a stale index) leaves nothing to show.
    if (!red || (multichannel && (!green || !blue))) {
        viewer->clear();
        return;
    }
    viewer->render(file->width, file->height, red, green, blue, true);
    if (side == ui->activeSide)
        updatePreviewRect(viewer);
}

void FenlarkApp::drawFeature(QPointer<ViewerWidget> viewer)
{
    IO::File* file = viewer ? getDataFile(viewer->side) : nullptr;
    if (!file)
        return;
    const int side = viewer->side;
    const std::string key = ui->featureShowedCacheByTab.value(side);
    if (key.empty())
        return;
    const long long needed = static_cast<long long>(file->workAreaWidth) * file->workAreaHeight;
    if (needed <= 0)
        return;
    if (key.find("dataCacheToolsAuto") != std::string::npos) {
        // Features of the automatic segmentation exist on the one band of
        // the "Segmentation channel" combo; an index outside 0..2 (the empty
        // list) reads as the red band, as the drivers compute it.
        int channel = ui->comboBoxAutoChannel ? ui->comboBoxAutoChannel->currentIndex() : 0;
        if (channel < 0 || channel > 2)
            channel = 0;
        if (const float* entry = cachedImage(file, getBandIndex(side, channel), key, needed))
            drawCachedImage(viewer, true, entry, nullptr, nullptr);
        return;
    }
    const float* red = cachedImage(file, getBandIndex(side, 0), key, needed);
    if (!red)
        return;
    // A feature that exists on the red band only is grey on any side: the
    // green and blue bands may still hold an old entry of the same key.
    if (isMultiChannel(side) && !Keys::oneBandFeature(key)) {
        const float* green = cachedImage(file, getBandIndex(side, 1), key, needed);
        const float* blue = cachedImage(file, getBandIndex(side, 2), key, needed);
        if (!green || !blue)
            return;
        drawCachedImage(viewer, true, red, green, blue);
    } else {
        drawCachedImage(viewer, true, red, nullptr, nullptr);
    }
}

void FenlarkApp::drawRelevancyMap(QPointer<ViewerWidget> viewer)
{
    IO::File* file = viewer ? getDataFile(viewer->side) : nullptr;
    if (!file)
        return;
    const int side = viewer->side;
    if (ui->mapsShowedNameByTab.value(side) != Keys::dataCacheToolsClassifiRM)
        return;
    const int dataIndex = side == 0 ? ui->leftDataIndex : ui->rightDataIndex;
    if (dataIndex < 0 || dataIndex >= relevancyMaps.size())
        return;
    const QList<RelevancyMap>& maps = relevancyMaps[dataIndex];
    // -1 means no map; the list may also have shrunk since the map was shown.
    const int index = ui->mapsShowedIndexByTab.value(side, -1);
    if (index < 0 || index >= maps.size())
        return;
    const RelevancyMap& map = maps[index];
    // The working window goes to the map's corner, or as near to it as the
    // data allows: a window reaching past the data would fail every feature.
    const auto inside = [](int start, int window, int data) {
        return std::clamp(start, 0, std::max(0, data - window));
    };
    file->setWorkAreaX(side, inside(map.x, file->workAreaWidth, file->width));
    file->setWorkAreaY(side, inside(map.y, file->workAreaHeight, file->height));
    const long long needed = static_cast<long long>(map.width) * map.height;
    if (map.width <= 0 || map.height <= 0 || static_cast<long long>(map.values.size()) < needed)
        return;
    viewer->render(file->width, file->height, map.values.data(), nullptr, nullptr, true, QPoint(map.x, map.y),
                   QSize(map.width, map.height));
}

void FenlarkApp::drawCachedImage(ViewerWidget* viewer, bool inWorkArea, const float* c0, const float* c1,
                                 const float* c2)
{
    IO::File* file = viewer ? getDataFile(viewer->side) : nullptr;
    if (!file || !c0)
        return;
    if (!inWorkArea) {
        viewer->render(file->width, file->height, c0, c1, c2, true);
        return;
    }
    // Without a working window the arrays would be read as the whole grid.
    if (file->workAreaWidth <= 0 || file->workAreaHeight <= 0)
        return;
    viewer->render(file->width, file->height, c0, c1, c2, true,
                   QPoint(file->getWorkAreaX(viewer->side), file->getWorkAreaY(viewer->side)),
                   QSize(file->workAreaWidth, file->workAreaHeight));
}

void FenlarkApp::updateWorkingArea(IO::File* file, int side)
{
    if (!file || file->workAreaWidth == 0 || file->workAreaHeight == 0 || side < 0 || side > 1)
        return;
    ViewerWidget* viewer = side < viewers.size() ? viewers[side].value(QString::fromLatin1(Keys::viewerWidgetMain))
                                                 : nullptr;
    if (!viewer)
        return;
    int x = static_cast<int>(std::max(0.0, viewer->visibleSize.width() * 0.5 + viewer->origin.x()
                                               - file->workAreaWidth * 0.5));
    if (x + file->workAreaWidth > file->width)
        x = file->width - file->workAreaWidth;
    int y = static_cast<int>(std::max(0.0, viewer->origin.y() + viewer->visibleSize.height() * 0.5
                                               - (file->workAreaHeight / 2)));
    if (y + file->workAreaHeight > file->height)
        y = file->height - file->workAreaHeight;
    file->setWorkAreaX(side, workingWindowStart(x, file->workAreaWidth, file->width));
    file->setWorkAreaY(side, workingWindowStart(y, file->workAreaHeight, file->height));
}

void FenlarkApp::syncWorkingArea(int side)
{
    IO::File* file = getDataFile(side);
    if (!file)
        return;
    updateWorkingArea(file, side);
    if (side == ui->activeSide)
        updatePreviewRect(viewers[side].value(QString::fromLatin1(Keys::viewerWidgetMain)));
}

void FenlarkApp::updatePreviewRect(ViewerWidget* viewer)
{
    IO::File* file = getDataFile(ui->activeSide);
    if (!file || !viewer || !previewWidget || file->width <= 0 || file->height <= 0)
        return;
    previewWidget->drawViewRect(file->width, file->height, viewer->origin, viewer->visibleEnd,
                                QPoint(file->getWorkAreaX(viewer->side), file->getWorkAreaY(viewer->side)));
}

void FenlarkApp::showPreview()
{
    if (!previewWidget)
        return;
    // The data set the active side shows, not a row the user only clicked.
    const IO::File* file = getDataFile(ui->activeSide);
    if (!file)
        return;
    // The widget keeps its last picture for planes that hold none: a data
    // set without a preview must not show another one's.
    if (!PreviewWidget::holdsImage(file->preview, file->previewWidth, file->previewHeight)) {
        previewWidget->clear();
        return;
    }
    previewWidget->setImage(file->preview, file->previewWidth, file->previewHeight, file->workAreaWidth,
                            file->workAreaHeight);
}

} // namespace UI
