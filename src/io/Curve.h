#pragma once

// Curve model: points in working-grid pixels, curves and curve sets.

#include <string>
#include <vector>

struct Point2D {
    double x = 0.0;  // column, growing to the right
    double y = 0.0;  // row, growing downwards

    friend bool operator==(const Point2D&, const Point2D&) = default;
};

namespace UI {

class Curve {
public:
    Curve() = default;

    std::vector<Point2D>& points() { return points_; }
    const std::vector<Point2D>& points() const { return points_; }
    void setPoints(const std::vector<Point2D>& points);
    void appendPoints(const std::vector<Point2D>& points);
    void reversePoints();
    std::string closedText() const { return closed ? "closed" : "open"; }
    void setName(std::string text) { name = std::move(text); }
    void setSegmType(std::string text) { segmType = std::move(text); }

    // Perimeter and signed area from the point list. The curve counts as
    // closed once its first and last points are equal; the flag is never
    // cleared here. The perimeter sums the n - 1 segments from the first to
    // the last point (a closed curve repeats its start, so no closing segment
    // is added). Only a closed curve gets an area: half the shoelace sum over
    // the same segments, positive for a curve running clockwise on the screen
    // (y down); an open curve keeps its area. A curve without points is left
    // as it is.
    void computeGeometry();
    // computeGeometry, then the curve becomes inner (a hole of its set) when
    // it is closed and its signed area is negative, and ordinary otherwise.
    // An open curve is never inner.
    void updateInnerFromGeometry();
    // computeGeometry, then a closed curve of negative area is reversed so
    // that it runs the way outer curves are stored and its area becomes
    // positive. The curve is not inner afterwards. True when it was reversed.
    bool orientAsOuter();

    std::string name;
    std::string segmType = "unknown";
    std::string code = "unknown";
    std::vector<int> color{0, 0, 0, 0};
    std::vector<double> segmParams;
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
    double area = -1.0;
    double perimeter = -1.0;
    bool closed = false;
    bool visible = true;
    bool inner = false;

private:
    std::vector<Point2D> points_;
};

class CurveSet {
public:
    // Thrown by value while a set is built from curves read from a file.
    // The values share the numbering of IO::File::error.
    enum class error : int {
        NoCurves = 2,
        OutsideData = 6,
    };

    // Statistic types: the index of each per-band statistics list.
    enum StatisticType : int {
        Mean = 0,
        StandardDeviation = 1,
        Minimum = 2,
        Maximum = 3,
        MeanGL5 = 4,
        MeanGL3 = 5,
    };
    static constexpr int statisticTypeCount = 6;

    CurveSet() = default;
    explicit CurveSet(const ::std::vector<::std::vector<Point2D>>& pointLists);

    void setName(::std::string text) { name = ::std::move(text); }
    void setType(::std::string text) { type = ::std::move(text); }
    void addCurve(const Curve& curve) { curves.push_back(curve); }
    void addCurveFromPoints(const ::std::vector<Point2D>& points);
    bool allClosed() const;

    ::std::vector<::std::vector<Point2D>> pointLists(int dx, int dy) const;
    ::std::vector<::std::vector<Point2D>> curvePointList(int i) const;
    ::std::vector<::std::string> names() const;
    ::std::vector<::std::string> codes() const;
    ::std::vector<::std::string> segmentationTypes() const;
    ::std::vector<::std::vector<double>> segmentationParams() const;

    void resetStatistics(int bandCount);

    // Mask of the window whose top-left corner is (x0, y0) in working-grid
    // pixels, width x height entries row-major. The mask is resized to the
    // window: entries it had keep their values, new ones are 0 (callers pass
    // an empty list). Each curve in order, moved into window coordinates and
    // without consecutive repeated points, is filled by fillPolygon with 1,
    // or with 0 for an inner curve, so a hole drawn after its outer curve
    // clears what it encloses. Parts of curves outside the window are cut
    // off. A large window is filled on the OpenMP threads, each taking a
    // block of rows; the mask is the same on any number of threads.
    void rasterize(int x0, int y0, int width, int height, ::std::vector<int>& mask) const;
    void updateBoundingBoxes();

    // The per-band list of one statistic type; ::std::out_of_range for a type
    // outside 0..5.
    ::std::vector<double>& statistic(int type);
    const ::std::vector<double>& statistic(int type) const;

    ::std::vector<Curve> curves;
    ::std::string name;
    ::std::string type;
    double minX = 0.0;
    double minY = 0.0;
    double maxX = 0.0;
    double maxY = 0.0;
    bool visible = true;
    ::std::vector<double> mean;
    ::std::vector<double> std;
    ::std::vector<double> min;
    ::std::vector<double> max;
    ::std::vector<double> meanGL5;
    ::std::vector<double> meanGL3;
};

} // namespace UI
