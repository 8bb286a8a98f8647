// Every operation button and the Auto batch against the virtual writer: the whole log the
// operator reads and every frame the writer received, in order.
#include <gtest/gtest.h>

#include <fstream>

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

struct ButtonCase {
    const char* name;
    int button;
    bool loaded;  // 300 bytes typed into the buffer: the whole code space is written
    bool passes;
    std::string lines;          // between Begin and End
    std::vector<Frame> frames;  // after the firmware check's 0/0
    int part = 1;
    std::vector<std::string> device = {};  // more vwriter arguments
};

// A failing case is named, not dumped.
void PrintTo(const ButtonCase& c, std::ostream* out) {
    *out << c.name;
}

// Each case also runs with every byte that says yes (status, acknowledgement, trim result) at
// another non-zero value: a writer may answer any of them.
class Buttons : public WriterTest,
                public ::testing::WithParamInterface<std::tuple<ButtonCase, int>> {};

TEST_P(Buttons, LogAndFramesAreExact) {
    const auto& [c, yes] = GetParam();
    std::vector<std::string> args = c.device;
    for (const Frame& f : c.frames) {
        const std::string fault = "status:" + std::to_string(f.cmd) + "/" + std::to_string(f.sub);
        if (yes != 1) args.insert(args.end(), {"--fault", fault + "=" + std::to_string(yes)});
    }
    Start(args, c.part);
    const std::vector<std::uint8_t> code = Pattern(300, 7);
    if (c.loaded) Load(code);
    EXPECT_EQ(writer->OnButton(c.button).passed(), c.passes);
    EXPECT_TRUE(SameLog(kBegin + c.lines + kEnd, log.text));
    EXPECT_TRUE(SameFrames(AfterFirmwareCheck(c.frames), Frames()));
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

std::string CaseName(const ::testing::TestParamInfo<std::tuple<ButtonCase, int>>& p) {
    const int yes = std::get<1>(p.param);
    return std::string(std::get<0>(p.param).name) + (yes == 1 ? "" : "Yes" + std::to_string(yes));
}

const std::string kCheck = kCheckIdPass;
const std::string kProgramPass = kCheck + "Program => Pass !\t\t [0.000\"]\r\n";
const ButtonCase kCheckIdCase{"CheckId", kCheckId, false, true, kCheck, {{0, 1, kDc, 0, 0}}};
// The oscillator trimmed first, with the OSC List's selection (22.1184 MHz = 6).
const ButtonCase kTrimmed{"WriteOptionTrimmed",
                          kWriteOption,
                          false,
                          true,
                          kCheck + "Program Option => Pass !\t [0.000\"]\r\n",
                          {{0, 1, kDc, 0, 0}, {3, 4, kDc, 6, 0}, {2, 1, 0, 4, 0}},
                          42};

// Program on a part of another code size and writer family.
ButtonCase ProgramOn(const char* name, int part, std::uint32_t codeSize) {
    return {name, kProgram, true, true, kProgramPass, {{0, 1, kDc, 0, 0}, {2, 0, 0, codeSize, 0}},
            part};
}

// `c` with an answer held back.
ButtonCase Late(ButtonCase c, const char* name, const char* delay) {
    c.name = name;
    c.device = {"--fault", delay};
    return c;
}

INSTANTIATE_TEST_SUITE_P(
    EveryCommand, Buttons,
    ::testing::Combine(
        ::testing::Values(
            kCheckIdCase,
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
            ProgramOn("Program", 1, 0x1000), ProgramOn("ProgramPart11", 11, 0x4000),
            ProgramOn("ProgramPart45", 45, 0x10000), ProgramOn("ProgramPart204", 204, 0x3C00),
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
                       kCheck + "Dump Target => Pass !\t [0.000\"]\r\nRead Opiton => Pass !\t "
                                "[0.000\"]\r\n",
                       {{0, 1, kDc, 0, 0}, {3, 0, 0, 0x1000, 0}, {3, 1, 0, 2, 0}}},
            ButtonCase{"WriteOption",
                       kWriteOption,
                       false,
                       true,
                       kCheck + "Program Option => Pass !\t [0.000\"]\r\n",
                       {{0, 1, kDc, 0, 0}, {2, 1, 0, 2, 0}}},
            kTrimmed,
            ButtonCase{"ReadOption",
                       kReadOption,
                       false,
                       true,
                       kCheck + "Read Opiton => Pass !\t [0.000\"]\r\n",
                       {{0, 1, kDc, 0, 0}, {3, 1, 0, 2, 0}}}),
        ::testing::Values(1, 2, 0x80, 0xFF)),
    CaseName);

