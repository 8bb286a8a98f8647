// Every operation button and the Auto batch against the virtual writer: the whole log the
// operator reads and every frame the writer received, in order.
#include <gtest/gtest.h>

#include "workbench/file_actions.h"
#include "writer_fixture.h"

namespace wt {
namespace {

using writer::button::kBlankCheck;
using writer::button::kCheckId;
using writer::button::kDumpTarget;
using writer::button::kErase;
using writer::button::kProgram;
using writer::button::kReadOption;
using writer::button::kVerify;
using writer::button::kWholeChipErase;
using writer::button::kWriteOption;

constexpr const char* kBegin = "----Begin----\r\n";
constexpr const char* kEnd = "-----End-----\r\n";
constexpr const char* kCheckIdPass = "Check ID => Pass !\t\t [0.000\"]\r\n";

// The device code is filled in for p1 == kDc.
constexpr std::uint32_t kDc = 0xDC;

struct ButtonCase {
    const char* name;
    int button;
    bool loaded;  // 300 bytes typed into the buffer: the whole code space is written
    bool passes;
    std::string lines;          // between Begin and End
    std::vector<Frame> frames;  // after the firmware check's 0/0
};

class Buttons : public WriterTest, public ::testing::WithParamInterface<ButtonCase> {};

TEST_P(Buttons, LogAndFramesAreExact) {
    const ButtonCase& c = GetParam();
    Start();
    const std::vector<std::uint8_t> code = Pattern(300, 7);
    if (c.loaded) Load(code);
    EXPECT_EQ(writer->OnButton(c.button).passed(), c.passes);
    EXPECT_EQ(log.text, kBegin + c.lines + kEnd);
    std::vector<Frame> expected{{0, 0, 0, 0, 0}};
    for (Frame f : c.frames) {
        if (f.p1 == kDc) f.p1 = DeviceCode();
        expected.push_back(f);
    }
    EXPECT_EQ(Frames(), expected);
    // The firmware check and the operation each connect once.
    EXPECT_EQ(Connections(), 2);
    EXPECT_FALSE(writer->busy);
    EXPECT_FALSE(writer->operationOpen);
    EXPECT_FALSE(link->connected());
    EXPECT_FALSE(host.barShown);
    if (c.button != kDumpTarget && c.loaded) {
        EXPECT_EQ(buffer.Bytes(), code);
    }
}

const std::string kCheck = kCheckIdPass;
INSTANTIATE_TEST_SUITE_P(
    Part1, Buttons,
    ::testing::Values(ButtonCase{"CheckId", kCheckId, false, true, kCheck, {{0, 1, kDc, 0, 0}}},
                      ButtonCase{"WholeChipErase",
                                 kWholeChipErase,
                                 false,
                                 true,
                                 "Whole-Chip Erase => Pass !\t [0.000\"]\r\n",
                                 {{1, 0, kDc, 0, 0}}},
                      ButtonCase{"Erase",
                                 kErase,
                                 true,
                                 true,
                                 kCheck + "Erase => Pass !\t\t [0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {1, 1, 0, 8, 0}}},
                      ButtonCase{"BlankCheck",
                                 kBlankCheck,
                                 true,
                                 true,
                                 kCheck + "Blank Check => Pass !\t [0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {3, 0, 0, 0x1000, 0}}},
                      ButtonCase{"Program",
                                 kProgram,
                                 true,
                                 true,
                                 kCheck + "Program => Pass !\t\t [0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {2, 0, 0, 0x1000, 0}}},
                      ButtonCase{"VerifyAnErasedChip",
                                 kVerify,
                                 true,
                                 false,
                                 kCheck + "Verify => Fail !\t\t [0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {3, 0, 0, 0x1000, 0}}},
                      ButtonCase{"ProgramEmptyBuffer",
                                 kProgram,
                                 false,
                                 true,
                                 kCheck + "Code Buffer is empty, and skips PROGRAM !\r\n",
                                 {{0, 1, kDc, 0, 0}}},
                      ButtonCase{"VerifyEmptyBuffer",
                                 kVerify,
                                 false,
                                 true,
                                 kCheck + "Code Buffer is empty, and skips VERIFY !\r\n",
                                 {{0, 1, kDc, 0, 0}}},
                      ButtonCase{"Dump",
                                 kDumpTarget,
                                 false,
                                 true,
                                 kCheck +
                                     "Dump Target => Pass !\t [0.000\"]\r\nRead Opiton => Pass !\t "
                                     "[0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {3, 0, 0, 0x1000, 0}, {3, 1, 0, 2, 0}}},
                      ButtonCase{"WriteOption",
                                 kWriteOption,
                                 false,
                                 true,
                                 kCheck + "Program Option => Pass !\t [0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {2, 1, 0, 2, 0}}},
                      ButtonCase{"ReadOption",
                                 kReadOption,
                                 false,
                                 true,
                                 kCheck + "Read Opiton => Pass !\t [0.000\"]\r\n",
                                 {{0, 1, kDc, 0, 0}, {3, 1, 0, 2, 0}}}),
    [](const auto& p) { return std::string(p.param.name); });

// Answers the ISP dialog with the part's own code.
class BuiltinIsp : public proj::FileDialogs {
  public:
    std::optional<std::string> OpenProgramFile() override { return std::nullopt; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t) override { return std::nullopt; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return std::nullopt; }
    void CustomSetting(std::uint8_t&, std::string&) override {}
    std::optional<proj::IspChoice> InsertIsp() override {
        return proj::IspChoice{proj::ISP_SRC_BUILTIN, {}};
    }
};

TEST_F(WriterTest, AnIspOnlyBufferIsWrittenAndVerifiedFromOffsetZero) {
    Start({}, 204);  // 0x3C00 bytes of code space, ISP code of its own
    BuiltinIsp dialogs;
    ASSERT_TRUE(proj::InsertIspButton(bench, dialogs).passed());
    const std::vector<std::uint8_t> isp = buffer.Bytes();
    const model::Areas areas = bench.ProgramAreas();
    ASSERT_EQ(areas.apLength, 0u);
    ASSERT_GT(areas.ispLength, 0u);
    ASSERT_TRUE(writer->OnButton(kProgram).passed());
    ASSERT_TRUE(writer->OnButton(kVerify).passed()) << log.text;
    const auto frames = Frames();
    ASSERT_GE(frames.size(), 2u);
    EXPECT_EQ(frames[2], (Frame{2, 0, areas.ispStart, areas.ispLength, 0}));
    EXPECT_EQ(frames.back(), (Frame{3, 0, areas.ispStart, areas.ispLength, 0}));
    // The chip holds the code at the ISP start.
    ASSERT_TRUE(writer->OnButton(kDumpTarget).passed());
    const auto chip = buffer.Bytes();
    ASSERT_EQ(chip.size(), 0x3C00u);
    ASSERT_EQ(isp.size(), areas.ispLength);
    EXPECT_TRUE(std::equal(isp.begin(), isp.end(), chip.begin() + areas.ispStart));
}

TEST_F(WriterTest, DumpReplacesTheBufferWithTheWholeCodeSpace) {
    Start({}, 204);
    Load(Pattern(0x100, 3));
    ASSERT_TRUE(writer->OnButton(kProgram).passed());
    Load({0x11});
    const std::uint32_t apLength = bench.info.apLength;
    ASSERT_TRUE(writer->OnButton(kDumpTarget).passed());
    const auto chip = buffer.Bytes();
    ASSERT_EQ(chip.size(), 0x3C00u);
    const auto written = Pattern(0x100, 3);
    EXPECT_TRUE(std::equal(written.begin(), written.end(), chip.begin()));
    EXPECT_EQ(chip[0x100], 0xFF);
    EXPECT_EQ(bench.info.apLength, apLength);  // the layout is left alone
    const auto frames = Frames();
    EXPECT_EQ(frames[frames.size() - 2], (Frame{3, 0, 0, 0x3C00, 0}));
}

struct AutoCase {
    const char* name;
    std::uint8_t mask;
    bool loaded;
    std::string lines;
    std::vector<Frame> frames;  // after the firmware check
};

class Auto : public WriterTest, public ::testing::WithParamInterface<AutoCase> {};

TEST_P(Auto, RunsItsStepsInTheFixedOrder) {
    const AutoCase& c = GetParam();
    Start();
    if (c.loaded) Load(Pattern(300, 1));
    [[maybe_unused]] const core::Outcome ran = writer->RunAuto(c.mask);
    EXPECT_EQ(bench.info.autoSteps, c.mask);
    EXPECT_EQ(log.text, kBegin + c.lines + kEnd);
    std::vector<Frame> expected{{0, 0, 0, 0, 0}};
    for (Frame f : c.frames) {
        if (f.p1 == kDc) f.p1 = DeviceCode();
        expected.push_back(f);
    }
    EXPECT_EQ(Frames(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, Auto,
    ::testing::Values(
        AutoCase{"AllButEraseOnAnEmptyBuffer",
                 0x1F,
                 false,
                 "Whole-Chip Erase => Pass !\t [0.000\"]\r\n" + kCheck +
                     "Blank Check => Pass !\t [0.000\"]\r\n"
                     "Code Buffer is empty, and skips PROGRAM !\r\n"
                     "Code Buffer is empty, and skips VERIFY !\r\n"
                     "Program Option => Pass !\t [0.000\"]\r\n",
                 {{1, 0, kDc, 0, 0}, {0, 1, kDc, 0, 0}, {3, 0, 0, 0x1000, 0}, {2, 1, 0, 2, 0}}},
        AutoCase{"WholeChipEraseSkipsErase",
                 0x21,
                 true,
                 "Whole-Chip Erase => Pass !\t [0.000\"]\r\n" + kCheck,
                 {{1, 0, kDc, 0, 0}, {0, 1, kDc, 0, 0}}},
        AutoCase{"EraseAfterCheckId",
                 0x20,
                 true,
                 kCheck + "Erase => Pass !\t\t [0.000\"]\r\n",
                 {{0, 1, kDc, 0, 0}, {1, 1, 0, 8, 0}}},
        AutoCase{"ProgramThenVerify",
                 0xCC,
                 true,
                 kCheck + "Program => Pass !\t\t [0.000\"]\r\nVerify => Pass !\t\t [0.000\"]\r\n",
                 {{0, 1, kDc, 0, 0}, {2, 0, 0, 0x1000, 0}, {3, 0, 0, 0x1000, 0}}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WriterTest, AFailedBlankCheckStopsTheBatch) {
    Start();
    Load(Pattern(300, 1));
    ASSERT_TRUE(writer->OnButton(kProgram).passed());
    EXPECT_FALSE(writer->RunAuto(0x1E).passed());
    EXPECT_EQ(log.text,
              std::string(kBegin) + kCheck + "Blank Check => Fail !\t [0.000\"]\r\n" + kEnd);
}

TEST_F(WriterTest, AnOperationStartedFromInsideThePumpIsTurnedAway) {
    Start();
    Load(Pattern(1000, 1));
    const std::uint8_t steps = bench.info.autoSteps;
    int turnedAway = 0;
    host.onPump = [&] {
        if (writer->OnButton(kCheckId).notStarted() && writer->RunAuto(0x02).notStarted())
            ++turnedAway;
    };
    ASSERT_TRUE(writer->OnButton(kProgram).passed());
    EXPECT_GT(turnedAway, 0);
    EXPECT_EQ(Connections(), 2);
    EXPECT_EQ(bench.info.autoSteps, steps);  // a turned-away Auto stores nothing
}

}  // namespace
}  // namespace wt
