// The pyramid's straight windows, written once over 128-bit lanes: one destination pixel's 6 x 6
// window in each 128-bit lane of a vector (one for SSE2, two for AVX2), whose source columns lie
// side by side in one tile. Included once per instruction set inside a namespace that takes the
// set's operations (platform/lane_ops.h), after the pyramid's formats, kernel and scales; no
// header guard.
//
// Integer sums are exact, so the order in which their products are added does not matter; the
// float window adds its taps in the scalar loop's order, each channel in its own float, so every
// lane repeats the scalar arithmetic.

// The weights of window row Row as pairs for a multiply-add: 16-bit lanes 2k and 2k+1 weigh
// columns 2 Pair and 2 Pair + 1.
template <int32_t Row, int32_t Pair>
inline Ints pairWeights() {
    return splat32(static_cast<int32_t>(static_cast<uint32_t>(SmoothingKernel::weight(Row, 2 * Pair + 1)) << 16 |
                                        static_cast<uint32_t>(SmoothingKernel::weight(Row, 2 * Pair))));
}

// Row R of every lane's window, `offset` bytes in.
inline Ints windowRow(const RowStarts* rows, const SourceColumn* first, int32_t row, size_t offset) {
    const uint8_t* starts[kLanes];
    for (int b = 0; b < kLanes; b++) starts[b] = rows[row][first[b].tileColumn] + first[b].byteOffset + offset;
    return loadLanes<Ints>(starts, 0);
}

// The integer conversion of four sums a lane: scaled in float, clamped at `limit`, truncated.
inline Ints convertSums(Ints sum, float limit) {
    return truncateFloats(minFloats(multiplyFloats(floatsOf(sum), splatFloat(kIntegerScale)), splatFloat(limit)));
}

template <typename Format>
inline void reduceWindows(uint8_t* const* out, const RowStarts* rows, const SourceColumn* first);

// 8-bit pixels: two neighbours' eight bytes become [a0 b0 a1 b1 a2 b2 a3 b3] in 16-bit lanes.
template <>
inline void reduceWindows<Rgba8>(uint8_t* const* out, const RowStarts* rows, const SourceColumn* first) {
    Ints sum = zeroInts();
    auto addRow = [&]<int32_t R>(std::integral_constant<int32_t, R>) {
        Ints t = windowRow(rows, first, R, 0), u = windowRow(rows, first, R, 8);
        sum = add32(sum, madd16(widenTexelPair<0>(t), pairWeights<R, 0>()));
        sum = add32(sum, madd16(widenTexelPair<8>(t), pairWeights<R, 1>()));
        sum = add32(sum, madd16(widenTexelPair<8>(u), pairWeights<R, 2>()));
    };
    [&]<int32_t... R>(std::integer_sequence<int32_t, R...>) {
        (addRow(std::integral_constant<int32_t, R>{}), ...);
    }(std::make_integer_sequence<int32_t, SmoothingKernel::kSize>{});
    Ints bytes = convertSums(sum, 255.0f);
    bytes = packUnsigned16(packSigned32(bytes, bytes), bytes);
    storeLanes<4>(out, bytes);
}

// 16-bit pixels: samples run to 32768, past the signed 16-bit range the multiply-add reads, so
// each is offset by -32768 (its top bit flipped) and the offset's share of the sum added back.
template <>
inline void reduceWindows<Rgba16>(uint8_t* const* out, const RowStarts* rows, const SourceColumn* first) {
    const Ints flip = splat16(static_cast<int16_t>(0x8000));
    auto pair = [&](Ints t) { return xor32(unpackLow16(t, bytesRight<8>(t)), flip); };
    Ints sum = zeroInts();
    auto addRow = [&]<int32_t R>(std::integral_constant<int32_t, R>) {
        sum = add32(sum, madd16(pair(windowRow(rows, first, R, 0)), pairWeights<R, 0>()));
        sum = add32(sum, madd16(pair(windowRow(rows, first, R, 16)), pairWeights<R, 1>()));
        sum = add32(sum, madd16(pair(windowRow(rows, first, R, 32)), pairWeights<R, 2>()));
    };
    [&]<int32_t... R>(std::integer_sequence<int32_t, R...>) {
        (addRow(std::integral_constant<int32_t, R>{}), ...);
    }(std::make_integer_sequence<int32_t, SmoothingKernel::kSize>{});
    sum = add32(sum, splat32(32768 * kernelSum()));
    Ints words = sub32(convertSums(sum, 32768.0f), splat32(32768));
    words = xor32(packSigned32(words, words), flip);
    storeLanes<8>(out, words);
}

// Float pixels: tap by tap, rows top to bottom, each row left to right. The clamp keeps NaN as
// the scalar store does: max(0, v) and min(65535, v) return v when it is NaN.
template <>
inline void reduceWindows<RgbaFloat>(uint8_t* const* out, const RowStarts* rows, const SourceColumn* first) {
    Floats sum = zeroFloats();
    auto addTap = [&]<int32_t Tap>(std::integral_constant<int32_t, Tap>) {
        constexpr int32_t row = Tap / SmoothingKernel::kSize;
        constexpr int32_t column = Tap % SmoothingKernel::kSize;
        constexpr int32_t weight = SmoothingKernel::weight(row, column);
        if constexpr (weight != 0) {
            Floats pixel = asFloats(windowRow(rows, first, row, 16 * column));
            sum = addFloats(sum, multiplyFloats(splatFloat(static_cast<float>(weight)), pixel));
        }
    };
    [&]<int32_t... Tap>(std::integer_sequence<int32_t, Tap...>) {
        (addTap(std::integral_constant<int32_t, Tap>{}), ...);
    }(std::make_integer_sequence<int32_t, SmoothingKernel::kSize * SmoothingKernel::kSize>{});
    Floats v = multiplyFloats(sum, splatFloat(kFloatScale));
    v = minFloats(splatFloat(65535.0f), maxFloats(zeroFloats(), v));
    storeLanes<16>(out, v);
}
