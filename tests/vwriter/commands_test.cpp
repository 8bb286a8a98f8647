// Every command of the writer's command set, seen from the program's side of libtunnix.
#include <gtest/gtest.h>

#include "catalogue/lookup.h"
#include "catalogue/part_database.h"
#include "harness.h"

using namespace vwt;

namespace {

struct Chip {
    std::uint32_t deviceCode = cat::Part(1).DeviceCode();
    std::uint32_t codeSize = cat::Part(1).CodeSize();
    std::uint32_t optionCount = cat::Part(1).Number(cat::key::kOptionCount);
    bool trimFlag = cat::Part(1).Number(0x000D) != 0;
};

}  // namespace

TEST(WriterCommands, FirmwareReplyMatchesTheImagesCarriedForThePart) {
    const cat::Part part(1);
    const auto family = static_cast<std::uint8_t>(part.FirmwareFamily() & 0xFF);
    const auto dfu = cat::LookupImage(static_cast<std::uint16_t>(0x100 + family));
    const auto cmd4 = cat::LookupImage(0x200);
    {
        VWriter dev;
        Link link;
        link.Frame(0, 0);
        const Bytes reply = link.Receive(6);
        ASSERT_EQ(reply.size(), 6u);
        EXPECT_EQ(reply[0], family);
        EXPECT_EQ(reply[3], 0);
        if (dfu) {
            EXPECT_EQ((Bytes{reply[1], reply[2]}), (Bytes{dfu->version1, dfu->version2}));
        }
        if (cmd4) {
            EXPECT_EQ((Bytes{reply[4], reply[5]}), (Bytes{cmd4->version1, cmd4->version2}));
        }
    }
    VWriter old({"--firmware", "old"});
    Link link;
    link.Frame(0, 0);
    const Bytes reply = link.Receive(6);
    ASSERT_EQ(reply.size(), 6u);
    EXPECT_EQ(reply[0], family);
    // Both images differ from the carried ones, so the program offers the upgrade.
    const Bytes dfuVersion{dfu ? dfu->version1 : std::uint8_t{0},
                           dfu ? dfu->version2 : std::uint8_t{0}};
    const Bytes cmdVersion{cmd4 ? cmd4->version1 : std::uint8_t{0},
                           cmd4 ? cmd4->version2 : std::uint8_t{0}};
    EXPECT_NE((Bytes{reply[1], reply[2]}), dfuVersion);
    EXPECT_NE((Bytes{reply[4], reply[5]}), cmdVersion);
}

TEST(WriterCommands, ANewWriterRunsTheFirmwareOfItsChipsFamily) {
    const auto familyOf = [](int index) {
        return static_cast<std::uint8_t>(cat::Part(index).FirmwareFamily() & 0xFF);
    };
    int other = 0;
    for (int index : cat::AllPartIndices()) {
        if (familyOf(index) != familyOf(1)) other = index;
    }
    if (other == 0) GTEST_SKIP() << "one firmware family only";
    VWriter dev({"--part", std::to_string(other)});
    Link link;
    link.Frame(0, 0);
    const Bytes reply = link.Receive(6);
    ASSERT_EQ(reply.size(), 6u);
    EXPECT_EQ(reply[0], familyOf(other));
    if (const auto dfu = cat::LookupImage(static_cast<std::uint16_t>(0x100 + familyOf(other)))) {
        EXPECT_EQ((Bytes{reply[1], reply[2]}), (Bytes{dfu->version1, dfu->version2}));
    }
}

TEST(WriterCommands, CheckIdPassesOnlyForTheInsertedPartsDeviceCode) {
    const Chip chip;
    VWriter dev;
    Link link;
    EXPECT_EQ(link.Command(0, 1, chip.deviceCode), 1);
    EXPECT_EQ(link.Command(0, 1, chip.deviceCode ^ 0x0100), 0);
    EXPECT_EQ(link.Command(0, 1, 0), 0);
    EXPECT_EQ(link.Command(0x07, 0x07), 0);  // unknown command
    EXPECT_EQ(link.Command(0, 9), 0);        // unknown subcommand
}

