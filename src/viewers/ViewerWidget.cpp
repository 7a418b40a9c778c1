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
#include <QRegion>
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

// A large batch is painted in strips at the same time from this many
// segments and discs on; from this many too, its result is kept to be
// copied when the same batch is painted over the same pixels again: below,
// painting costs less than comparing and copying the image.
constexpr qsizetype largeBatch = 4096;

// Strips of an image painted at the same time are at least this high.
constexpr int minimumStripRows = 16;

// The pixels a shape of pen width `width` spanning (x0, y0) .. (x1, y1) can
// touch, with room for round caps and joins.
QRect reachOf(double x0, double y0, double x1, double y1, int width)
{
    const double pad = 2.0 * width + 2.0;
    // Far outside any image, inside the int range.
    const auto pixel = [](double v) { return static_cast<int>(std::clamp(v, -1e9, 1e9)); };
    return QRect(QPoint(pixel(std::floor(x0 - pad)), pixel(std::floor(y0 - pad))),
                 QPoint(pixel(std::ceil(x1 + pad)), pixel(std::ceil(y1 + pad))));
}

// Copies the pixels of area from one image into another of the same size
// and format.
void copyArea(const QImage& from, QImage& to, QRect area)
{
    const std::size_t bytes = static_cast<std::size_t>(area.width()) * sizeof(QRgb);
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memcpy(to.scanLine(y) + static_cast<std::size_t>(area.left()) * sizeof(QRgb),
                    from.constScanLine(y) + static_cast<std::size_t>(area.left()) * sizeof(QRgb), bytes);
}

bool samePixels(const QImage& a, const QImage& b)
{
    return a.size() == b.size() && a.format() == b.format() && a.bytesPerLine() == b.bytesPerLine()
        && (a.isNull() || std::memcmp(a.constBits(), b.constBits(), static_cast<std::size_t>(a.sizeInBytes())) == 0);
}

// Copies from's pixels into to, which keeps its memory when it has from's
// size and format.
void copyPixels(const QImage& from, QImage& to)
{
    if (to.size() != from.size() || to.format() != from.format() || to.bytesPerLine() != from.bytesPerLine())
        to = QImage(from.size(), from.format());
    if (!from.isNull())
        std::memcpy(to.bits(), from.constBits(), static_cast<std::size_t>(from.sizeInBytes()));
}

