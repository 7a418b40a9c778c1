#include "viewers/BackingImage.h"

#include <QWidget>

namespace UI {

void resizeBackingImage(QWidget& widget, std::unique_ptr<QImage>& image, uchar*& bits, QSize size)
{
    if (image && image->size() == size)
        return;
    image = std::make_unique<QImage>(size, QImage::Format_ARGB32);
    // A new image holds whatever its memory held; it may be shown before
    // anything is drawn into it (a redraw waits while a task runs), so it
    // starts as the widget's own background.
    if (!image->isNull())
        image->fill(widget.palette().color(widget.backgroundRole()));
    if (widget.size() != size) {
        widget.resize(size);
        widget.setMinimumSize(size);
        widget.setMaximumSize(size);
    }
    bits = image->isNull() ? nullptr : image->bits();
}

} // namespace UI
