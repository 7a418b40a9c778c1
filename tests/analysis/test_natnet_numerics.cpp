// Normalisation, principal components and the natural numerical network,
// against hand-computed values and, for the two-stage solve, against the
// whole system solved at once with the library's BiCGSTAB.

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

#include <Eigen/IterativeLinearSolvers>
#include <Eigen/Sparse>
#include <gtest/gtest.h>
#include <omp.h>

#include "analysis/NatNet.h"
#include "analysis/NatNetClassifier.h"
#include "analysis/PCA.h"

namespace {

PlanePoints pointsOf(const std::vector<std::pair<double, double>>& list)
{
    PlanePoints p;
    for (auto [x, y] : list) {
        p.x.push_back(x);
        p.y.push_back(y);
    }
    return p;
}

// Ten class-1 points at (0.2, 0.2), ten class-2 points at (0.8, 0.8), then
// the unlabelled ones given.
struct TwoClusters {
    std::vector<int> labels;
    PlanePoints start;

    explicit TwoClusters(const std::vector<std::pair<double, double>>& unlabelled)
    {
        std::vector<std::pair<double, double>> all(10, {0.2, 0.2});
        all.insert(all.end(), 10, {0.8, 0.8});
        all.insert(all.end(), unlabelled.begin(), unlabelled.end());
        start = pointsOf(all);
        labels.assign(10, 1);
        labels.insert(labels.end(), 10, 2);
        labels.insert(labels.end(), unlabelled.size(), -1);
    }
};

// Random points in clusters around a centre per class, then unlabelled
// points anywhere in the square.
struct RandomNetwork {
    std::vector<int> labels;
    PlanePoints start;
    int unlabelledCount = 0;

    RandomNetwork(int perClass, int unlabelled, unsigned seed)
    {
        std::mt19937 random(seed);
        std::normal_distribution<double> spread(0.0, 0.04);
        std::uniform_real_distribution<double> anywhere(0.0, 1.0);
        const double centres[3][2] = {{0.2, 0.3}, {0.7, 0.25}, {0.45, 0.8}};
        for (int c = 0; c < 3; ++c)
            for (int i = 0; i < perClass; ++i) {
                start.x.push_back(std::clamp(centres[c][0] + spread(random), 0.0, 1.0));
                start.y.push_back(std::clamp(centres[c][1] + spread(random), 0.0, 1.0));
                labels.push_back(c + 1);
            }
        for (int i = 0; i < unlabelled; ++i) {
            start.x.push_back(anywhere(random));
            start.y.push_back(anywhere(random));
            labels.push_back(-1);
        }
        unlabelledCount = unlabelled;
    }
};

} // namespace

TEST(NatNetNormalisation, ConstantFeatureIsZeroAndOutsideValuesLeaveTheSquare)
{
    NatNetClassifier classifier;
    classifier.trainingRows = {{1.0, 5.0, 2.0}, {3.0, 5.0, 4.0}, {2.0, 5.0, 0.0}};
    std::vector<double> mins, maxs;
    classifier.computeNormalization(3, mins, maxs);
    EXPECT_EQ(mins, (std::vector<double>{1.0, 5.0, 0.0}));
    EXPECT_EQ(maxs, (std::vector<double>{3.0, 5.0, 4.0}));
    EXPECT_EQ(classifier.trainingRows,
              (std::vector<std::vector<double>>{{0.0, 0.0, 0.5}, {1.0, 0.0, 1.0}, {0.5, 0.0, 0.0}}));

    std::vector<double> sample = {5.0, 7.0, -2.0};
    NatNetClassifier::normalizeSample(sample, 3, mins, maxs);
    EXPECT_EQ(sample, (std::vector<double>{2.0, 0.0, -0.5}));
}

