// Gradients, gradient norms, edge detectors, largest gradients and the graph
// Laplacian against exact values on polynomial images, plus the fallback
// values at the border and the printed timing lines.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "support/TestSupport.h"
#include "filter/ImageDerivatives.h"

namespace {

const std::string kSeconds = "[-+0-9.e]+s\n";

template <typename F>
std::vector<float> makeImage(int width, int height, F&& f)
{
    std::vector<float> img(static_cast<std::size_t>(width) * height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            img[y * width + x] = static_cast<float>(f(x, y));
    return img;
}

} // namespace

// ---------------------------------------------------------------- neighbour flags

TEST(NeighbourFlags, TellWhichAxialNeighboursExist)
{
    struct Case {
        int x, y, width, height;
        std::uint8_t expected[4]; // right, left, next row, previous row
    };
    const Case cases[] = {
        {0, 0, 3, 3, {1, 0, 1, 0}}, {2, 2, 3, 3, {0, 1, 0, 1}}, {1, 1, 3, 3, {1, 1, 1, 1}},
        {0, 0, 1, 1, {0, 0, 0, 0}}, {2, 0, 5, 1, {1, 1, 0, 0}}, {0, 3, 1, 4, {0, 0, 0, 1}},
    };
    for (const auto& c : cases) {
        std::uint8_t flags[4] = {9, 9, 9, 9};
        neighbourFlags(flags, c.x, c.y, c.width, c.height);
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(flags[k], c.expected[k])
                << c.x << "," << c.y << " in " << c.width << "x" << c.height << " side " << k;
    }
}

// ---------------------------------------------------------------- gradients

TEST(Gradients, CentralDifferencesAreExactOnRampsAndParabolas)
{
    const int w = 5;
    const int h = 4;
    std::vector<float> gx(w * h);
    std::vector<float> gy(w * h);

    // u = x: 1 inside, the halved one-sided difference 0.5 at the sides.
    const auto ramp = makeImage(w, h, [](int x, int) { return x; });
    const std::string printed = TestSupport::capturedStdout([&] { computeGradients(ramp.data(), gx.data(), gy.data(), w, h, 1.0); });
    EXPECT_THAT(printed, testing::MatchesRegex("Gradients: elapsed time : " + kSeconds));
    for (int y = 0; y < h; ++y) {
        EXPECT_EQ(gx[y * w + 0], 0.5f);
        for (int x = 1; x < w - 1; ++x)
            EXPECT_EQ(gx[y * w + x], 1.0f);
        EXPECT_EQ(gx[y * w + w - 1], 0.5f);
        for (int x = 0; x < w; ++x)
            EXPECT_EQ(gy[y * w + x], 0.0f);
    }

    // scale -1 turns the field round.
    TestSupport::capturedStdout([&] { computeGradients(ramp.data(), gx.data(), gy.data(), w, h, -1.0); });
    EXPECT_EQ(gx[1 * w + 2], -1.0f);
    EXPECT_EQ(gx[1 * w + 0], -0.5f);

    // u = x^2 + 3 y^2: central differences of quadratics are exact (2x, 6y);
    // gy grows downwards.
    const auto parabola = makeImage(w, h, [](int x, int y) { return x * x + 3 * y * y; });
    TestSupport::capturedStdout([&] { computeGradients(parabola.data(), gx.data(), gy.data(), w, h, 1.0); });
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const float expectX = x == 0 ? 0.5f : x == w - 1 ? (2.0f * w - 3) / 2 : 2.0f * x;
            const float expectY = y == 0 ? 1.5f : y == h - 1 ? 3.0f * (2 * h - 3) / 2 : 6.0f * y;
            EXPECT_EQ(gx[y * w + x], expectX) << x << "," << y;
            EXPECT_EQ(gy[y * w + x], expectY) << x << "," << y;
        }
    }
}

