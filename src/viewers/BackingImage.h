#pragma once

// The image a viewer widget draws into and shows at its own, fixed size.

#include <memory>

#include <QImage>
#include <QSize>

class QWidget;

namespace UI {

// Gives widget a new ARGB32 image of the given size and fixes the widget's
// size to it, filled with the widget's background colour; bits becomes the
// image's pixel memory (null for an empty image). Nothing changes when the
// image already has that size.
void resizeBackingImage(QWidget& widget, std::unique_ptr<QImage>& image, uchar*& bits, QSize size);

} // namespace UI
