// The pyramid reduction. Destination pixel (X, Y) of level L+1 is a weighted sum of the 6 x 6
// window of level-L pixels at columns 2X-2 .. 2X+3 and rows 2Y-2 .. 2Y+3, with source
// coordinates clamped to the level's edges.
//
// Every format runs the same loop shape, instantiated from one template over a small per-format
// record (how a pixel is read into per-channel sums and how the sums become a stored pixel). The
// window's weights come from the smoothing kernel's record. The taps are unrolled at compile time and
// zero weights drop out; integer formats sum in int32, float formats in float, tap by tap with
// rows outer and columns inner. No tap clamps or divides: for each destination row the window's
// source rows are clamped once and turned into row starts inside every tile column's block, and
// for each run of up to kColumnRun destination pixels the window's source columns are clamped
// once and turned into a tile column and a byte offset. A tap's address is then one table
// lookup and one addition, which also handles windows that straddle a tile seam. A window of a
// four-channel format whose columns lie side by side in one tile, the common case, is summed
// with SSE2 instead, to the same bits. The work arrays are fixed-size on the stack (about
// 11 KiB); nothing is allocated.
#include "image/pyramid.h"

#include <algorithm>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "image/pixel_access.h"
#include "platform/check.h"

namespace {

constexpr int32_t kMaxTilesAcross = (kMaxImageSide + kTileMask) >> kTileShift;  // 64
constexpr int32_t kColumnRun = 1024;  // destination pixels whose source columns are located at once

// Integer levels are divided by 1630 rather than the weight sum 1640, so each reduced level of
// 8-bit or 16-bit data comes out about 0.6 percent brighter and the clamp to full scale catches
// the overflow. Float levels are divided by the weight sum.
constexpr float kIntegerScale = 0.00061349693f;  // 1/1630
constexpr float kFloatScale = 0.0006097561f;     // 1/1640

// The smoothing kernel. Its weights are the products of the taps (1/4, 4, 16, 16, 4, 1/4) along
// each axis with the four corner products (1/16) left out: with the taps scaled by 4, the
// product divided by 16 in integers, which drops exactly the corners.
struct SmoothingKernel {
    static constexpr int32_t kFirst = -2;  // window offset from 2X and 2Y
    static constexpr int32_t kSize = 6;
    static constexpr int32_t weight(int32_t row, int32_t column) {
        constexpr int32_t taps[kSize] = {1, 16, 64, 64, 16, 1};
        return taps[row] * taps[column] / 16;
    }
};

constexpr int32_t kernelSum() {
    int32_t sum = 0;
    for (int32_t r = 0; r < SmoothingKernel::kSize; r++)
        for (int32_t c = 0; c < SmoothingKernel::kSize; c++) sum += SmoothingKernel::weight(r, c);
    return sum;
}
static_assert(kernelSum() == 1640 && SmoothingKernel::weight(0, 0) == 0 &&
              SmoothingKernel::weight(0, 1) == 1 && SmoothingKernel::weight(2, 3) == 256);

// Conversions of one channel's sum into its stored sample.
uint8_t byteFromSum(int32_t sum, int) {
    float v = static_cast<float>(sum) * kIntegerScale;
    if (!(v < 255.0f)) v = 255.0f;
    return static_cast<uint8_t>(static_cast<int32_t>(v));
}

// The sums are never negative, so clamping before or after truncation stores the same sample.
uint16_t wordFromSum(int32_t sum, int) {
    float v = static_cast<float>(sum) * kIntegerScale;
    if (!(v < 32768.0f)) v = 32768.0f;
    return static_cast<uint16_t>(static_cast<int32_t>(v));
}

float floatFromSum(float sum, int) {
    float v = sum * kFloatScale;
    if (v < 0.0f) v = 0.0f;
    if (v > 65535.0f) v = 65535.0f;
    return v;
}

// Calls f(0) .. f(Channels - 1) unrolled, so that per-channel sums can live in registers.
template <int Channels, typename F>
inline void forEachChannel(F&& f) {
    [&]<int... C>(std::integer_sequence<int, C...>) {
        (f(C), ...);
    }(std::make_integer_sequence<int, Channels>{});
}

// A pixel of Channels samples of type Sample side by side, channel 0 first, summed in Sum and
// stored back channel by channel through Convert.
template <typename Sample, int Channels, typename SumType, Sample (*Convert)(SumType, int)>
struct SampleFormat {
    using Sum = SumType;
    static constexpr int kChannels = Channels;
    static void add(Sum* sum, const uint8_t* pixel, Sum weight) {
        forEachChannel<Channels>([&](int c) {
            sum[c] += weight * static_cast<Sum>(loadSample<Sample>(pixel + c * sizeof(Sample)));
        });
    }
    static void store(uint8_t* pixel, const Sum* sum) {
        forEachChannel<Channels>([&](int c) {
            storeSample<Sample>(pixel + c * sizeof(Sample), Convert(sum[c], c));
        });
    }
};

using Rgba16 = SampleFormat<uint16_t, 4, int32_t, wordFromSum>;
using RgbaFloat = SampleFormat<float, 4, float, floatFromSum>;

// Four 8-bit channels packed in one word, channel 0 in the top byte.
struct Rgba8 {
    using Sum = int32_t;
    static constexpr int kChannels = 4;
    static void add(Sum* sum, const uint8_t* pixel, Sum weight) {
        uint32_t word = loadSample<uint32_t>(pixel);
        forEachChannel<4>([&](int c) {
            sum[c] += weight * static_cast<Sum>((word >> (24 - 8 * c)) & 255);
        });
    }
    static void store(uint8_t* pixel, const Sum* sum) {
        uint32_t word = 0;
        forEachChannel<4>([&](int c) {
            word |= static_cast<uint32_t>(byteFromSum(sum[c], c)) << (24 - 8 * c);
        });
        storeSample<uint32_t>(pixel, word);
    }
};

// A source column of the window: its tile column and its byte offset within a tile row.
struct SourceColumn {
    uint16_t tileColumn;
    uint16_t byteOffset;
};

// Start of one row of a level inside every tile column's block.
using RowStarts = uint8_t* [kMaxTilesAcross];

// Rows first .. first + count - 1 of a level, each clamped into the level.
void locateRows(const ImageBuffer* buffer, int32_t level, int32_t first, int32_t count,
                RowStarts* rows) {
    int32_t lastY = buffer->levelLastY[level];
    uint32_t across = buffer->levelTilesAcross[level];
    for (int32_t r = 0; r < count; r++) {
        int32_t y = std::clamp(first + r, 0, lastY);
        const TileEntry* tileRow = &tileOf(buffer, level, 0, y);
        size_t inTile = static_cast<size_t>(y & kTileMask);
        for (uint32_t t = 0; t < across; t++) {
            rows[r][t] = tileRow[t].pixels +
                         inTile * static_cast<size_t>(tileRow[t].width) * buffer->bytesPerPixel;
        }
    }
}

// Columns first .. first + count - 1 of a level, each clamped into 0 .. lastX.
void locateColumns(SourceColumn* columns, int32_t first, int32_t count, int32_t lastX,
                   uint32_t bytesPerPixel) {
    for (int32_t i = 0; i < count; i++) {
        int32_t x = std::clamp(first + i, 0, lastX);
        columns[i] = {static_cast<uint16_t>(x >> kTileShift),
                      static_cast<uint16_t>(static_cast<uint32_t>(x & kTileMask) * bytesPerPixel)};
    }
}

// One tap of the window, or nothing where the kernel's weight is zero.
template <typename Format, int32_t Row, int32_t Column>
inline void addTap(typename Format::Sum* sum, const RowStarts* rows, const SourceColumn* window) {
    constexpr int32_t weight = SmoothingKernel::weight(Row, Column);
    if constexpr (weight != 0) {
        SourceColumn column = window[Column];
        Format::add(sum, rows[Row][column.tileColumn] + column.byteOffset,
                    static_cast<typename Format::Sum>(weight));
    }
}

// The window's weighted sum, tap by tap: rows top to bottom, each row left to right.
template <typename Format, size_t... Tap>
inline void sumWindow(typename Format::Sum* sum, const RowStarts* rows, const SourceColumn* window,
                      std::index_sequence<Tap...>) {
    (addTap<Format, Tap / SmoothingKernel::kSize, Tap % SmoothingKernel::kSize>(sum, rows, window), ...);
}

// Straight windows: the smoothing window of a four-channel pixel whose six source columns lie
// side by side in one tile, summed with SSE2 and stored. Integer sums are exact, so the order in
// which their products are added does not matter; the float window adds its taps in the order
// of the loop above, each channel in its own lane, so every lane repeats the scalar arithmetic.
#if defined(__SSE2__)
constexpr bool kStraightWindows = true;

// The weights of one window row as pairs for a multiply-add: lanes 2k and 2k+1 weigh columns
// Pair*2 and Pair*2+1.
template <int32_t Row, int32_t Pair>
inline __m128i pairWeights() {
    return _mm_set1_epi32(static_cast<int32_t>(static_cast<uint32_t>(SmoothingKernel::weight(Row, 2 * Pair + 1)) << 16 |
                                               static_cast<uint32_t>(SmoothingKernel::weight(Row, 2 * Pair))));
}

// Sums of the four stored samples over the window, as four int32 lanes in memory order.
// Pair(v) turns two adjacent pixels into 16-bit lanes column-interleaved per sample.
template <typename Pair, size_t... Row>
inline __m128i sumPairedRows(const RowStarts* rows, SourceColumn first, size_t pairBytes, Pair pair,
                             std::index_sequence<Row...>) {
    __m128i sum = _mm_setzero_si128();
    auto addRow = [&]<int32_t R>(std::integral_constant<int32_t, R>) {
        const uint8_t* p = rows[R][first.tileColumn] + first.byteOffset;
        sum = _mm_add_epi32(sum, _mm_madd_epi16(pair(p), pairWeights<R, 0>()));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(pair(p + pairBytes), pairWeights<R, 1>()));
        sum = _mm_add_epi32(sum, _mm_madd_epi16(pair(p + 2 * pairBytes), pairWeights<R, 2>()));
    };
    (addRow(std::integral_constant<int32_t, static_cast<int32_t>(Row)>{}), ...);
    return sum;
}