// Exact equality of two arrays of doubles-only values (points, lines): the
// fuzzy comparison of QPointF would take near positions as the same.
template <typename T>
bool sameValues(const QList<T>& a, const QList<T>& b)
{
    return a.size() == b.size()
        && (a.isEmpty()
            || std::memcmp(a.constData(), b.constData(), static_cast<std::size_t>(a.size()) * sizeof(T)) == 0);
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
        const std::size_t bytesPerLine = static_cast<std::size_t>(image->bytesPerLine());
        const QRgb white = qRgb(255, 255, 255);
        const int* columns = columnIndex_.data();
        const int* rows = rowIndex_.data();
        uchar* bits = imageBits;
        const int height = imageHeight;
        const int width = imageWidth;
        // Lines first .. end - 1; a line repeating the one above (zoomed in)
        // copies it when that line is in the same range.
        const auto sampleLines = [&](int first, int end) {
            for (int i = first; i < end; ++i) {
                auto* line = reinterpret_cast<QRgb*>(bits + static_cast<std::size_t>(i) * bytesPerLine);
                const int r = rows[i];
                if (i > first && r == rows[i - 1]) {
                    // Zoomed in: the same data row as the line above.
                    std::memcpy(line, bits + static_cast<std::size_t>(i - 1) * bytesPerLine, lineBytes);
                    continue;
                }
                if (r < 0) {
                    std::fill(line, line + width, white);
                    continue;
                }
                const std::size_t rowStart = static_cast<std::size_t>(r) * stride;
                if (multichannel) {
                    const float* red = channel0 + rowStart;
                    const float* green = channel1 + rowStart;
                    const float* blue = channel2 + rowStart;
                    for (int j = 0; j < width; ++j) {
                        const int c = columns[j];
                        line[j] = c < 0 ? white
                                        : 0xff000000u | (QRgb(ViewGeometry::sampleToByte(red[c])) << 16)
                                | (QRgb(ViewGeometry::sampleToByte(green[c])) << 8)
                                | QRgb(ViewGeometry::sampleToByte(blue[c]));
                    }
                } else {
                    const float* grey = channel0 + rowStart;
                    for (int j = 0; j < width; ++j) {
                        const int c = columns[j];
                        const QRgb v = c < 0 ? 255u : QRgb(ViewGeometry::sampleToByte(grey[c]));
                        line[j] = 0xff000000u | (v << 16) | (v << 8) | v;
                    }
                }
            }
        };
        // Each thread samples one band of consecutive lines.
#pragma omp parallel
        {
            const int threads = omp_get_num_threads();
            const int thread = omp_get_thread_num();
            sampleLines(static_cast<int>(static_cast<long long>(height) * thread / threads),
                        static_cast<int>(static_cast<long long>(height) * (thread + 1) / threads));
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
    addShape(std::move(shape));
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
    addShape(OverlayShape{colour, width, false, std::move(segments), {}});
}

void ViewerWidget::addShape(OverlayShape&& shape)
{
    if (layerDrawing_)
        layerPending_.push_back(std::move(shape));
    else if (batching_)
        batch_.push_back(std::move(shape));
    else
        paintShape(*image, shape);
}

bool ViewerWidget::sameShape(const OverlayShape& a, const OverlayShape& b)
{
    return a.colour == b.colour && a.width == b.width && a.discs == b.discs && sameValues(a.lines, b.lines)
        && sameValues(a.centres, b.centres);
}

bool ViewerWidget::sameShapes(const std::vector<OverlayShape>& a, const std::vector<OverlayShape>& b)
{
    return std::equal(a.cbegin(), a.cend(), b.cbegin(), b.cend(), &ViewerWidget::sameShape);
}

QRect ViewerWidget::reachOfShape(const OverlayShape& shape)
{
    QRect out;
    if (shape.discs) {
        for (const QPointF& c : shape.centres)
            out |= reachOf(c.x(), c.y(), c.x(), c.y(), shape.width);
        return out;
    }
    if (shape.lines.isEmpty())
        return out;
    double x0 = shape.lines.front().x1(), x1 = x0, y0 = shape.lines.front().y1(), y1 = y0;
    for (const QLineF& line : shape.lines) {
        x0 = std::min({x0, line.x1(), line.x2()});
        x1 = std::max({x1, line.x1(), line.x2()});
        y0 = std::min({y0, line.y1(), line.y2()});
        y1 = std::max({y1, line.y1(), line.y2()});
    }
    return reachOf(x0, y0, x1, y1, shape.width);
}

QRect ViewerWidget::changedArea(const std::vector<OverlayShape>& before, const std::vector<OverlayShape>& after)
{
    QRect out;
    const std::size_t common = std::min(before.size(), after.size());
    for (std::size_t k = 0; k < common; ++k) {
        if (!sameShape(before[k], after[k]))
            out |= reachOfShape(before[k]) | reachOfShape(after[k]);
    }
    for (std::size_t k = common; k < before.size(); ++k)
        out |= reachOfShape(before[k]);
    for (std::size_t k = common; k < after.size(); ++k)
        out |= reachOfShape(after[k]);
    return out;
}

void ViewerWidget::paintShape(QImage& target, const OverlayShape& shape, QRect clip)
{
    QPainter painter(&target);
    if (!clip.isNull())
        painter.setClipRect(clip);
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
    // Into a layer the shapes went to its queue, painted by endOverlayLayer.
    if (!image->isNull() && !batch_.empty())
        paintIntoImage();
    batch_.clear();
}

void ViewerWidget::paintIntoImage()
{
    qsizetype elements = 0;
    for (const OverlayShape& shape : batch_)
        elements += shape.discs ? shape.centres.size() : shape.lines.size();
    if (elements < largeBatch) {
        paintShapes(*image, batch_);
        return;
    }
    // The pixels depend on nothing but the shapes and the pixels under them:
    // over the same pixels, only where shapes differ from the last batch's
    // do they change. There the last result is painted again from the
    // pixels under it, every shape clipped to that area (which thin pens
    // cannot be); elsewhere it stands.
    if (samePixels(*image, batchBefore_)) {
        const QRect changed = changedArea(batchShapes_, batch_).intersected(image->rect());
        if (!changed.isEmpty() && !hasThinPen(batch_) && !hasThinPen(batchShapes_)) {
            copyArea(batchBefore_, batchAfter_, changed);
            paintShapes(batchAfter_, batch_, changed);
            batchShapes_ = std::move(batch_);
            batch_.clear();
        }
        if (changed.isEmpty() || batch_.empty()) {
            copyPixels(batchAfter_, *image);
            return;
        }
    }
    copyPixels(*image, batchBefore_);
    paintShapes(*image, batch_);
    copyPixels(*image, batchAfter_);
    batchShapes_ = std::move(batch_);
    batch_.clear();
}

bool ViewerWidget::hasThinPen(const std::vector<OverlayShape>& shapes)
{
    // Thin pens take the painter's cosmetic path, which clips a line's
    // geometry to the clip rectangle: clipping would move its pixels.
    return std::any_of(shapes.cbegin(), shapes.cend(), [](const OverlayShape& shape) { return shape.width <= 1; });
}

void ViewerWidget::paintShapes(QImage& target, const std::vector<OverlayShape>& shapes, QRect area)
{
    // Lines are stroked in groups of this many, as the painter itself groups
    // them; a strip paints the groups that reach into it.
    constexpr qsizetype lineGroup = 16;

    const bool whole = area.isNull() || area == target.rect();
    if (whole)
        area = target.rect();
    qsizetype segments = 0;
    for (const OverlayShape& shape : shapes)
        segments += shape.discs ? shape.centres.size() : shape.lines.size();
    const int threads = omp_get_max_threads();
    const int strips = std::min(threads * 4, area.height() / minimumStripRows);
    // Below largeBatch segments one painter is as fast as several, and
    // painting every shape costs less than finding the ones in the area.
    if (hasThinPen(shapes) || segments < largeBatch || (whole && (threads < 2 || strips < 2))) {
        for (const OverlayShape& shape : shapes)
            paintShape(target, shape, whole ? QRect() : area);
        return;
    }

    // The screen rectangle each group of lines or disc can touch.
    const auto reach = reachOf;
    std::vector<std::vector<QRect>> groupReach(shapes.size());
    for (std::size_t s = 0; s < shapes.size(); ++s) {
        const OverlayShape& shape = shapes[s];
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
    // of the area in the same memory, so no two painters touch one pixel.
    uchar* bits = target.bits();
    const int width = target.width();
    const int height = target.height();
    const qsizetype bytesPerLine = target.bytesPerLine();
    const QImage::Format format = target.format();
    const int stripCount = std::max(1, strips);
#pragma omp parallel for schedule(dynamic, 1)
    for (int strip = 0; strip < stripCount; ++strip) {
        const int top = area.top() + static_cast<int>(static_cast<long long>(area.height()) * strip / stripCount);
        const int bottom = area.top()
            + static_cast<int>(static_cast<long long>(area.height()) * (strip + 1) / stripCount);
        const QRect rows(area.left(), top, area.width(), bottom - top);
        QImage view(bits, width, height, bytesPerLine, format);
        QPainter painter(&view);
        painter.setClipRect(rows);
        for (std::size_t s = 0; s < shapes.size(); ++s) {
            const OverlayShape& shape = shapes[s];
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

QPoint ViewerWidget::overlayOrigin() const
{
    return layerDrawing_ ? layerOrigin_ : origin;
}

QRect ViewerWidget::overlayDataRect() const
{
    if (!layerDrawing_)
        return QRect(origin, visibleEnd);
    const double reach = layerMargin_ / zoom;
    const auto below = [](double v) { return static_cast<int>(std::floor(v)); };
    const auto above = [](double v) { return static_cast<int>(std::ceil(v)); };
    return QRect(QPoint(below(layerOrigin_.x() - reach), below(layerOrigin_.y() - reach)),
                 QPoint(above(layerOrigin_.x() + image->width() / zoom + reach),
                        above(layerOrigin_.y() + image->height() / zoom + reach)));
}

QRect ViewerWidget::layerSource() const
{
    if (!layer_ || layer_->isNull() || layerZoomIndex_ != zoomIndex || image->isNull())
        return {};
    const QPoint shift(qRound((origin.x() - layerOrigin_.x()) * zoom) + layerMargin_,
                       qRound((origin.y() - layerOrigin_.y()) * zoom) + layerMargin_);
    const QRect source(shift, image->size());
    return layer_->rect().contains(source) ? source : QRect();
}

void ViewerWidget::beginOverlayLayer(int margin)
{
    margin = std::max(0, margin);
    const QSize size = image->size().isEmpty() ? QSize() : image->size() + QSize(2 * margin, 2 * margin);
    // The last layer may serve again when it reaches over the view at this
    // zoom; whether it holds the same overlays shows at endOverlayLayer.
    layerReused_ = layerPainted_ && layer_->size() == size && layerMargin_ == margin && !layerSource().isEmpty();
    if (!layerReused_) {
        // The layer's memory is reused from drag to drag: a new multi-megabyte
        // buffer would cost its page faults on the first frame of every drag.
        if (!layer_ || layer_->size() != size)
            layer_ = std::make_unique<QImage>(size, QImage::Format_ARGB32_Premultiplied);
        layerOrigin_ = origin;
        layerZoomIndex_ = zoomIndex;
        layerMargin_ = margin;
        layerPainted_ = false;
        layerShapes_.clear();
    }
    layerPending_.clear();
    layerDrawing_ = !layer_->isNull();
    layerValid_ = false;
}

void ViewerWidget::endOverlayLayer()
{
    if (!layerDrawing_)
        return;
    layerDrawing_ = false;
    if (layerReused_ && !hasThinPen(layerPending_) && !hasThinPen(layerShapes_)) {
        // The layer stands but where its shapes changed: there it is painted
        // again, every shape clipped to that area.
        const QRect changed = changedArea(layerShapes_, layerPending_).intersected(layerDone_);
        layerShapes_ = std::move(layerPending_);
        if (!changed.isEmpty()) {
            clearLayerArea(changed);
            paintShapes(*layer_, layerShapes_, changed);
        }
    } else if (!layerReused_ || !sameShapes(layerPending_, layerShapes_)) {
        // Painted where shown, see paintLayer.
        layerShapes_ = std::move(layerPending_);
        layerDone_ = QRect();
        layerPainted_ = true;
    }
    layerPending_.clear();
    layerValid_ = true;
}

void ViewerWidget::paintLayer(QRect needed)
{
    if (layerDone_.contains(needed))
        return;
    // The layer is painted area by area as pan steps reach it: each area
    // clipped, so its pixels are those of painting the whole layer at once.
    // Thin pens cannot be clipped without moving pixels: all at once then.
    const QRect grown = hasThinPen(layerShapes_) ? layer_->rect() : needed.united(layerDone_);
    const QRegion missing = QRegion(grown).subtracted(QRegion(layerDone_));
    for (const QRect& area : missing) {
        clearLayerArea(area);
        paintShapes(*layer_, layerShapes_, area);
    }
    layerDone_ = grown;
}

void ViewerWidget::clearLayerArea(QRect area)
{
    const std::size_t bytes = static_cast<std::size_t>(area.width()) * sizeof(QRgb);
    for (int y = area.top(); y <= area.bottom(); ++y)
        std::memset(layer_->scanLine(y) + static_cast<std::size_t>(area.left()) * sizeof(QRgb), 0, bytes);
}

bool ViewerWidget::showOverlayLayer()
{
    if (!layerValid_ || layerDrawing_)
        return false;
    // Where the image's top-left corner lies in the layer now.
    const QRect source = layerSource();
    if (source.isEmpty())
        return false;
    paintLayer(source);
    // The rendered image is opaque, so its ARGB32 pixels are also valid
    // premultiplied ones: painting through a premultiplied view of the same
    // memory takes the fast blending path and gives the same pixels. Every
    // pixel is blended on its own, so horizontal strips are painted at the
    // same time.
    uchar* bits = imageBits;
    const int width = image->width();
    const int height = image->height();
    const qsizetype bytesPerLine = image->bytesPerLine();
    const int strips = std::max(1, std::min(omp_get_max_threads(), height / minimumStripRows));
    const QImage& layer = *layer_;
#pragma omp parallel for schedule(static, 1)
    for (int strip = 0; strip < strips; ++strip) {
        const int top = static_cast<int>(static_cast<long long>(height) * strip / strips);
        const int bottom = static_cast<int>(static_cast<long long>(height) * (strip + 1) / strips);
        QImage opaqueView(bits + top * bytesPerLine, width, bottom - top, bytesPerLine,
                          QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&opaqueView);
        painter.drawImage(QPoint(0, 0), layer, QRect(source.x(), source.y() + top, width, bottom - top));
    }
    return true;
}

void ViewerWidget::dropOverlayLayer()
{
    layerValid_ = false;
    layerDrawing_ = false;
    layerPending_.clear();
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
    layerPainted_ = false;
    layerShapes_.clear();
    layerDone_ = QRect();
    batchBefore_ = QImage();
    batchAfter_ = QImage();
    batchShapes_.clear();
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