// Answers held back to just inside their time-outs: 5 s for every reply, 10 s for the trim's
// result. Held back just past them, they fail (the Faults table).
INSTANTIATE_TEST_SUITE_P(
    InTime, Buttons,
    ::testing::Combine(::testing::Values(Late(kCheckIdCase, "CheckId", "delay:0/1=4600"),
                                         Late(kTrimmed, "TrimResult", "delay:3/4=9600")),
                       ::testing::Values(1)),
    CaseName);

// Answers the ISP dialog with the part's own code.
class BuiltinIsp : public model::FileDialogs {
  public:
    std::optional<std::string> OpenProgramFile() override { return std::nullopt; }
    std::optional<std::uint32_t> SelectArea(std::uint32_t) override { return 0; }
    std::optional<std::string> SaveBufferFile() override { return std::nullopt; }
    std::optional<std::string> SaveProjectFile() override { return std::nullopt; }
    void CustomSetting(std::uint8_t&, std::string&) override {}
    std::optional<model::IspChoice> InsertIsp() override {
        return model::IspChoice{proj::ISP_SRC_BUILTIN, {}};
    }
};

TEST_F(WriterTest, AnIspOnlyBufferIsWrittenAndVerifiedFromOffsetZero) {
    Start({}, 204);  // 0x3C00 bytes of code space, ISP code of its own
    BuiltinIsp dialogs;
    ASSERT_TRUE(model::InsertIspButton(bench, dialogs).passed());
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

TEST_F(WriterTest, AnApIspBufferReachesBothAreasAtTheirOwnAddresses) {
    Start({}, 204);  // 0x3C00 bytes; its own ISP code is 0x601 bytes, in the 2 K space at 0x3400
    const std::string app = ::testing::TempDir() + "ap-isp-app.bin";
    const std::vector<std::uint8_t> bytes = Pattern(0x100, 5);
    std::ofstream(app, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<long>(bytes.size()));
    BuiltinIsp dialogs;
    ASSERT_TRUE(model::LoadFileAtStartup(bench, app, dialogs, questions).passed());
    ASSERT_TRUE(model::InsertIspButton(bench, dialogs).passed());
    const std::vector<std::uint8_t> image = buffer.Bytes();
    ASSERT_EQ(image.size(), 0x3C00u);
    struct Step {
        int button;
        bool passes;
        std::vector<Frame> frames;  // after Check ID
    };
    const Step steps[] = {
        {kProgram, true, {{2, 0, 0, 0x100, 0}, {2, 0, 0x3400, 0x601, 0}}},
        {kVerify, true, {{3, 0, 0, 0x100, 0}, {3, 0, 0x3400, 0x601, 0}}},
        {kDumpTarget, true, {{3, 0, 0, 0x3C00, 0}, {3, 1, 0, 2, 0}}},
        {kBlankCheck, false, {{3, 0, 0, 0x100, 0}}},  // the AP area is not blank: no further read
        {kErase, true, {{1, 1, 0, 1, 0}, {1, 1, 0x3400, 4, 0}}},
        {kBlankCheck, true, {{3, 0, 0, 0x100, 0}, {3, 0, 0x3400, 0x601, 0}}},
    };
    std::vector<Frame> expected;
    for (const Step& step : steps) {
        EXPECT_EQ(writer->OnButton(step.button).passed(), step.passes) << step.button;
        expected.push_back({0, 0, 0, 0, 0});
        expected.push_back({0, 1, DeviceCode(), 0, 0});
        expected.insert(expected.end(), step.frames.begin(), step.frames.end());
        // The chip as dumped: both areas as the buffer had them, erased between.
        if (step.button == kDumpTarget) {
            std::vector<std::uint8_t> chip(0x3C00, 0xFF);
            std::copy_n(image.begin(), 0x100, chip.begin());
            std::copy_n(image.begin() + 0x3400, 0x601, chip.begin() + 0x3400);
            EXPECT_EQ(buffer.Bytes(), chip);
        }
    }
    EXPECT_TRUE(SameFrames(expected, Frames()));

    // The ISP area's erase is quiet: its failure shows in no line, but Erase fails.
    device->Ctl("fault status0:1/1#2");
    EXPECT_TRUE(writer->OnButton(kErase).failed());
    EXPECT_TRUE(SameLog(kBegin + kCheck + "Erase => Pass !\t\t [0.000\"]\r\n" + kEnd, log.text));
}

TEST_F(WriterTest, TheOptionPanelsChoicesAreWhatTheChipHolds) {
    Start({}, 5);  // 0xC000 bytes, option bytes FF FF FF B8: no ISP space, 2 K of IAP space
    bench.OnIspChanged(2);  // 2 K: byte 0 bits 7-5 NOT 2
    bench.OnIapChanged(3);  // 1.5 K: page (0xB800 - 0x600) >> 8
    bench.OnOptionBoxClicked(model::id::kOptionSetFirst, true);      // LOCK: byte 0 bit 0
    bench.OnOptionBoxClicked(model::id::kOptionSetFirst + 5, true);  // ENLVR: byte 1 bit 0
    ASSERT_TRUE(writer->OnButton(kWriteOption).passed());
    EXPECT_EQ(device->StateValue("options"), "BE FE FF B2");
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
    std::vector<Frame> frames;             // after the firmware check
    std::vector<std::string> device = {};  // more vwriter arguments
};

void PrintTo(const AutoCase& c, std::ostream* out) {
    *out << c.name;
}

class Auto : public WriterTest, public ::testing::WithParamInterface<AutoCase> {};

TEST_P(Auto, RunsItsStepsInTheFixedOrder) {
    const AutoCase& c = GetParam();
    Start(c.device);
    if (c.loaded) Load(Pattern(300, 1));
    [[maybe_unused]] const core::Outcome ran = writer->RunAuto(c.mask);
    EXPECT_EQ(bench.info.autoSteps, c.mask);
    EXPECT_TRUE(SameLog(kBegin + c.lines + kEnd, log.text));
    EXPECT_TRUE(SameFrames(AfterFirmwareCheck(c.frames), Frames()));
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
                 {{0, 1, kDc, 0, 0}, {2, 0, 0, 0x1000, 0}, {3, 0, 0, 0x1000, 0}}},
        // A failed Program or Verify stops the batch: nothing after it, no option write.
        AutoCase{"AFailedProgramStops",
                 0x1C,
                 true,
                 kCheck + "Program => Fail !\t\t [0.000\"]\r\n",
                 {{0, 1, kDc, 0, 0}, {2, 0, 0, 0x1000, 0}},
                 {"--fault", "ack0:2/0@2"}},
        AutoCase{"AFailedVerifyStops",
                 0x18,
                 true,
                 kCheck + "Verify => Fail !\t\t [0.000\"]\r\n",
                 {{0, 1, kDc, 0, 0}, {3, 0, 0, 0x1000, 0}}},
        // An answer that comes after its time-out, or unasked, is not taken for the next one:
        // the refused last chunk still fails Program. The device keeps serving a host out of
        // step with it, as a lenient writer does.
        AutoCase{"ALateEraseAnswer",
                 0x24,
                 true,
                 kCheck + "Erase => Fail !\t\t [0.000\"]\r\nProgram => Fail !\t\t [0.000\"]\r\n",
                 {{0, 1, kDc, 0, 0}, {1, 1, 0, 8, 0}, {2, 0, 0, 0x1000, 0}},
                 {"--lenient", "--fault", "delay:1/1=6000", "--fault", "ack0:2/0@32"}},
        AutoCase{"AnUnaskedByte",
                 0x04,
                 true,
                 kCheck + "Program => Fail !\t\t [0.000\"]\r\n",
                 {{0, 1, kDc, 0, 0}, {2, 0, 0, 0x1000, 0}},
                 {"--lenient", "--fault", "extra:0/1", "--fault", "ack0:2/0@32"}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WriterTest, AFailedBlankCheckStopsTheBatch) {
    Start();
    Load(Pattern(300, 1));
    ASSERT_TRUE(writer->OnButton(kProgram).passed());
    EXPECT_TRUE(writer->RunAuto(0x1E).failed());
    EXPECT_TRUE(
        SameLog(kBegin + kCheck + "Blank Check => Fail !\t [0.000\"]\r\n" + kEnd, log.text));
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