TEST(Gradients, OnePixelAndConstantImagesHaveNone)
{
    const float one = 7.0f;
    float gx = 1.0f;
    float gy = 1.0f;
    TestSupport::capturedStdout([&] { computeGradients(&one, &gx, &gy, 1, 1, 1.0); });
    EXPECT_EQ(gx, 0.0f);
    EXPECT_EQ(gy, 0.0f);

    const std::vector<float> flat(12, 2.5f);
    std::vector<float> ox(12, 1.0f);
    std::vector<float> oy(12, 1.0f);
    TestSupport::capturedStdout([&] { computeGradients(flat.data(), ox.data(), oy.data(), 4, 3, 1.0); });
    EXPECT_EQ(ox, std::vector<float>(12, 0.0f));
    EXPECT_EQ(oy, std::vector<float>(12, 0.0f));
}

// ---------------------------------------------------------------- gradient norm

TEST(GradientNorm, OfAGivenPairOrDerivedFromTheImage)
{
    const int w = 3;
    const int h = 2;
    const std::vector<float> gx = {3, 0, -5, 1, 0, 8};
    const std::vector<float> gy = {4, 0, 12, 0, -2, 15};
    std::vector<float> out(w * h);
    const std::string printed
        = TestSupport::capturedStdout([&] { computeGradientNorm(out.data(), w, h, gx.data(), gy.data(), nullptr); });
    EXPECT_THAT(printed, testing::MatchesRegex("Norm of gradients: elapsed time: " + kSeconds));
    EXPECT_EQ(out, (std::vector<float>{5, 0, 13, 1, 2, 17}));

    // From the image: the gradients' own line, then the norm's.
    const auto img = makeImage(4, 3, [](int x, int y) { return 3 * x + 4 * y; });
    std::vector<float> norm(12);
    const std::string derived
        = TestSupport::capturedStdout([&] { computeGradientNorm(norm.data(), 4, 3, nullptr, nullptr, img.data()); });
    EXPECT_THAT(derived, testing::MatchesRegex("Gradients: elapsed time : " + kSeconds
                                               + "Norm of gradients: elapsed time: " + kSeconds));
    EXPECT_FLOAT_EQ(norm[1 * 4 + 1], 5.0f);   // inner pixel: (3, 4)
    EXPECT_FLOAT_EQ(norm[0], std::hypot(1.5f, 2.0f)); // corner: halved one-sided differences
}

TEST(GradientNorm, HalfAPairCountsAsNoPair)
{
    const auto img = makeImage(4, 3, [](int x, int y) { return x * y; });
    std::vector<float> expected(12);
    TestSupport::capturedStdout([&] { computeGradientNorm(expected.data(), 4, 3, nullptr, nullptr, img.data()); });

    const std::vector<float> lonely(12, 100.0f);
    std::vector<float> out(12);
    TestSupport::capturedStdout([&] { computeGradientNorm(out.data(), 4, 3, lonely.data(), nullptr, img.data()); });
    EXPECT_EQ(out, expected);
    TestSupport::capturedStdout([&] { computeGradientNorm(out.data(), 4, 3, nullptr, lonely.data(), img.data()); });
    EXPECT_EQ(out, expected);

    // Half a pair and no image: nothing happens, nothing is printed.
    std::vector<float> untouched(12, -1.0f);
    EXPECT_EQ(TestSupport::capturedStdout([&] { computeGradientNorm(untouched.data(), 4, 3, lonely.data(), nullptr, nullptr); }), "");
    EXPECT_EQ(TestSupport::capturedStdout([&] { computeGradientNorm(untouched.data(), 4, 3, nullptr, nullptr, nullptr); }), "");
    EXPECT_EQ(untouched, std::vector<float>(12, -1.0f));
}

// ---------------------------------------------------------------- edge detector

