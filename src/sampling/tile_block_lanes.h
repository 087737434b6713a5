// The kernels for reads inside one tile, written once over 128-bit lanes: a vector holds one
// read per 128-bit lane (one for SSE2, two for AVX2), and every operation here works within
// lanes, so each lane computes its read exactly as a lone 128-bit one would.
// Included once per instruction set, inside a namespace that takes the set's operations
// (platform/lane_ops.h); no header guard.
//
// Each lane repeats the scalar kernel's arithmetic: integer sums are exact in any order (32-bit
// words that wrap like the scalar ones), the 16-bit row sums are divided by 32768 toward zero
// before their row weights, and float rows and totals add their products in the scalar order,
// starting from zero, one float per channel.

// The weights of one phase for the reads of a vector: lane b holds phase[b]'s five weights by
// offset, -2 first, in elements 0..3 (`low`) and 1..4 (`high`).
template <typename T, typename V>
inline void phaseWeights(const T (*byOffset)[kWeightTaps], const int32_t* phase, V* low, V* high) {
    const T* rows[kLanes];
    for (int b = 0; b < kLanes; b++) rows[b] = byOffset[phase[b]];
    *low = loadLanes<V>(rows, 0);
    *high = loadLanes<V>(rows, 1);
}

// The reads blocks[first .. first + kLanes - 1], the missing ones past `count` repeating the
// last, as the kernel's arguments: top-left texels, strides and phases by lane.
struct VectorReads {
    const uint8_t* corner[kLanes];
    size_t stride[kLanes];
    int32_t phaseX[kLanes];
    int32_t phaseY[kLanes];
};
inline VectorReads vectorReads(const TileBlock* blocks, int32_t first, int32_t count) {
    VectorReads r;
    for (int b = 0; b < kLanes; b++) {
        const TileBlock& block = blocks[first + b < count ? first + b : count - 1];
        r.corner[b] = block.corner;
        r.stride[b] = static_cast<size_t>(block.stride);
        r.phaseX[b] = block.phaseX;
        r.phaseY[b] = block.phaseY;
    }
    return r;
}

// Row r of every read, `offset` bytes in.
inline Ints rowOf(const VectorReads& r, int32_t row, size_t offset) {
    const uint8_t* rows[kLanes];
    for (int b = 0; b < kLanes; b++) rows[b] = r.corner[b] + row * r.stride[b] + offset;
    return loadLanes<Ints>(rows, 0);
}

// The row weight of row r (offset r - 2) in every lane.
inline Ints rowWeight(Ints low, Ints high, int32_t row) {
    switch (row) {
        case 0: return broadcast32<0>(low);
        case 1: return broadcast32<1>(low);
        case 2: return broadcast32<2>(low);
        case 3: return broadcast32<3>(low);
        default: return broadcast32<3>(high);
    }
}

// The column weights as 16-bit pairs for a multiply-add: (w-2, w-1), (w0, w+1) and (w+2, 0).
struct ColumnPairs {
    Ints w01, w23, w4;
};
inline ColumnPairs columnPairs(Ints low, Ints high) {
    Ints pairs = packSigned32(low, bytesRight<12>(high));
    return {broadcast32<0>(pairs), broadcast32<1>(pairs), broadcast32<2>(pairs)};
}

// The integer totals of every lane, channels in memory order, converted and scaled, into
// out[first ..], the lanes past count dropped.
inline void storeTotals(Floats totals, float (*out)[4], int32_t first, int32_t count) {
    if (count - first >= kLanes) {
        storeFloats(out[first], totals);
        return;
    }
    float lanes[kLanes][4];
    storeFloats(lanes[0], totals);
    for (int32_t b = 0; first + b < count; b++)
        for (int i = 0; i < 4; i++) out[first + b][i] = lanes[b][i];
}

