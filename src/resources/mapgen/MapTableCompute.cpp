// Computes the rows of the map picker's tile table from the tiling grid and
// prints them in the table's own form. The reference rows are printed as they
// stand; the others are placed by their area's fitted affine map.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <QRect>

#include "MapGen.h"
#include "MapGeometry.h"
#include "acquisition/MapPickerTiles.h"

namespace {

struct Row {
    QRect hover; // inclusive bounds as QRect(QPoint(xFrom, yFrom), QPoint(xTo, yTo))
    std::vector<QPointF> outline;
    bool fixed = false;
};

// Neighbouring tiles share 9.8 km; the hover rectangles leave most of that
// out, as the reference rows do, so a point on a shared strip is rare.
constexpr double marginShare = 0.05;
// Where two rectangles overlap by much (tiles of neighbouring zones), the
// overlap is split in the middle and they share a strip this wide.
constexpr int sharedStrip = 10;

QRect hoverRectangle(const std::array<QPointF, 4>& quad)
{
    const double left = std::max(quad[0].x(), quad[3].x());
    const double right = std::min(quad[1].x(), quad[2].x());
    const double top = std::max(quad[0].y(), quad[1].y());
    const double bottom = std::min(quad[2].y(), quad[3].y());
    const double mx = (right - left) * marginShare;
    const double my = (bottom - top) * marginShare;
    QRect box(QPoint(int(std::lround(left + mx)), int(std::lround(top + my))),
              QPoint(int(std::lround(right - mx)), int(std::lround(bottom - my))));
    return box.intersected(QRect(0, 0, MapPicker::pictureWidth, MapPicker::pictureHeight));
}

// Splits the overlap of a and b along the axis where it is narrower, keeping
// a shared strip; fixed rows are never moved, their partner gives way.
void separate(Row& a, Row& b)
{
    const QRect overlap = a.hover.intersected(b.hover);
    if (overlap.isEmpty())
        return;
    const bool alongX = double(overlap.width()) / std::min(a.hover.width(), b.hover.width())
                        <= double(overlap.height()) / std::min(a.hover.height(), b.hover.height());
    const int extent = alongX ? overlap.width() : overlap.height();
    if (extent <= sharedStrip)
        return;
    Row& first = alongX ? (a.hover.center().x() <= b.hover.center().x() ? a : b)
                        : (a.hover.center().y() <= b.hover.center().y() ? a : b);
    Row& second = &first == &a ? b : a;
    if (first.fixed && second.fixed)
        return;
    int cut = alongX ? overlap.left() + overlap.width() / 2 : overlap.top() + overlap.height() / 2;
    if (first.fixed)
        cut = (alongX ? first.hover.right() : first.hover.bottom()) - sharedStrip / 2;
    if (second.fixed)
        cut = (alongX ? second.hover.left() : second.hover.top()) + sharedStrip / 2;
    if (alongX) {
        if (!first.fixed)
            first.hover.setRight(cut + sharedStrip / 2);
        if (!second.fixed)
            second.hover.setLeft(cut - sharedStrip / 2 + 1);
    } else {
        if (!first.fixed)
            first.hover.setBottom(cut + sharedStrip / 2);
        if (!second.fixed)
            second.hover.setTop(cut - sharedStrip / 2 + 1);
    }
}

} // namespace

int printTable()
{
    std::vector<Row> rows(MapPicker::tileCount);
    for (int area = 0; area < MapPicker::areaCount; ++area) {
        const MapGeometry::Fit fit = MapGeometry::fitArea(area);
        std::fprintf(stderr, "area %d: fit error rms %.1f px, max %.1f px\n", area, fit.rmsError, fit.maxError);
        const MapPickerArea& range = MapPicker::areas()[area];
        for (int number = range.firstTile; number <= range.lastTile; ++number) {
            const MapPickerTile& tile = *MapPicker::tile(number);
            Row& row = rows[number - 1];
            if (MapGeometry::isReferenceTile(number)) {
                row.fixed = true;
                row.hover = QRect(QPoint(tile.xFrom, tile.yFrom), QPoint(tile.xTo, tile.yTo));
                for (int i = 0; i < tile.pointCount; ++i)
                    row.outline.emplace_back(tile.outline[i].x, tile.outline[i].y);
                continue;
            }
            std::array<QPointF, 4> quad = MapGeometry::tileCorners(QString::fromLatin1(tile.name));
            for (QPointF& corner : quad)
                corner = fit.affine.map(corner);
            row.outline = MapGeometry::clippedOutline(quad);
            row.hover = hoverRectangle(quad);
        }
        for (int pass = 0; pass < 2; ++pass) {
            for (int i = range.firstTile; i <= range.lastTile; ++i) {
                for (int j = i + 1; j <= range.lastTile; ++j)
                    separate(rows[i - 1], rows[j - 1]);
            }
        }
    }
    for (int number = 1; number <= MapPicker::tileCount; ++number) {
        const MapPickerTile& tile = *MapPicker::tile(number);
        const Row& row = rows[number - 1];
        std::printf("    {%d, %d, \"%s\", %d, %d, %d, %d, \"%s\", %d, {{", number, tile.area, tile.image,
                    row.hover.left(), row.hover.right(), row.hover.top(), row.hover.bottom(), tile.name,
                    int(row.outline.size()));
        for (size_t i = 0; i < row.outline.size(); ++i)
            std::printf("%s{%g, %g}", i ? ", " : "", row.outline[i].x(), row.outline[i].y());
        std::printf("}}},\n");
        // The middle of every rectangle must answer its own tile.
        const MapPickerArea& range = MapPicker::areas()[tile.area];
        int centreTile = 0;
        for (int other = range.firstTile; other <= range.lastTile && centreTile == 0; ++other) {
            if (rows[other - 1].hover.contains(row.hover.center()))
                centreTile = other;
        }
        if (centreTile != number)
            std::fprintf(stderr, "tile %d: its middle answers tile %d\n", number, centreTile);
        if (row.hover.isEmpty() || row.outline.size() < 3 || row.outline.size() > 5)
            std::fprintf(stderr, "tile %d: hover %dx%d, %d outline points\n", number, row.hover.width(),
                         row.hover.height(), int(row.outline.size()));
    }
    return 0;
}