// The integer conversion of four sums: scaled in float, clamped at Limit, truncated.
inline __m128i convertSums(__m128i sum, float limit) {
    __m128 v = _mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(kIntegerScale));
    return _mm_cvttps_epi32(_mm_min_ps(v, _mm_set1_ps(limit)));
}

template <typename Format>
inline void reduceStraightWindow(uint8_t* out, const RowStarts* rows, SourceColumn first);

template <>
inline void reduceStraightWindow<Rgba8>(uint8_t* out, const RowStarts* rows, SourceColumn first) {
    // Two pixels' eight bytes become [a0 b0 a1 b1 a2 b2 a3 b3] in 16-bit lanes.
    auto pair = [](const uint8_t* p) {
        __m128i both = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
        return _mm_unpacklo_epi8(_mm_unpacklo_epi8(both, _mm_srli_epi64(both, 32)), _mm_setzero_si128());
    };
    __m128i sum = sumPairedRows(rows, first, 8, pair, std::make_index_sequence<SmoothingKernel::kSize>{});
    __m128i bytes = convertSums(sum, 255.0f);
    bytes = _mm_packus_epi16(_mm_packs_epi32(bytes, bytes), bytes);
    storeSample<uint32_t>(out, static_cast<uint32_t>(_mm_cvtsi128_si32(bytes)));
}

