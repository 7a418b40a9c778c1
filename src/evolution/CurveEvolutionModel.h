#pragma once

// Semi-implicit Lagrangian scheme that advances one closed curve by one time
// step. Each point moves along the normal with a velocity made of a
// curvature term and an external term (vector field and scalar map), and
// along the tangent by a redistribution that keeps the segment lengths even.
// The curvature term and the tangential advection are implicit, so a step is
// one periodic tridiagonal solve per coordinate.
//
// One model serves a whole run: every curve is passed through `curve` by
// exchanging array storage, and the work arrays keep their capacity from
// step to step.

#include "evolution/EvolvingCurve.h"

#include <vector>

class CurveEvolutionModel {
public:
    // Upwind parts of the tangential velocity at a point.
    struct Upwind {
        double u0 = 0.0;
        double u1 = 0.0;
        double u2 = 0.0;
        double u3 = 0.0;
    };

    // One row of the tridiagonal system: a X[i-1] + b X[i] + c X[i+1] = d.
    struct Row {
        double a = 0.0;  // lower
        double c = 0.0;  // upper
        double b = 0.0;  // diagonal
    };

    CurveEvolutionModel() = default;
    ~CurveEvolutionModel() = default;

    // The curve being advanced; its segment arrays and length are the
    // scheme's own.
    EvolvingCurve curve;

    std::vector<int> vertexFlag;             // 1 at a sharp vertex, 2 elsewhere
    std::vector<double> curvature;           // k per segment
    std::vector<double> externalVelocity;    // E per point
    std::vector<double> curvatureWeight;     // F per point
    std::vector<double> normalVelocity;      // beta per segment
    std::vector<double> tangentialVelocity;  // alpha per point
    std::vector<Upwind> upwind;
    std::vector<Row> rows;
    std::vector<double> rightHandSide;       // d of the x coordinate
    std::vector<double> rightHandSideY;      // d of the y coordinate

    double maxNormalVelocity = 2.2250738585072014e-308;
    double tau = 0.1;
    double omega = 0.5;
    double lambda = 0.0;
    double curvatureInfluence = 0.0;

    // One step of `curve`. vx and vy are the vector field (never null), map
    // the scalar map or null, all width x height row-major. With measureOnly
    // the points stay where they are and only maxNormalVelocity is raised to
    // the largest normal velocity met. A curve of fewer than three points is
    // left alone.
    void advance(const float* vx, const float* vy, const float* map, int width, int height, bool measureOnly);

    // The steps of advance, in their order.
    void computeExternalVelocity(const float* vx, const float* vy, const float* map, int width, int height);
    void computeCurvatureWeight(const float* map, int width, int height);
    void computeCurvature();
    void computeNormalVelocity(bool measureOnly);
    void computeTangentialVelocity();
    void splitTangentialVelocity();
    void classifyVertices();
    void assembleTridiagonal();
    // coordinate 0 for x, 1 for y.
    void assembleRightHandSide(int coordinate);
    // Solves rows 1 ... n of the periodic system (X[0] = X[n], X[n+1] =
    // X[1]) with the right-hand side of the coordinate and writes the
    // solution into the curve's x (0) or y (1) at indexes 1 ... n.
    void solvePeriodicTridiagonal(int coordinate);

private:
    void resizeWork(std::size_t s);

    // Work arrays of the periodic solve: eliminated upper diagonal and the
    // particular (P) and coupling (Q) parts.
    std::vector<double> solveUpper;
    std::vector<double> solveP;
    std::vector<double> solveQ;
};
