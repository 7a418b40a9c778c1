#include "acquisition/LocalLoaderMapPicker.h"

#include <QPaintEvent>
#include <QPainter>

#include "acquisition/MapPickerTiles.h"
#include "resources/Resources.h"

LocalLoaderMapPicker::LocalLoaderMapPicker(QWidget* parent)
    : QWidget(parent)
{
    Fenlark::initResources();
    setAttribute(Qt::WA_StaticContents);
    setMouseTracking(true);
    image = QImage(MapPictureCache::resourcePath(MapPicker::areas()[0].initialImage));
    resize(image.size());
    setMinimumSize(image.size());
    setMaximumSize(image.size());
    setObjectName(QStringLiteral("LocalLoaderMapPicker"));
}

void LocalLoaderMapPicker::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.drawImage(event->rect(), image, event->rect());
}

QImage MapPictureCache::picture(int area, int tile)
{
    if (area < 0 || area >= MapPicker::areaCount)
        return {};
    const MapPickerArea& range = MapPicker::areas()[area];
    if (tile != 0 && (tile < range.firstTile || tile > range.lastTile))
        return {};
    if (area != area_) {
        pictures_.clear();
        area_ = area;
    }
    auto found = pictures_.constFind(tile);
    if (found != pictures_.constEnd())
        return *found;
    const char* name = tile == 0 ? range.initialImage : MapPicker::tile(tile)->image;
    Fenlark::initResources();
    const QImage image(resourcePath(name));
    pictures_.insert(tile, image);
    return image;
}

QString MapPictureCache::resourcePath(const char* name)
{
    return QStringLiteral(":/map/maps/%1.jpg").arg(QLatin1String(name));
}