template <>
inline void reduceStraightWindow<Rgba16>(uint8_t* out, const RowStarts* rows, SourceColumn first) {
    // Samples run to 32768, past the signed 16-bit range the multiply-add reads: each is offset
    // by -32768 (its top bit flipped), and the offset's share of the sum is added back.
    const __m128i flip = _mm_set1_epi16(static_cast<int16_t>(0x8000));
    auto pair = [&](const uint8_t* p) {
        __m128i both = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        return _mm_xor_si128(_mm_unpacklo_epi16(both, _mm_srli_si128(both, 8)), flip);
    };
    __m128i sum = sumPairedRows(rows, first, 16, pair, std::make_index_sequence<SmoothingKernel::kSize>{});
    sum = _mm_add_epi32(sum, _mm_set1_epi32(32768 * kernelSum()));
    __m128i words = _mm_sub_epi32(convertSums(sum, 32768.0f), _mm_set1_epi32(32768));
    words = _mm_xor_si128(_mm_packs_epi32(words, words), flip);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out), words);
}

template <>
inline void reduceStraightWindow<RgbaFloat>(uint8_t* out, const RowStarts* rows, SourceColumn first) {
    __m128 sum = _mm_setzero_ps();
    auto addTapAt = [&]<int32_t Tap>(std::integral_constant<int32_t, Tap>) {
        constexpr int32_t row = Tap / SmoothingKernel::kSize;
        constexpr int32_t column = Tap % SmoothingKernel::kSize;
        constexpr int32_t weight = SmoothingKernel::weight(row, column);
        if constexpr (weight != 0) {
            const uint8_t* p = rows[row][first.tileColumn] + first.byteOffset + column * 16;
            __m128 pixel = _mm_loadu_ps(reinterpret_cast<const float*>(p));
            sum = _mm_add_ps(sum, _mm_mul_ps(_mm_set1_ps(static_cast<float>(weight)), pixel));
        }
    };
    [&]<int32_t... Tap>(std::integer_sequence<int32_t, Tap...>) {
        (addTapAt(std::integral_constant<int32_t, Tap>{}), ...);
    }(std::make_integer_sequence<int32_t, SmoothingKernel::kSize * SmoothingKernel::kSize>{});
    // Clamped as the scalar store does: max(0, v) and min(65535, v) keep v when it is NaN.
    __m128 v = _mm_mul_ps(sum, _mm_set1_ps(kFloatScale));
    v = _mm_min_ps(_mm_set1_ps(65535.0f), _mm_max_ps(_mm_setzero_ps(), v));
    _mm_storeu_ps(reinterpret_cast<float*>(out), v);
}
#else
constexpr bool kStraightWindows = false;
template <typename Format>
inline void reduceStraightWindow(uint8_t*, const RowStarts*, SourceColumn) {}
#endif