TEST(WriterCommands, FlashProgramsOnlyOneToZeroAndErasesInPages) {
    const Chip chip;
    ASSERT_GE(chip.codeSize, 1024u);
    VWriter dev;
    Link link;
    // A fresh chip is blank.
    EXPECT_EQ(link.ReadCommand(3, 0, 0, 1024), Bytes(1024, 0xFF));

    Bytes first(1024, 0xF0);
    ASSERT_TRUE(link.WriteCommand(2, 0, 0, first));
    // Programming over unerased bytes leaves their AND, as real flash does.
    ASSERT_TRUE(link.WriteCommand(2, 0, 0, Bytes(1024, 0x3C)));
    EXPECT_EQ(link.ReadCommand(3, 0, 0, 1024), Bytes(1024, 0x30));

    // Erase one page starting inside page 0: the whole of page 0, nothing of page 1.
    EXPECT_EQ(link.Command(1, 1, 0x10, 1), 1);
    Bytes expected(1024, 0x30);
    std::fill(expected.begin(), expected.begin() + 512, 0xFF);
    EXPECT_EQ(link.ReadCommand(3, 0, 0, 1024), expected);
    EXPECT_EQ(link.Command(1, 1, 0, 0), 1);  // no pages: nothing to do

    // The last bytes of the chip are reachable, one past them is not.
    ASSERT_TRUE(link.WriteCommand(2, 0, chip.codeSize - 4, Bytes{1, 2, 3, 4}));
    EXPECT_EQ(link.ReadCommand(3, 0, chip.codeSize - 4, 4), (Bytes{1, 2, 3, 4}));
    EXPECT_EQ(link.Command(2, 0, chip.codeSize - 4, 5), 0);
    EXPECT_EQ(link.Command(3, 0, chip.codeSize, 1), 0);
    EXPECT_EQ(link.Command(3, 0, 0xFFFFFFF0u, 0x20), 0);  // wraps in 32 bits
    EXPECT_EQ(link.Command(1, 1, chip.codeSize, 1), 0);
    EXPECT_EQ(link.Command(1, 1, 0, (chip.codeSize + 511) / 512 + 1), 0);
    EXPECT_EQ(link.Command(1, 1, 0, 0xFFFFFFFFu), 0);
}

TEST(WriterCommands, WholeChipEraseClearsFlashAndOptionsForTheRightChipOnly) {
    const Chip chip;
    ASSERT_GT(chip.optionCount, 0u);
    VWriter dev;
    Link link;
    ASSERT_TRUE(link.WriteCommand(2, 0, 0, Bytes(256, 0x00)));
    ASSERT_TRUE(link.WriteCommand(2, 1, 0, Bytes(chip.optionCount, 0x12)));
    EXPECT_EQ(link.Command(1, 0, chip.deviceCode ^ 1), 0);
    EXPECT_EQ(link.ReadCommand(3, 1, 0, chip.optionCount), Bytes(chip.optionCount, 0x12));
    EXPECT_EQ(link.Command(1, 0, chip.deviceCode), 1);
    EXPECT_EQ(link.ReadCommand(3, 0, 0, 256), Bytes(256, 0xFF));
    EXPECT_EQ(link.ReadCommand(3, 1, 0, chip.optionCount), Bytes(chip.optionCount, 0xFF));
}

TEST(WriterCommands, OptionBytesAreStoredAndReadBackWithinTheirCount) {
    const Chip chip;
    VWriter dev;
    Link link;
    Bytes options(chip.optionCount);
    for (std::size_t i = 0; i < options.size(); ++i)
        options[i] = static_cast<std::uint8_t>(0xA0 + i);
    ASSERT_TRUE(link.WriteCommand(2, 1, 0, options));
    EXPECT_EQ(link.ReadCommand(3, 1, 0, chip.optionCount), options);
    EXPECT_EQ(link.Command(2, 1, 0, chip.optionCount + 1), 0);
    EXPECT_EQ(link.Command(3, 1, 0, chip.optionCount + 1), 0);
    EXPECT_EQ(dev.StateValue("options").size(), chip.optionCount * 3 - 1);
}

