#pragma once

// Small numerical helpers shared by the closed-curve and the open-segment
// evolutions.

// +1.0 for a positive value, 0.0 for zero, -1.0 otherwise (NaN included).
double signum(double v);

// Euclidean distance between (x1, y1) and (x2, y2).
double pointDistance(double x1, double y1, double x2, double y2);
