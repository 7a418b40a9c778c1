// The map page of the remote catalogue window: a Web-Mercator view with a
// graticule under the map tiles (without a network the graticule alone
// shows). Dragging pans, the wheel zooms and two right clicks mark the
// corners of the search rectangle. The window reads the corner properties of
// the root item.
import QtQuick

Rectangle {
    id: page

    property var firstCoordinate: null
    property var secondCoordinate: null
    property double firstLatitude: 0
    property double firstLongitude: 0
    property double secondLatitude: 0
    property double secondLongitude: 0
    property bool rectangleSet: false

    // The view: centre and zoom level (fractional while the wheel turns;
    // tiles come from the nearest whole level, scaled).
    property double centerLatitude: 48.74371
    property double centerLongitude: 18.91373
    property double zoomLevel: 5
    readonly property double minimumZoom: 1
    readonly property double maximumZoom: 19
    readonly property double maximumLatitude: 85.05112878
    readonly property int tileSize: 256
    readonly property double worldSize: tileSize * Math.pow(2, zoomLevel)
    // "{z}/{x}/{y}" address of the tile server, given by the window.
    readonly property string tileTemplate: typeof mapTileTemplate === "undefined" ? "" : mapTileTemplate
    readonly property var tiles: visibleTiles(width, height, centerLatitude, centerLongitude, zoomLevel)

    color: "#e6edf0"
    clip: true

    // Web-Mercator position of a longitude and latitude, both 0..1.
    function unitX(longitude) {
        return (longitude + 180) / 360
    }
    function unitY(latitude) {
        var phi = Math.max(-maximumLatitude, Math.min(maximumLatitude, latitude)) * Math.PI / 180
        return (1 - Math.log(Math.tan(phi) + 1 / Math.cos(phi)) / Math.PI) / 2
    }
    function longitudeOf(x) {
        return x * 360 - 180
    }
    function latitudeOf(y) {
        var n = Math.PI * (1 - 2 * y)
        return Math.atan(0.5 * (Math.exp(n) - Math.exp(-n))) * 180 / Math.PI
    }
    function screenX(longitude) {
        return (unitX(longitude) - unitX(centerLongitude)) * worldSize + width / 2
    }
    function screenY(latitude) {
        return (unitY(latitude) - unitY(centerLatitude)) * worldSize + height / 2
    }
    function coordinateAt(x, y) {
        return {
            latitude: latitudeOf(unitY(centerLatitude) + (y - height / 2) / worldSize),
            longitude: longitudeOf(unitX(centerLongitude) + (x - width / 2) / worldSize)
        }
    }

    function visibleTiles(viewWidth, viewHeight, latitude, longitude, zoom) {
        var out = []
        if (tileTemplate.length === 0 || viewWidth <= 0 || viewHeight <= 0)
            return out
        var z = Math.max(0, Math.min(19, Math.round(zoom)))
        var n = Math.pow(2, z)
        var world = tileSize * Math.pow(2, zoom)
        var size = world / n
        var left = unitX(longitude) - viewWidth / 2 / world
        var top = unitY(latitude) - viewHeight / 2 / world
        var x0 = Math.floor(left * n), x1 = Math.floor((left + viewWidth / world) * n)
        var y0 = Math.max(0, Math.floor(top * n)), y1 = Math.min(n - 1, Math.floor((top + viewHeight / world) * n))
        for (var ty = y0; ty <= y1; ++ty) {
            for (var tx = x0; tx <= x1; ++tx) {
                var wrapped = ((tx % n) + n) % n
                out.push({
                    url: tileTemplate.replace("{z}", z).replace("{x}", wrapped).replace("{y}", ty),
                    x: (tx / n - left) * world,
                    y: (ty / n - top) * world,
                    size: size
                })
            }
        }
        return out
    }

    // A right click: the first corner of a new rectangle, or the second
    // corner that completes the pending one.
    function captureCoordinate(latitude, longitude) {
        var coordinate = { latitude: latitude, longitude: longitude }
        if (firstCoordinate === null) {
            firstCoordinate = coordinate
            secondCoordinate = null
            firstLatitude = latitude
            firstLongitude = longitude
            firstMarker.visible = true
            secondMarker.visible = false
            selection.visible = false
            rectangleSet = false
        } else {
            secondCoordinate = coordinate
            secondLatitude = latitude
            secondLongitude = longitude
            selection.visible = true
            secondMarker.visible = true
            firstCoordinate = null
            rectangleSet = true
        }
        if (firstCoordinate !== null)
            console.log("first Coordinate: " + firstCoordinate.latitude + ", " + firstCoordinate.longitude)
        else
            console.log("second Coordinate: " + secondCoordinate.latitude + ", " + secondCoordinate.longitude)
    }

    function panBy(dx, dy) {
        var x = unitX(centerLongitude) - dx / worldSize
        var y = unitY(centerLatitude) - dy / worldSize
        x = x - Math.floor(x)
        centerLongitude = longitudeOf(x)
        centerLatitude = Math.max(-maximumLatitude, Math.min(maximumLatitude, latitudeOf(y)))
    }

    Canvas {
        id: graticule
        anchors.fill: parent

        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            // The finest step that keeps the lines at least 80 pixels apart.
            var steps = [45, 30, 20, 10, 5, 2, 1, 0.5, 0.25, 0.1, 0.05, 0.02, 0.01, 0.005, 0.002, 0.001]
            var step = steps[0]
            for (var i = 0; i < steps.length; ++i) {
                if (page.worldSize * steps[i] / 360 < 80)
                    break
                step = steps[i]
            }
            var west = page.coordinateAt(0, 0).longitude, east = page.coordinateAt(width, 0).longitude
            var north = page.coordinateAt(0, 0).latitude, south = page.coordinateAt(0, height).latitude
            ctx.strokeStyle = "#9fb4bf"
            ctx.fillStyle = "#5d7784"
            ctx.lineWidth = 1
            ctx.font = "10px sans-serif"
            ctx.beginPath()
            for (var lon = Math.ceil(west / step) * step; lon <= east; lon += step) {
                var x = Math.round(page.screenX(lon)) + 0.5
                ctx.moveTo(x, 0)
                ctx.lineTo(x, height)
                ctx.fillText(Number(lon.toFixed(3)) + "°", x + 3, height - 4)
            }
            for (var lat = Math.ceil(south / step) * step; lat <= north; lat += step) {
                var y = Math.round(page.screenY(lat)) + 0.5
                ctx.moveTo(0, y)
                ctx.lineTo(width, y)
                ctx.fillText(Number(lat.toFixed(3)) + "°", 3, y - 3)
            }
            ctx.stroke()
        }

        Connections {
            target: page
            function onWorldSizeChanged() { graticule.requestPaint() }
            function onCenterLatitudeChanged() { graticule.requestPaint() }
            function onCenterLongitudeChanged() { graticule.requestPaint() }
        }
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
    }

    Repeater {
        model: page.tiles
        delegate: Image {
            x: modelData.x
            y: modelData.y
            width: modelData.size
            height: modelData.size
            source: modelData.url
            asynchronous: true
            smooth: true
        }
    }

    Rectangle {
        id: selection
        visible: false
        color: Qt.rgba(0, 1.345, 0.45, 0.47)
        border.width: 2
        x: Math.min(page.screenX(page.firstLongitude), page.screenX(page.secondLongitude))
        y: Math.min(page.screenY(page.firstLatitude), page.screenY(page.secondLatitude))
        width: Math.abs(page.screenX(page.secondLongitude) - page.screenX(page.firstLongitude))
        height: Math.abs(page.screenY(page.secondLatitude) - page.screenY(page.firstLatitude))
    }

    Rectangle {
        id: firstMarker
        visible: false
        width: 10
        height: 10
        radius: 100
        color: "green"
        x: page.screenX(page.firstLongitude) - width / 2
        y: page.screenY(page.firstLatitude) - height / 2
    }

    Rectangle {
        id: secondMarker
        visible: false
        width: 10
        height: 10
        radius: 100
        color: "green"
        x: page.screenX(page.secondLongitude) - width / 2
        y: page.screenY(page.secondLatitude) - height / 2
    }

    MouseArea {
        id: mouse
        anchors.fill: parent
        acceptedButtons: Qt.LeftButton | Qt.RightButton
        property real lastX: 0
        property real lastY: 0

        onPressed: (event) => {
            lastX = event.x
            lastY = event.y
        }
        onPositionChanged: (event) => {
            if (!(event.buttons & Qt.LeftButton))
                return
            page.panBy(event.x - lastX, event.y - lastY)
            lastX = event.x
            lastY = event.y
        }
        onClicked: (event) => {
            if (event.button !== Qt.RightButton)
                return
            var coordinate = page.coordinateAt(event.x, event.y)
            page.captureCoordinate(coordinate.latitude, coordinate.longitude)
        }
        onWheel: (event) => {
            page.zoomLevel = Math.max(page.minimumZoom,
                                      Math.min(page.maximumZoom, page.zoomLevel + event.angleDelta.y / 120))
        }
    }
}
