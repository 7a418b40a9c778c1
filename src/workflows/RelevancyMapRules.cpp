#include "workflows/RelevancyMapRules.h"

#include <algorithm>
#include <chrono>
#include <cmath>

#include "app/WorkingWindow.h"
#include "io/NumberText.h"
#include "io/StringUtils.h"

namespace RelevancyMaps {

namespace {

// Pixels of margin a classified square needs around it for its windows.
constexpr int kMargin = 12;

int roundedToSix(double value)
{
    return static_cast<int>(value / 6.0 + 0.5) * 6;
}

} // namespace

CreationPlan planCreation(int requested, int areaWidth, int areaHeight, int areaX, int areaY, int dataWidth,
                          int dataHeight)
{
    CreationPlan plan;
    int s = requested == areaWidth ? requested : roundedToSix(requested);
    // A square larger than the working area would be copied past its map.
    if (s > areaWidth || s > areaHeight)
        s = std::min(areaWidth, areaHeight) / 6 * 6;
    plan.side = s;
    if (s < 1 || dataWidth < s + 2 * kMargin || dataHeight < s + 2 * kMargin)
        return plan;

    // A working area at an edge of the data moves inward by the margin (each
    // test on the origin as it was), then stays inside the data.
    int x = areaX == 0 ? kMargin : areaX;
    int y = areaY == 0 ? kMargin : areaY;
    if (areaX + areaWidth + 11 > dataWidth)
        x = areaX - kMargin;
    if (areaY + areaHeight + 11 > dataHeight)
        y = areaY - kMargin;
    plan.areaX = UI::workingWindowStart(x, areaWidth, dataWidth);
    plan.areaY = UI::workingWindowStart(y, areaHeight, dataHeight);

    // The square in the middle of the working area, then where it and its
    // margin lie inside the data.
    const int x0 = plan.areaX + roundedToSix((areaWidth - s) / 2);
    const int y0 = plan.areaY + roundedToSix((areaHeight - s) / 2);
    const int loX = std::max(kMargin, plan.areaX);
    const int hiX = std::min(dataWidth - s - kMargin, plan.areaX + areaWidth - s);
    const int loY = std::max(kMargin, plan.areaY);
    const int hiY = std::min(dataHeight - s - kMargin, plan.areaY + areaHeight - s);
    if (loX > hiX || loY > hiY)
        return plan;
    plan.x0 = std::clamp(x0, loX, hiX);
    plan.y0 = std::clamp(y0, loY, hiY);
    plan.fits = true;
    return plan;
}

bool parseTextMapSize(const std::string& line, TextMapHeader& header)
{
    std::vector<std::string> pieces;
    splitByChar(pieces, line, ' ');
    pieces.erase(std::remove(pieces.begin(), pieces.end(), std::string()), pieces.end());
    if (pieces.size() != 2)
        return false;
    const auto width = IO::parseInteger(pieces[0]);
    const auto height = IO::parseInteger(pieces[1]);
    if (!width || !height || *width < 1 || *height < 1 || *width > 1000000 || *height > 1000000)
        return false;
    header.width = static_cast<int>(*width);
    header.height = static_cast<int>(*height);
    return true;
}

std::uintmax_t textMapCapacity(std::uintmax_t bytes)
{
    return bytes / 2 + bytes % 2;
}

std::string formatTextMap(int width, int height, const std::vector<float>& values)
{
    std::string text = "P2\n" + std::to_string(width) + " " + std::to_string(height) + "\n1\n";
    for (float v : values)
        text += IO::formatNumber(static_cast<double>(v)) + "\n";
    return text;
}

double combinedRelevancy(double value)
{
    return 1.0 / (1.0 + std::exp((1.0 - value - 0.5) * 12.0));
}

MapPart mapPartOf(double value)
{
    if (value < 0.002)
        return MapPart::Black;
    if (value > 0.999)
        return MapPart::White;
    if (value == 0.5)
        return MapPart::None;
    return MapPart::Gray;
}

RandomPoints pickRandomPoints(const UI::RelevancyMap& map, int count, std::mt19937& engine)
{
    std::vector<std::size_t> parts[3];
    for (std::size_t k = 0; k < map.values.size(); ++k) {
        const MapPart part = mapPartOf(static_cast<double>(map.values[k]));
        if (part != MapPart::None)
            parts[static_cast<int>(part)].push_back(k);
    }
    RandomPoints points;
    PointList* lists[3] = {&points.black, &points.white, &points.gray};
    if (map.width < 1)
        return points;
    const std::size_t width = static_cast<std::size_t>(map.width);
    for (int p = 0; p < 3; ++p) {
        std::shuffle(parts[p].begin(), parts[p].end(), engine);
        const std::size_t taken = std::min(parts[p].size(), static_cast<std::size_t>(std::max(count, 0)));
        for (std::size_t i = 0; i < taken; ++i) {
            const std::size_t k = parts[p][i];
            lists[p]->push_back({static_cast<int>(k % width) + map.x, static_cast<int>(k / width) + map.y});
        }
    }
    return points;
}

std::uint32_t timeSeed()
{
    using Ticks = std::chrono::duration<long long, std::ratio<1, 10000000>>;
    const auto ticks = std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    return static_cast<std::uint32_t>(static_cast<unsigned long long>(ticks.count()) & 0xffffffffULL);
}

} // namespace RelevancyMaps
