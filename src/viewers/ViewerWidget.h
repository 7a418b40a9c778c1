#pragma once

// Image view of one viewer side: renders one grey or three colour float
// channels (samples in [0, 1], row-major) at one of twenty zoom levels into
// an ARGB image of exactly the visible size, with a scale bar and a north
// arrow, and lets the main window paint its overlays into the same image.
//
// The widget has no input handling and knows nothing of data sets: the main
// window routes mouse and wheel events to the view operations below and
// reads and writes the view state fields directly.

#include <array>
#include <memory>
#include <vector>

#include <QColor>
#include <QImage>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QString>
#include <QWidget>

#include "viewers/ViewGeometry.h"

class QPaintEvent;

namespace UI {

class ViewerWidget : public QWidget {
    Q_OBJECT

public:
    ViewerWidget(int row, int column, QString name, int side, QWidget* parent = nullptr);
    ~ViewerWidget() override;

    // Samples the visible region of a dataWidth x dataHeight grid into the
    // image and schedules a repaint. channel1 and channel2 together make a
    // colour render (red, green, blue from channels 0, 1, 2); without them the
    // image is grey. With a non-empty windowSize the channels hold only that
    // window of the grid at windowOrigin, and the rest is shown white.
    void render(int dataWidth, int dataHeight, const float* channel0, const float* channel1, const float* channel2,
                bool withScaleBar, QPoint windowOrigin = QPoint(), QSize windowSize = QSize());

    // Scale bar and north arrow at the image's bottom-right corner.
    void drawScaleBar();

    // Overlays, in image coordinates. Nothing is drawn on an empty image.
    void drawPoints(const QList<QPointF>& points, QColor colour, int width);
    void drawMarks(const QList<QPointF>& points, QColor colour, int width);
    // A closed curve (last point equal to the first) is clipped as a polygon;
    // an open one segment by segment, so it shows gaps where it leaves the
    // image.
    void drawPolyline(const QList<QPointF>& points, QColor colour, int width);
    // Polygon clipping of a path to the image rectangle (see
    // ViewGeometry::clipPolygon).
    void clipPolyline(const QList<QPointF>& in, QList<QPointF>& out) const;

    // View operations; none re-renders, the caller refreshes the viewer.
    void centerOn(int x, int y);
    void pan(int dataWidth, int dataHeight, QPoint mousePos);
    void zoomStep(QPointF position, int steps);
    void resetView();
    void copyViewState(const ViewerWidget& other);

    // Metres per data pixel of the shown grid, used by the scale bar
    // (10 m for Sentinel-2 products). The main window sets it from the data
    // set of the viewer's side whenever it redraws the viewer.
    void setGroundPixelSize(double metres);
    double groundPixelSize() const { return groundPixelSize_; }

    // Overlay batch. Between beginOverlayBatch and endOverlayBatch the
    // drawing operations above queue their shapes; endOverlayBatch paints
    // them in order. A large batch is painted in horizontal strips at the
    // same time, each painter clipped to its strip's rows; the pixels are
    // those of painting the shapes one after the other.
    //
    // A large batch painted over the same pixels as the last one gives the
    // last result but where its shapes differ: the result is copied, and
    // painted again only there (a redraw at rest where nothing moved, or
    // where one curve changed).
    void beginOverlayBatch();
    void endOverlayBatch();

    // Overlay layer of a pan drag. Between beginOverlayLayer and
    // endOverlayLayer the drawing operations above queue their shapes for a
    // transparent layer instead of the image: the image's area grown by
    // margin pixels on every side, positions relative to overlayOrigin() and
    // moved by the margin. The layer is painted where it is shown, as pan
    // steps reach its parts. A later pan step shows the layer shifted by how
    // far the view moved (showOverlayLayer) instead of drawing every overlay
    // again.
    //
    // A dropped layer keeps its pixels: when the next drag starts at the
    // same zoom within the layer's reach, its overlays are queued at the old
    // layer's origin, and the layer is painted again only where they differ
    // from the ones it holds.
    void beginOverlayLayer(int margin);
    void endOverlayLayer();
    // Paints the layer over the image at the view's current origin. False,
    // painting nothing, when there is no layer, the zoom changed since it was
    // drawn, or the shifted layer does not cover the whole image.
    bool showOverlayLayer();
    // Stops showing the layer (its memory and pixels are kept for the next
    // drag, see above).
    void dropOverlayLayer();
    bool hasOverlayLayer() const { return layerValid_; }
    // The view origin overlay positions are relative to: the layer's origin
    // between beginOverlayLayer and endOverlayLayer, the view's otherwise.
    QPoint overlayOrigin() const;
    // The data pixels the overlays drawn now can show, from the top-left to
    // the bottom-right corner: the visible region (origin to visibleEnd), or
    // the region under the layer while one is drawn.
    QRect overlayDataRect() const;

