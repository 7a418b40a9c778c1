#include "evolution/CurveMath.h"

#include <cmath>

double signum(double v)
{
    if (v > 0.0)
        return 1.0;
    if (v == 0.0)
        return 0.0;
    return -1.0;
}

double pointDistance(double x1, double y1, double x2, double y2)
{
    const double dx = x1 - x2;
    const double dy = y1 - y2;
    return std::sqrt(dx * dx + dy * dy);
}