TEST(NatNetPca, TwoRowsOnALine)
{
    std::vector<std::vector<double>> rows = {{1.0, 0.0}, {3.0, 0.0}};
    PCA pca;
    pca.compute(rows, 2);
    EXPECT_EQ(pca.mean, (std::vector<double>{2.0, 0.0}));
    EXPECT_EQ(pca.covariance, (std::vector<std::vector<double>>{{2.0, 0.0}, {0.0, 0.0}}));
    EXPECT_DOUBLE_EQ(pca.eigenvalues[0], 2.0);
    EXPECT_DOUBLE_EQ(pca.eigenvalues[1], 0.0);
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_DOUBLE_EQ(std::abs(rows[0][0]), 1.0);
    EXPECT_DOUBLE_EQ(rows[0][0], -rows[1][0]);
    EXPECT_DOUBLE_EQ(rows[0][1], 0.0);
    EXPECT_DOUBLE_EQ(rows[1][1], 0.0);
}

TEST(NatNetPca, RotatedCrossGivesItsAxesLargestFirst)
{
    const double a = 2.0;
    const double b = 0.5;
    for (double theta : {0.0, 0.3, 1.1, -2.0}) {
        const double c = std::cos(theta);
        const double s = std::sin(theta);
        auto rotated = [&](double u, double v) { return std::vector<double>{c * u - s * v, s * u + c * v}; };
        std::vector<std::vector<double>> rows = {rotated(a, 0), rotated(-a, 0), rotated(0, b), rotated(0, -b)};
        const std::vector<std::vector<double>> original = rows;
        PCA pca;
        pca.compute(rows, 2);
        EXPECT_NEAR(pca.eigenvalues[0], 2 * a * a / 3, 1e-12) << theta;
        EXPECT_NEAR(pca.eigenvalues[1], 2 * b * b / 3, 1e-12) << theta;
        // The first axis up to its sign, unit length.
        EXPECT_NEAR(std::abs(pca.eigenvectors[0][0] * c + pca.eigenvectors[0][1] * s), 1.0, 1e-12) << theta;
        // A training row projects to its own components.
        for (std::size_t r = 0; r < rows.size(); ++r) {
            std::vector<double> sample = original[r];
            pca.project(sample, 2);
            EXPECT_EQ(sample, rows[r]) << theta;
        }
        EXPECT_NEAR(std::abs(rows[0][0]), a, 1e-12);
        EXPECT_NEAR(std::abs(rows[2][1]), b, 1e-12);
    }
}

TEST(NatNetPca, FewerComponentsCutAndMorePad)
{
    std::vector<std::vector<double>> rows = {{1.0}, {2.0}, {4.0}};
    PCA pca;
    pca.compute(rows, 2);
    for (const auto& row : rows) {
        ASSERT_EQ(row.size(), 2u);
        EXPECT_EQ(row[1], 0.0);
    }
    std::vector<double> sample = {2.0};
    pca.project(sample, 1);
    ASSERT_EQ(sample.size(), 1u);
    EXPECT_DOUBLE_EQ(std::abs(sample[0]), 1.0 / 3.0);
}

TEST(NatNetEvolution, TwoPointsSeparateAfterOneStep)
{
    const std::vector<int> labels = {1, 2};
    NatNet net(2, 2, labels);
    std::vector<PlanePoints> history = {pointsOf({{0.4, 0.525}, {0.6, 0.525}})};
    std::vector<int> out = labels;
    ASSERT_TRUE(net.evolve(history, out, 1.0, 1.0, 0.5, 0, true));
    EXPECT_EQ(net.trainedSteps(), 1);
    ASSERT_EQ(history.size(), 2u);
    const double shift = 0.1 / (1.0 - 0.02 / 1.04);
    EXPECT_NEAR(net.positions.x[0], 0.5 - shift, 1e-9);
    EXPECT_NEAR(net.positions.x[1], 0.5 + shift, 1e-9);
    EXPECT_NEAR(net.positions.y[0], 0.525, 1e-9);
    EXPECT_NEAR(net.positions.y[1], 0.525, 1e-9);
    EXPECT_EQ(history[1].x, net.positions.x);
}