    void resizeImage(QSize size);
    void clear();
    bool isEmpty() const;

    void showToolTipAt(int x, int y, QString text);

protected slots:
    void paintEvent(QPaintEvent* event) override;

public:
    // View state, read (and partly written) by the main window.
    int side = 0;                  // viewer side: 0 left, 1 right
    QSize viewportSize{0, 0};      // size of the enclosing scroll area
    std::unique_ptr<QImage> image; // the rendered view with its overlays
    uchar* imageBits = nullptr;    // pixel memory of image
    int row = 0;
    int column = 0;
    QString name;                  // "viewerWidgetMain", "viewerWidgetToolsFeature", ...
    QPoint lastMousePos{-1, -1};   // mouse position of the last pan step; (-1, -1) none
    QPointF panRemainder;          // data pixels of the drag not yet moved (under one pixel)
    QPoint origin{0, 0};           // data pixel shown at the image's top-left corner
    bool dragging = false;         // a pan drag is in progress
    double zoom = 1.0;             // screen pixels per data pixel, a zoomTable value
    static constexpr const std::array<double, 20>& zoomTable = ViewGeometry::zoomTable;
    int zoomIndex = ViewGeometry::startZoomIndex;
    int imageWidth = 0;            // last render
    int imageHeight = 0;
    int imagePixelCount = 0;
    QPoint visibleEnd{0, 0};       // exclusive end of the visible region, data pixels
    QSize visibleSize{0, 0};       // visibleEnd - origin
    quint64 renderCount = 0;       // renders so far; tells a caller whether one happened

private:
    // One queued overlay: line segments, or discs around centres.
    struct OverlayShape {
        QColor colour;
        int width = 1;
        bool discs = false;
        QList<QLineF> lines;
        QList<QPointF> centres;
    };
    static bool sameShape(const OverlayShape& a, const OverlayShape& b);
    static bool sameShapes(const std::vector<OverlayShape>& a, const std::vector<OverlayShape>& b);
    // The pixels a shape can touch.
    static QRect reachOfShape(const OverlayShape& shape);
    // The pixels where painting after instead of before can differ: the
    // reach of the shapes that differ at the same place in the order and of
    // the ones only one list has. Null when the lists are the same.
    static QRect changedArea(const std::vector<OverlayShape>& before, const std::vector<OverlayShape>& after);
    static bool hasThinPen(const std::vector<OverlayShape>& shapes);
    // Paints one shape, clipped to clip unless it is null.
    static void paintShape(QImage& target, const OverlayShape& shape, QRect clip = QRect());
    // Paints the shapes in order into the area of the target (null: all of
    // it). Shapes with a thin pen are only painted into the whole target.
    static void paintShapes(QImage& target, const std::vector<OverlayShape>& shapes, QRect area = QRect());
    // Queues the shape for the layer or the batch, or paints it now.
    void addShape(OverlayShape&& shape);
    // Paints a batch into the image, or copies the result of the last large
    // batch when shapes and pixels are those it was painted over.
    void paintIntoImage();

    // Where the drawing operations paint: the image, or the overlay layer
    // while one is being drawn (then positions are moved by the margin).
    QImage& overlayTarget() const;
    QPointF overlayOffset() const;
    // Where the image's top-left corner lies in the layer at the current
    // origin; an empty rectangle when the layer does not cover the image.
    QRect layerSource() const;
    // Paints the layer's shapes into the part of needed not painted yet.
    void paintLayer(QRect needed);
    void clearLayerArea(QRect area);

    double groundPixelSize_ = ViewGeometry::defaultGroundPixelSize;
    std::unique_ptr<QImage> layer_;   // premultiplied, transparent where empty
    QPoint layerOrigin_;              // view origin the layer was drawn at
    int layerZoomIndex_ = -1;
    int layerMargin_ = 0;
    bool layerValid_ = false;         // shown by showOverlayLayer
    bool layerDrawing_ = false;       // between beginOverlayLayer and endOverlayLayer
    bool layerPainted_ = false;       // layer_ holds layerShapes_ painted in layerDone_
    QRect layerDone_;                 // the part of the layer painted so far
    bool layerReused_ = false;        // the drawing may keep the painted layer
    std::vector<OverlayShape> layerShapes_;   // what the layer holds
    std::vector<OverlayShape> layerPending_;  // queued since beginOverlayLayer
    std::vector<OverlayShape> batch_;
    bool batching_ = false;
    // The last large batch painted into the image: the pixels it was painted
    // over, its shapes and the pixels it gave.
    QImage batchBefore_;
    QImage batchAfter_;
    std::vector<OverlayShape> batchShapes_;
    // Data coordinate of every image column and row of the last render;
    // -1 marks a white (outside the window) position in a window render.
    // Reused from render to render, like the image.
    std::vector<int> columnIndex_;
    std::vector<int> rowIndex_;
    QImage northArrow_;
};

} // namespace UI