TEST(WriterCommands, TrimAnswersItsResultAfterADelay) {
    const Chip chip;
    VWriter dev;
    Link link;
    EXPECT_EQ(link.Command(3, 4, chip.deviceCode ^ 1, 2), 0);
    EXPECT_EQ(link.Command(3, 4, chip.deviceCode, 2), 1);
    const Bytes result = link.Receive(1);
    ASSERT_EQ(result.size(), 1u);
    EXPECT_EQ(result[0] != 0, chip.trimFlag);
    EXPECT_EQ(dev.StateValue("trimmed_osc"), "2");

    // A part that needs trimming answers a non-zero result.
    for (int index : cat::AllPartIndices()) {
        const cat::Part part(index);
        if (part.Number(0x000D) == 0) continue;
        ASSERT_EQ(dev.Ctl("part " + std::to_string(index)), "ok\n");
        EXPECT_EQ(link.ReadCommand(3, 4, part.DeviceCode(), 1), Bytes{1}) << index;
        break;
    }
}

TEST(WriterCommands, OfflineStoreKeepsCodeAndRecordAndCountsStandAloneChips) {
    VWriter dev;
    Link link;
    const Bytes code = Pattern(700, 7);
    ASSERT_TRUE(link.WriteCommand(2, 2, 0, code));
    // A 69-byte record: max counter 5 at 23, serial numbers on (25) with auto increment (26).
    Bytes record = Pattern(69, 9);
    record[23] = 5;
    record[24] = 0;
    record[25] = 1;
    record[26] = 1;
    ASSERT_TRUE(link.WriteCommand(2, 3, 0, record));
    EXPECT_EQ(dev.StateValue("offline_code"), "700");

    auto block = link.ReadCommand(3, 2, 0, 512);
    ASSERT_TRUE(block);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), block->begin()));
    EXPECT_TRUE(std::all_of(block->begin() + 69, block->begin() + 504,
                            [](std::uint8_t b) { return b == 0xFF; }));
    EXPECT_EQ(Bytes(block->begin() + 504, block->end()), (Bytes{0, 0, 0, 0, 0, 0, 0, 0}));

    EXPECT_EQ(dev.Ctl("run 3").rfind("ok", 0), 0u);
    EXPECT_EQ(dev.Ctl("run 4").rfind("ok programmed=2", 0), 0u);  // stops at the max counter
    block = link.ReadCommand(3, 2, 0, 512);
    ASSERT_TRUE(block);
    // Counter little-endian at 504, serial progress big-endian at 508.
    EXPECT_EQ(Bytes(block->begin() + 504, block->end()), (Bytes{5, 0, 0, 0, 0, 0, 0, 5}));

    EXPECT_EQ(link.Command(2, 3, 0, 505), 0);  // would overlap the counters
    EXPECT_EQ(link.Command(3, 2, 0, 513), 0);
}

TEST(WriterCommands, StandAloneWithoutAutoIncrementUsesOneSerialNumber) {
    VWriter dev;
    Link link;
    Bytes record(62, 0);
    record[23] = 0x10;
    record[25] = 1;
    ASSERT_TRUE(link.WriteCommand(2, 3, 0, record));
    dev.Ctl("run 4");
    const auto block = link.ReadCommand(3, 2, 0, 512);
    ASSERT_TRUE(block);
    EXPECT_EQ(Bytes(block->begin() + 504, block->end()), (Bytes{4, 0, 0, 0, 0, 0, 0, 1}));
}

TEST(WriterCommands, ControlCanSwapTheChipInTheSocket) {
    VWriter dev;
    EXPECT_EQ(dev.Ctl("part 0").rfind("error", 0), 0u);
    EXPECT_EQ(dev.Ctl("part 4095").rfind("error", 0), 0u);
    EXPECT_EQ(dev.Ctl("bogus").rfind("error", 0), 0u);
    const auto parts = cat::AllPartIndices();
    ASSERT_FALSE(parts.empty());
    const int other = parts.back();
    ASSERT_EQ(dev.Ctl("part " + std::to_string(other)), "ok\n");
    Link link;
    EXPECT_EQ(link.Command(0, 1, cat::Part(other).DeviceCode()), 1);
    EXPECT_EQ(dev.StateValue("code_size"), std::to_string(cat::Part(other).CodeSize()));
}
