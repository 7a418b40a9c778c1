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
