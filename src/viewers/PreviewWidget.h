#pragma once

// Overview map of the shown data set: its small preview picture with two
// translucent rectangles on top, the data set's working window and the region
// the active main viewer shows. Mouse input is handled by the main window's
// event filter; the widget only draws.

#include <cstdint>
#include <memory>
#include <vector>

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QSize>
#include <QWidget>

class QPaintEvent;

namespace UI {

class PreviewWidget : public QWidget {
    Q_OBJECT

public:
    explicit PreviewWidget(QWidget* parent = nullptr);
    ~PreviewWidget() override;

    // Takes the preview colours (three byte planes, red, green, blue, each
    // width x height row-major) and the working window's size in data pixels.
    // Planes that do not hold such an image are ignored and the previous
    // preview stays.
    void setImage(std::vector<std::vector<std::uint8_t>> planes, int width, int height, int workAreaWidth,
                  int workAreaHeight);
    // True when the planes hold such an image.
    static bool holdsImage(const std::vector<std::vector<std::uint8_t>>& planes, int width, int height);

    // Redraws the preview with the working-window rectangle at workAreaOrigin
    // and the view rectangle from viewStart to viewEnd (data pixels of a
    // dataWidth x dataHeight grid). Nothing happens before the first image or
    // for an empty grid.
    void drawViewRect(int dataWidth, int dataHeight, QPoint viewStart, QPoint viewEnd, QPoint workAreaOrigin);

    void resizeImage(QSize size);
    void clear();

protected slots:
    void paintEvent(QPaintEvent* event) override;

public:
    QSize imageSize{-1, -1};      // (-1, -1) until an image is set
    QSize workAreaSize{0, 0};     // working window, data pixels
    QPoint viewRectOrigin{0, 0};  // last view rectangle, preview pixels
    QSize viewRectSize{0, 0};
    double scaleX = 0.0;          // preview pixels per data pixel (last drawViewRect)
    double scaleY = 0.0;
    std::unique_ptr<QImage> image;
    QList<QColor> pixels;         // preview colours, row-major
    uchar* imageBits = nullptr;
};

} // namespace UI
