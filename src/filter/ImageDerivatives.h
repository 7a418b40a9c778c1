#pragma once

// Pixel-grid derivatives of float images: central-difference gradients, the
// gradient norm, the edge detector of one or three channels, the per-pixel
// largest gradient over three channels and the magnitude of a weighted graph
// Laplacian.
//
// Images are row-major width x height arrays, x to the right and y downwards.
// A neighbour outside the image takes a fallback value, as a rule the pixel's
// own value (no flux across the border). No function allocates its output:
// the caller passes arrays of the right size. The functions run on the
// calling thread; all but the graph Laplacian print their elapsed time to
// standard output. A null output or required input array makes a function do
// nothing.

#include <cstdint>

// flags = {right, left, next row, previous row} neighbour exists.
void neighbourFlags(std::uint8_t flags[4], int x, int y, int width, int height);

// gx = (R - L) * 0.5 * scale, gy = (D - U) * 0.5 * scale; gy grows towards
// larger row numbers. Prints "Gradients: elapsed time : ...".
void computeGradients(const float* image, float* gx, float* gy, int width, int height, double scale);

// out = sqrt(gx^2 + gy^2). Without the gradient pair (both null, or only one
// of them given, which counts as not given) the gradients are derived from
// image with scale 1; with no image either nothing happens. Prints
// "Norm of gradients: elapsed time: ...".
void computeGradientNorm(float* out, int width, int height, const float* gx, const float* gy, const float* image);

// g = 1 / (K s1^2 + 1) for one channel, 1 / (K (s1^2 + s2^2 + s3^2) / 3 + 1)
// for three. s2 and s3 count only when both are given. Prints
// "Edge detector: elapsed time : ...".
void computeEdgeDetector(float* out, const float* s1, const float* s2, const float* s3, int count, double K);

// Per pixel the signed x gradient of largest magnitude over the three
// channels, and independently the y gradient; ties go to the first channel.
// Prints "Max gradients: elapsed time : ...".
void computeMaxGradients(float* outX, float* outY, const float* gx1, const float* gy1, const float* gx2,
                         const float* gy2, const float* gx3, const float* gy3, int count);

// |sum over the 3 x 3 (type 3) or 5 x 5 (type 5) neighbourhood of
// weight * (c - neighbour)|, weights 1 / distance. Other types do nothing.
// count is clamped to width * height. Prints nothing.
void computeGraphLaplacian(const float* image, int count, float* out, int type, int width, int height);
