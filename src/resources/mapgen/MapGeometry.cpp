#include "MapGeometry.h"

#include <algorithm>
#include <cmath>
#include <string>

#include <GeographicLib/MGRS.hpp>
#include <GeographicLib/UTMUPS.hpp>

#include "acquisition/MapPickerTiles.h"

namespace MapGeometry {

namespace {

constexpr double earthRadius = 6378137.0; // Web-Mercator sphere
constexpr double tileSide = 109800.0;      // a Sentinel-2 tile, metres
constexpr double squareSide = 100000.0;    // an MGRS square

// The reference rows and which of their outline points is which corner
// (0 north-west, 1 north-east, 2 south-east, 3 south-west). Where the
// picture's edge cuts a tile, the cut points are no corners and stay out.
struct Reference {
    int tile;
    std::vector<std::pair<int, int>> cornerToPoint;
};

const std::vector<Reference>& references()
{
    static const std::vector<Reference> list = {
        {1, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},  {3, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {5, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},  {12, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {32, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}}, {55, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {70, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}}, {89, {{2, 2}, {3, 3}}},
        {90, {{0, 0}, {2, 3}, {3, 4}}},
    };
    return list;
}

// Solves the 3 x 3 system m x = r by Cramer's rule (the normal equations of
// an affine fit are small and well conditioned once the points spread).
std::array<double, 3> solve3(const std::array<std::array<double, 3>, 3>& m, const std::array<double, 3>& r)
{
    auto det = [](const std::array<std::array<double, 3>, 3>& a) {
        return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0])
               + a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
    };
    const double d = det(m);
    std::array<double, 3> out{};
    for (int column = 0; column < 3; ++column) {
        auto replaced = m;
        for (int row = 0; row < 3; ++row)
            replaced[row][column] = r[row];
        out[column] = det(replaced) / d;
    }
    return out;
}

} // namespace

bool isReferenceTile(int number)
{
    return std::any_of(references().begin(), references().end(),
                       [number](const Reference& reference) { return reference.tile == number; });
}

QPointF Affine::inverted(QPointF p) const
{
    const double det = a * e - b * d;
    const double x = p.x() - c;
    const double y = p.y() - f;
    return {(e * x - b * y) / det, (-d * x + a * y) / det};
}

QPointF mercator(double latitude, double longitude)
{
    const double rad = M_PI / 180.0;
    return {earthRadius * longitude * rad, earthRadius * std::log(std::tan(M_PI / 4 + latitude * rad / 2))};
}

QPointF geographic(QPointF m)
{
    const double deg = 180.0 / M_PI;
    return {m.x() / earthRadius * deg, (2 * std::atan(std::exp(m.y() / earthRadius)) - M_PI / 2) * deg};
}

std::array<QPointF, 4> tileCorners(const QString& name)
{
    int zone = 0;
    bool north = true;
    double easting = 0;
    double northing = 0;
    int precision = 0;
    // Without centring, the south-west corner of the 100 km square.
    GeographicLib::MGRS::Reverse(name.toStdString(), zone, north, easting, northing, precision, false);
    const double west = easting;
    const double top = northing + squareSide;
    const std::array<std::pair<double, double>, 4> utm = {
        {{west, top}, {west + tileSide, top}, {west + tileSide, top - tileSide}, {west, top - tileSide}}};
    std::array<QPointF, 4> corners;
    for (int i = 0; i < 4; ++i) {
        double latitude = 0;
        double longitude = 0;
        GeographicLib::UTMUPS::Reverse(zone, north, utm[i].first, utm[i].second, latitude, longitude);
        corners[i] = mercator(latitude, longitude);
    }
    return corners;
}

