#include "windows/StatisticsCells.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <stdexcept>

#include "io/NumberText.h"

namespace StatisticsTable {

namespace {

constexpr double kFourPi = 12.566370614359172;

double absoluteArea(const UI::Curve& curve)
{
    return curve.area == -1.0 ? 0.0 : std::abs(curve.area);
}

std::size_t largestCurveCount(const QList<const UI::CurveSet*>& sets)
{
    std::size_t k = 0;
    for (const UI::CurveSet* set : sets)
        k = std::max(k, set ? set->curves.size() : 0);
    return k;
}

// Name rows and curve rows of one set in columns c and c + 1.
void appendSetRows(QList<Cell>& cells, int c, const QString& fileName, const UI::CurveSet& set,
                   double metresPerPixel)
{
    cells.append({0, c, QStringLiteral("File name:")});
    cells.append({0, c + 1, fileName});
    cells.append({1, c, QStringLiteral("CurveSet name:")});
    cells.append({1, c + 1, QString::fromStdString(set.name)});
    for (std::size_t j = 0; j < set.curves.size(); ++j) {
        const UI::Curve& curve = set.curves[j];
        const int r = 2 + 3 * static_cast<int>(j);
        const QString name = QString::fromStdString(curve.name);
        cells.append({r, c, QStringLiteral("Area[m^2] of ") + name});
        cells.append({r, c + 1, areaText(curve, metresPerPixel)});
        cells.append({r + 1, c, QStringLiteral("Perimeter[m] of ") + name});
        cells.append({r + 1, c + 1, perimeterText(curve, metresPerPixel)});
        cells.append({r + 2, c, QStringLiteral("Isoperimetric ratio of ") + name});
        cells.append({r + 2, c + 1, ratioText(curve)});
    }
}

QString distanceText(double pixels, double metresPerPixel)
{
    return pixels == -1.0 ? QStringLiteral("not computed") : fixedText(pixels * metresPerPixel);
}

} // namespace

QString typeLabel(int type)
{
    static const QStringList labels{QStringLiteral("Mean"), QStringLiteral("Std"), QStringLiteral("Min"),
                                    QStringLiteral("Max")};
    return labels.value(type);
}

QString typeKey(int type)
{
    static const QStringList keys{QStringLiteral("mean"), QStringLiteral("std"), QStringLiteral("min"),
                                  QStringLiteral("max")};
    return keys.value(type);
}

QString differenceLabel(int type)
{
    static const QStringList labels{QStringLiteral("Mean - Diff"), QStringLiteral("Std - Diff"),
                                    QStringLiteral("Min - Diff"), QStringLiteral("Max- Diff")};
    return labels.value(type);
}

int blockWidth(int typeCount)
{
    return typeCount == 1 ? 2 : typeCount;
}

int statisticsColumnCount(int setCount, int fileCount, int typeCount)
{
    const int w = blockWidth(typeCount);
    return setCount * fileCount * w + 1 + (fileCount == 2 ? w : 0);
}

int headerRow(int largestCurveCount)
{
    return 3 * largestCurveCount + 3;
}

QString valueText(double value)
{
    return QString::fromStdString(IO::formatNumber(value));
}

QString fixedText(double value)
{
    return QString::fromStdString(IO::formatFixed(value, 3));
}

QString areaText(const UI::Curve& curve, double metresPerPixel)
{
    return fixedText(absoluteArea(curve) * (metresPerPixel * metresPerPixel));
}

QString perimeterText(const UI::Curve& curve, double metresPerPixel)
{
    return fixedText(curve.perimeter * metresPerPixel);
}

QString ratioText(const UI::Curve& curve)
{
    const double p = curve.perimeter;
    return fixedText(p == 0.0 ? 0.0 : kFourPi * absoluteArea(curve) / (p * p));
}

QString statisticText(const UI::CurveSet& set, int type, int band)
{
    try {
        const std::vector<double>& list = set.statistic(type);
        if (band >= 0 && static_cast<std::size_t>(band) < list.size())
            return valueText(list[static_cast<std::size_t>(band)]);
    } catch (const std::out_of_range&) {
    }
    return QStringLiteral("-1");
}

Layout statisticsBlock(const Block& block)
{
    Layout layout;
    const int k = static_cast<int>(largestCurveCount(block.sets));
    const int h = headerRow(k);
    const int m = static_cast<int>(block.bands.size());
    const int w = blockWidth(static_cast<int>(block.types.size()));
    layout.headerRow = h;
    layout.rowCount = m + 3 * k + 4;
    QList<Cell>& cells = layout.cells;
    cells.append({h, 0, QStringLiteral("Channel")});
    for (int i = 0; i < m; ++i)
        cells.append({h + 1 + i, 0, block.channelNames.value(i)});
    for (int s = 0; s < block.sets.size(); ++s) {
        const UI::CurveSet* set = block.sets[s];
        if (!set)
            continue;
        const int c = block.offset + 1 + s * w;
        appendSetRows(cells, c, block.fileName, *set, block.metresPerPixel);
        for (int t = 0; t < block.types.size(); ++t) {
            cells.append({h, c + t, typeLabel(block.types[t])});
            for (int i = 0; i < m; ++i) {
                // A channel the data set lacks has no value.
                if (block.bands[i] >= 0)
                    cells.append({h + 1 + i, c + t, statisticText(*set, block.types[t], block.bands[i])});
            }
        }
    }
    return layout;
}

QList<Cell> differenceCells(int headerRow, int channelCount, const QList<int>& types, int offset,
                            const std::function<QString(int row, int column)>& cellText)
{
    QList<Cell> cells;
    const int w = blockWidth(static_cast<int>(types.size()));
    for (int t = 0; t < types.size(); ++t)
        cells.append({headerRow, offset + 1 + t, differenceLabel(types[t])});
    for (int i = 0; i < channelCount; ++i) {
        const int row = headerRow + 1 + i;
        for (int j = 0; j < types.size(); ++j) {
            const std::optional<double> first = IO::parseDouble(cellText(row, 1 + j).toStdString());
            const std::optional<double> second = IO::parseDouble(cellText(row, 1 + w + j).toStdString());
            if (first && second)
                cells.append({row, offset + 1 + j, valueText(*first - *second)});
        }
    }
    return cells;
}

Layout comparison(const ComparedSet& a, const ComparedSet& b, const Distances& distances, double metresPerPixel)
{
    Layout layout;
    const int k = static_cast<int>(largestCurveCount({a.set, b.set}));
    const int h = 3 * k + 3;
    layout.headerRow = h;
    layout.rowCount = 3 * k + 7;
    QList<Cell>& cells = layout.cells;
    if (a.set)
        appendSetRows(cells, 0, a.fileName, *a.set, metresPerPixel);
    if (b.set)
        appendSetRows(cells, 2, b.fileName, *b.set, metresPerPixel);
    const QString nameA = a.set ? QString::fromStdString(a.set->name) : QString();
    const QString nameB = b.set ? QString::fromStdString(b.set->name) : QString();
    cells.append({h, 0, QStringLiteral("Between ")});
    cells.append({h, 1, QStringLiteral("%1 and %2 ").arg(nameA, nameB)});
    cells.append({h + 1, 0, QStringLiteral("Mean Hausdorff distance [m]:")});
    cells.append({h + 1, 1, distanceText(distances.mean, metresPerPixel)});
    cells.append({h + 2, 0, QStringLiteral("Max Hausdorff distance [m]:")});
    cells.append({h + 2, 1, distanceText(distances.hausdorff, metresPerPixel)});
    cells.append({h + 3, 0, QStringLiteral("95-th percentile of Max Hausdorff distance [m]:")});
    cells.append({h + 3, 1, distanceText(distances.percentile95, metresPerPixel)});
    return layout;
}

} // namespace StatisticsTable
