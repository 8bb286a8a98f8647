// A writer that fails in every way the virtual one can: each ends in the right "Fail" line, the
// operation still closes, and the operator's buffer is untouched.
#include <gtest/gtest.h>

#include <chrono>
#include <sstream>
#include <thread>

#include "platform/device/writer_ids.h"

#include "writer_fixture.h"

namespace wt {
namespace {

constexpr const char* kBegin = "----Begin----\r\n";
constexpr const char* kEnd = "-----End-----\r\n";
constexpr const char* kCheckIdPass = "Check ID => Pass !\t\t [0.000\"]\r\n";

struct FaultCase {
    const char* name;
    const char* fault;  // one or more, separated by spaces
    int button;
    std::string lines;  // between Begin and End
    int part = 1;
};

void PrintTo(const FaultCase& c, std::ostream* out) {
    *out << c.name;
}

class Faults : public WriterTest, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(Faults, EndInTheirFailLineAndCloseTheOperation) {
    const FaultCase& c = GetParam();
    std::vector<std::string> args;
    std::istringstream faults(c.fault);
    for (std::string fault; faults >> fault;) args.insert(args.end(), {"--fault", fault});
    Start(args, c.part);
    const std::vector<std::uint8_t> code = Pattern(700, 9);
    Load(code);
    EXPECT_TRUE(writer->OnButton(c.button).failed());
    EXPECT_TRUE(SameLog(kBegin + c.lines + kEnd, log.text));
    EXPECT_EQ(buffer.Bytes(), code);
    EXPECT_FALSE(link->connected());
    EXPECT_FALSE(writer->busy);
    // A second operation runs normally once the fault is gone.
    device->Ctl("clear-faults");
    EXPECT_TRUE(writer->OnButton(writer::button::kCheckId).passed());
}

const std::string kCheck = kCheckIdPass;
const std::string kProgramFail = "Program => Fail !\t\t [0.000\"]\r\n";
const std::string kVerifyFail = "Verify => Fail !\t\t [0.000\"]\r\n";
const std::string kOptionFail = "Program Option => Fail !\t [0.000\"]\r\n";
using writer::button::kCheckId;
using writer::button::kDumpTarget;
using writer::button::kProgram;
using writer::button::kVerify;
using writer::button::kWriteOption;

INSTANTIATE_TEST_SUITE_P(
    EveryKind, Faults,
    ::testing::Values(
        FaultCase{"CheckIdRefused", "status0:0/1", kProgram,
                  "Check ID => Fail !\t\t [0.000\"]\r\n"},
        FaultCase{"CheckIdUnanswered", "noreply:0/1", kCheckId,
                  "Check ID => Fail !\t\t [0.000\"]\r\n"},
        FaultCase{"WriteRefused", "status0:2/0", kProgram, kCheck + kProgramFail},
        FaultCase{"ChunkRefused", "ack0:2/0@2", kProgram, kCheck + kProgramFail},
        FaultCase{"ChunkUnacknowledged", "noack:2/0@3", kProgram, kCheck + kProgramFail},
        FaultCase{"ConnectionDropped", "drop:2/0@2", kProgram, kCheck + kProgramFail},
        FaultCase{"ShortRead", "shortread:3/0@2", kVerify, kCheck + kVerifyFail},
        FaultCase{"ReadRefused", "status0:3/0", kVerify, kCheck + kVerifyFail},
        // Read Option still runs after a failed dump.
        FaultCase{"DumpRefused", "status0:3/0", kDumpTarget,
                  kCheck + "Dump Target => Fail !\t [0.000\"]\r\n" +
                      "Read Opiton => Pass !\t [0.000\"]\r\n"},
        // The option bytes' write is refused, and a stray byte from the writer
        // must not pass for their acknowledgement.
        FaultCase{"OptionWriteRefusedByTheLink", "deaf:2/1 extra:2/1", kWriteOption,
                  kCheck + kOptionFail},
        // Answers held back just past their time-outs: 5 s, 10 s for the trim.
        FaultCase{"CheckIdLate", "delay:0/1=5400", kCheckId,
                  "Check ID => Fail !\t\t [0.000\"]\r\n"},
        FaultCase{"TrimResultLate", "delay:3/4=10400", kWriteOption, kCheck + kOptionFail, 42}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(WriterTest, AShortFirmwareReplyStopsBeforeTheOperation) {
    Start({"--fault", "shortreply:0/0"});
    EXPECT_FALSE(writer->OnButton(writer::button::kCheckId).passed());
    EXPECT_EQ(log.text, "Check firmware fail !\r\n");
    EXPECT_EQ(Frames().size(), 1u);
    EXPECT_EQ(Connections(), 1);
}

TEST_F(WriterTest, ALyingWriterIsCaughtByVerify) {
    Start({"--fault", "lie:2/0"});
    Load(Pattern(300, 4));
    EXPECT_TRUE(writer->OnButton(kProgram).passed());
    EXPECT_FALSE(writer->OnButton(kVerify).passed());
    EXPECT_EQ(log.text, kBegin + kCheck + kVerifyFail + kEnd);
}

TEST_F(WriterTest, AFailedTrimStopsWriteOptionBeforeItsFrame) {
    Start({"--fault", "result0:3/4"}, 42);  // a part whose oscillator is trimmed
    EXPECT_FALSE(writer->OnButton(writer::button::kWriteOption).passed());
    EXPECT_EQ(log.text, kBegin + kCheck + "Program Option => Fail !\t [0.000\"]\r\n" + kEnd);
    const auto frames = Frames();
    EXPECT_EQ(frames.back().cmd, 3);
    EXPECT_EQ(frames.back().sub, 4);
}

TEST_F(WriterTest, AWriterOnlyItsLoaderAnswersForIsNamed) {
    Start();
    ASSERT_EQ(vwt::Dfu().ResetToIsp(writer_ids::WRITER_VID, writer_ids::WRITER_PID), 0);
    // Unplugged, restarted into the loader, plugged again.
    for (int i = 0; i < 300 && (device->StateValue("mode") != "loader" ||
                                device->StateValue("plugged") != "yes");
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const core::Outcome outcome = writer->OnButton(kProgram);
    EXPECT_TRUE(outcome.notStarted());
    EXPECT_EQ(outcome.why(), writer::kStrandedInLoader);
    EXPECT_EQ(log.text, "");
}

TEST_F(WriterTest, NoWriterWritesNothing) {
    Start();
    device->Stop();
    EXPECT_TRUE(writer->OnButton(kProgram).notStarted());
    EXPECT_EQ(log.text, "");
    EXPECT_FALSE(host.barShown);
}

}  // namespace
}  // namespace wt
