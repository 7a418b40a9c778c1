#pragma once

// The filters of the diffusion step, apart from the filtering object so that
// code choosing a filter needs no sparse-matrix headers.

namespace Filter {

enum FilterType : int {
    linear = 0,        // linear diffusion
    nonlinear = 1,     // nonlinear (edge-stopping) diffusion
    geometricMCF = 2,  // geometric mean-curvature flow
};

} // namespace Filter