TEST(EdgeDetector, OneAndThreeChannels)
{
    const std::vector<float> s1 = {0.0f, 1.0f, 2.0f, 0.5f};
    const std::vector<float> s2 = {0.0f, 3.0f, 0.0f, 0.5f};
    const std::vector<float> s3 = {0.0f, 0.0f, 1.0f, 0.5f};
    const double K = 4.0;
    std::vector<float> out(4);

    const std::string printed = TestSupport::capturedStdout([&] { computeEdgeDetector(out.data(), s1.data(), nullptr, nullptr, 4, K); });
    EXPECT_THAT(printed, testing::MatchesRegex("Edge detector: elapsed time : " + kSeconds));
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(out[i], 1.0f / (K * s1[i] * s1[i] + 1.0f));
    EXPECT_EQ(out[0], 1.0f); // flat: exactly 1

    TestSupport::capturedStdout([&] { computeEdgeDetector(out.data(), s1.data(), s2.data(), s3.data(), 4, K); });
    for (int i = 0; i < 4; ++i) {
        const double meanSquare = (s1[i] * s1[i] + s2[i] * s2[i] + s3[i] * s3[i]) / 3.0;
        EXPECT_FLOAT_EQ(out[i], static_cast<float>(1.0 / (K * meanSquare + 1.0))) << i;
    }

    // Three equal channels are the one-channel detector.
    std::vector<float> single(4);
    TestSupport::capturedStdout([&] { computeEdgeDetector(out.data(), s1.data(), s1.data(), s1.data(), 4, K); });
    TestSupport::capturedStdout([&] { computeEdgeDetector(single.data(), s1.data(), nullptr, nullptr, 4, K); });
    for (int i = 0; i < 4; ++i)
        EXPECT_FLOAT_EQ(out[i], single[i]);

    // One of the two further channels alone counts as none.
    TestSupport::capturedStdout([&] { computeEdgeDetector(out.data(), s1.data(), s2.data(), nullptr, 4, K); });
    EXPECT_EQ(out, single);
    TestSupport::capturedStdout([&] { computeEdgeDetector(out.data(), s1.data(), nullptr, s3.data(), 4, K); });
    EXPECT_EQ(out, single);

    // K = 0: 1 everywhere.
    TestSupport::capturedStdout([&] { computeEdgeDetector(out.data(), s1.data(), s2.data(), s3.data(), 4, 0.0); });
    EXPECT_EQ(out, std::vector<float>(4, 1.0f));
}

// ---------------------------------------------------------------- max gradients

TEST(MaxGradients, LargestMagnitudeWithItsSignFirstChannelOnTies)
{
    struct Case {
        float a, b, c, expected;
    };
    const Case cases[] = {
        {2, -2, 1, 2}, {-2, 2, 1, -2}, {1, -3, 3, -3}, {0, 0, 0, 0}, {0.5f, 1, -1, 1}, {1, 2, -5, -5},
    };
    const int n = static_cast<int>(std::size(cases));
    std::vector<float> gx1, gx2, gx3, gy1, gy2, gy3;
    for (const auto& c : cases) {
        gx1.push_back(c.a);
        gx2.push_back(c.b);
        gx3.push_back(c.c);
        // y independently: the winner comes from another channel.
        gy1.push_back(c.c);
        gy2.push_back(c.a);
        gy3.push_back(c.b);
    }
    std::vector<float> outX(n);
    std::vector<float> outY(n);
    const std::string printed = TestSupport::capturedStdout([&] {
        computeMaxGradients(outX.data(), outY.data(), gx1.data(), gy1.data(), gx2.data(), gy2.data(), gx3.data(),
                            gy3.data(), n);
    });
    EXPECT_THAT(printed, testing::MatchesRegex("Max gradients: elapsed time : " + kSeconds));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(outX[i], cases[i].expected) << i;
    // y order (c, a, b): ties now favour c.
    EXPECT_EQ(outY[0], 2.0f);  // |1|, |2|, |-2| -> 2 (second channel first)
    EXPECT_EQ(outY[1], -2.0f); // |1|, |-2|, |2| -> -2
    EXPECT_EQ(outY[2], 3.0f);  // |3|, |1|, |-3| -> 3
    EXPECT_EQ(outY[4], -1.0f); // |-1|, |0.5|, |1| -> -1
}

