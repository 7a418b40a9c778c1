#pragma once

// Band statistics of a whole curve set, and offset curve sets.
//
// computeCurveSetStatistics measures a curve set against bands of its data
// set: per band the mean, standard deviation, minimum and maximum of the band
// values inside the set and, on request, the means of the 5 x 5 and 3 x 3
// graph-Laplacian images inside the set. The results go into the set's
// statistics lists at the band's index. Both functions run on the calling
// thread.

#include <vector>

#include "io/Curve.h"

namespace IO {
class File;
}

// What one computeCurveSetStatistics call did beyond reading bands; filled
// when the caller asks for it (tests, profiling).
struct CurveSetStatisticsWork {
    int masks = 0;      // rasterisations of the set itself
    int offsetSets = 0; // offset sets built (one evolution per curve) and rasterised
};

// For each band b of `bands` in order (an empty list means every band of the
// file):
//   - scale h: int(scale) of an ordinary band; the smaller source scale of a
//     derived band (g the larger one);
//   - window in band pixels around the set's bounding box widened by margin
//     band pixels: x0 = int((minX - m) / h), x1 = int((maxX + m) / h + 1),
//     likewise y, m = margin * h; for a derived band with h < g the window is
//     widened outwards to multiples of g. A window reaching outside the data
//     set (x0 < 0, y0 < 0, x1 > width / h, y1 > height / h) ends the call
//     with false before anything of that band is read;
//   - the window's values on the working grid (W = h * w by H = h * hh
//     pixels from (h * x0, h * y0)) and the set's mask over it. Ordinary bands
//     of one scale share one rasterisation; a derived band rasterises afresh;
//   - mean, std, min and max at index b; -1.0 when no pixel of the mask is
//     inside the set;
//   - with type MeanGL5 (4) or MeanGL3 (5) in `types`: the mean of the 5 x 5
//     or 3 x 3 graph-Laplacian image under a mask, into meanGL5 or meanGL3
//     (-1.0 for an empty mask). With margin 0 the mask is that of the set
//     offset by 2 pixels into the region it fills (offsetCurveSet, each
//     offset curve keeping the inner flag of its source curve), built once
//     per scale for ordinary bands and afresh for a derived band; with a
//     margin it is the set's own mask.
// A statistics list shorter than the file's band count grows with -1.0
// when it is first written; lists not written stay as they are.
//
// False, with the bands done before keeping their results: null file, a
// band index out of range, a scale below 1 (or a derived band without two
// source scales), a window outside the data set or without pixels, a read
// that throws IO::File::error or delivers too few values, a window of more
// than INT_MAX pixels, or memory running out. True otherwise.
bool computeCurveSetStatistics(UI::CurveSet& set, IO::File* file, int level, std::vector<int> bands,
                               std::vector<int> types, int margin);
// The same, counting the work into *work when work is not null.
bool computeCurveSetStatistics(UI::CurveSet& set, IO::File* file, int level, std::vector<int> bands,
                               std::vector<int> types, int margin, CurveSetStatisticsWork* work);

// Makes out a copy of in (name, type, bounding box, statistics lists) whose
// curves are moved `distance` pixels into the region they fill: an outer
// curve shrinks, an inner curve widens its hole. Each curve is reversed,
// moved into the window of width x height pixels whose top-left corner is
// (x0, y0), and evolved on its own by CurveEvolution at unit normal speed
// (expanding map 1.0, no vector field, curvature influence 0.3) for a time
// equal to distance; its final state, moved back, becomes the new curve.
// The evolution runs in the window grown by one pixel on every side: it
// gives no speed to points on its image's first row or column, where a
// window that hugs the set has the set's leftmost and topmost sides.
// A curve that the evolution drops (too small, outside the window) or that
// does not move (distance below 1) is taken as its reversed points, so out
// has one curve per curve of in, in the same order. The new curves carry
// only their points. in and out may be the same set. Returns out.
UI::CurveSet& offsetCurveSet(UI::CurveSet& out, const UI::CurveSet& in, int width, int height, int x0, int y0,
                             int distance);