TEST(NatNetEvolution, UnlabelledPointsFollowTheirClusterOrStay)
{
    TwoClusters net({{0.21, 0.2}, {0.5, 0.5}});
    NatNet network(22, 2, net.labels);
    std::vector<PlanePoints> history = {net.start};
    std::vector<int> labels = net.labels;
    ASSERT_TRUE(network.evolve(history, labels, 1.0, 1.0, 0.9, 2, false));
    EXPECT_EQ(network.trainedSteps(), 1);
    EXPECT_NEAR(network.positions.x[0], 0.160526, 1e-6);
    EXPECT_NEAR(network.positions.x[10], 0.839474, 1e-6);
    EXPECT_NEAR(network.positions.x[20], 0.165024, 1e-6);
    EXPECT_NEAR(network.positions.y[20], 0.164115, 1e-6);
    EXPECT_EQ(labels[20], 1);
    EXPECT_DOUBLE_EQ(network.positions.x[21], 0.5);
    EXPECT_DOUBLE_EQ(network.positions.y[21], 0.5);
    EXPECT_EQ(labels[21], -1);

    std::vector<double> relevancy(2, 0.0);
    network.computeRelevancy(net.start, labels, relevancy);
    EXPECT_NEAR(relevancy[0], 0.934113, 1e-5);
    EXPECT_EQ(relevancy[1], 0.0);
}

TEST(NatNetEvolution, PointsThatSolveOutsideTheSquareAreClamped)
{
    // Two classes at the edges push each other out of the square.
    NatNet net(2, 2, {1, 2});
    std::vector<PlanePoints> history = {pointsOf({{0.0, 0.5}, {1.0, 0.5}})};
    std::vector<int> labels = {1, 2};
    ASSERT_TRUE(net.evolve(history, labels, 1.0, 1.0, 0.5, 0, true));
    EXPECT_EQ(history[1].x[0], 0.0);
    EXPECT_EQ(history[1].x[1], 1.0);
}

TEST(NatNetEvolution, ClassesThatNeverSeparateFailAndKeepTheLabels)
{
    // Both classes on one spot: nothing moves them apart.
    NatNet net(5, 2, {1, 1, 2, 2, -1});
    std::vector<PlanePoints> history = {
        pointsOf({{0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}, {0.5, 0.5}, {0.51, 0.5}})};
    std::vector<int> labels = {1, 1, 2, 2, -1};
    EXPECT_FALSE(net.evolve(history, labels, 1.0, 1.0, 0.5, 1, false));
    EXPECT_EQ(net.trainOutcome(), NatNet::Outcome::NotSeparated);
    EXPECT_EQ(net.trainedSteps(), net.maxSteps);
    EXPECT_EQ(labels[4], -1);
}

TEST(NatNetEvolution, HistogramWindowReachesEightCellsBackAndSevenAhead)
{
    // Class 1: two points in cell (row 20, column 20). Class 2: two points
    // far away plus one stray point, alone in its cell (a count below the
    // smallest class, so no candidate, but occupied).
    struct Case {
        const char* name;
        double x1, y1;        // class-1 cell
        double strayX, strayY;
        bool separate;
    };
    const std::vector<Case> cases = {
        {"row r + 8 is outside", 0.205, 0.205, 0.205, 0.285, true},
        {"row r + 7 is inside", 0.205, 0.205, 0.205, 0.275, false},
        {"row r - 8 is inside", 0.205, 0.205, 0.205, 0.125, false},
        {"row r - 9 is outside", 0.205, 0.205, 0.205, 0.115, true},
        {"column c + 8 is outside", 0.205, 0.205, 0.285, 0.205, true},
        {"column c - 8 is inside", 0.205, 0.205, 0.125, 0.205, false},
        {"own 3 x 3 block is ignored", 0.205, 0.205, 0.215, 0.215, true},
        {"row 99 never counts", 0.205, 0.925, 0.205, 0.995, true},
        {"a coordinate of 1 falls into bin 99", 0.205, 1.0, 0.205, 0.905, true},
        {"so row 91 lies in its window", 0.205, 1.0, 0.205, 0.915, false},
        {"0.29 / 0.01 truncates to bin 28", 0.205, 0.375, 0.205, 0.29, true},
        {"0.30 / 0.01 is bin 30, inside", 0.205, 0.375, 0.205, 0.30, false},
    };
    for (const Case& c : cases) {
        const std::vector<int> labels = {1, 1, 2, 2, 2};
        NatNet net(5, 2, labels);
        net.positions = pointsOf({{c.x1, c.y1}, {c.x1, c.y1}, {0.705, 0.605}, {0.705, 0.605}, {c.strayX, c.strayY}});
        std::vector<int> out = labels;
        EXPECT_EQ(net.histogramStop(out, {2, 2}, 0), c.separate) << c.name;
    }
}