// ---------------------------------------------------------------- graph Laplacian

namespace {

std::vector<float> laplacian(const std::vector<float>& img, int w, int h, int type)
{
    std::vector<float> out(img.size(), -1.0f);
    computeGraphLaplacian(img.data(), static_cast<int>(img.size()), out.data(), type, w, h);
    return out;
}

} // namespace

TEST(GraphLaplacian, ExactOnPolynomialImages)
{
    const int w = 9;
    const int h = 8;
    const double s2 = std::sqrt(2.0);
    struct Case {
        int type;
        int reach;
        double paraboloid; // |L(x^2 + y^2)| inside
    };
    const Case cases[] = {
        {3, 1, 4 + 8 / s2},
        {5, 2, 4 + 8 / s2 + 8 + 32 / std::sqrt(8.0) + 40 / std::sqrt(5.0)},
    };
    const auto linear = makeImage(w, h, [](int x, int y) { return 3 * x - 2 * y + 5; });
    const auto paraboloid = makeImage(w, h, [](int x, int y) { return x * x + y * y; });
    const std::vector<float> flat(w * h, 4.0f);
    for (const auto& c : cases) {
        const auto lin = laplacian(linear, w, h, c.type);
        const auto par = laplacian(paraboloid, w, h, c.type);
        for (int y = c.reach; y < h - c.reach; ++y) {
            for (int x = c.reach; x < w - c.reach; ++x) {
                EXPECT_EQ(lin[y * w + x], 0.0f) << "type " << c.type << " at " << x << "," << y;
                EXPECT_FLOAT_EQ(par[y * w + x], static_cast<float>(c.paraboloid)) << "type " << c.type;
            }
        }
        // Zero flux at the border: a linear image is bent there.
        EXPECT_GT(lin[0], 0.0f);
        EXPECT_EQ(laplacian(flat, w, h, c.type), std::vector<float>(w * h, 0.0f)) << "type " << c.type;
        const float one = 3.0f;
        float out = -1.0f;
        computeGraphLaplacian(&one, 1, &out, c.type, 1, 1);
        EXPECT_EQ(out, 0.0f);
    }
}

TEST(GraphLaplacian, FallbackValuesAtTheBorder)
{
    // Distinct integer values: every sum is exact in single precision.
    const int w = 5;
    const int h = 5;
    const auto img = makeImage(w, h, [](int x, int y) { return (x * 7 + y * 13) % 17 + x * y; });
    auto v = [&](int x, int y) { return static_cast<double>(img[y * w + x]); };
    const double r2 = 1 / std::sqrt(2.0);
    const double r8 = 1 / std::sqrt(8.0);
    const double r5 = 1 / std::sqrt(5.0);

    {
        // Second column (1, 2): x - 2 is missing. The axial far cell and the
        // (x - 2, y +- 1) cells take the left neighbour; (x - 2, y +- 2) the
        // diagonals (x - 1, y +- 1).
        const int x = 1;
        const int y = 2;
        const double c = v(x, y);
        auto d = [&](double value) { return c - value; };
        const double L = v(0, 2);
        const double axial = d(v(2, 2)) + d(L) + d(v(1, 3)) + d(v(1, 1));
        const double diagonal = d(v(2, 3)) + d(v(0, 3)) + d(v(2, 1)) + d(v(0, 1));
        const double axial2 = d(v(3, 2)) + d(L) + d(v(1, 4)) + d(v(1, 0));
        const double diagonal2 = d(v(3, 4)) + d(v(0, 3)) + d(v(3, 0)) + d(v(0, 1));
        const double knight = d(v(3, 3)) + d(v(3, 1)) + d(L) + d(L) + d(v(2, 4)) + d(v(0, 4)) + d(v(2, 0)) + d(v(0, 0));
        const double expected = std::fabs(axial + r2 * diagonal + 0.5 * axial2 + r8 * diagonal2 + r5 * knight);
        EXPECT_FLOAT_EQ(laplacian(img, w, h, 5)[y * w + x], static_cast<float>(expected));
    }
    {
        // Corner (0, 0): left and previous-row cells fall back to the pixel,
        // (x + 2, y - 1) to R, (x - 1, y + 2) to D, far diagonals to the near
        // diagonals (all c except (2, 2) itself).
        const double c = v(0, 0);
        auto d = [&](double value) { return c - value; };
        const double R = v(1, 0);
        const double D = v(0, 1);
        const double axial = d(R) + d(D);
        const double diagonal = d(v(1, 1));
        const double axial2 = d(v(2, 0)) + d(v(0, 2));
        const double diagonal2 = d(v(2, 2));
        const double knight = d(v(2, 1)) + d(R) + d(v(1, 2)) + d(D);
        const double expected3 = std::fabs(axial + r2 * diagonal);
        const double expected5 = std::fabs(axial + r2 * diagonal + 0.5 * axial2 + r8 * diagonal2 + r5 * knight);
        EXPECT_FLOAT_EQ(laplacian(img, w, h, 3)[0], static_cast<float>(expected3));
        EXPECT_FLOAT_EQ(laplacian(img, w, h, 5)[0], static_cast<float>(expected5));
    }
}

