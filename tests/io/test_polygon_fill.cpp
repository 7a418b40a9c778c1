// The scanline fill: the pixel-centre rule on its boundaries, agreement with
// a point-in-polygon test on generic polygons, cutting at the window and the
// guards against masks, windows and coordinates it cannot use.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include <gtest/gtest.h>

#include "io/PolygonFill.h"
#include "support/Masks.h"

namespace {

using TestSupport::maskOf;

std::vector<int> filled(const std::vector<Point2D>& polygon, int width, int height, int value = 1)
{
    std::vector<int> mask(static_cast<std::size_t>(width) * height, 0);
    fillPolygon(polygon, width, height, mask, value);
    return mask;
}

// Even-odd point-in-polygon test by counting crossings of a ray to the
// right; agrees with the fill wherever no edge passes through the point.
bool insideByCrossings(const std::vector<Point2D>& polygon, double px, double py)
{
    bool inside = false;
    const std::size_t n = polygon.size();
    for (std::size_t i = 0; i < n; ++i) {
        const Point2D& a = polygon[i];
        const Point2D& b = polygon[(i + 1) % n];
        if ((a.y > py) != (b.y > py)) {
            const double x = a.x + (py - a.y) * (b.x - a.x) / (b.y - a.y);
            if (px < x)
                inside = !inside;
        }
    }
    return inside;
}

// A generic polygon: no coordinate a multiple of 0.5, no two equal rows.
std::vector<Point2D> randomPolygon(std::uint32_t seed, int points, double left, double top, double size)
{
    std::uint32_t h = seed;
    auto next = [&h] {
        h = h * 1664525u + 1013904223u;
        return static_cast<double>(h >> 8) / 16777216.0;
    };
    std::vector<Point2D> polygon;
    for (int i = 0; i < points; ++i)
        polygon.push_back({left + size * next() + 1e-7, top + size * next() + 3e-7});
    return polygon;
}

} // namespace

