#pragma once

// The map of the local archive browser on which the user picks a Sentinel-2
// tile, and the cache of its pictures.
//
// The widget only shows a picture; the hover test, the choice and the drawn
// outline belong to LocalLoader, which watches the widget's mouse events.

#include <QHash>
#include <QImage>
#include <QString>
#include <QWidget>

class QPaintEvent;

class LocalLoaderMapPicker : public QWidget {
    Q_OBJECT

public:
    // Shows the first area's picture at its own, fixed size.
    explicit LocalLoaderMapPicker(QWidget* parent = nullptr);

    // The picture shown, drawn unscaled from the top-left corner.
    QImage image;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The pictures of one area at a time, decoded on first use. Moving over the
// map asks for a picture at every event; decoding a picture of the map's
// size each time costs far more than the event itself.
class MapPictureCache {
public:
    // The area's picture with the tile filled (tile 0: the area's initial
    // picture). Asking for another area forgets the pictures of the previous
    // one. Null for an area or tile that does not exist.
    QImage picture(int area, int tile);

    // The resource path of a picture name.
    static QString resourcePath(const char* name);

private:
    int area_ = -1;
    QHash<int, QImage> pictures_; // by tile number, 0 for the initial one
};
