#pragma once

// Principal components of a small set of rows (training points): the rows
// are centred on their mean and expressed in the eigenvectors of their
// covariance, largest eigenvalue first. The covariance is symmetric, so the
// eigenvectors are real and orthonormal, also for repeated eigenvalues; the
// sign of each is the solver's.

#include <vector>

struct PCA {
    int count = 0;      // rows analysed
    int dimension = 0;  // values per row
    std::vector<std::vector<double>> data;  // the rows, centred after compute
    std::vector<double> mean;
    std::vector<std::vector<double>> covariance;  // dimension x dimension
    std::vector<double> eigenvalues;              // descending
    std::vector<std::vector<double>> eigenvectors;  // row j belongs to eigenvalue j

    // Analyses the rows (all of the first row's length) and replaces each
    // by its first k components, padded with zeros when k exceeds the
    // dimension. Nothing happens for no rows. The covariance divides by
    // count - 1 (by 1 for a single row, whose covariance is then 0).
    void compute(std::vector<std::vector<double>>& rows, int k);
    void computeCovariance();
    void computeEigenvectors();

    // Replaces a sample of `dimension` values by its first k components in
    // the analysed basis.
    void project(std::vector<double>& sample, int k) const;
    // The same into out (k values), reading `dimension` values of sample.
    void projectInto(const double* sample, double* out, int k) const;
};