TEST(FillPolygon, PixelCentresOnTheBoundary)
{
    struct Case {
        const char* name;
        std::vector<Point2D> polygon;
        int columns[2]; // first and last column set
        int rows[2];    // first and last row set
    };
    // Columns: a centre on the left or the right edge is inside. Rows: a
    // centre on the top edge is inside, one on the bottom edge is not.
    const Case cases[] = {
        {"corners on pixel corners", {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, {0, 3}, {0, 3}},
        {"edges through pixel centres", {{0.5, 0.5}, {2.5, 0.5}, {2.5, 2.5}, {0.5, 2.5}}, {0, 2}, {0, 1}},
        {"edges just past pixel centres", {{0.51, 0.51}, {2.49, 0.51}, {2.49, 2.49}, {0.51, 2.49}}, {1, 1}, {1, 1}},
        {"counter-clockwise corners on pixel corners", {{1, 1}, {1, 3}, {5, 3}, {5, 1}}, {1, 4}, {1, 2}},
    };
    for (const auto& c : cases) {
        const auto expected = maskOf(7, 6, [&](int x, int y) {
            return x >= c.columns[0] && x <= c.columns[1] && y >= c.rows[0] && y <= c.rows[1];
        });
        EXPECT_EQ(filled(c.polygon, 7, 6), expected) << c.name;
        auto closed = c.polygon;
        closed.push_back(closed.front());
        EXPECT_EQ(filled(closed, 7, 6), expected) << c.name << ", start repeated";
    }

    // The hypotenuse x + y = 10 runs through the centres of the pixels
    // (9 - y, y), which count as inside.
    EXPECT_EQ(filled({{0, 0}, {10, 0}, {0, 10}, {0, 0}}, 12, 11), maskOf(12, 11, [](int x, int y) {
                  return x + y <= 9;
              }));
}

TEST(FillPolygon, AgreesWithCrossingCountsOnGenericPolygons)
{
    // Convex, concave and self-intersecting polygons, inside the window and
    // reaching out of it on every side.
    struct Case {
        const char* name;
        std::vector<Point2D> polygon;
    };
    std::vector<Case> cases{
        {"star", {{10.2, 0.3}, {16.1, 18.7}, {1.3, 6.9}, {19.4, 7.1}, {4.1, 18.2}}},
    };
    for (std::uint32_t seed = 1; seed <= 12; ++seed) {
        cases.push_back({"inside", randomPolygon(seed, 3 + static_cast<int>(seed), 0.1, 0.1, 19.0)});
        cases.push_back({"reaching out", randomPolygon(seed * 77, 3 + static_cast<int>(seed), -9.3, -7.7, 40.0)});
    }
    const int w = 21;
    const int h = 19;
    for (const auto& c : cases) {
        const auto expected = maskOf(w, h, [&](int x, int y) { return insideByCrossings(c.polygon, x + 0.5, y + 0.5); });
        EXPECT_EQ(filled(c.polygon, w, h), expected) << c.name;
    }
}

TEST(FillPolygon, TheWindowCutsOutThePartOfALargerWindow)
{
    // Coordinates in quarters and edges that span a power of two of rows
    // keep every crossing exact, so the window's pixels must be exactly those
    // of a window that holds the polygon whole, centres on edges included.
    const std::vector<Point2D> polygon{{-6, -5.5},   {13.5, -9.5}, {22.25, 6.5}, {9.5, 6.5},
                                       {17.5, 22.5}, {-3.25, 20.5}, {4.5, 12.5}, {-8, 10.5}};
    const int w = 15;
    const int h = 13;
    const int pad = 12;
    std::vector<Point2D> shifted = polygon;
    for (auto& p : shifted) {
        p.x += pad;
        p.y += pad;
    }
    const auto big = filled(shifted, w + 2 * pad, h + 2 * pad);
    const auto expected = maskOf(w, h, [&](int x, int y) {
        return big[static_cast<std::size_t>(y + pad) * (w + 2 * pad) + x + pad] == 1;
    });
    EXPECT_EQ(filled(polygon, w, h), expected);
    EXPECT_GT(std::count(expected.begin(), expected.end(), 1), 40);
    EXPECT_GT(std::count(expected.begin(), expected.end(), 0), 10);
}

TEST(FillPolygon, PolygonsFarOutside)
{
    const int w = 6;
    const int h = 5;
    const std::vector<int> none(w * h, 0);
    const std::vector<int> all(w * h, 1);
    // A square far larger than the window covers it; the rows and columns
    // it spans outside are never visited one by one.
    EXPECT_EQ(filled({{-1e12, -1e12}, {1e12, -1e12}, {1e12, 1e12}, {-1e12, 1e12}}, w, h), all);
    EXPECT_EQ(filled({{-1e300, -3}, {1e300, -3}, {1e300, 1e300}, {-1e300, 1e300}}, w, h), all);
    // Squares beside the window on each side.
    const std::vector<Point2D> square{{0, 0}, {3, 0}, {3, 3}, {0, 3}};
    for (const Point2D offset : {Point2D{-3, 1}, Point2D{6, 1}, Point2D{1, -3}, Point2D{1, 5}, Point2D{-50, -50}}) {
        std::vector<Point2D> moved = square;
        for (auto& p : moved) {
            p.x += offset.x;
            p.y += offset.y;
        }
        EXPECT_EQ(filled(moved, w, h), none) << offset.x << ", " << offset.y;
    }
}

TEST(FillPolygon, WritesOnlyWhatTheMaskAndTheWindowHold)
{
    const std::vector<Point2D> cover{{-1, -1}, {9, -1}, {9, 9}, {-1, 9}};

    // A mask shorter than the window: its entries are written, nothing past
    // them (the sanitizer sees any write beyond an exactly sized array).
    std::vector<int> shortMask(10, 0);
    fillPolygon(cover, 4, 4, shortMask, 3);
    EXPECT_EQ(shortMask, std::vector<int>(10, 3));

    // The value written is the caller's; 0 clears.
    std::vector<int> ones(12, 1);
    fillPolygon({{1, 0}, {3, 0}, {3, 3}, {1, 3}}, 4, 3, ones, 0);
    EXPECT_EQ(ones, (std::vector<int>{1, 0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1}));

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        const char* name;
        std::vector<Point2D> polygon;
        int width;
        int height;
    };
    const Case untouched[] = {
        {"NaN coordinate", {{0, 0}, {4, 0}, {4, nan}, {0, 4}}, 4, 4},
        {"infinite coordinate", {{0, 0}, {inf, 0}, {4, 4}, {0, 4}}, 4, 4},
        {"zero width", cover, 0, 4},
        {"negative height", cover, 4, -1},
        {"one point", {{1, 1}}, 4, 4},
        {"flat", {{0, 1}, {4, 1}, {2, 1}}, 4, 4},
        {"empty", {}, 4, 4},
    };
    for (const auto& c : untouched) {
        std::vector<int> mask(16, 5);
        fillPolygon(c.polygon, c.width, c.height, mask, 1);
        EXPECT_EQ(mask, std::vector<int>(16, 5)) << c.name;
    }
    std::vector<int> empty;
    fillPolygon(cover, 4, 4, empty, 1);
    EXPECT_TRUE(empty.empty());
}
