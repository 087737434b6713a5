// The parameter block through runs, and the buffer plan Prepare reports for the filter rectangle.
#include <gtest/gtest.h>

#include <utility>

#include "run/dispatcher.h"
#include "run/parameters.h"
#include "hostapp/host.h"

using namespace hostapp;

// A run writes the block's fields and nothing else: every byte outside them keeps what the
// host's new handle held.
TEST(ParameterBlock, ARunWritesOnlyTheBlocksFields) {
    Document doc = makeDocument(20, 10, 8, ColourModel::Rgb, false);
    InProcessHost host(PluginMain);
    ASSERT_EQ(host.runFilter(doc).result, kNoErr);
    const FilterParameters* block = reinterpret_cast<const FilterParameters*>(*host.record().parameters);
    const uint8_t* unwritten[] = {block->unused4,  block->unused16,  &block->unused84, block->unused88,
                                  block->unused104, block->unused212, block->unused320, block->unused385,
                                  block->unused412, block->unused1204};
    const size_t sizes[] = {2, 66, 1, 8, 104, 80, 44, 23, 12, 4};
    for (size_t i = 0; i < std::size(sizes); i++)
        for (size_t b = 0; b < sizes[i]; b++) EXPECT_EQ(unwritten[i][b], 0xA5) << "gap " << i << " byte " << b;

    EXPECT_EQ(block->advanceAndDisplay, 1);  // the host offers advanceState and displayPixels
    EXPECT_EQ(block->sourceImported, 1);
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

// Prepare tells the host the memory Start then asks for: the row records and 1112 bytes more,
// planned for the filter rectangle, so a selection plans as a document of its size.
TEST(BufferPlan, PrepareReportsWhatStartObtainsForTheFilterRectangle) {
    auto plan = [](Document doc) {
        InProcessHost host(PluginMain);
        host.bind(doc);
        EXPECT_EQ(host.call(kSelectorPrepare), kNoErr);
        EXPECT_EQ(host.call(kSelectorStart), kNoErr);
        EXPECT_EQ(host.record().bufferSpace, host.eventsOf(HostCall::AllocateBuffer)[0].a + 1112) << doc.width;
        return host.record().bufferSpace;
    };
    for (auto [width, height] : {std::pair{1, 1}, {3000, 5}, {5, 3000}})
        EXPECT_GT(plan(makeDocument(width, height, 8, ColourModel::Gray, false)), (width + 4) * kColumnRecordBytes);
    Document selected = makeDocument(300, 200, 8, ColourModel::Rgb, true);
    selected.hasSelection = true;
    selected.selection = Rect16{10, 20, 60, 120};  // 100 wide, 50 high
    EXPECT_EQ(plan(selected), plan(makeDocument(100, 50, 8, ColourModel::Rgb, true)));
}