TEST(NatNetEvolution, OneClassIsFullyRelevant)
{
    NatNet net(4, 2, {1, 1, 1, -1});
    std::vector<PlanePoints> history = {pointsOf({{0.3, 0.3}, {0.31, 0.3}, {0.3, 0.31}, {0.32, 0.32}})};
    std::vector<int> labels = {1, 1, 1, -1};
    ASSERT_TRUE(net.evolve(history, labels, 1.0, 1.0, 0.5, 1, false));
    EXPECT_EQ(labels[3], 1);
    std::vector<double> relevancy(1, 0.0);
    net.computeRelevancy(history[0], labels, relevancy);
    EXPECT_EQ(relevancy[0], 1.0);
}

// The whole system of each step, built from triplets and solved at once by
// BiCGSTAB with the diagonal preconditioner, as a reference for the
// two-stage solve.
TEST(NatNetEvolution, TwoStageSolveMatchesTheWholeSystem)
{
    const RandomNetwork fixture(40, 240, 7);
    const double Kx = 6.0;
    const double Ky = 4.0;
    const double delta = 0.3;
    const int n = fixture.start.size();
    const int L = n - fixture.unlabelledCount;

    NatNet net(n, 2, fixture.labels);
    std::vector<PlanePoints> history = {fixture.start};
    std::vector<int> labels = fixture.labels;
    ASSERT_TRUE(net.evolve(history, labels, Kx, Ky, delta, fixture.unlabelledCount, true));
    const int steps = static_cast<int>(history.size()) - 1;
    ASSERT_GE(steps, 2) << "the fixture should take more than one step";

    Eigen::VectorXd x = Eigen::Map<const Eigen::VectorXd>(fixture.start.x.data(), n);
    Eigen::VectorXd y = Eigen::Map<const Eigen::VectorXd>(fixture.start.y.data(), n);
    NatNet oracleHistogram(n, 2, fixture.labels);
    std::vector<int> oracleLabels = fixture.labels;
    int oracleSteps = 0;
    for (int step = 0; step < 200; ++step) {
        std::vector<Eigen::Triplet<double>> triplets;
        for (int i = 0; i < n; ++i) {
            double sum = 0.0;
            for (int j = 0; j < L; ++j) {
                if (j == i)
                    continue;
                double w = 1.0 / (Kx * (x[i] - x[j]) * (x[i] - x[j]) + 1.0 + Ky * (y[i] - y[j]) * (y[i] - y[j]));
                if (i < L) {
                    if (fixture.labels[i] != fixture.labels[j])
                        w *= -0.01;
                } else if (!(w >= delta && w > 0.0)) {
                    continue;
                }
                triplets.emplace_back(i, j, -w);
                sum += w;
            }
            triplets.emplace_back(i, i, 1.0 + sum);
        }
        Eigen::SparseMatrix<double, Eigen::RowMajor> matrix(n, n);
        matrix.setFromTriplets(triplets.begin(), triplets.end());
        Eigen::BiCGSTAB<Eigen::SparseMatrix<double, Eigen::RowMajor>, Eigen::DiagonalPreconditioner<double>> solver;
        solver.setTolerance(1e-8);
        solver.compute(matrix);
        x = solver.solveWithGuess(x, x).cwiseMax(0.0).cwiseMin(1.0);
        y = solver.solveWithGuess(y, y).cwiseMax(0.0).cwiseMin(1.0);
        oracleSteps = step + 1;
        for (int k = 0; k < n; ++k) {
            ASSERT_NEAR(history[static_cast<std::size_t>(step + 1)].x[static_cast<std::size_t>(k)], x[k], 1e-7)
                << "step " << step << " point " << k;
            ASSERT_NEAR(history[static_cast<std::size_t>(step + 1)].y[static_cast<std::size_t>(k)], y[k], 1e-7)
                << "step " << step << " point " << k;
        }
        oracleHistogram.positions.x.assign(x.data(), x.data() + n);
        oracleHistogram.positions.y.assign(y.data(), y.data() + n);
        if (oracleHistogram.histogramStop(oracleLabels, oracleHistogram.classSizes, fixture.unlabelledCount))
            break;
    }
    EXPECT_EQ(oracleSteps, steps);
    EXPECT_EQ(oracleLabels, labels);
}

