// Tests of the stored map grid: the table is its rule rounded to float, bit for bit, and the rule
// agrees with an independent evaluation of the map by its power series, inside the disc directly
// and outside by reflection in the rim.
#include "warp/map_grid_table.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <numbers>

#include "map_grid/map_grid_rule.h"

namespace {

using Complex = std::complex<double>;

int32_t pairIndex(int32_t i, int32_t j) { return j * (j + 1) / 2 + i; }

// The values themselves are held to the power series below; inside the disc the diagonal maps
// exactly onto itself.
TEST(MapGridTable, IsItsRuleRoundedToFloatBitForBitAndKeepsTheInnerDiagonalOnItself) {
    static float rule[kMapGridPairs][2];
    buildMapGridTable(rule);
    for (int32_t n = 0; n < kMapGridPairs; n++) {
        for (int c = 0; c < 2; c++) {
            ASSERT_EQ(std::bit_cast<uint32_t>(kMapGridTable[n][c]),
                      std::bit_cast<uint32_t>(rule[n][c]))
                << "pair " << n << " component " << c;
        }
    }
    for (int32_t i = 0; i <= 70; i++) EXPECT_EQ(kMapGridTable[pairIndex(i, i)][0], kMapGridTable[pairIndex(i, i)][1]) << i;
}

// K = 2 sqrt(2) M(1, sqrt 2) / pi, with M the arithmetic-geometric mean.
double referenceScale() {
    double a = 1.0, b = std::numbers::sqrt2;
    for (int k = 0; k < 8; k++) {
        double mean = 0.5 * (a + b);
        b = std::sqrt(a * b);
        a = mean;
    }
    return 2.0 * std::numbers::sqrt2 * a / std::numbers::pi;
}

// f(w) = K * sum of binom(-1/2, n) w^(4n+1) / (4n+1) for |w| < 1, summed until the tail, at most
// the last term over 1 - |w|^4, is negligible. Near the rim that takes some 10^5 terms, so the
// sum is compensated to keep its rounding error far below the tolerance.
Complex seriesMap(Complex w, double scale) {
    Complex w4 = w * w * w * w;
    double ratio = std::abs(w4);
    Complex power = w, sum = 0.0, carry = 0.0;
    double coefficient = 1.0;
    for (int n = 0;; n++) {
        Complex term = coefficient * power / (4.0 * n + 1.0);
        Complex corrected = term - carry;
        Complex next = sum + corrected;
        carry = (next - sum) - corrected;
        sum = next;
        if (std::abs(term) < 1e-17 * (1.0 - ratio)) break;
        coefficient *= -(2.0 * n + 1.0) / (2.0 * n + 2.0);
        power *= w4;
    }
    return scale * sum;
}

// Outside the disc the continuation across the rim is the reflection of the value at the mirror
// point w / |w|^2: in the side Y = 1 off the diagonal; on the diagonal, where the principal root
// takes the limit from below it, in the side X = 1.
SquarePoint referenceNode(int32_t i, int32_t j, double scale) {
    Complex w(i / 99.0, j / 99.0);
    double radius2 = std::norm(w);
    if (radius2 < 1.0) {
        Complex f = seriesMap(w, scale);
        return {f.real(), f.imag()};
    }
    Complex f = seriesMap(w / radius2, scale);
    if (i == j) return {2.0 - f.real(), f.imag()};
    return {f.real(), 2.0 - f.imag()};
}

TEST(MapGridRule, AgreesWithThePowerSeriesInsideAndItsReflectionOutside) {
    double scale = referenceScale();
    EXPECT_NEAR(mapGridScale(), scale, 1e-15);
    // (0, 99) lies on the rim, where the series barely converges; K alone puts it at i.
    EXPECT_NEAR(mapGridNode(0, 99).y, 1.0, 1e-15);
    for (int32_t j = 0; j < kMapGridNodes; j++) {
        for (int32_t i = 0; i <= j; i++) {
            if (i == 0 && j == 99) continue;
            SquarePoint expected = referenceNode(i, j, scale);
            SquarePoint actual = mapGridNode(i, j);
            EXPECT_NEAR(actual.x, expected.x, 1e-12) << i << ", " << j;
            EXPECT_NEAR(actual.y, expected.y, 1e-12) << i << ", " << j;
        }
    }
}

}  // namespace
