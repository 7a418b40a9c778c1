#include "viewers/PreviewWidget.h"

#include <cstddef>
#include <utility>

#include <QPaintEvent>
#include <QPainter>
#include <QPen>

#include "viewers/BackingImage.h"

namespace UI {

PreviewWidget::PreviewWidget(QWidget* parent)
    : QWidget(parent)
    , image(std::make_unique<QImage>(0, 0, QImage::Format_ARGB32))
{
    setAttribute(Qt::WA_StaticContents);
}

PreviewWidget::~PreviewWidget() = default;

bool PreviewWidget::holdsImage(const std::vector<std::vector<std::uint8_t>>& planes, int width, int height)
{
    if (width <= 0 || height <= 0 || planes.size() < 3)
        return false;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    for (std::size_t k = 0; k < 3; ++k) {
        if (planes[k].size() < count)
            return false;
    }
    return true;
}

void PreviewWidget::setImage(std::vector<std::vector<std::uint8_t>> planes, int width, int height,
                             int workAreaWidth, int workAreaHeight)
{
    // Three planes of at least width x height bytes, or nothing changes.
    if (!holdsImage(planes, width, height))
        return;
    const std::size_t count = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
    workAreaSize = QSize(workAreaWidth, workAreaHeight);
    imageSize = QSize(width, height);
    pixels.resize(static_cast<qsizetype>(count));
    for (std::size_t i = 0; i < count; ++i)
        pixels[static_cast<qsizetype>(i)] = QColor(planes[0][i], planes[1][i], planes[2][i]);
    resizeImage(imageSize);
    update();
}

void PreviewWidget::drawViewRect(int dataWidth, int dataHeight, QPoint viewStart, QPoint viewEnd,
                                 QPoint workAreaOrigin)
{
    if (imageSize == QSize(-1, -1))
        return;
    if (dataWidth <= 0 || dataHeight <= 0)
        return;
    scaleX = static_cast<double>(imageSize.width()) / dataWidth;
    scaleY = static_cast<double>(imageSize.height()) / dataHeight;

    // Start again from the stored colours, which removes the rectangles of
    // the previous call. The image can be smaller than the colours after a
    // clear.
    const bool hasPixels = !image->isNull() && image->size() == imageSize
        && pixels.size() == static_cast<qsizetype>(imageSize.width()) * imageSize.height();
    if (hasPixels) {
        const int w = imageSize.width();
        for (int y = 0; y < imageSize.height(); ++y) {
            auto* line = reinterpret_cast<QRgb*>(image->scanLine(y));
            const qsizetype base = static_cast<qsizetype>(y) * w;
            for (int x = 0; x < w; ++x)
                line[x] = pixels[base + x].rgb(); // opaque
        }
    }

    viewRectOrigin = QPoint(static_cast<int>(viewStart.x() * scaleX + 0.5),
                            static_cast<int>(viewStart.y() * scaleY + 0.5));
    viewRectSize = QSize(static_cast<int>((viewEnd.x() - viewStart.x()) * scaleX + 0.5) - 1,
                         static_cast<int>((viewEnd.y() - viewStart.y()) * scaleY + 0.5) - 1);

    if (!image->isNull()) {
        // A pen of width 1 covers the rectangle's right and bottom edge too,
        // hence the "- 1" in the sizes. A negative size (a working window not
        // set yet, an empty view) draws nothing.
        const QRect workArea(static_cast<int>(workAreaOrigin.x() * scaleX + 0.5),
                             static_cast<int>(workAreaOrigin.y() * scaleY + 0.5),
                             static_cast<int>(workAreaSize.width() * scaleX + 0.5) - 1,
                             static_cast<int>(workAreaSize.height() * scaleY + 0.5) - 1);
        QPainter painter(image.get());
        if (workArea.width() >= 0 && workArea.height() >= 0) {
            painter.setPen(QPen(Qt::red));
            painter.setBrush(QColor(255, 111, 0, 100));
            painter.drawRect(workArea);
        }
        if (viewRectSize.width() >= 0 && viewRectSize.height() >= 0) {
            painter.setPen(QPen(Qt::blue));
            painter.setBrush(QColor(102, 204, 255, 100));
            painter.drawRect(QRect(viewRectOrigin, viewRectSize));
        }
    }
    update();
}

void PreviewWidget::resizeImage(QSize size)
{
    resizeBackingImage(*this, image, imageBits, size);
}

void PreviewWidget::clear()
{
    resizeImage(QSize(0, 0));
}

void PreviewWidget::paintEvent(QPaintEvent* event)
{
    if (image->isNull())
        return;
    QPainter painter(this);
    painter.drawImage(event->rect(), *image, event->rect());
}

} // namespace UI
