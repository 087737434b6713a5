// The parameter block's bytes through a run's stages, the buffer plan and the work area.
#include <gtest/gtest.h>

#include <map>

#include "host/dispatcher.h"
#include "host/parameters.h"
#include "hostapp/host.h"

using namespace hostapp;

constexpr uint8_t kUntouched = 0xA5;  // what the in-process host fills new handles with

// Little-endian bytes of a value, keyed by their offset in the block.
template <typename T>
static void expectBytes(std::map<int, uint8_t>& bytes, int offset, T value) {
    for (size_t i = 0; i < sizeof value; i++)
        bytes[offset + static_cast<int>(i)] = static_cast<uint8_t>(static_cast<uint64_t>(value) >> (8 * i));
}

// Every byte of the block: the expected ones as given, all others never written.
static void expectBlock(const uint8_t* block, const std::map<int, uint8_t>& expected) {
    for (int i = 0; i < kParameterBlockBytes; i++) {
        auto it = expected.find(i);
        uint8_t want = it == expected.end() ? kUntouched : it->second;
        ASSERT_EQ(block[i], want) << "byte " << i;
    }
}

TEST(ParameterBlock, StagesWriteExactlyTheirFieldsAndNothingElse) {
    Document doc = makeDocument(20, 10, 8, ColourModel::Rgb, false);
    InProcessHost host(PluginMain);
    host.bind(doc);

    ASSERT_EQ(host.call(kSelectorParameters), kNoErr);
    const uint8_t* block = reinterpret_cast<const uint8_t*>(*host.record().parameters);
    PluginGlobals* globals = reinterpret_cast<PluginGlobals*>(*reinterpret_cast<Handle>(host.dataSlot()));

    // Creation, then Parameters' own word.
    std::map<int, uint8_t> bytes;
    expectBytes<uint16_t>(bytes, 6, 1);
    expectBytes<uint64_t>(bytes, 8, reinterpret_cast<uintptr_t>(globals));
    expectBytes<uint8_t>(bytes, 82, 1);
    expectBytes<uint8_t>(bytes, 83, 1);
    expectBytes<uint8_t>(bytes, 85, 0);
    expectBytes<uint8_t>(bytes, 86, 0);
    expectBytes<uint8_t>(bytes, 87, 0);
    expectBytes<uint32_t>(bytes, 208, 1);
    expectBytes<uint32_t>(bytes, 292, 1);
    expectBytes<uint32_t>(bytes, 296, 0);
    expectBytes<uint32_t>(bytes, 300, 1);
    expectBytes<int32_t>(bytes, 312, -1);
    expectBytes<int32_t>(bytes, 316, -1);
    expectBytes<uint32_t>(bytes, 0, 1);
    expectBlock(block, bytes);

    // Prepare clears framework flag C; its work area sets the area scale again.
    const_cast<uint8_t*>(block)[87] = 9;
    ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
    expectBlock(block, bytes);
    EXPECT_EQ(globals->workWidth, 20);
    EXPECT_EQ(globals->workHeight, 10);
    EXPECT_EQ(globals->lastColumn, 19);
    EXPECT_EQ(globals->lastRow, 9);

    // Start rewrites its per-run fields, a fresh start adds the settings' defaults, and the
    // imported source is marked.
    ASSERT_EQ(host.call(kSelectorStart), kNoErr);
    expectBytes<uint32_t>(bytes, 0, 0);
    expectBytes<uint8_t>(bytes, 85, 1);  // the host offers advanceState and displayPixels
    expectBytes<int64_t>(bytes, 96, -99);
    const int32_t defaults[5] = {0, 0, 1, 100, 100};
    for (int i = 0; i < 5; i++) expectBytes<int32_t>(bytes, 364 + 4 * i, defaults[i]);
    expectBytes<int32_t>(bytes, 304, 0);
    expectBytes<int32_t>(bytes, 308, 0);
    expectBytes<uint8_t>(bytes, 384, 1);
    expectBytes<uint32_t>(bytes, 408, 3);
    for (int field : {424, 684, 944}) expectBytes<uint8_t>(bytes, field, 0);
    expectBlock(block, bytes);
}

TEST(ParameterBlock, AnExistingBlockIsKeptAndItsSettingsStay) {
    Document doc = makeDocument(8, 8, 8, ColourModel::Gray, false);
    InProcessHost host(PluginMain);
    host.runFilter(doc);
    Handle handle = host.record().parameters;
    FilterParameters* block = reinterpret_cast<FilterParameters*>(*handle);
    block->persistentSettings[3] = 7;
    block->version = 99;

    HostSettings& settings = host.settings();
    settings.parameters = ParametersCall::Always;
    settings.offerDisplayPixels = false;
    EXPECT_EQ(host.runFilter(doc).result, kNoErr);
    EXPECT_EQ(host.record().parameters, handle);
    EXPECT_EQ(block->version, 99);
    EXPECT_EQ(block->persistentSettings[3], 7);
    EXPECT_EQ(block->advanceAndDisplay, 0);  // no displayPixels this time
}

TEST(BufferPlan, RowRecordsAndBufferSpaceFollowTheWorkArea) {
    const struct {
        int32_t width, height, rowRecords, bufferSpace;
    } cases[] = {
        {1, 1, 2187, 272300},
        {3000, 500, 11184, 11184 * 124 + 1112},  // 3w + 2184 wins
        {500, 3000, 6008, 6008 * 124 + 1112},    // 2 (max + 4) wins
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rowRecordCountFor(c.width, c.height), c.rowRecords);
        Document doc = makeDocument(c.width, c.height, 8, ColourModel::Gray, false);
        InProcessHost host(PluginMain);
        host.bind(doc);
        host.record().bufferSpace = -1;
        ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
        EXPECT_EQ(host.record().bufferSpace, c.bufferSpace) << c.width << " x " << c.height;
    }
}

TEST(BufferPlan, PrepareWorksOnTheSelectionRectangle) {
    Document doc = makeDocument(300, 200, 8, ColourModel::Rgb, true);
    doc.hasSelection = true;
    doc.selection = Rect16{10, 20, 60, 120};  // 100 wide, 50 high
    InProcessHost host(PluginMain);
    host.bind(doc);
    ASSERT_EQ(host.call(kSelectorPrepare), kNoErr);
    PluginGlobals* globals = reinterpret_cast<PluginGlobals*>(*reinterpret_cast<Handle>(host.dataSlot()));
    EXPECT_EQ(globals->savedFilterRect.left, 20);
    EXPECT_EQ(globals->savedFilterRect.bottom, 60);
    EXPECT_EQ(globals->workWidth, 100);
    EXPECT_EQ(globals->workHeight, 50);
    EXPECT_EQ(host.record().bufferSpace, bufferSpaceFor(3 * 100 + 2184));
}
