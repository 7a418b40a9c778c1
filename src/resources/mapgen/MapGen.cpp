// Draws the area pictures of the local archive browser's map picker from its
// tile table and lists them in a resource file.
//
//   fenlark_mapgen <output folder>   writes <name>.jpg for every area and tile
//                                    and maps.qrc (":/map/maps/<name>.jpg")
//   fenlark_mapgen --print-table     prints the table rows computed from the
//                                    tiling grid (used to write the table)
//
// An area picture is a plain background with a labelled one-degree graticule
// and every tile's outline and name; a tile's hover picture is the same with
// that tile filled. Only QImage and QPainter are used, so the tool runs at
// build time without a display.

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFont>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPolygonF>
#include <QTemporaryDir>
#include <QTextStream>

#include "MapGen.h"
#include "MapGeometry.h"
#include "acquisition/MapPickerTiles.h"

namespace {

using MapGeometry::Affine;

const QColor background(236, 233, 222);
const QColor graticule(178, 190, 204);
const QColor graticuleText(110, 122, 140);
const QColor outlineColour(54, 66, 92);
const QColor nameColour(30, 36, 52);
const QColor hoverFill(255, 150, 30, 120);

QPolygonF outlineOf(const MapPickerTile& tile)
{
    QPolygonF polygon;
    for (int i = 0; i < tile.pointCount; ++i)
        polygon << QPointF(tile.outline[i].x, tile.outline[i].y);
    return polygon;
}

// One-degree meridians and parallels across the picture, labelled at the
// bottom and left edges.
void drawGraticule(QPainter& painter, const Affine& affine)
{
    const QRectF frame(0, 0, MapPicker::pictureWidth, MapPicker::pictureHeight);
    double west = 180, east = -180, south = 90, north = -90;
    for (const QPointF& corner : {frame.topLeft(), frame.topRight(), frame.bottomLeft(), frame.bottomRight()}) {
        const QPointF g = MapGeometry::geographic(affine.inverted(corner));
        west = std::min(west, g.x());
        east = std::max(east, g.x());
        south = std::min(south, g.y());
        north = std::max(north, g.y());
    }
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    painter.setFont(font);
    const QFontMetrics metrics(font);
    auto project = [&affine](double latitude, double longitude) {
        return affine.map(MapGeometry::mercator(latitude, longitude));
    };
    for (int longitude = int(std::ceil(west)); longitude <= int(std::floor(east)); ++longitude) {
        const QPointF top = project(north + 1, longitude);
        const QPointF bottom = project(south - 1, longitude);
        painter.setPen(QPen(graticule, 1));
        painter.drawLine(top, bottom);
        // Where the meridian meets the bottom edge.
        const double t = (frame.bottom() - 2 - top.y()) / (bottom.y() - top.y());
        const double x = top.x() + t * (bottom.x() - top.x());
        const QString label = QStringLiteral("%1\u00b0E").arg(longitude);
        if (x > 30 && x < frame.right() - 30) {
            painter.setPen(graticuleText);
            painter.drawText(QPointF(x + 3, frame.bottom() - 4), label);
        }
    }
    for (int latitude = int(std::ceil(south)); latitude <= int(std::floor(north)); ++latitude) {
        const QPointF left = project(latitude, west - 1);
        const QPointF right = project(latitude, east + 1);
        painter.setPen(QPen(graticule, 1));
        painter.drawLine(left, right);
        const double t = (2 - left.x()) / (right.x() - left.x());
        const double y = left.y() + t * (right.y() - left.y());
        const QString label = QStringLiteral("%1\u00b0N").arg(latitude);
        if (y > 20 && y < frame.bottom() - 20) {
            painter.setPen(graticuleText);
            painter.drawText(QPointF(4, y - 3), label);
        }
    }
}

void drawTiles(QPainter& painter, int area, int hovered)
{
    const MapPickerArea& range = MapPicker::areas()[area];
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(outlineColour, 1.5));
    for (int number = range.firstTile; number <= range.lastTile; ++number)
        painter.drawPolygon(outlineOf(*MapPicker::tile(number)));

    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(15);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(nameColour);
    for (int number = range.firstTile; number <= range.lastTile; ++number) {
        const MapPickerTile& tile = *MapPicker::tile(number);
        // The name sits in the middle of the hover rectangle, the part of the
        // tile that answers the mouse.
        const QRectF box(QPointF(tile.xFrom, tile.yFrom), QPointF(tile.xTo + 1, tile.yTo + 1));
        painter.drawText(box.adjusted(0, 0, 0, -box.height() / 3), Qt::AlignCenter, QString::fromLatin1(tile.name));
    }
    if (hovered != 0) {
        // On top of everything, names included, so the whole tile changes.
        const QPolygonF outline = outlineOf(*MapPicker::tile(hovered));
        painter.setBrush(hoverFill);
        painter.setPen(QPen(outlineColour, 3));
        painter.drawPolygon(outline);
    }
}

QImage picture(int area, int hovered, const Affine& affine)
{
    QImage image(MapPicker::pictureWidth, MapPicker::pictureHeight, QImage::Format_RGB32);
    image.fill(background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    drawGraticule(painter, affine);
    drawTiles(painter, area, hovered);
    return image;
}

int writePictures(const QString& folder)
{
    if (!QDir().mkpath(folder)) {
        std::fprintf(stderr, "cannot create %s\n", qPrintable(folder));
        return 1;
    }
    QStringList names;
    auto save = [&](const QImage& image, const char* name) {
        const QString fileName = QString::fromLatin1(name) + QStringLiteral(".jpg");
        if (!image.save(QDir(folder).filePath(fileName), "JPG", 85)) {
            std::fprintf(stderr, "cannot write %s\n", qPrintable(fileName));
            return false;
        }
        names << fileName;
        return true;
    };
    for (int area = 0; area < MapPicker::areaCount; ++area) {
        const Affine affine = MapGeometry::fitArea(area).affine;
        const MapPickerArea& range = MapPicker::areas()[area];
        if (!save(picture(area, 0, affine), range.initialImage))
            return 1;
        for (int number = range.firstTile; number <= range.lastTile; ++number) {
            if (!save(picture(area, number, affine), MapPicker::tile(number)->image))
                return 1;
        }
    }
    QFile qrc(QDir(folder).filePath(QStringLiteral("maps.qrc")));
    if (!qrc.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot write maps.qrc\n");
        return 1;
    }
    QTextStream out(&qrc);
    out << "<!DOCTYPE RCC><RCC version=\"1.0\">\n<qresource prefix=\"/map/maps\">\n";
    for (const QString& name : names)
        out << "    <file>" << name << "</file>\n";
    out << "</qresource>\n</RCC>\n";
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && QByteArray(argv[1]) == "--print-table")
        return printTable();
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder> | --print-table\n", argv[0]);
        return 2;
    }
    // Fonts need an application object; the offscreen platform needs no
    // display. A build environment often has no runtime folder, which the
    // application object would complain about.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir runtime;
    if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR") && runtime.isValid())
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime.path()));
    QGuiApplication app(argc, argv);
    return writePictures(QString::fromLocal8Bit(argv[1]));
}
