// The map page of the remote catalogue window: a Web-Mercator view with a
// graticule under the map tiles (without a network the graticule alone
// shows). Dragging pans, the wheel zooms and two right clicks mark the
// corners of the search rectangle. The window reads the corner properties of
// the root item; they always lie inside the world (longitudes -180..180,
// latitudes within the map's), whichever copy of the world was clicked.
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
    // The corners are drawn this many degrees (whole turns) east of their
    // longitudes: on the copy of the world where they were clicked. Panning
    // across the antimeridian moves it with the view's centre.
    property double drawnShift: 0

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
    function clampLatitude(latitude) {
        return Math.max(-maximumLatitude, Math.min(maximumLatitude, latitude))
    }
    // The whole turns (in degrees) to take off a longitude to bring it into
    // -180..180.
    function wholeTurns(longitude) {
        return 360 * Math.round(longitude / 360)
    }
    // The box between two clicked longitudes, moved by whole turns as one
    // piece until its middle lies in -180..180, so it stays the box that was
    // drawn (moving each corner alone would turn a box across the
    // antimeridian into the rest of the world); what still lies beyond
    // +-180 (the smaller side of a box across the antimeridian, or more than
    // the world) is cut off.
    function boxLongitudes(first, second) {
        var shift = wholeTurns((first + second) / 2)
        return {
            first: Math.max(-180, Math.min(180, first - shift)),
            second: Math.max(-180, Math.min(180, second - shift)),
            shift: shift
        }
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
    // corner that completes the pending one. The arguments are the clicked
    // position on whatever copy of the world (a longitude beyond +-180, a
    // latitude beyond the map's edge); the corners keep it inside the world.
    function captureCoordinate(latitude, longitude) {
        latitude = clampLatitude(latitude)
        if (firstCoordinate === null) {
            var shift = wholeTurns(longitude)
            firstCoordinate = { latitude: latitude, longitude: longitude - shift }
            secondCoordinate = null
            firstLatitude = latitude
            firstLongitude = longitude - shift
            drawnShift = shift
            firstMarker.visible = true
            secondMarker.visible = false
            selection.visible = false
            rectangleSet = false
        } else {
            // The first corner where it was clicked, in the view's frame.
            var box = boxLongitudes(firstLongitude + drawnShift, longitude)
            secondCoordinate = { latitude: latitude, longitude: box.second }
            firstLongitude = box.first
            secondLatitude = latitude
            secondLongitude = box.second
            drawnShift = box.shift
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
        // The centre stays in -180..180; the marks go with it.
        var turns = Math.floor(x)
        x = x - turns
        drawnShift -= 360 * turns
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
        objectName: "selection"
        visible: false
        color: Qt.rgba(0, 1.345, 0.45, 0.47)
        border.width: 2
        x: Math.min(page.screenX(page.firstLongitude + page.drawnShift),
                    page.screenX(page.secondLongitude + page.drawnShift))
        y: Math.min(page.screenY(page.firstLatitude), page.screenY(page.secondLatitude))
        width: Math.abs(page.screenX(page.secondLongitude) - page.screenX(page.firstLongitude))
        height: Math.abs(page.screenY(page.secondLatitude) - page.screenY(page.firstLatitude))
    }

    Rectangle {
        id: firstMarker
        objectName: "firstMarker"
        visible: false
        width: 10
        height: 10
        radius: 100
        color: "green"
        x: page.screenX(page.firstLongitude + page.drawnShift) - width / 2
        y: page.screenY(page.firstLatitude) - height / 2
    }

    Rectangle {
        id: secondMarker
        objectName: "secondMarker"
        visible: false
        width: 10
        height: 10
        radius: 100
        color: "green"
        x: page.screenX(page.secondLongitude + page.drawnShift) - width / 2
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
