// The rule behind the stored map grid. Every value is an integral along the segment from 0,
// evaluated in double by adaptive Gauss-Legendre quadrature to far below 1e-12, so rounding it
// once to float gives the float nearest to the exact value.
#include "map_grid/map_grid_rule.h"

#include <cmath>
#include <complex>
#include <numbers>

namespace {

using Complex = std::complex<double>;

constexpr int kGaussPoints = 10;
constexpr double kPanelTolerance = 1e-14;  // accepted error per unit length of the interval
constexpr int kMaxDepth = 40;

struct GaussRule {
    double node[kGaussPoints];  // on [-1, 1]
    double weight[kGaussPoints];
};

// P_n(x) and P_n'(x) by the three-term recurrence.
void legendre(int n, double x, double* value, double* derivative) {
    double previous = 1.0, current = x;
    for (int m = 2; m <= n; m++) {
        double next = ((2 * m - 1) * x * current - (m - 1) * previous) / m;
        previous = current;
        current = next;
    }
    *value = current;
    *derivative = n * (x * current - previous) / (x * x - 1.0);
}

// Gauss-Legendre nodes by Newton iteration on P_n from the usual cosine estimates; the
// weights from P_n' at the converged nodes.
GaussRule makeGaussRule() {
    GaussRule rule{};
    for (int k = 0; k < kGaussPoints; k++) {
        double x = std::cos(std::numbers::pi * (k + 0.75) / (kGaussPoints + 0.5));
        double value = 0.0, derivative = 0.0;
        for (int iteration = 0; iteration < 100; iteration++) {
            legendre(kGaussPoints, x, &value, &derivative);
            double step = value / derivative;
            x -= step;
            if (std::abs(step) < 1e-14) break;  // converging quadratically: x is now exact
        }
        legendre(kGaussPoints, x, &value, &derivative);
        rule.node[k] = x;
        rule.weight[k] = 2.0 / ((1.0 - x * x) * derivative * derivative);
    }
    return rule;
}

const GaussRule& gaussRule() {
    static const GaussRule rule = makeGaussRule();
    return rule;
}

// One Gauss-Legendre panel of f over [a, b].
template <typename Value, typename Integrand>
Value gaussPanel(const Integrand& f, double a, double b) {
    const GaussRule& rule = gaussRule();
    double half = 0.5 * (b - a), middle = 0.5 * (a + b);
    Value sum = 0.0;
    for (int k = 0; k < kGaussPoints; k++) sum += rule.weight[k] * f(middle + half * rule.node[k]);
    return sum * half;
}

// Adaptive bisection: a panel that its two halves confirm to the tolerance is done, otherwise
// each half is refined on its own. Near a peak the panels shrink to its width.
template <typename Value, typename Integrand>
Value refine(const Integrand& f, double a, double b, Value whole, int depth) {
    double middle = 0.5 * (a + b);
    Value left = gaussPanel<Value>(f, a, middle);
    Value right = gaussPanel<Value>(f, middle, b);
    if (depth == kMaxDepth || std::abs(left + right - whole) <= kPanelTolerance * (b - a)) {
        return left + right;
    }
    return refine(f, a, middle, left, depth + 1) + refine(f, middle, b, right, depth + 1);
}

template <typename Value, typename Integrand>
Value integrate(const Integrand& f, double a, double b) {
    return refine<Value>(f, a, b, gaussPanel<Value>(f, a, b), 0);
}

// The diagonal z = s e^(i pi/4), where 1 + z^4 = 1 - s^4 and the segment runs into the branch
// point at s = 1. Up to it f = (a, a) with a = (K / sqrt 2) * integral from 0 to r of
// ds / sqrt(1 - s^4). Beyond it the principal root of 1 - s^4 is i sqrt(s^4 - 1), so f leaves the
// corner (1, 1) along X + Y = 2: (1 + d, 1 - d) with d = (K / sqrt 2) * integral from 1 to r of
// ds / sqrt(s^4 - 1). The substitutions s = 1 - u^2 and s = 1 + u^2 remove the 1/sqrt
// singularity at s = 1, which leaves smooth integrands.
SquarePoint diagonalPoint(double r) {
    double scale = mapGridScale() / std::numbers::sqrt2;
    if (r <= 1.0) {
        // ds / sqrt(1 - s^4) = 2 du / sqrt((1 + s) (1 + s^2)), u from sqrt(1 - r) to 1.
        double a = scale * integrate<double>(
                               [](double u) {
                                   double s = 1.0 - u * u;
                                   return 2.0 / std::sqrt((1.0 + s) * (1.0 + s * s));
                               },
                               std::sqrt(1.0 - r), 1.0);
        return {a, a};
    }
    // ds / sqrt(s^4 - 1) = 2 du / sqrt((s + 1) (s^2 + 1)), u from 0 to sqrt(r - 1).
    double d = scale * integrate<double>(
                           [](double u) {
                               double s = 1.0 + u * u;
                               return 2.0 / std::sqrt((s + 1.0) * (s * s + 1.0));
                           },
                           0.0, std::sqrt(r - 1.0));
    return {1.0 + d, 1.0 - d};
}

}  // namespace

double mapGridScale() {
    static const double scale =
        1.0 / integrate<double>([](double t) { return 1.0 / std::sqrt(1.0 + t * t * t * t); },
                                0.0, 1.0);
    return scale;
}

SquarePoint mapPlanePoint(double x, double y) {
    if (x == y) return diagonalPoint(x * std::numbers::sqrt2);

    // f(w) = K w * integral from 0 to 1 of dt / sqrt(1 + w^4 t^4). Off the diagonal the segment
    // misses the cuts, but near it and beyond the rim it passes close to the branch point, where
    // the adaptive panels narrow down to the peak.
    Complex w(x, y);
    Complex w2 = w * w;
    Complex w4 = w2 * w2;
    Complex integral = integrate<Complex>(
        [w4](double t) {
            double t2 = t * t;
            return 1.0 / std::sqrt(1.0 + w4 * (t2 * t2));
        },
        0.0, 1.0);
    Complex value = mapGridScale() * w * integral;
    // On the axes the value lies exactly on an axis; adding +0.0 turns a negative zero into zero.
    return {value.real() + 0.0, value.imag() + 0.0};
}

SquarePoint mapGridNode(int32_t i, int32_t j) {
    constexpr double kSpacing = kMapGridNodes - 1;
    return mapPlanePoint(i / kSpacing, j / kSpacing);
}

void buildMapGridTable(float (&table)[kMapGridPairs][2]) {
    for (int32_t j = 0; j < kMapGridNodes; j++) {
        for (int32_t i = 0; i <= j; i++) {
            SquarePoint point = mapGridNode(i, j);
            int32_t n = j * (j + 1) / 2 + i;
            table[n][0] = static_cast<float>(point.x);
            table[n][1] = static_cast<float>(point.y);
        }
    }
}