Fit fitArea(int area)
{
    struct Pair {
        QPointF from;
        QPointF to;
    };
    std::vector<Pair> pairs;
    for (const Reference& reference : references()) {
        const MapPickerTile* tile = MapPicker::tile(reference.tile);
        if (tile->area != area)
            continue;
        const std::array<QPointF, 4> corners = tileCorners(QString::fromLatin1(tile->name));
        for (const auto& [corner, point] : reference.cornerToPoint)
            pairs.push_back({corners[corner], QPointF(tile->outline[point].x, tile->outline[point].y)});
    }
    // Centre the metres first: Web-Mercator values of millions square to
    // numbers that would swamp the fit's precision.
    QPointF centre;
    for (const Pair& pair : pairs)
        centre += pair.from;
    centre /= double(pairs.size());

    std::array<std::array<double, 3>, 3> normal{};
    std::array<double, 3> ru{};
    std::array<double, 3> rv{};
    const double scale = 1e-5;
    for (const Pair& pair : pairs) {
        const std::array<double, 3> row = {(pair.from.x() - centre.x()) * scale, (pair.from.y() - centre.y()) * scale,
                                           1.0};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j)
                normal[i][j] += row[i] * row[j];
            ru[i] += row[i] * pair.to.x();
            rv[i] += row[i] * pair.to.y();
        }
    }
    const std::array<double, 3> u = solve3(normal, ru);
    const std::array<double, 3> v = solve3(normal, rv);
    Fit fit;
    Affine& m = fit.affine;
    m.a = u[0] * scale;
    m.b = u[1] * scale;
    m.c = u[2] - m.a * centre.x() - m.b * centre.y();
    m.d = v[0] * scale;
    m.e = v[1] * scale;
    m.f = v[2] - m.d * centre.x() - m.e * centre.y();

    double sum = 0;
    for (const Pair& pair : pairs) {
        const QPointF delta = m.map(pair.from) - pair.to;
        const double error = std::hypot(delta.x(), delta.y());
        sum += error * error;
        fit.maxError = std::max(fit.maxError, error);
    }
    fit.rmsError = std::sqrt(sum / double(pairs.size()));
    return fit;
}

std::vector<QPointF> clippedOutline(const std::array<QPointF, 4>& corners)
{
    const double right = MapPicker::pictureWidth - 1;
    const double bottom = MapPicker::pictureHeight - 1;
    std::vector<QPointF> polygon(corners.begin(), corners.end());
    // Sutherland-Hodgman against the four edges of the picture.
    auto clip = [&polygon](auto inside, auto cut) {
        std::vector<QPointF> out;
        for (size_t i = 0; i < polygon.size(); ++i) {
            const QPointF current = polygon[i];
            const QPointF previous = polygon[(i + polygon.size() - 1) % polygon.size()];
            if (inside(current)) {
                if (!inside(previous))
                    out.push_back(cut(previous, current));
                out.push_back(current);
            } else if (inside(previous)) {
                out.push_back(cut(previous, current));
            }
        }
        polygon = out;
    };
    auto atX = [](double x) {
        return [x](QPointF p, QPointF q) { return QPointF(x, p.y() + (q.y() - p.y()) * (x - p.x()) / (q.x() - p.x())); };
    };
    auto atY = [](double y) {
        return [y](QPointF p, QPointF q) { return QPointF(p.x() + (q.x() - p.x()) * (y - p.y()) / (q.y() - p.y()), y); };
    };
    clip([](QPointF p) { return p.x() >= 0; }, atX(0));
    clip([right](QPointF p) { return p.x() <= right; }, atX(right));
    clip([](QPointF p) { return p.y() >= 0; }, atY(0));
    clip([bottom](QPointF p) { return p.y() <= bottom; }, atY(bottom));

    std::vector<QPointF> rounded;
    for (const QPointF& p : polygon) {
        const QPointF r(std::round(p.x()), std::round(p.y()));
        if (rounded.empty() || rounded.back() != r)
            rounded.push_back(r);
    }
    while (rounded.size() > 1 && rounded.front() == rounded.back())
        rounded.pop_back();
    return rounded;
}

} // namespace MapGeometry