TEST(GraphLaplacian, SymmetricUnderMirrorAndTranspose)
{
    // Integer values keep every group sum exact, so the mirrored image's
    // Laplacian is exactly the mirrored Laplacian, border fallbacks included.
    const int w = 7;
    const int h = 6;
    const auto img = makeImage(w, h, [](int x, int y) { return (x * 5 + y * 11 + x * y * 3) % 23; });
    std::vector<float> mirrored(img.size());
    std::vector<float> transposed(img.size());
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            mirrored[y * w + (w - 1 - x)] = img[y * w + x];
            transposed[x * h + y] = img[y * w + x];
        }
    }
    for (int type : {3, 5}) {
        const auto base = laplacian(img, w, h, type);
        const auto m = laplacian(mirrored, w, h, type);
        const auto t = laplacian(transposed, h, w, type);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                EXPECT_EQ(m[y * w + (w - 1 - x)], base[y * w + x]) << "type " << type << " at " << x << "," << y;
                EXPECT_EQ(t[x * h + y], base[y * w + x]) << "type " << type << " at " << x << "," << y;
            }
        }
    }
}

TEST(GraphLaplacian, PrintsNothingAndIgnoresBadArguments)
{
    const int w = 4;
    const int h = 3;
    const auto img = makeImage(w, h, [](int x, int y) { return x * x * y; });
    std::vector<float> out(w * h, -1.0f);
    EXPECT_EQ(TestSupport::capturedStdout([&] { computeGraphLaplacian(img.data(), w * h, out.data(), 3, w, h); }), "");
    EXPECT_EQ(TestSupport::capturedStdout([&] { computeGraphLaplacian(img.data(), w * h, out.data(), 5, w, h); }), "");

    std::vector<float> untouched(w * h, -1.0f);
    computeGraphLaplacian(img.data(), w * h, untouched.data(), 4, w, h); // undefined type
    computeGraphLaplacian(img.data(), 0, untouched.data(), 3, w, h);
    EXPECT_EQ(untouched, std::vector<float>(w * h, -1.0f));

    // A count past the image is cut to the image (ASan sees any read beyond).
    std::vector<float> longer(w * h + 5, -1.0f);
    computeGraphLaplacian(img.data(), w * h + 5, longer.data(), 5, w, h);
    for (int i = 0; i < w * h; ++i)
        EXPECT_EQ(longer[i], out[i]);
    EXPECT_EQ(longer[w * h], -1.0f);
}