TEST(NatNetEvolution, PixelsChangeNeitherTheTrainingTrajectoryNorItsLength)
{
    const RandomNetwork with(30, 300, 11);
    const RandomNetwork without(30, 0, 11);
    auto run = [](const RandomNetwork& f, std::vector<PlanePoints>& history) {
        NatNet net(f.start.size(), 2, f.labels);
        history = {f.start};
        std::vector<int> labels = f.labels;
        EXPECT_TRUE(net.evolve(history, labels, 5.0, 5.0, 0.4, f.unlabelledCount, true));
    };
    std::vector<PlanePoints> a, b;
    run(with, a);
    run(without, b);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t s = 0; s < a.size(); ++s)
        for (std::size_t k = 0; k < b[s].x.size(); ++k) {
            EXPECT_EQ(a[s].x[k], b[s].x[k]);
            EXPECT_EQ(a[s].y[k], b[s].y[k]);
        }
}

TEST(NatNetEvolution, SameBitsOnOneAndEightThreads)
{
    const RandomNetwork fixture(30, 5000, 5);
    const int L = fixture.start.size() - fixture.unlabelledCount;
    PlanePoints training;
    training.x.assign(fixture.start.x.begin(), fixture.start.x.begin() + L);
    training.y.assign(fixture.start.y.begin(), fixture.start.y.begin() + L);
    PlanePoints pixels;
    pixels.x.assign(fixture.start.x.begin() + L, fixture.start.x.end());
    pixels.y.assign(fixture.start.y.begin() + L, fixture.start.y.end());
    const std::vector<int> trainingLabels(fixture.labels.begin(), fixture.labels.begin() + L);

    auto classify = [&](int threads, std::vector<int>& labels, std::vector<double>& relevancy) {
        const int previous = omp_get_max_threads();
        omp_set_num_threads(threads);
        NatNet net(L, 2, trainingLabels);
        ASSERT_TRUE(net.train(training, trainingLabels, 5.0, 5.0, 0.4));
        labels.assign(pixels.x.size(), 0);
        relevancy.assign(pixels.x.size(), 0.0);
        ASSERT_TRUE(net.classify(pixels, labels));
        net.relevancies(pixels, labels, relevancy);
        omp_set_num_threads(previous);
    };
    std::vector<int> labels1, labels8;
    std::vector<double> relevancy1, relevancy8;
    classify(1, labels1, relevancy1);
    classify(8, labels8, relevancy8);
    EXPECT_EQ(labels1, labels8);
    EXPECT_EQ(relevancy1, relevancy8);
    EXPECT_GT(std::count_if(labels1.begin(), labels1.end(), [](int l) { return l > 0; }), 0);
}

TEST(NatNetEvolution, EuclideanDistanceRunsOverTheFirstList)
{
    EXPECT_DOUBLE_EQ(euclideanDistance({0.0, 0.0}, {3.0, 4.0}), 5.0);
    EXPECT_DOUBLE_EQ(euclideanDistance({1.0}, {4.0, 100.0}), 3.0);
}
