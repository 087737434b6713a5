// Builds the resampling weight table. The construction fixes every rounding step (which sums
// run in double, which in float, and in what order), so the table comes out the same bits on
// every platform and every run.
#include "sampling/weight_table.h"

#include <cmath>
#include <cstdint>

#include "platform/check.h"

namespace {

constexpr double kPi = 3.141592653;
constexpr int kPointsPerTexel = 20;
constexpr double kPointSpacing = 21.0;  // the 20 points cover 19/21 of a texel

double sinc(double z) { return std::sin(z) / z; }

// The two-lobed window, zero outside (-2, 2).
double window(double t) {
    if (!(t > -2.0 && t < 2.0)) return 0.0;
    if (t == 0.0) return 1.0;
    return sinc(kPi * t) * sinc(kPi * t / 2.0);
}

// The weight of tap j at phase p before normalisation: the window summed over the points of the
// tap's texel, each term added to a float accumulator.
float rawWeight(int phase, int tap) {
    float sum = 0.0f;
    for (int k = 0; k < kPointsPerTexel; k++) {
        float offset = static_cast<float>(phase / 128.0 - 2.0 - k / kPointSpacing);
        double term = window(static_cast<double>(offset) + tap);
        sum = static_cast<float>(sum + term);
    }
    return sum;
}

// Integer weights scaled to `total`: taps 0..3 truncated, tap 4 takes what remains.
void scaleWeights(const float (&weights)[kWeightTaps], int32_t total, int32_t (*out)[kWeightPhases],
                  int phase) {
    for (int j = 0; j < 4; j++) {
        out[j][phase] = static_cast<int32_t>(weights[j] * static_cast<float>(total));
    }
    out[4][phase] = total - (out[3][phase] + out[2][phase] + out[1][phase] + out[0][phase]);
    // The kernels' fast paths multiply the integer weights as 16-bit lanes.
    for (int j = 0; j < kWeightTaps; j++) VELORUND_CHECK(out[j][phase] >= INT16_MIN && out[j][phase] <= INT16_MAX);
}

}  // namespace

void buildWeightTable(WeightTable* table) {
    for (int p = 0; p < kWeightPhases; p++) {
        float raw[kWeightTaps];
        for (int j = 0; j < kWeightTaps; j++) raw[j] = rawWeight(p, j);

        // Normalise taps 0..3; tap 4 is whatever brings the phase to exactly 1.
        float sum = raw[1] + raw[0] + raw[2] + raw[3] + raw[4];
        float normaliser = static_cast<float>(1.0 / static_cast<double>(sum));
        float weights[kWeightTaps];
        for (int j = 0; j < 4; j++) weights[j] = raw[j] * normaliser;
        weights[4] = 1.0f - (weights[1] + weights[0] + weights[2] + weights[3]);
        for (int j = 0; j < kWeightTaps; j++) table->weights[j][p] = weights[j];

        scaleWeights(weights, 2048, table->weights2048, p);
        scaleWeights(weights, 32768, table->weights32768, p);
        for (int offset = 0; offset < kWeightTaps; offset++) {
            int tap = kWeightTaps - 1 - offset;
            table->byOffset[p][offset] = table->weights[tap][p];
            table->byOffset2048[p][offset] = table->weights2048[tap][p];
            table->byOffset32768[p][offset] = table->weights32768[tap][p];
        }
    }
}
