#include "analysis/PCA.h"

#include <algorithm>

#include <Eigen/Eigenvalues>

void PCA::compute(std::vector<std::vector<double>>& rows, int k)
{
    if (rows.empty())
        return;
    count = static_cast<int>(rows.size());
    dimension = static_cast<int>(rows.front().size());
    data = rows;
    const std::size_t d = static_cast<std::size_t>(dimension);
    mean.assign(d, 0.0);
    for (const auto& row : data)
        for (std::size_t i = 0; i < d; ++i)
            mean[i] += row[i];
    for (double& m : mean)
        m /= count;

    computeCovariance();
    computeEigenvectors();

    for (auto& row : data)
        for (std::size_t i = 0; i < d; ++i)
            row[i] -= mean[i];
    const std::size_t kept = static_cast<std::size_t>(std::max(k, 0));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        std::vector<double> components(kept, 0.0);
        for (std::size_t j = 0; j < std::min(kept, d); ++j) {
            double sum = 0.0;
            for (std::size_t i = 0; i < d; ++i)
                sum += data[r][i] * eigenvectors[j][i];
            components[j] = sum;
        }
        rows[r] = std::move(components);
    }
}

void PCA::computeCovariance()
{
    const std::size_t d = static_cast<std::size_t>(dimension);
    const double divisor = count > 1 ? count - 1 : 1;
    covariance.assign(d, std::vector<double>(d, 0.0));
    for (std::size_t j = 0; j < d; ++j)
        for (std::size_t k = j; k < d; ++k) {
            double sum = 0.0;
            for (const auto& row : data)
                sum += (row[j] - mean[j]) * (row[k] - mean[k]);
            covariance[j][k] = covariance[k][j] = sum / divisor;
        }
}

void PCA::computeEigenvectors()
{
    const Eigen::Index d = dimension;
    Eigen::MatrixXd c(d, d);
    for (Eigen::Index j = 0; j < d; ++j)
        for (Eigen::Index k = 0; k < d; ++k)
            c(j, k) = covariance[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
    const Eigen::SelfAdjointEigenSolver<Eigen::MatrixXd> solver(c);
    // The solver sorts ascending; the components run from the largest.
    eigenvalues.assign(static_cast<std::size_t>(d), 0.0);
    eigenvectors.assign(static_cast<std::size_t>(d), std::vector<double>(static_cast<std::size_t>(d), 0.0));
    for (Eigen::Index j = 0; j < d; ++j) {
        const Eigen::Index from = d - 1 - j;
        eigenvalues[static_cast<std::size_t>(j)] = solver.eigenvalues()(from);
        for (Eigen::Index i = 0; i < d; ++i)
            eigenvectors[static_cast<std::size_t>(j)][static_cast<std::size_t>(i)] = solver.eigenvectors()(i, from);
    }
}

void PCA::projectInto(const double* sample, double* out, int k) const
{
    const int kept = std::min(k, dimension);
    for (int j = 0; j < kept; ++j) {
        const std::vector<double>& vector = eigenvectors[static_cast<std::size_t>(j)];
        double sum = 0.0;
        for (int i = 0; i < dimension; ++i)
            sum += (sample[i] - mean[static_cast<std::size_t>(i)]) * vector[static_cast<std::size_t>(i)];
        out[j] = sum;
    }
    for (int j = std::max(kept, 0); j < k; ++j)
        out[j] = 0.0;
}

void PCA::project(std::vector<double>& sample, int k) const
{
    std::vector<double> components(static_cast<std::size_t>(std::max(k, 0)), 0.0);
    if (static_cast<int>(sample.size()) >= dimension)
        projectInto(sample.data(), components.data(), k);
    sample = std::move(components);
}