// Reduces the pixels of level + 1 inside the rectangle, rows top to bottom and each row left to
// right.
template <typename Format>
void reduceRect(const ImageBuffer* buffer, int32_t level, const Rect16& rect) {
    using Kernel = SmoothingKernel;
    RowStarts rows[Kernel::kSize];
    RowStarts target[1];
    SourceColumn columns[2 * kColumnRun + Kernel::kSize - 2];
    const uint32_t bytesPerPixel = buffer->bytesPerPixel;
    for (int32_t y = rect.top; y < rect.bottom; y++) {
        // The window's source rows for this destination row, and the destination row.
        locateRows(buffer, level, 2 * y + Kernel::kFirst, Kernel::kSize, rows);
        locateRows(buffer, level + 1, y, 1, target);

        for (int32_t runStart = rect.left; runStart < rect.right; runStart += kColumnRun) {
            // The source columns of every window in this run of destination pixels.
            int32_t runEnd = std::min<int32_t>(rect.right, runStart + kColumnRun);
            locateColumns(columns, 2 * runStart + Kernel::kFirst,
                          2 * (runEnd - runStart) + Kernel::kSize - 2, buffer->levelLastX[level],
                          bytesPerPixel);

            // Sum each window and store the converted pixel.
            constexpr auto taps = std::make_index_sequence<Kernel::kSize * Kernel::kSize>{};
            for (int32_t x = runStart; x < runEnd; x++) {
                const SourceColumn* window = columns + 2 * (x - runStart);
                uint8_t* out = target[0][x >> kTileShift] + static_cast<uint32_t>(x & kTileMask) * bytesPerPixel;
                if constexpr (kStraightWindows) {
                    // A window inside one tile whose columns were not clamped reads straight.
                    const SourceColumn first = window[0];
                    const SourceColumn last = window[Kernel::kSize - 1];
                    if (first.tileColumn == last.tileColumn &&
                        static_cast<uint32_t>(last.byteOffset - first.byteOffset) == (Kernel::kSize - 1) * bytesPerPixel) {
                        reduceStraightWindow<Format>(out, rows, first);
                        continue;
                    }
                }
                typename Format::Sum sum[Format::kChannels] = {};
                sumWindow<Format>(sum, rows, window, taps);
                Format::store(out, sum);
            }
        }
    }
}

// What a reduction job reduces: source level `level` of `buffer` into level + 1.
struct PyramidJobContext {
    const ImageBuffer* buffer;
    int32_t level;
};

// One job's strip of a level: the strip lies inside the destination level, as the job was cut
// from it. No level of a created buffer is wider than the row tables' tile columns.
void reduceLevelJob(const JobRecord* job) {
    const PyramidJobContext* context = static_cast<const PyramidJobContext*>(job->context);
    const ImageBuffer* buffer = context->buffer;
    int32_t level = context->level;
    VELORUND_CHECK(buffer->tiles && level >= 0 && level < buffer->lastLevel &&
                   buffer->levelTilesAcross[level] <= static_cast<uint32_t>(kMaxTilesAcross));
    switch (buffer->imageMode) {
        case ImageMode::Rgba8: reduceRect<Rgba8>(buffer, level, job->rect); break;
        case ImageMode::Rgba16: reduceRect<Rgba16>(buffer, level, job->rect); break;
        case ImageMode::RgbaFloat: reduceRect<RgbaFloat>(buffer, level, job->rect); break;
    }
}

}  // namespace

void buildPyramid(ImageBuffer* buffer, WorkQueue* queue) {
    for (int32_t level = 0; level < buffer->lastLevel; level++) {
        PyramidJobContext context = {buffer, level};
        Rect16 whole = {0, 0, static_cast<int16_t>(buffer->levelHeight[level + 1]),
                        static_cast<int16_t>(buffer->levelWidth[level + 1])};
        enqueueRectJobs(queue, whole, reduceLevelJob, &context);
        runJobs(queue);
    }
}
