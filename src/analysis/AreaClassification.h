#pragma once

// Classification of a rectangular image area with a trained network, and
// the relevancy maps made from it.
//
// The caller reads the network's channels for a window W x H around the
// area (innerW x innerH, centred; the callers leave 12 pixels on each
// side). For the window sizes 7 x 7, 9 x 9 and 11 x 11 each inner pixel gets
// the window statistics the network names, and the network classifies it;
// a relevancy map per class then takes, per pixel, the strongest of the
// three results. Runs in the caller's thread; the per-pixel work is spread
// over the OpenMP threads with the same result on any number of threads.
// Timing lines go to standard output.

#include <string>
#include <vector>

#include "analysis/NatNetClassifier.h"
#include "analysis/NatNetInfo.h"

// results gets three entries (window half-sizes 3, 4, 5), each one list per
// class of one value per inner pixel (row-major): the pixel's relevancy when
// the network assigned it to that class, else 0.
//
// The network is one reading of its natNet file (readNatNet): its header
// and its training points. False, with the reason in *error when given and
// three empty entries in results, when the reading failed (the file cannot
// be read, the network is invalid), the channels are not one W x H image per
// network channel, the inner area lies less than 5 pixels inside the window,
// the classes do not separate, a step gives non-finite positions, or memory
// runs out.
bool classifyArea(const std::vector<std::vector<double>>& channels, int innerW, int innerH, int W, int H,
                  std::vector<std::vector<std::vector<double>>>& results, const NatNetReading& network,
                  ClassificationError* error = nullptr);
// The same with the network's file read once here; only its directory and
// file name are taken from the description.
bool classifyArea(const std::vector<std::vector<double>>& channels, int innerW, int innerH, int W, int H,
                  std::vector<std::vector<std::vector<double>>>& results, NatNetInfo network,
                  ClassificationError* error = nullptr);

// Features of one window size: samples gets innerW x innerH lists of M x K
// values (M channels, K statistics names), row-major: value c x K + s of a
// pixel is statistic s over the (2 half + 1)^2 values of channel c around
// it. The names are "mean", "std" (population), "min", "max", and "meanGL5"
// and "meanGL3", the window means of the 5 x 5 and 3 x 3 graph-Laplacian
// images of the channel; any other name gives 0. False, writing nothing,
// when a channel is not W x H or the inner area lies less than half pixels
// inside the window.
bool computeClassificationFeatures(const std::vector<std::vector<double>>& channels, int innerW, int innerH,
                                   int W, int H, int half, const std::vector<std::string>& statisticsNames,
                                   std::vector<double>& samples);

// One map of width x height values per entry of maps (an empty list gives
// nothing): per pixel the largest of 1 / (1 + e^((0.5 - o) x 12)) over the
// results' values o of that class (0 for o = 0, and for a class a result
// does not hold), stretched to [0, 1] over the map (all 0 when it is flat).
bool computeRelevancyMap(const std::vector<std::vector<std::vector<double>>>& results, int width, int height,
                         std::vector<std::vector<double>>& maps);
