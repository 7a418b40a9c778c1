#pragma once

// Reduction of float rasters by an integer factor, by block averaging or by
// repeated decimation, with optional smoothing and mirror padding.
//
// A raster is a row-major array of width x height floats. Results are new
// arrays made with new[] and owned by the caller (free with delete[]); inputs
// are never modified. The result's size follows from the rules below and is
// not returned.
//
// Mirror padding: a cell beyond an edge takes the cell at the same distance
// inside the edge, the edge cell itself counting as distance 0. A pad wider
// than the raster repeats the far edge cell instead of reading outside.

// Method 0 block averaging, 1 decimation. Null for another method, invalid
// arguments, or when memory runs out.
float* downsampleRaster(const float* raster, int width, int height, int factor, int method, int filter);

// ceil(width / factor) x ceil(height / factor) block means (the right and
// bottom blocks completed by mirror padding), then the filter: 0 none,
// 1 Gaussian 5 x 5, 2 one five-point pass. Null for another filter, invalid
// arguments, or a factor so large that the padded blocks would cover more
// than 4 times the raster (and more than 2^24 cells); throws std::bad_alloc
// when memory runs out.
float* downsampleByAverage(const float* raster, int width, int height, int factor, int filter);

// Rows first .. first + count - 1 of the block means that downsampleByAverage
// computes before its filter, into out (count rows of ceil(width / factor)
// values): the same values, so a caller can reduce a large raster a few rows
// at a time, on several threads, without holding the whole result. False for
// invalid arguments (rows outside the result, the same size bound as
// downsampleByAverage) or when memory runs out; never throws.
bool averageBlockRows(const float* raster, int width, int height, int factor, int first, int count, float* out);

// A power-of-two factor 2^n (n >= 1) halves the raster n times, any other
// factor takes one step with that factor; factor 1 gives null. Each step
// optionally smooths (filter 2: three five-point passes, 1: Gaussian 5 x 5),
// pads odd sizes to even by one mirrored row / column, and keeps every
// factor-th sample of every factor-th row. Null for a filter other than 0, 1
// or 2, invalid arguments or an empty result; throws std::bad_alloc when
// memory runs out.
float* downsampleByDecimation(const float* raster, int width, int height, int factor, int filter);

// passes five-point smoothing passes (0.15 for each axial neighbour, just
// under 0.4 for the centre) into out, which may be the input itself.
bool smoothFivePoint(const float* in, int width, int height, float* out, int passes);

// One 5 x 5 Gaussian convolution into out, which may be the input itself.
bool smoothGaussian5x5(const float* in, int width, int height, float* out);

// New (width + padRight) x (height + padBottom) raster, mirror-padded at the
// right and the bottom.
float* padRasterToMultiple(const float* in, int width, int height, int padRight, int padBottom);

// New (width + 2k) x (height + 2k) raster, mirror-padded on all sides.
float* padRasterBorder(const float* in, int width, int height, int k);
