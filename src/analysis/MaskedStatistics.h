#pragma once

// Statistics of window values under a curve-set mask, and the graph-Laplacian
// images whose masked means serve as texture features.
//
// A mask is a row-major list of ints over a window (see
// UI::CurveSet::rasterize); only entries exactly 1 count as inside. Window
// values are row-major doubles of the same window, as IO::File::readRegion
// delivers them. Nothing here allocates; the statistics of a large window
// are summed on the OpenMP threads (with the same result on any number of
// threads), everything else runs on the calling thread.

#include <vector>

// Over the values whose mask entry is 1: out[0] the mean, out[1] the
// population standard deviation, out[2] the minimum, out[3] the maximum.
// Only the first min(mask.size(), values.size()) entries are looked at.
// When no value is masked, or out holds fewer than four entries, out is left
// as it is (callers pre-fill it with what "no value" should read as).
//
// The sums are taken relative to the first masked value, so values with a
// large common offset (1e8 + small variations) keep their spread.
void computeMaskedStatistics(const std::vector<int>& mask, const std::vector<double>& values,
                             std::vector<double>& out);

// Mean of values[i] over the indices i of the mask whose entry is 1; 0 when
// there is none (or values is null). values holds at least mask.size()
// entries.
double computeMaskedMean(const double* values, const std::vector<int>& mask);

// Graph-Laplacian magnitude of a width x height window of doubles, type 3
// (3 x 3 stencil) or 5 (5 x 5), with the border substitutes of
// filter/GraphLaplacian.h. count is cut to width * height. Any other type, a
// null array, a count below 1 or an empty window writes nothing.
void computeGraphLaplacianDouble(const double* values, int count, double* out, int type, int width, int height);

// out[i] = (a[i] + b[i] + c[i]) / 3 in float for i < count; out may be one of
// the inputs. Prints "Mean GL : elapsed time : <seconds>s". A null array
// makes it do nothing (and print nothing).
void computeMeanGraphLaplacian(float* out, const float* a, const float* b, const float* c, int count);
