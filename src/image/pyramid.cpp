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
// four-channel format whose columns lie side by side in one tile, the common case, is summed in
// the vector lanes of the buffer's instruction set instead (two neighbours at once with AVX2),
// to the same bits. The work arrays are fixed-size on the stack (about 11 KiB); nothing is
// allocated.
#include "image/pyramid.h"

#include <algorithm>
#include <utility>

#include "image/pixel_access.h"
#include "platform/check.h"
#include "platform/lane_ops.h"

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
// side by side in one tile, summed in vector lanes (image/pyramid_lanes.h), one window a 128-bit
// lane, to the scalar loop's bits.
#if defined(VELORUND_X86)
namespace sse2 {
using namespace lane_ops_sse2;
#include "image/pyramid_lanes.h"
}  // namespace sse2

#include "platform/simd_avx2_begin.h"
namespace avx2 {
using namespace lane_ops_avx2;
#include "image/pyramid_lanes.h"
}  // namespace avx2
#include "platform/simd_target_end.h"
#endif

// Reduces the pixels of level + 1 inside the rectangle, rows top to bottom and each row left to
// right; straight windows go Lanes at a time through Windows (kLanes of them), one at a time
// through Window, or tap by tap without either.
template <typename Format, int Lanes = 0, void (*Windows)(uint8_t* const*, const RowStarts*, const SourceColumn*) = nullptr,
          void (*Window)(uint8_t* const*, const RowStarts*, const SourceColumn*) = nullptr>
void reduceRect(const ImageBuffer* buffer, int32_t level, const Rect16& rect) {
    using Kernel = SmoothingKernel;
    RowStarts rows[Kernel::kSize];
    RowStarts target[1];
    SourceColumn columns[2 * kColumnRun + Kernel::kSize - 2];
    const uint32_t bytesPerPixel = buffer->bytesPerPixel;
    // Whether a window's six columns lie side by side in one tile, none clamped.
    auto straightWindow = [&](const SourceColumn* window) {
        const SourceColumn first = window[0], last = window[Kernel::kSize - 1];
        return first.tileColumn == last.tileColumn &&
               static_cast<uint32_t>(last.byteOffset - first.byteOffset) == (Kernel::kSize - 1) * bytesPerPixel;
    };
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
                uint8_t* out[2] = {target[0][x >> kTileShift] + static_cast<uint32_t>(x & kTileMask) * bytesPerPixel};
                if constexpr (Window != nullptr) {
                    if (straightWindow(window)) {
                        // Neighbours whose windows read straight too go together.
                        if (Lanes == 2 && x + 1 < runEnd && straightWindow(window + 2)) {
                            const SourceColumn firsts[2] = {window[0], window[2]};
                            out[1] = target[0][(x + 1) >> kTileShift] + static_cast<uint32_t>((x + 1) & kTileMask) * bytesPerPixel;
                            Windows(out, rows, firsts);
                            x++;
                            continue;
                        }
                        Window(out, rows, window);
                        continue;
                    }
                }
                typename Format::Sum sum[Format::kChannels] = {};
                sumWindow<Format>(sum, rows, window, taps);
                Format::store(out[0], sum);
            }
        }
    }
}

#if defined(VELORUND_X86)
template <typename Format>
void reduceRectSse2(const ImageBuffer* buffer, int32_t level, const Rect16& rect) {
    reduceRect<Format, 1, sse2::reduceWindows<Format>, sse2::reduceWindows<Format>>(buffer, level, rect);
}
#include "platform/simd_avx2_begin.h"
template <typename Format>
void reduceRectAvx2(const ImageBuffer* buffer, int32_t level, const Rect16& rect) {
    reduceRect<Format, 2, avx2::reduceWindows<Format>, sse2::reduceWindows<Format>>(buffer, level, rect);
}
#include "platform/simd_target_end.h"
#endif

// The reduction of a rectangle of level + 1 in the buffer's format and instruction set; the
// widest set keeps AVX2's two windows to a vector.
void reduceLevelRect(const ImageBuffer* buffer, int32_t level, const Rect16& rect) {
    using Reduce = void (*)(const ImageBuffer*, int32_t, const Rect16&);
    static const Reduce kReduce[kSimdLevels][3] = {
        {reduceRect<Rgba8>, reduceRect<Rgba16>, reduceRect<RgbaFloat>},
#if defined(VELORUND_X86)
        {reduceRectSse2<Rgba8>, reduceRectSse2<Rgba16>, reduceRectSse2<RgbaFloat>},
        {reduceRectAvx2<Rgba8>, reduceRectAvx2<Rgba16>, reduceRectAvx2<RgbaFloat>},
        {reduceRectAvx2<Rgba8>, reduceRectAvx2<Rgba16>, reduceRectAvx2<RgbaFloat>},
#endif
    };
    const int32_t simd = static_cast<int32_t>(buffer->simd), mode = static_cast<int32_t>(buffer->imageMode);
    VELORUND_CHECK(simd >= 0 && simd < kSimdLevels && kReduce[simd][0] && mode >= 0 && mode < 3);
    kReduce[simd][mode](buffer, level, rect);
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
    reduceLevelRect(buffer, level, job->rect);
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
