// The parameter block through runs.
#include <gtest/gtest.h>

#include "run/dispatcher.h"
#include "run/parameters.h"
#include "hostapp/host.h"

using namespace hostapp;

// A run writes the block's fields and nothing else: every byte outside them keeps what the
// host's new handle held.
TEST(ParameterBlock, ARunWritesOnlyTheBlocksFieldsAndALaterRunKeepsTheBlock) {
    Document doc = makeDocument(20, 10, 8, ColourModel::Rgb, false);
    InProcessHost host(PluginMain);
    ASSERT_EQ(host.runFilter(doc).result, kNoErr);
    FilterParameters* block = reinterpret_cast<FilterParameters*>(*host.record().parameters);
    const uint8_t* unwritten[] = {block->unused4,  block->unused16,  &block->unused84, block->unused88,
                                  block->unused104, block->unused212, block->unused320, block->unused385,
                                  block->unused412, block->unused1204};
    const size_t sizes[] = {2, 66, 1, 8, 104, 80, 44, 23, 12, 4};
    for (size_t i = 0; i < std::size(sizes); i++)
        for (size_t b = 0; b < sizes[i]; b++) EXPECT_EQ(unwritten[i][b], 0xA5) << "gap " << i << " byte " << b;

    EXPECT_EQ(block->advanceAndDisplay, 1);  // the host offers advanceState and displayPixels
    EXPECT_EQ(block->sourceImported, 1);

    // A later run keeps the block and its settings.
    Handle handle = host.record().parameters;
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
