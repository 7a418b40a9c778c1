#include "viewers/ViewerWidget.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <utility>

#include <QLineF>
#include <QPaintEvent>
#include <QPainter>
#include <QPen>
#include <QRect>
#include <QToolTip>

#include <omp.h>

#include "resources/Resources.h"
#include "viewers/BackingImage.h"

namespace UI {

namespace {

QPen overlayPen(const QColor& colour, int width)
{
    return QPen(colour, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

// Fills table[k] with the data coordinate that image position k samples,
// kept inside [0, extent - 1]. With a window (windowSize > 0) the entry is
// the coordinate relative to the window, or -1 outside it.
void buildIndexTable(std::vector<int>& table, int count, int origin, double zoom, int extent, int windowOrigin,
                     int windowSize)
{
    table.resize(static_cast<std::size_t>(count));
    for (int k = 0; k < count; ++k) {
        int coordinate = std::clamp(ViewGeometry::sampledCoordinate(k, origin, zoom), 0, extent - 1);
        if (windowSize > 0) {
            coordinate -= windowOrigin;
            if (coordinate < 0 || coordinate >= windowSize)
                coordinate = -1;
        }
        table[static_cast<std::size_t>(k)] = coordinate;
    }
}

} // namespace

ViewerWidget::ViewerWidget(int row, int column, QString name, int side, QWidget* parent)
    : QWidget(parent)
    , side(side)
    , image(std::make_unique<QImage>(0, 0, QImage::Format_ARGB32))
    , row(row)
    , column(column)
    , name(std::move(name))
{
    setAttribute(Qt::WA_StaticContents);
    setAttribute(Qt::WA_MouseTracking);
    Fenlark::initResources();
    const QImage arrow(":/FenlarkApp/icons/north-symbol_white.png");
    if (!arrow.isNull())
        northArrow_ = arrow.scaled(30, 40, Qt::KeepAspectRatio, Qt::FastTransformation);
}

ViewerWidget::~ViewerWidget() = default;

void ViewerWidget::render(int dataWidth, int dataHeight, const float* channel0, const float* channel1,
                          const float* channel2, bool withScaleBar, QPoint windowOrigin, QSize windowSize)
{
    // A colour render needs both further channels; one alone would be read
    // through a null pointer.
    const bool multichannel = channel1 != nullptr && channel2 != nullptr;
    const bool windowed = windowSize.width() > 0 && windowSize.height() > 0;

    const ViewGeometry::VisibleRegion region = ViewGeometry::visibleRegion(viewportSize, origin, zoom, dataWidth,
                                                                           dataHeight);
    visibleEnd = region.end;
    visibleSize = region.size;
    imageWidth = region.imageSize.width();
    imageHeight = region.imageSize.height();
    if (imageWidth <= 0 || imageHeight <= 0 || channel0 == nullptr || dataWidth <= 0 || dataHeight <= 0) {
        // Nothing to sample: an image without pixels.
        imageWidth = 0;
        imageHeight = 0;
    }
    imagePixelCount = imageWidth * imageHeight;

    resizeImage(QSize(imageWidth, imageHeight));

    if (imagePixelCount > 0) {
        // Only the visible region is sampled, at screen resolution, straight
        // into the image memory. The index tables turn the per-pixel
        // divisions of nearest-neighbour sampling into lookups.
        buildIndexTable(columnIndex_, imageWidth, origin.x(), zoom, dataWidth, windowOrigin.x(),
                        windowed ? windowSize.width() : 0);
        buildIndexTable(rowIndex_, imageHeight, origin.y(), zoom, dataHeight, windowOrigin.y(),
                        windowed ? windowSize.height() : 0);
        const std::size_t stride = windowed ? static_cast<std::size_t>(windowSize.width())
                                            : static_cast<std::size_t>(dataWidth);
        const std::size_t lineBytes = static_cast<std::size_t>(imageWidth) * sizeof(QRgb);
        const QRgb white = qRgb(255, 255, 255);
        const int* columns = columnIndex_.data();
        for (int i = 0; i < imageHeight; ++i) {
            auto* line = reinterpret_cast<QRgb*>(image->scanLine(i));
            const int r = rowIndex_[static_cast<std::size_t>(i)];
            if (i > 0 && r == rowIndex_[static_cast<std::size_t>(i) - 1]) {
                // Zoomed in: the same data row as the line above.
                std::memcpy(line, image->constScanLine(i - 1), lineBytes);
                continue;
            }
            if (r < 0) {
                std::fill(line, line + imageWidth, white);
                continue;
            }
            const std::size_t rowStart = static_cast<std::size_t>(r) * stride;
            if (multichannel) {
                const float* red = channel0 + rowStart;
                const float* green = channel1 + rowStart;
                const float* blue = channel2 + rowStart;
                for (int j = 0; j < imageWidth; ++j) {
                    const int c = columns[j];
                    line[j] = c < 0 ? white
                                    : 0xff000000u | (QRgb(ViewGeometry::sampleToByte(red[c])) << 16)
                            | (QRgb(ViewGeometry::sampleToByte(green[c])) << 8)
                            | QRgb(ViewGeometry::sampleToByte(blue[c]));
                }
            } else {
                const float* grey = channel0 + rowStart;
                for (int j = 0; j < imageWidth; ++j) {
                    const int c = columns[j];
                    const QRgb v = c < 0 ? 255u : QRgb(ViewGeometry::sampleToByte(grey[c]));
                    line[j] = 0xff000000u | (v << 16) | (v << 8) | v;
                }
            }
        }
    }

    if (withScaleBar)
        drawScaleBar();
    ++renderCount;
    update();
}

void ViewerWidget::drawScaleBar()
{
    if (image->isNull())
        return;
    const int w = image->width();
    const int h = image->height();
    const ViewGeometry::ScaleBar bar = ViewGeometry::scaleBar(zoom, groundPixelSize_);
    const int b = bar.pixels;

    QPainter painter(image.get());
    const QRect box(w - b - 15, h - 40, b + 10, 30);
    painter.fillRect(box, QColor(0, 0, 0, 128));
    painter.setPen(QPen(Qt::white, 2.0));
    painter.drawLine(QPointF(w - b - 10, h - 15), QPointF(w - 10, h - 15));
    painter.drawLine(QPointF(w - b - 10, h - 35), QPointF(w - b - 10, h - 15));
    painter.drawLine(QPointF(w - 10, h - 35), QPointF(w - 10, h - 15));
    painter.drawText(box, Qt::AlignCenter, bar.text);
    if (!northArrow_.isNull())
        painter.drawImage(QPoint(w - b - 50, h - 45), northArrow_);
}

void ViewerWidget::drawPoints(const QList<QPointF>& points, QColor colour, int width)
{
    QImage& target = overlayTarget();
    if (points.isEmpty() || target.isNull())
        return;
    OverlayShape shape{colour, width, true, {}, {}};
    const QPointF offset = overlayOffset();
    shape.centres.reserve(points.size());
    for (const QPointF& point : points)
        shape.centres.append(point + offset);
    if (batching_)
        batch_.push_back(std::move(shape));
    else
        paintShape(target, shape);
}

void ViewerWidget::drawMarks(const QList<QPointF>& points, QColor colour, int width)
{
    drawPoints(points, colour, width);
}

void ViewerWidget::drawPolyline(const QList<QPointF>& input, QColor colour, int width)
{
    QImage& target = overlayTarget();
    if (input.isEmpty() || target.isNull())
        return;
    const QPointF offset = overlayOffset();
    QList<QPointF> moved;
    if (!offset.isNull()) {
        moved.reserve(input.size());
        for (const QPointF& point : input)
            moved.append(point + offset);
    }
    const QList<QPointF>& points = offset.isNull() ? input : moved;
    QList<QLineF> segments;
    segments.reserve(points.size());
    if (ViewGeometry::isClosedCurve(points)) {
        QList<QPointF> clipped;
        ViewGeometry::clipPolygon(points, clipped, target.size());
        for (qsizetype k = 1; k < clipped.size(); ++k)
            segments.append(QLineF(clipped[k - 1], clipped[k]));
    } else {
        const QList<QList<QPointF>> runs = ViewGeometry::clipOpenPolyline(points, target.size());
        for (const QList<QPointF>& run : runs) {
            for (qsizetype k = 1; k < run.size(); ++k)
                segments.append(QLineF(run[k - 1], run[k]));
        }
    }
    if (segments.isEmpty())
        return;
    OverlayShape shape{colour, width, false, std::move(segments), {}};
    if (batching_)
        batch_.push_back(std::move(shape));
    else
        paintShape(target, shape);
}

void ViewerWidget::paintShape(QImage& target, const OverlayShape& shape)
{
    QPainter painter(&target);
    painter.setPen(overlayPen(shape.colour, shape.width));
    painter.setBrush(QBrush(shape.colour, Qt::SolidPattern));
    if (shape.discs) {
        for (const QPointF& centre : shape.centres)
            painter.drawEllipse(centre, shape.width, shape.width);
    } else {
        painter.drawLines(shape.lines);
    }
}

void ViewerWidget::beginOverlayBatch()
{
    batch_.clear();
    batching_ = true;
}

void ViewerWidget::endOverlayBatch()
{
    batching_ = false;
    QImage& target = overlayTarget();
    if (!target.isNull() && !batch_.empty())
        paintBatch(target);
    batch_.clear();
}

void ViewerWidget::paintBatch(QImage& target)
{
    // Below this many segments one painter is as fast as several.
    constexpr qsizetype parallelSegments = 4096;
    // Lines are stroked in groups of this many, as the painter itself groups
    // them; a strip paints the groups that reach into it.
    constexpr qsizetype lineGroup = 16;
    constexpr int minimumStripRows = 16;

    qsizetype segments = 0;
    bool thinPen = false;
    for (const OverlayShape& shape : batch_) {
        segments += shape.discs ? shape.centres.size() : shape.lines.size();
        // Thin pens take the painter's cosmetic path, which clips a line's
        // geometry to the clip rectangle: strips would move its pixels.
        thinPen = thinPen || shape.width <= 1;
    }
    const int threads = omp_get_max_threads();
    const int strips = std::min(threads * 4, target.height() / minimumStripRows);
    if (thinPen || threads < 2 || strips < 2 || segments < parallelSegments) {
        for (const OverlayShape& shape : batch_)
            paintShape(target, shape);
        return;
    }

    // The screen rectangle each group of lines or disc can touch.
    const auto reach = [](double x0, double y0, double x1, double y1, int width) {
        const double pad = 2.0 * width + 2.0;
        return QRect(QPoint(static_cast<int>(std::floor(x0 - pad)), static_cast<int>(std::floor(y0 - pad))),
                     QPoint(static_cast<int>(std::ceil(x1 + pad)), static_cast<int>(std::ceil(y1 + pad))));
    };
    std::vector<std::vector<QRect>> groupReach(batch_.size());
    for (std::size_t s = 0; s < batch_.size(); ++s) {
        const OverlayShape& shape = batch_[s];
        if (shape.discs) {
            for (const QPointF& c : shape.centres)
                groupReach[s].push_back(reach(c.x(), c.y(), c.x(), c.y(), shape.width));
            continue;
        }
        for (qsizetype first = 0; first < shape.lines.size(); first += lineGroup) {
            double x0 = shape.lines[first].x1(), x1 = x0, y0 = shape.lines[first].y1(), y1 = y0;
            for (qsizetype k = first; k < std::min(first + lineGroup, shape.lines.size()); ++k) {
                const QLineF& line = shape.lines[k];
                x0 = std::min({x0, line.x1(), line.x2()});
                x1 = std::max({x1, line.x1(), line.x2()});
                y0 = std::min({y0, line.y1(), line.y2()});
                y1 = std::max({y1, line.y1(), line.y2()});
            }
            groupReach[s].push_back(reach(x0, y0, x1, y1, shape.width));
        }
    }

    // Every strip paints the whole batch in order, clipped to its own rows
    // of the same memory, so no two painters touch one pixel.
    uchar* bits = target.bits();
    const int width = target.width();
    const int height = target.height();
    const qsizetype bytesPerLine = target.bytesPerLine();
    const QImage::Format format = target.format();
#pragma omp parallel for schedule(dynamic, 1)
    for (int strip = 0; strip < strips; ++strip) {
        const int top = static_cast<int>(static_cast<long long>(height) * strip / strips);
        const int bottom = static_cast<int>(static_cast<long long>(height) * (strip + 1) / strips);
        const QRect rows(0, top, width, bottom - top);
        QImage view(bits, width, height, bytesPerLine, format);
        QPainter painter(&view);
        painter.setClipRect(rows);
        for (std::size_t s = 0; s < batch_.size(); ++s) {
            const OverlayShape& shape = batch_[s];
            const std::vector<QRect>& reaches = groupReach[s];
            bool penSet = false;
            for (std::size_t g = 0; g < reaches.size(); ++g) {
                if (!reaches[g].intersects(rows))
                    continue;
                if (!penSet) {
                    painter.setPen(overlayPen(shape.colour, shape.width));
                    painter.setBrush(QBrush(shape.colour, Qt::SolidPattern));
                    penSet = true;
                }
                if (shape.discs) {
                    painter.drawEllipse(shape.centres[static_cast<qsizetype>(g)], shape.width, shape.width);
                } else {
                    const qsizetype first = static_cast<qsizetype>(g) * lineGroup;
                    painter.drawLines(shape.lines.constData() + first,
                                      static_cast<int>(std::min(lineGroup, shape.lines.size() - first)));
                }
            }
        }
    }
}

void ViewerWidget::clipPolyline(const QList<QPointF>& in, QList<QPointF>& out) const
{
    ViewGeometry::clipPolygon(in, out, image->size());
}

void ViewerWidget::centerOn(int x, int y)
{
    origin = ViewGeometry::centredOrigin(x, y, imageWidth, imageHeight, zoom);
}

void ViewerWidget::pan(int dataWidth, int dataHeight, QPoint mousePos)
{
    const ViewGeometry::PanResult result = ViewGeometry::panStep(origin, lastMousePos, mousePos, zoom, dataWidth,
                                                                 dataHeight, panRemainder);
    origin = result.origin;
    lastMousePos = result.lastMousePos;
    panRemainder = result.remainder;
}

void ViewerWidget::zoomStep(QPointF position, int steps)
{
    const ViewGeometry::ZoomStepResult result = ViewGeometry::zoomStep(position, steps, zoomIndex, origin);
    if (!result.changed)
        return;
    zoom = result.zoom;
    zoomIndex = result.zoomIndex;
    origin = result.origin;
}

void ViewerWidget::resetView()
{
    zoom = 1.0;
    zoomIndex = ViewGeometry::startZoomIndex;
    origin = QPoint(0, 0);
    lastMousePos = QPoint(-1, -1);
    panRemainder = QPointF();
}

void ViewerWidget::copyViewState(const ViewerWidget& other)
{
    zoom = other.zoom;
    zoomIndex = other.zoomIndex;
    origin = other.origin;
}

void ViewerWidget::setGroundPixelSize(double metres)
{
    groundPixelSize_ = (metres > 0.0 && std::isfinite(metres)) ? metres : ViewGeometry::defaultGroundPixelSize;
}

QImage& ViewerWidget::overlayTarget() const
{
    return layerDrawing_ ? *layer_ : *image;
}

QPointF ViewerWidget::overlayOffset() const
{
    return layerDrawing_ ? QPointF(layerMargin_, layerMargin_) : QPointF();
}

void ViewerWidget::beginOverlayLayer(int margin)
{
    layerMargin_ = std::max(0, margin);
    const QSize size = image->size().isEmpty() ? QSize()
                                                : image->size() + QSize(2 * layerMargin_, 2 * layerMargin_);
    // The layer's memory is reused from drag to drag: a new multi-megabyte
    // buffer would cost its page faults on the first frame of every drag.
    if (!layer_ || layer_->size() != size)
        layer_ = std::make_unique<QImage>(size, QImage::Format_ARGB32_Premultiplied);
    layer_->fill(Qt::transparent);
    layerOrigin_ = origin;
    layerZoomIndex_ = zoomIndex;
    layerDrawing_ = !layer_->isNull();
    layerValid_ = layerDrawing_;
}

void ViewerWidget::endOverlayLayer()
{
    layerDrawing_ = false;
}

bool ViewerWidget::showOverlayLayer()
{
    if (!layerValid_ || layerDrawing_ || layerZoomIndex_ != zoomIndex || image->isNull())
        return false;
    // Where the image's top-left corner lies in the layer now.
    const QPoint shift(qRound((origin.x() - layerOrigin_.x()) * zoom) + layerMargin_,
                       qRound((origin.y() - layerOrigin_.y()) * zoom) + layerMargin_);
    const QRect source(shift, image->size());
    if (!layer_->rect().contains(source))
        return false;
    // The rendered image is opaque, so its ARGB32 pixels are also valid
    // premultiplied ones: painting through a premultiplied view of the same
    // memory takes the fast blending path and gives the same pixels.
    QImage opaqueView(imageBits, image->width(), image->height(), image->bytesPerLine(),
                      QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&opaqueView);
    painter.drawImage(QPoint(0, 0), *layer_, source);
    return true;
}

void ViewerWidget::dropOverlayLayer()
{
    layerValid_ = false;
    layerDrawing_ = false;
}

void ViewerWidget::resizeImage(QSize size)
{
    resizeBackingImage(*this, image, imageBits, size);
}

void ViewerWidget::clear()
{
    resizeImage(QSize(0, 0));
    dropOverlayLayer();
    layer_.reset();
}

bool ViewerWidget::isEmpty() const
{
    return image->size().isEmpty();
}

void ViewerWidget::showToolTipAt(int x, int y, QString text)
{
    QToolTip::showText(QPoint(x, y), text, nullptr, QRect(), 1000);
}

void ViewerWidget::paintEvent(QPaintEvent* event)
{
    if (image->isNull())
        return;
    QPainter painter(this);
    painter.drawImage(event->rect(), *image, event->rect());
}

} // namespace UI