// 8-bit texels, bytes A, B, G, R in memory: each row's texel pairs interleaved channel by channel
// and widened, so one multiply-add weighs two columns of four channels.
void filterBlocks8(const TileBlock* blocks, int32_t count, const WeightTable& table, float (*out)[4]) {
    const Ints zero = zeroInts();
    for (int32_t first = 0; first < count; first += kLanes) {
        VectorReads r = vectorReads(blocks, first, count);
        Ints low, high;
        phaseWeights(table.byOffset2048, r.phaseX, &low, &high);
        ColumnPairs w = columnPairs(low, high);
        phaseWeights(table.byOffset2048, r.phaseY, &low, &high);
        Ints total = zero;
        for (int32_t row = 0; row < kWeightTaps; row++) {
            Ints t0123 = rowOf(r, row, 0);
            Ints t1234 = rowOf(r, row, 4);
            Ints rowSum = add32(add32(madd16(widenTexelPair<0>(t0123), w.w01), madd16(widenTexelPair<4>(t1234), w.w23)),
                                madd16(widenTexel<12>(t1234), w.w4));
            total = add32(total, multiply32(rowWeight(low, high, row), rowSum));
        }
        // Channels A, B, G, R to R, G, B, A.
        storeTotals(scaleInts(reverse32(total), 2.3841858e-7f), out, first, count);  // 2^-22
    }
}

// Per channel, the sum of the 16-bit lanes of `pairs` times the paired weights, the lanes taken
// as unsigned: each is split into its high and low byte, so the products stay exact.
inline Ints sumPairsUnsigned(Ints pairs, Ints weights) {
    Ints high = madd16(shiftRight16<8>(pairs), weights);
    Ints low = madd16(and32(pairs, splat16(0xFF)), weights);
    return add32(shiftLeft32<8>(high), low);
}

// 16-bit texels: four samples R, G, B, A. Each row sum is divided by 32768, truncating toward
// zero, before it is weighed by its row.
void filterBlocks16(const TileBlock* blocks, int32_t count, const WeightTable& table, float (*out)[4]) {
    const Ints zero = zeroInts();
    for (int32_t first = 0; first < count; first += kLanes) {
        VectorReads r = vectorReads(blocks, first, count);
        Ints low, high;
        phaseWeights(table.byOffset32768, r.phaseX, &low, &high);
        ColumnPairs w = columnPairs(low, high);
        phaseWeights(table.byOffset32768, r.phaseY, &low, &high);
        Ints total = zero;
        for (int32_t row = 0; row < kWeightTaps; row++) {
            Ints t01 = rowOf(r, row, 0);
            Ints t23 = rowOf(r, row, 16);
            Ints t4 = bytesRight<8>(rowOf(r, row, 24));
            Ints rowSum = add32(add32(sumPairsUnsigned(unpackLow16(t01, bytesRight<8>(t01)), w.w01),
                                      sumPairsUnsigned(unpackLow16(t23, bytesRight<8>(t23)), w.w23)),
                                sumPairsUnsigned(unpackLow16(t4, zero), w.w4));
            Ints towardZero = and32(shiftRightSigned32<31>(rowSum), splat32(32767));
            Ints scaled = shiftRightSigned32<15>(add32(rowSum, towardZero));
            total = add32(total, multiply32(rowWeight(low, high, row), scaled));
        }
        storeTotals(scaleInts(total, 3.0517578e-5f), out, first, count);  // 2^-15
    }
}

// Float texels: one float per channel, products and sums in the scalar kernel's order.
void filterBlocksFloat(const TileBlock* blocks, int32_t count, const WeightTable& table, float (*out)[4]) {
    for (int32_t first = 0; first < count; first += kLanes) {
        VectorReads r = vectorReads(blocks, first, count);
        Floats lowX, highX, lowY, highY;
        phaseWeights(table.byOffset, r.phaseX, &lowX, &highX);
        phaseWeights(table.byOffset, r.phaseY, &lowY, &highY);
        const Floats columnWeight[kWeightTaps] = {broadcastFloat<0>(lowX), broadcastFloat<1>(lowX),
                                                  broadcastFloat<2>(lowX), broadcastFloat<3>(lowX),
                                                  broadcastFloat<3>(highX)};
        const Floats rowWeights[kWeightTaps] = {broadcastFloat<0>(lowY), broadcastFloat<1>(lowY),
                                                broadcastFloat<2>(lowY), broadcastFloat<3>(lowY),
                                                broadcastFloat<3>(highY)};
        Floats total = zeroFloats();
        for (int32_t row = 0; row < kWeightTaps; row++) {
            Floats rowSum = zeroFloats();
            for (int32_t c = 0; c < kWeightTaps; c++) {
                Floats texel = asFloats(rowOf(r, row, 16 * static_cast<size_t>(c)));
                rowSum = addFloats(rowSum, multiplyFloats(columnWeight[c], texel));
            }
            total = addFloats(total, multiplyFloats(rowWeights[row], rowSum));
        }
        storeTotals(total, out, first, count);
    }
}
